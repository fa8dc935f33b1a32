// The File menu on real results: its entries, where it pops up, which
// entries it enables on each tab, marking through it and its shortcuts,
// opening files; and the menu bar, F1 and the tip window of the wired window.
#include "tests/gui/test_review.h"

#include "mainwindow/frmoptions.h"
#include "mainwindow/frmtip.h"
#include "mainwindow/menus_help.h"
#include "platform/gui/shell.h"
#include "platform/settings.h"

#include <QApplication>
#include <QDesktopServices>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QTimer>
#include <QUrl>

#include <algorithm>

namespace kormial::test {

// Receives what the program hands to the desktop's browser.
class HelpPageRecorder : public QObject {
    Q_OBJECT

public:
    HelpPageRecorder() { QDesktopServices::setUrlHandler(QStringLiteral("file"), this, "open"); }
    ~HelpPageRecorder() override { QDesktopServices::unsetUrlHandler(QStringLiteral("file")); }
    QStringList pages;

public slots:
    void open(const QUrl& url) { pages << url.toLocalFile().section(QLatin1Char('/'), -1); }
};

namespace {

// The path a file: address stands for, as bytes.
std::string pathOf(const QUrl& url)
{
    EXPECT_EQ(url.scheme(), "file");
    return QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1()).toStdString();
}

QStringList captions(const QList<QAction*>& actions)
{
    QStringList out;
    for (const QAction* a : actions) {
        out << (a->isSeparator() ? QStringLiteral("-") : a->text());
    }
    return out;
}

std::vector<std::string> sorted(std::vector<std::string> v)
{
    std::sort(v.begin(), v.end());
    return v;
}

class GuiReviewMenu : public ReviewTest {
protected:
    // Groups on every tab, with dates and sizes to mark by:
    //  "Duplicates": pair.bin twice (5 Jan, 10 Feb) and trio.bin three times
    //  (Feb, Jan, Mar in folder order); "Portions": small.bin, the first
    //  1100000 bytes of big.bin; "Same Name": Notes.txt and notes.TXT (different
    //  content, 1 Mar and 1 Apr) besides pair.bin and trio.bin; two empty files.
    void makeTree()
    {
        tmp.write("d/a/pair.bin", bytes(1, 700));
        tmp.write("d/b/pair.bin", bytes(1, 700));
        setDate("d/a/pair.bin", 2021, 1, 5);
        setDate("d/b/pair.bin", 2021, 2, 10);
        for (const char* f : {"d/a/trio.bin", "d/b/trio.bin", "d/c/trio.bin"}) {
            tmp.write(f, bytes(2, 800));
        }
        setDate("d/a/trio.bin", 2021, 2, 1);
        setDate("d/b/trio.bin", 2021, 1, 1);
        setDate("d/c/trio.bin", 2021, 3, 1);
        // Portions are compared over whole blocks of 50000 bytes, which files
        // below 1000000 bytes do not have.
        const std::string big = bytes(9, 1200000);
        tmp.write("p/big.bin", big);
        tmp.write("p/small.bin", big.substr(0, 1100000));
        tmp.write("s/x/Notes.txt", "first notes");
        tmp.write("s/y/notes.TXT", "second notes, longer");
        setDate("s/x/Notes.txt", 2022, 3, 1);
        setDate("s/y/notes.TXT", 2022, 4, 1);
        tmp.write("z/empty1.txt", "");
        tmp.write("z/empty2.txt", "");
    }

};

TEST_F(GuiReviewMenu, FileMenuEntriesCaptionsShortcutsAndHelpNumbers)
{
    frmMain& w = open();
    EXPECT_EQ(w.mnuFile->title(), "&File");
    EXPECT_EQ(captions(w.mnuFile->actions()),
              QStringList({"&Open", "&Delete", "&Rename", "-", "Mark &all",
                           "Mark &Older files for deletion", "Mark &Newer files for deletion",
                           "Mark &Smaller files for deletion", "Mark &Larger files for deletion",
                           "&Clear all marks"}));
    const std::vector<std::pair<QAction*, QKeySequence>> keys{
        {w.mnuOpen, QKeySequence("Ctrl+O")},   {w.mnuDelete, QKeySequence(Qt::Key_Delete)},
        {w.mnuRen, QKeySequence("Ctrl+R")},    {w.mnuMarkAll, QKeySequence("Ctrl+A")},
        {w.mnuMarkOld, QKeySequence()},        {w.mnuMarkNewer, QKeySequence()},
        {w.mnuMarkSmaller, QKeySequence()},    {w.mnuMarkLarger, QKeySequence()},
        {w.mnuClearMarks, QKeySequence("Ctrl+C")}};
    for (const auto& [entry, key] : keys) {
        EXPECT_EQ(entry->shortcut(), key) << entry->text().toStdString();
        EXPECT_EQ(w.findChild<QAction*>(entry->objectName()), entry);
    }
    EXPECT_TRUE(w.mnuSeparator->isSeparator());
    EXPECT_EQ(HelpContextID(w.mnuOpen), 101);
    EXPECT_EQ(HelpContextID(w.mnuDelete), 0);
    EXPECT_EQ(HelpContextID(w.mnuRen), 104);
    for (QAction* a : {w.mnuMarkAll, w.mnuMarkOld, w.mnuMarkNewer, w.mnuMarkSmaller,
                       w.mnuMarkLarger, w.mnuClearMarks}) {
        EXPECT_EQ(HelpContextID(a), 100) << a->text().toStdString();
    }
}

TEST_F(GuiReviewMenu, MenuBarHoldsMenuFileAndHelpInOrder)
{
    frmMain& w = open();
    EXPECT_EQ(captions(w.menuBar()->actions()), QStringList({"&Menu", "&File", "&Help"}));
    EXPECT_EQ(captions(w.MnuMain->actions()), QStringList({"&Options", "-", "&Quit"}));
    EXPECT_EQ(w.MnuMain->actions().at(0), w.mnuOptions);
    EXPECT_EQ(w.MnuMain->actions().at(1), w.mnuSeperator2);
    EXPECT_EQ(w.MnuMain->actions().at(2), w.MnuQuit);
    EXPECT_EQ(captions(w.mnuMainHelp->actions()),
              QStringList({"Help", "About Kormial", "Kormial Web Site",
                           "Email Kormial (kormial@example.org)"}));
    // Only one "&Menu" menu, and the entries are the window's own.
    EXPECT_EQ(w.findChildren<QMenu*>("MnuMain").size(), 1);
    EXPECT_EQ(w.findChild<QAction*>("mnuAbout"), w.mnuAbout);

    // "&Options" opens the options dialog modal over the window.
    bool sawModal = false;
    QTimer::singleShot(0, &w, [&] {
        auto* dialog = qobject_cast<frmOptions*>(QApplication::activeModalWidget());
        if (dialog == nullptr) {
            ADD_FAILURE() << "no modal options dialog";
            return;
        }
        sawModal = dialog->parentWidget() == &w;
        dialog->CancelButton->click();
    });
    w.mnuOptions->trigger();
    EXPECT_TRUE(sawModal);

    w.mnuAbout->trigger();
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].text, "Kormial Ver. 1.1.17");
    EXPECT_EQ(dialogs.shown[0].title, "About Kormial");
}

TEST_F(GuiReviewMenu, EnablingFollowsTheTabAndItsRows)
{
    makeTree();
    frmMain& w = open();
    // Nothing listed yet: nothing to act on.
    EXPECT_TRUE(enabledEntries().empty());

    searchAll({0, 1, 2, 3});
    ASSERT_EQ(w.resultList(kListZeroSize).count(), 2);
    ASSERT_EQ(w.resultList(kListDuplicates).count(), 5);
    ASSERT_EQ(w.resultList(kListPortions).count(), 2);
    ASSERT_EQ(w.resultList(kListReadErrors).count(), 0);
    const std::vector<std::string> always{"mnuOpen", "mnuDelete", "mnuRen", "mnuMarkAll",
                                          "mnuClearMarks"};
    EXPECT_EQ(enabledEntries(), always);
    const std::vector<std::string> byDate{"mnuOpen",    "mnuDelete",    "mnuRen",
                                          "mnuMarkAll", "mnuMarkOld",   "mnuMarkNewer",
                                          "mnuClearMarks"};
    clickTab(w, kListDuplicates);
    EXPECT_EQ(enabledEntries(), byDate);
    clickTab(w, kListSameName);
    EXPECT_EQ(enabledEntries(), byDate);
    clickTab(w, kListPortions);
    EXPECT_EQ(enabledEntries(),
              std::vector<std::string>({"mnuOpen", "mnuDelete", "mnuRen", "mnuMarkAll", "mnuMarkOld",
                                        "mnuMarkNewer", "mnuMarkSmaller", "mnuMarkLarger",
                                        "mnuClearMarks"}));
    clickTab(w, kListReadErrors);
    EXPECT_TRUE(enabledEntries().empty());

    // The menu bar's menu is the same menu with the same rules.
    clickTab(w, kListDuplicates);
    w.mnuFile->popup(QPoint(20, 20));
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.mnuFile->isVisible(); }, 2000));
    EXPECT_TRUE(w.mnuMarkOld->isEnabled());
    EXPECT_FALSE(w.mnuMarkSmaller->isEnabled());
    w.mnuFile->close();
}

TEST_F(GuiReviewMenu, PopsUpOverAListWithTheRightButtonAndFromTask)
{
    makeTree();
    frmMain& w = searchAll();
    clickTab(w, kListDuplicates);
    ResultListView* view = w.lstResult[kListDuplicates];
    const QPoint at = view->visualRect(view->resultModel()->index(1, 0)).center();
    QTest::mousePress(view->viewport(), Qt::RightButton, {}, at);
    EXPECT_FALSE(w.mnuFile->isVisible());  // on the release, not the press
    QTest::mouseRelease(view->viewport(), Qt::RightButton, {}, at);
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.mnuFile->isVisible(); }, 2000));
    EXPECT_TRUE(w.mnuMarkOld->isEnabled());
    w.mnuFile->close();

    QTest::mouseClick(view->viewport(), Qt::MiddleButton, {}, at);
    EXPECT_FALSE(w.mnuFile->isVisible());

    click(w.cmdTask);
    EXPECT_TRUE(QTest::qWaitFor([&] { return w.mnuFile->isVisible(); }, 2000));
    w.mnuFile->close();
}

TEST_F(GuiReviewMenu, MarkingOlderAndNewerThroughTheMenu)
{
    makeTree();
    frmMain& w = searchAll();
    showInFolderOrder(kListDuplicates);
    ASSERT_EQ(w.resultList(kListDuplicates).count(), 5);

    // A hand mark on a row that the entry does not pick is lost.
    const std::int64_t hand = rowOf(kListDuplicates, "d/c/trio.bin");
    ResultTableModel* model = w.lstResult[kListDuplicates]->resultModel();
    ASSERT_TRUE(model->setData(model->index(static_cast<int>(hand), 0), Qt::Checked, Qt::CheckStateRole));
    ASSERT_EQ(marked(kListDuplicates), std::vector<std::string>{"d/c/trio.bin"});

    choose(w.mnuMarkOld);
    // The pair: the January copy. The trio (Feb, Jan, Mar): both of its pairs
    // pick the January copy, and the February one stays although it is not
    // the newest.
    EXPECT_EQ(sorted(marked(kListDuplicates)),
              std::vector<std::string>({"d/a/pair.bin", "d/b/trio.bin"}));
    // The list is left sorted by its group column.
    EXPECT_TRUE(w.resultList(kListDuplicates).sorted());
    EXPECT_EQ(w.resultList(kListDuplicates).sortKey(), kColGroup);

    choose(w.mnuMarkNewer);
    // The pair: February. The trio: Feb over Jan, then Mar over Jan.
    EXPECT_EQ(sorted(marked(kListDuplicates)),
              std::vector<std::string>({"d/a/trio.bin", "d/b/pair.bin", "d/c/trio.bin"}));

    // "Same Name": names equal but for their case form a group.
    showInFolderOrder(kListSameName);
    choose(w.mnuMarkNewer);
    const std::vector<std::string> same = marked(kListSameName);
    EXPECT_NE(std::find(same.begin(), same.end(), "s/y/notes.TXT"), same.end());
    EXPECT_EQ(std::find(same.begin(), same.end(), "s/x/Notes.txt"), same.end());
    // Marking one list leaves the others alone.
    EXPECT_EQ(sorted(marked(kListDuplicates)),
              std::vector<std::string>({"d/a/trio.bin", "d/b/pair.bin", "d/c/trio.bin"}));
}

TEST_F(GuiReviewMenu, MarkingSmallerAndLargerPortions)
{
    makeTree();
    frmMain& w = searchAll({3});
    clickTab(w, kListPortions);
    ASSERT_EQ(w.resultList(kListPortions).count(), 2);
    choose(w.mnuMarkSmaller);
    EXPECT_EQ(marked(kListPortions), std::vector<std::string>{"p/small.bin"});
    choose(w.mnuMarkLarger);
    EXPECT_EQ(marked(kListPortions), std::vector<std::string>{"p/big.bin"});
}

TEST_F(GuiReviewMenu, MarkAllAndClearThroughTheMenuAndTheShortcuts)
{
    makeTree();
    frmMain& w = searchAll({0, 1, 2, 3});
    clickTab(w, kListPortions);
    choose(w.mnuMarkLarger);
    ASSERT_EQ(marked(kListPortions), std::vector<std::string>{"p/big.bin"});

    clickTab(w, kListDuplicates);
    choose(w.mnuMarkAll);
    EXPECT_EQ(marked(kListDuplicates).size(), 5u);
    choose(w.mnuClearMarks);
    EXPECT_TRUE(marked(kListDuplicates).empty());

    // Ctrl+A and Ctrl+C with the list in front of the user.
    ResultListView* view = w.lstResult[kListDuplicates];
    view->setFocus();
    QTest::keyClick(view, Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(marked(kListDuplicates).size(), 5u);
    QTest::keyClick(view, Qt::Key_C, Qt::ControlModifier);
    EXPECT_TRUE(marked(kListDuplicates).empty());
    // Only the current list was touched.
    EXPECT_EQ(marked(kListPortions), std::vector<std::string>{"p/big.bin"});
    EXPECT_TRUE(dialogs.shown.empty());
}

TEST_F(GuiReviewMenu, DeleteKeyOnAnEmptyListDoesNothing)
{
    makeTree();
    frmMain& w = searchAll();
    clickTab(w, kListReadErrors);
    const auto before = snapshot(tmp.path());
    QTest::keyClick(w.lstResult[kListReadErrors], Qt::Key_Delete);
    EXPECT_TRUE(dialogs.shown.empty());
    EXPECT_EQ(snapshot(tmp.path()), before);
}

TEST_F(GuiReviewMenu, OpeningHandsTheFileToTheDesktop)
{
    makeTree();
    tmp.write("d/a/caf\xe9.bin", bytes(5, 321));  // a name that is not UTF-8
    tmp.write("d/b/caf\xe9.bin", bytes(5, 321));
    frmMain& w = searchAll();
    clickTab(w, kListDuplicates);

    // No row selected yet.
    ASSERT_EQ(w.resultList(kListDuplicates).selectedRow(), -1);
    choose(w.mnuOpen);
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].text, "Please select a file.");
    EXPECT_EQ(dialogs.shown[0].title, "Select file");
    EXPECT_TRUE(shell.opened.empty());

    // A double click opens the row's file.
    ResultListView* view = w.lstResult[kListDuplicates];
    const std::int64_t row = rowOf(kListDuplicates, "d/b/caf\xe9.bin");
    ASSERT_GE(row, 0);
    doubleClickItem(view, view->resultModel()->index(static_cast<int>(row), 0));
    ASSERT_EQ(shell.opened.size(), 1u);
    EXPECT_EQ(pathOf(shell.opened[0].first), tmp / "d/b/caf\xe9.bin");
    EXPECT_EQ(shell.opened[0].second, &w);

    // "&Open" and Ctrl+O open the selected row's file.
    clickRow(kListDuplicates, "d/c/trio.bin");
    choose(w.mnuOpen);
    QTest::keyClick(view, Qt::Key_O, Qt::ControlModifier);
    ASSERT_EQ(shell.opened.size(), 3u);
    EXPECT_EQ(pathOf(shell.opened[1].first), tmp / "d/c/trio.bin");
    EXPECT_EQ(pathOf(shell.opened[2].first), tmp / "d/c/trio.bin");
    EXPECT_EQ(dialogs.shown.size(), 1u);
}

TEST_F(GuiReviewMenu, F1OpensThePageOfThePartInFocus)
{
    InstallHelpKey();
    frmMain& w = open();
    HelpPageRecorder recorder;
    const std::vector<std::pair<QWidget*, QString>> parts{
        {w.lstResult[0], QStringLiteral("results.htm")},
        {w.lstSrchType, QStringLiteral("searchtypes.htm")},
        {w.chkTolerant, QStringLiteral("searchtypes.htm")},
        {w.txtExt, QStringLiteral("searchsetup.htm")},
        {w.cmdTask, QStringLiteral("mainwindow.htm")}};
    QStringList expected;
    for (const auto& [part, page] : parts) {
        part->setFocus();
        QTest::keyClick(part, Qt::Key_F1);
        expected << page;
    }
    EXPECT_EQ(recorder.pages, expected);

    // A highlighted entry of the File menu (entries act on rows, so there
    // are some).
    makeTree();
    searchAll();
    clickTab(w, kListDuplicates);
    popUpFileMenu();
    w.mnuFile->setActiveAction(w.mnuRen);
    QTest::keyClick(w.mnuFile, Qt::Key_F1);
    w.mnuFile->setActiveAction(w.mnuMarkOld);
    QTest::keyClick(w.mnuFile, Qt::Key_F1);
    w.mnuFile->close();
    EXPECT_EQ(recorder.pages.mid(expected.size()), QStringList({"renaming.htm", "marking.htm"}));
}

TEST_F(GuiReviewMenu, TipWindowComesUpAtStartWhenTheSettingSaysSo)
{
    SetShowTipsAtStartup(true);
    frmMain& w = open();
    frmTip* tip = w.tipWindow();
    ASSERT_NE(tip, nullptr);
    EXPECT_TRUE(tip->isVisible());
    EXPECT_EQ(tip->parentWidget(), &w);
    EXPECT_FALSE(tip->isModal());
    EXPECT_FALSE(tip->lblTipText->text().isEmpty());
    // The main window stays usable beside it.
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    click(w.cmdCriteria);
    EXPECT_TRUE(w.FrmMoreCriteria->isVisible());
    tip->cmdOK->click();
    EXPECT_TRUE(QTest::qWaitFor([&] { return w.tipWindow() == nullptr; }, 2000));
}

TEST_F(GuiReviewMenu, NoTipWindowWhenSwitchedOff)
{
    platform::SaveSetting(kOptionsSection, kShowTipsKey, "0");
    frmMain& w = open();
    EXPECT_EQ(w.tipWindow(), nullptr);
    EXPECT_TRUE(w.findChildren<frmTip*>().isEmpty());
    EXPECT_TRUE(dialogs.shown.empty());
}

}  // namespace

}  // namespace kormial::test

#include "test_review_menu.moc"
