// The search setup panel: the path rows it builds decide what is searched
// (and which files are reference copies), a folder can be typed, it refuses
// size bounds it cannot read or that exclude everything, and it is
// remembered at the next start.
#include "tests/gui/guitest.h"

#include "mainwindow/pathentry.h"

#include <QAbstractItemModel>
#include <QCheckBox>
#include <QCompleter>
#include <QMimeData>
#include <QSplitter>
#include <QTreeWidget>

namespace kormial::test {

using GuiSetup = GuiTest;

TEST_F(GuiSetup, PathRowsDecideWhatIsSearched)
{
    write("m/one.mp3", bytes(1, 6000));
    write("m/deep/one.mp3", bytes(1, 6000));
    write("m/one.txt", bytes(2, 6000));
    write("m/deep/one.txt", bytes(2, 6000));
    write("m/Skip/one.mp3", bytes(1, 6000));  // left out
    write("s/small1.bin", bytes(3, 1024));
    write("s/small2.bin", bytes(3, 1024));
    write("s/large1.bin", bytes(4, 10240));
    write("s/large2.bin", bytes(4, 10240));
    frmMain& w = open();
    addFolder(at("m"), "*.mp3");
    addFolder(at("m"), "*.mp3");  // listed once, or every file would be its own copy
    click(w.setup->chkSubDir);
    addFolder(at("m"), "*.txt");
    click(w.setup->chkSubDir);
    click(w.setup->cmdCriteria);
    retype(w.setup->txtMinSz, "5");  // KB
    addFolder(at("s"));
    retype(w.setup->txtExclude, " skip ; ;*.tmp");

    QList<QStringList> rows;
    for (int i = 0; i < w.setup->lstPath->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* item = w.setup->lstPath->topLevelItem(i);
        rows << QStringList{item->text(0), item->text(1), item->text(2)};
    }
    const auto row = [&](const std::string& rel) { return QString::fromStdString(at(rel)); };
    EXPECT_EQ(rows, (QList<QStringList>{{row("m/*.mp3"), "Yes", ""}, {row("m/*.txt"), "No", ""},
                                        {row("s/*.*"), "Yes", "5"}}));
    // Keep on "m/*.txt": the folder m is kept, whichever entry found its
    // files, and its sub-folders are not (that entry does not reach them)
    w.setup->lstPath->topLevelItem(1)->setCheckState(SetupPanel::kKeepColumn, Qt::Checked);
    click(w.setup->cmdSrch);
    waitForSearch();
    std::vector<std::string> found;
    for (const ResultRow& r : w.results->resultList(kListDuplicates).rows()) {
        found.push_back(r.path().substr(root.size() + 1) + (r.reference ? " kept" : ""));
    }
    std::sort(found.begin(), found.end());
    EXPECT_EQ(found, (std::vector<std::string>{"m/deep/one.mp3", "m/one.mp3 kept", "s/large1.bin", "s/large2.bin"}));
}

// Ctrl+L, a folder typed with completion, Enter opens it in the folder list
// and [>] adds it; a folder that is not there is named in a message.
TEST_F(GuiSetup, ATypedFolderIsOpenedAndAdded)
{
    write("music/live/a.ogg", "a");
    write("music/studio/b.ogg", "b");
    frmMain& w = open();
    PathEntry* entry = w.setup->txtFolder;
    QTest::keyClick(&w, Qt::Key_L, Qt::ControlModifier);
    ASSERT_TRUE(entry->hasFocus());
    QTest::keyClicks(entry, QString::fromStdString(at("music/")));
    QStringList offered;
    for (int i = 0; i < entry->completer()->completionModel()->rowCount(); ++i) {
        offered << entry->completer()->completionModel()->index(i, 0).data().toString();
    }
    EXPECT_EQ(offered, QStringList({QString::fromStdString(at("music/live")), QString::fromStdString(at("music/studio"))}));
    QTest::keyClicks(entry, "studio/../live");
    QTest::keyClick(entry, Qt::Key_Return);
    EXPECT_EQ(w.setup->dirPath->path(), at("music/live"));
    click(w.setup->cmdAdd);
    ASSERT_EQ(w.setup->lstPath->topLevelItemCount(), 1);
    EXPECT_EQ(SetupPanel::rowPath(w.setup->lstPath->topLevelItem(0)), at("music/live/*.*"));
    EXPECT_TRUE(dialogs.texts.isEmpty());

    retype(entry, QString::fromStdString(at("music/gone")));
    QTest::keyClick(entry, Qt::Key_Return);
    ASSERT_EQ(dialogs.texts.size(), 1);
    EXPECT_TRUE(dialogs.texts[0].startsWith(QString::fromStdString(at("music/gone")))) << dialogs.texts[0].toStdString();
    EXPECT_EQ(w.setup->dirPath->path(), at("music/live"));
}

// Search without a folder points at [>]: its caption blinks on a timer
// while the window goes on.
TEST_F(GuiSetup, SearchWithoutAFolderPointsAtAdd)
{
    frmMain& w = open();
    click(w.setup->cmdSrch);
    EXPECT_EQ(dialogs.titles, QStringList{"Select Path"});
    EXPECT_EQ(w.setup->cmdAdd->text(), "");
    EXPECT_TRUE(QTest::qWaitFor([&] { return w.setup->cmdAdd->text() == ">"; }, 3000));
    EXPECT_FALSE(w.searchRunning());
}

TEST_F(GuiSetup, RefusesBadSizes)
{
    frmMain& w = open();
    w.setup->dirPath->setPath(root);
    click(w.setup->cmdCriteria);
    retype(w.setup->txtMinSz, "12kb");
    click(w.setup->txtMaxSz);  // the focus leaves the box: refused, and it comes back
    ASSERT_TRUE(QTest::qWaitFor([&] { return !dialogs.texts.isEmpty(); }, 2000));
    EXPECT_TRUE(w.setup->txtMinSz->hasFocus());
    click(w.setup->cmdAdd);
    retype(w.setup->txtMinSz, "100");
    retype(w.setup->txtMaxSz, "99");
    click(w.setup->cmdAdd);
    EXPECT_EQ(dialogs.texts, (QStringList{"Invalid file size.", "Invalid file size.",
                                          "Max File Size(99) must be greater than Min File Size(100)."}));
    EXPECT_EQ(w.setup->lstPath->topLevelItemCount(), 0);
    retype(w.setup->txtMaxSz, "0101");  // compared as numbers
    click(w.setup->cmdAdd);
    EXPECT_EQ(w.setup->lstPath->topLevelItemCount(), 1);
    EXPECT_EQ(dialogs.texts.size(), 3);
}

TEST_F(GuiSetup, RememberedAtTheNextStart)
{
    write("a/x.txt", "x");
    write("b/y.txt", "y");
    frmMain& w = open();
    addFolder(at("a"), "*.txt");
    click(w.setup->chkSubDir);
    // a folder dropped from a file manager is added as [>] adds one; a file is not
    QMimeData dragged;
    dragged.setUrls({QUrl::fromLocalFile(QString::fromStdString(at("b"))),
                     QUrl::fromLocalFile(QString::fromStdString(at("a/x.txt")))});
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &dragged, Qt::LeftButton, {});
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &dragged, Qt::LeftButton, {});
    for (QEvent* e : {static_cast<QEvent*>(&enter), static_cast<QEvent*>(&drop)}) {
        QCoreApplication::sendEvent(w.setup->lstPath->viewport(), e);
    }
    ASSERT_EQ(w.setup->lstPath->topLevelItemCount(), 2);
    w.setup->lstPath->topLevelItem(1)->setCheckState(SetupPanel::kKeepColumn, Qt::Checked);
    click(w.setup->cmdCriteria);
    retype(w.setup->txtMinSz, "2");
    retype(w.setup->txtMaxSz, "900");
    w.setup->lstSrchType->item(0)->setCheckState(Qt::Unchecked);
    w.setup->lstSrchType->item(3)->setCheckState(Qt::Checked);
    click(w.setup->chkTolerant);
    retype(w.setup->txtExclude, ".git;cache/");
    w.setup->dirPath->setPath(at("b"));
    w.resize(w.width() + 40, w.height() - 200);
    w.splitMain->setSizes({260, 300});  // the borders a user dragged
    w.setup->splitFolders->setSizes({420, 300});
    const QList<int> borders = w.splitMain->sizes() + w.setup->splitFolders->sizes();
    w.results->lstResult[kListDuplicates]->setColumnWidth(kColName, 333);
    const std::string browsed = w.setup->dirPath->path();
    const QSize size = w.size();
    w.close();
    window.reset();

    frmMain& again = open();
    const SearchRequest r = again.setup->searchRequest();
    EXPECT_EQ(r.entries, (std::vector<SearchEntry>{{at("a/"), "*.txt", true, false}, {at("b/"), "*.txt", false, true}}));
    EXPECT_TRUE(r.minKb == 2 && r.maxKb == 900 && r.tolerant);
    EXPECT_EQ(r.exclude, (std::vector<std::string>{".git", "cache/"}));
    EXPECT_TRUE(r.types == SearchTypes({SearchType::Duplicates, SearchType::SameName, SearchType::Portions}));
    EXPECT_EQ(again.setup->dirPath->path(), browsed);
    EXPECT_EQ(again.size(), size);
    EXPECT_EQ(again.splitMain->sizes() + again.setup->splitFolders->sizes(), borders);
    EXPECT_EQ(again.results->lstResult[kListDuplicates]->columnWidth(kColName), 333);
}

}  // namespace kormial::test
