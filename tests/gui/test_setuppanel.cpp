// The search setup panel as the user works it: folders added and removed,
// the pattern and size checks, the drive and folder lists, New Search.
#include "tests/gui/guitest.h"

#include "mainwindow/drivecombo.h"
#include "mainwindow/folderlist.h"
#include "results/widgets/resultview.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTreeWidget>

namespace kormial::test {

namespace {

using GuiSetupPanel = GuiTest;

QTreeWidgetItem* findChildEntry(QTreeWidgetItem* parent, const QString& name)
{
    for (int i = 0; i < parent->childCount(); ++i) {
        if (parent->child(i)->text(0) == name) {
            return parent->child(i);
        }
    }
    return nullptr;
}

QModelIndex indexOf(QTreeWidget* tree, QTreeWidgetItem* item)
{
    // QTreeWidget::indexFromItem is protected; walk the model instead.
    QList<int> chain;
    for (QTreeWidgetItem* i = item; i != nullptr; i = i->parent()) {
        chain.prepend(i->parent() != nullptr ? i->parent()->indexOfChild(i)
                                             : tree->indexOfTopLevelItem(i));
    }
    QModelIndex idx;
    for (int row : chain) {
        idx = tree->model()->index(row, 0, idx);
    }
    return idx;
}

}  // namespace

TEST_F(GuiSetupPanel, StartsAsTheDesignSays)
{
    frmMain& w = open();
    EXPECT_EQ(w.windowTitle(), "Kormial - Find duplicates, Free memory, File better");
    EXPECT_EQ(w.frmPath->title(), "Select one or more path:");
    EXPECT_EQ(w.txtExt->text(), "*.*");
    EXPECT_TRUE(w.chkSubDir->isChecked());
    EXPECT_FALSE(w.chkTolerant->isChecked());
    ASSERT_EQ(w.lstSrchType->count(), 4);
    const char* types[] = {"Zero Size", "Duplicates", "Same File Name", "Portions"};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(w.lstSrchType->item(i)->text(), types[i]);
        EXPECT_EQ(w.lstSrchType->item(i)->checkState(), i < 3 ? Qt::Checked : Qt::Unchecked) << i;
    }
    EXPECT_TRUE(w.FrmMoreCriteria->isHidden());
    EXPECT_TRUE(w.txtMinSz->text().isEmpty());
    EXPECT_EQ(w.txtMinSz->maxLength(), 9);
    EXPECT_EQ(w.txtMaxSz->maxLength(), 9);
    EXPECT_EQ(w.lstPath->topLevelItemCount(), 0);
    EXPECT_EQ(w.lstPath->headerItem()->text(0), "Path");
    EXPECT_EQ(w.lstPath->headerItem()->text(1), "Sub-folder");
    EXPECT_EQ(w.lstPath->headerItem()->text(2), "Min. Size");
    EXPECT_EQ(w.lstPath->headerItem()->text(3), "Max. Size");
    EXPECT_EQ(w.cmdSrch->text(), "&Search");
    EXPECT_TRUE(w.cmdSrch->isDefault());
    EXPECT_TRUE(w.cmdSrch->font().bold());
    EXPECT_TRUE(w.cmdAdd->font().bold());
    EXPECT_EQ(w.cmdAdd->text(), "&>");
    EXPECT_EQ(w.cmdRemove->text(), "&<");
    EXPECT_EQ(w.cmdNewSrch->text(), "&New Search");
    EXPECT_EQ(w.chkTolerant->text(), "To&lerate little diff.");
    EXPECT_EQ(w.cmdCriteria->iconSize(), QSize(18, 18));
    EXPECT_EQ(w.StatusPanel->text(), "");
    EXPECT_EQ(w.pbMain->value(), 0);
    EXPECT_EQ(w.CurTab, 0);
    EXPECT_EQ(w.tabMain->tabText(0), "Zero Size(0)");
    EXPECT_EQ(w.tabMain->tabText(4), "Report - read errors(0)");
    // The folder list starts at the current folder.
    EXPECT_EQ(w.dirPath->path(), gui::currentFolder());
}

TEST_F(GuiSetupPanel, AddsRootAndSubFolderRows)
{
    tmp.mkdir("music/rock");
    frmMain& w = open();

    // The root, reached by double-clicking the first entry of the chain.
    doubleClickItem(w.dirPath, w.dirPath->model()->index(0, 0));
    ASSERT_EQ(w.dirPath->path(), "/");
    click(w.cmdAdd);

    // A folder, typed pattern, sub-folders off.
    w.dirPath->setPath(tmp.path());
    QTreeWidgetItem* music = findChildEntry(w.dirPath->currentFolderItem(), "music");
    ASSERT_NE(music, nullptr);
    doubleClickItem(w.dirPath, indexOf(w.dirPath, music));
    ASSERT_EQ(w.dirPath->path(), tmp / "music");
    retype(w.txtExt, "*.mp3");
    click(w.chkSubDir);
    ASSERT_FALSE(w.chkSubDir->isChecked());
    click(w.cmdAdd);

    const QList<QStringList> expected{
        {"/*.*", "Yes", "", ""},
        {QString::fromStdString(tmp / "music/*.mp3"), "No", "", ""}};
    EXPECT_EQ(pathRows(), expected);
    EXPECT_TRUE(dialogs.shown.empty());
    // The search reads the rows as they stand.
    const SearchEntry e = w.entry(1);
    EXPECT_EQ(e.path, tmp / "music/*.mp3");
    EXPECT_EQ(e.subFolder, "No");
}

TEST_F(GuiSetupPanel, SameFolderAndPatternIsAddedOnce)
{
    frmMain& w = open();
    addFolder(tmp.path(), "*.mp3");
    addFolder(tmp.path(), "*.mp3");
    EXPECT_EQ(w.lstPath->topLevelItemCount(), 1);
    EXPECT_TRUE(dialogs.shown.empty());
    // The comparison is exact: another pattern, or another letter case, is another row.
    addFolder(tmp.path(), "*.MP3");
    addFolder(tmp.path(), "*.jpg");
    EXPECT_EQ(w.lstPath->topLevelItemCount(), 3);
    // The root: "/" + pattern is the row text, and adding it twice leaves one.
    addFolder("/", "*.*");
    addFolder("/", "*.*");
    EXPECT_EQ(w.lstPath->topLevelItemCount(), 4);
    EXPECT_TRUE(dialogs.shown.empty());
}

TEST_F(GuiSetupPanel, EmptyPatternIsRefusedWithAFlash)
{
    frmMain& w = open();
    w.dirPath->setPath(tmp.path());
    retype(w.txtExt, "");
    const QColor normal = w.txtExt->palette().color(QPalette::Base);
    ASSERT_NE(normal, frmMain::desktopColour());
    QList<QColor> seen;
    clock.onRead = [&] {
        const QColor c = w.txtExt->palette().color(QPalette::Base);
        if (seen.isEmpty() || seen.back() != c) {
            seen << c;
        }
    };
    const double before = clock.t;
    click(w.cmdAdd);
    clock.onRead = nullptr;

    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].text, "Please input file type.");
    EXPECT_EQ(dialogs.shown[0].title, "Kormial");
    EXPECT_EQ(dialogs.shown[0].icon, gui::MsgIcon::Exclamation);
    EXPECT_EQ(dialogs.shown[0].buttons, gui::MsgButtons::Ok);
    // The clock is read while each half-second lasts: on, off, on, off.
    const QList<QColor> flashed{frmMain::desktopColour(), normal, frmMain::desktopColour(), normal};
    EXPECT_EQ(seen, flashed);
    EXPECT_EQ(w.txtExt->palette().color(QPalette::Base), normal);
    EXPECT_GE(clock.t - before, 2.0);  // twice half a second on, half off
    EXPECT_TRUE(w.txtExt->hasFocus());
    EXPECT_EQ(w.lstPath->topLevelItemCount(), 0);
}

TEST_F(GuiSetupPanel, SizeBoundsAreCompared)
{
    frmMain& w = open();
    w.dirPath->setPath(tmp.path());
    click(w.cmdCriteria);
    ASSERT_TRUE(w.FrmMoreCriteria->isVisible());

    retype(w.txtMinSz, "100");
    retype(w.txtMaxSz, "100");
    click(w.cmdAdd);
    retype(w.txtMaxSz, "99");
    click(w.cmdAdd);
    ASSERT_EQ(dialogs.shown.size(), 2u);
    EXPECT_EQ(dialogs.shown[0].text, "Max File Size(100) must be greater than Min File Size(100).");
    EXPECT_EQ(dialogs.shown[0].title, "Wrong Size");
    EXPECT_EQ(dialogs.shown[0].icon, gui::MsgIcon::Exclamation);
    EXPECT_EQ(dialogs.shown[1].text, "Max File Size(99) must be greater than Min File Size(100).");
    EXPECT_EQ(w.lstPath->topLevelItemCount(), 0);

    // The texts are compared as numbers, and shown as typed.
    retype(w.txtMaxSz, "0101");
    click(w.cmdAdd);
    // Only a maximum: nothing to compare.
    retype(w.txtMinSz, "");
    retype(w.txtExt, "*.jpg");
    click(w.cmdAdd);
    EXPECT_EQ(dialogs.shown.size(), 2u);
    const QList<QStringList> expected{
        {QString::fromStdString(tmp / "*.*"), "Yes", "100", "0101"},
        {QString::fromStdString(tmp / "*.jpg"), "Yes", "", "0101"}};
    EXPECT_EQ(pathRows(), expected);
    // The boxes keep their texts for the next folder.
    EXPECT_EQ(w.txtMaxSz->text(), "0101");
}

TEST_F(GuiSetupPanel, SizeBoxHoldsNineCharacters)
{
    frmMain& w = open();
    click(w.cmdCriteria);
    click(w.txtMinSz);
    type(w.txtMinSz, "1234567890");
    EXPECT_EQ(w.txtMinSz->text(), "123456789");
}

TEST_F(GuiSetupPanel, SizeTextIsCheckedWhenTheBoxLosesTheFocus)
{
    frmMain& w = open();
    click(w.cmdCriteria);
    retype(w.txtMinSz, "12kb");
    click(w.txtMaxSz);  // the focus leaves the box
    ASSERT_TRUE(QTest::qWaitFor([&] { return !dialogs.shown.empty(); }, 2000));
    EXPECT_EQ(dialogs.shown[0].text, "Invalid file size.");
    EXPECT_EQ(dialogs.shown[0].title, "Kormial");
    EXPECT_EQ(dialogs.shown[0].icon, gui::MsgIcon::Exclamation);
    EXPECT_TRUE(w.txtMinSz->hasFocus());
    EXPECT_EQ(w.txtMinSz->text(), "12kb");

    // Empty, negative and fractional texts pass.
    for (const QString& good : {QString(), QStringLiteral("-5"), QStringLiteral("2.5"), QStringLiteral(" 7 ")}) {
        dialogs.shown.clear();
        retype(w.txtMinSz, good);
        click(w.txtMaxSz);
        QTest::qWait(20);
        EXPECT_TRUE(dialogs.shown.empty()) << good.toStdString();
        EXPECT_TRUE(w.txtMaxSz->hasFocus());
    }

    // Two bad boxes do not hand the focus back and forth.
    dialogs.shown.clear();
    retype(w.txtMaxSz, "x");
    retype(w.txtMinSz, "y");  // the focus leaves the bad max box
    QTest::qWait(50);
    EXPECT_EQ(messageTexts(), QStringList{"Invalid file size."});
    EXPECT_TRUE(w.txtMaxSz->hasFocus());
}

TEST_F(GuiSetupPanel, BadSizeStopsTheAddWithOneMessage)
{
    frmMain& w = open();
    w.dirPath->setPath(tmp.path());
    click(w.cmdCriteria);

    // The box still has the focus when [>] is clicked.
    retype(w.txtMinSz, "abc");
    click(w.cmdAdd);
    QTest::qWait(50);
    EXPECT_EQ(messageTexts(), QStringList{"Invalid file size."});
    EXPECT_TRUE(w.txtMinSz->hasFocus());
    EXPECT_EQ(w.lstPath->topLevelItemCount(), 0);

    // The access key of [>] presses it from inside the box.
    dialogs.shown.clear();
    QTest::keyClick(w.txtMinSz, Qt::Key_Greater, Qt::AltModifier);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !dialogs.shown.empty(); }, 2000));
    QTest::qWait(200);
    EXPECT_EQ(messageTexts(), QStringList{"Invalid file size."});
    EXPECT_TRUE(w.txtMinSz->hasFocus());
    EXPECT_EQ(w.lstPath->topLevelItemCount(), 0);

    retype(w.txtMinSz, "3");
    QTest::keyClick(w.txtMinSz, Qt::Key_Greater, Qt::AltModifier);
    EXPECT_TRUE(QTest::qWaitFor([&] { return w.lstPath->topLevelItemCount() == 1; }, 2000));
    EXPECT_EQ(messageTexts(), QStringList{"Invalid file size."});
}

TEST_F(GuiSetupPanel, CriteriaToggleKeepsTheSizes)
{
    frmMain& w = open();
    const QImage more = w.cmdCriteria->icon().pixmap(18, 18).toImage();
    click(w.cmdCriteria);
    EXPECT_TRUE(w.FrmMoreCriteria->isVisible());
    const QImage less = w.cmdCriteria->icon().pixmap(18, 18).toImage();
    EXPECT_NE(more, less);
    // The frame lies over the lower part of the path list.
    EXPECT_TRUE(w.FrmMoreCriteria->geometry().intersects(w.lstPath->geometry()));
    EXPECT_GT(w.FrmMoreCriteria->y(), w.lstPath->y());

    retype(w.txtMinSz, "10");
    click(w.cmdCriteria);
    EXPECT_FALSE(w.FrmMoreCriteria->isVisible());
    EXPECT_EQ(w.cmdCriteria->icon().pixmap(18, 18).toImage(), more);
    // Sizes typed earlier still go into rows added later.
    addFolder(tmp.path());
    ASSERT_EQ(pathRows().size(), 1);
    EXPECT_EQ(pathRows()[0][2], "10");
}

TEST_F(GuiSetupPanel, RowsGoByButtonAndByDoubleClick)
{
    tmp.mkdir("a");
    tmp.mkdir("b");
    tmp.mkdir("c");
    frmMain& w = open();
    addFolder(tmp / "a");
    addFolder(tmp / "b");
    addFolder(tmp / "c");
    ASSERT_EQ(w.lstPath->topLevelItemCount(), 3);

    // Nothing selected: nothing removed.
    w.lstPath->clearSelection();
    click(w.cmdRemove);
    EXPECT_EQ(w.lstPath->topLevelItemCount(), 3);

    clickItem(w.lstPath, w.lstPath->model()->index(1, 0));
    click(w.cmdRemove);
    ASSERT_EQ(w.lstPath->topLevelItemCount(), 2);
    EXPECT_EQ(pathRows()[0][0].toStdString(), tmp / "a/*.*");
    EXPECT_EQ(pathRows()[1][0].toStdString(), tmp / "c/*.*");

    doubleClickItem(w.lstPath, w.lstPath->model()->index(0, 0));
    ASSERT_EQ(w.lstPath->topLevelItemCount(), 1);
    EXPECT_EQ(pathRows()[0][0].toStdString(), tmp / "c/*.*");
    EXPECT_TRUE(dialogs.shown.empty());
}

TEST_F(GuiSetupPanel, FolderListOpensOnDoubleClickOnly)
{
    tmp.mkdir("Beta");
    tmp.mkdir("alpha/inner");
    tmp.mkdir(".hidden");
    tmp.write("file.txt", "x");
    frmMain& w = open();
    w.dirPath->setPath(tmp.path() + "/");
    EXPECT_EQ(w.dirPath->path(), tmp.path());

    // The chain from the root, then the sub-folders: dot-folders last, case ignored.
    QTreeWidgetItem* here = w.dirPath->currentFolderItem();
    QStringList subs;
    for (int i = 0; i < here->childCount(); ++i) {
        subs << here->child(i)->text(0);
    }
    EXPECT_EQ(subs, (QStringList{"alpha", "Beta", ".hidden"}));
    int depth = 0;
    for (QTreeWidgetItem* i = here; i->parent() != nullptr; i = i->parent()) {
        ++depth;
    }
    EXPECT_EQ(static_cast<std::size_t>(depth), static_cast<std::size_t>(std::count(tmp.path().begin(), tmp.path().end(), '/')));
    EXPECT_EQ(w.dirPath->topLevelItem(0)->text(0), "/");

    // A click highlights; the current folder stays.
    clickItem(w.dirPath, indexOf(w.dirPath, here->child(0)));
    EXPECT_EQ(w.dirPath->path(), tmp.path());
    EXPECT_EQ(w.dirPath->currentItem()->text(0), "alpha");
    // Enter opens the highlighted folder.
    QTest::keyClick(w.dirPath, Qt::Key_Return);
    EXPECT_EQ(w.dirPath->path(), tmp / "alpha");
    EXPECT_EQ(w.dirPath->currentFolderItem()->child(0)->text(0), "inner");
    // A double-click on a folder of the chain goes back up.
    doubleClickItem(w.dirPath, indexOf(w.dirPath, w.dirPath->currentFolderItem()->parent()));
    EXPECT_EQ(w.dirPath->path(), tmp.path());
    EXPECT_TRUE(dialogs.shown.empty());
}

TEST_F(GuiSetupPanel, DriveChangeAndUnreadableDrive)
{
    tmp.mkdir("vol1/deep");
    tmp.mkdir("vol2");
    drives.roots = {"/", tmp / "vol1", tmp / "vol2", tmp / "gone"};
    frmMain& w = open();
    w.dirPath->setPath(tmp / "vol1/deep");
    EXPECT_EQ(w.drvPath->currentRoot(), tmp / "vol1");  // the drive list follows the folder

    // Down: the next volume, shown at its root.
    w.drvPath->setFocus();
    QTest::keyClick(w.drvPath, Qt::Key_Down);
    EXPECT_EQ(w.drvPath->currentRoot(), tmp / "vol2");
    EXPECT_EQ(w.dirPath->path(), tmp / "vol2");

    // A volume that cannot be read: the system's words, the folder list stays.
    QTest::keyClick(w.drvPath, Qt::Key_Down);
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].text, QString::fromLocal8Bit(std::strerror(ENOENT)));
    EXPECT_EQ(dialogs.shown[0].title, "Kormial");
    EXPECT_EQ(dialogs.shown[0].icon, gui::MsgIcon::Critical);
    EXPECT_EQ(w.dirPath->path(), tmp / "vol2");
    EXPECT_EQ(w.drvPath->currentRoot(), tmp / "vol2");

    // Back to the first volume: at the folder last opened there.
    QTest::keyClick(w.drvPath, Qt::Key_Up);
    EXPECT_EQ(w.drvPath->currentRoot(), tmp / "vol1");
    EXPECT_EQ(w.dirPath->path(), tmp / "vol1/deep");
}

TEST_F(GuiSetupPanel, NewSearchResetsTheRequestAndFourLists)
{
    tmp.write("a/x.bin", bytes(1, 3000));
    tmp.write("b/x.bin", bytes(1, 3000));
    tmp.write("empty.txt", "");
    frmMain& w = open();
    addFolder(tmp.path());
    click(w.cmdSrch);
    ASSERT_GT(w.resultList(kListDuplicates).count(), 0);
    // A read-error row, as a search that met an unreadable file leaves it.
    w.resultList(kListReadErrors).add("locked.bin", {tmp.path() + "/", "        -3", "       100",
                                                     "2024/01/01 00:00:00", ""});
    w.UpdateCount();

    // Everything that New Search must not touch is set away from its start.
    retype(w.txtExt, "*.bin");
    click(w.chkSubDir);
    click(w.chkTolerant);
    click(w.cmdCriteria);
    retype(w.txtMinSz, "1");
    retype(w.txtMaxSz, "900");
    clickItem(w.lstSrchType, w.lstSrchType->model()->index(3, 0));
    w.lstSrchType->item(0)->setCheckState(Qt::Unchecked);
    w.lstSrchType->item(3)->setCheckState(Qt::Checked);
    clickTab(w, 2);
    const std::string folder = w.dirPath->path();
    w.resize(900, 600);

    click(w.cmdNewSrch);

    EXPECT_EQ(w.lstPath->topLevelItemCount(), 0);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(w.resultList(i).count(), 0) << i;
        EXPECT_EQ(w.lstSrchType->item(i)->checkState(), i < 3 ? Qt::Checked : Qt::Unchecked) << i;
    }
    EXPECT_EQ(w.resultList(kListReadErrors).count(), 1);
    EXPECT_EQ(w.tabMain->tabText(kListReadErrors), "Report - read errors(1)");
    EXPECT_EQ(w.tabMain->tabText(kListDuplicates), "Duplicates(0)");
    EXPECT_TRUE(w.txtMinSz->text().isEmpty());
    EXPECT_TRUE(w.txtMaxSz->text().isEmpty());
    EXPECT_EQ(w.txtExt->text(), "*.bin");
    EXPECT_FALSE(w.chkSubDir->isChecked());
    EXPECT_TRUE(w.chkTolerant->isChecked());
    EXPECT_TRUE(w.FrmMoreCriteria->isVisible());
    EXPECT_EQ(w.dirPath->path(), folder);
    EXPECT_EQ(w.CurTab, 2);
    EXPECT_EQ(w.clientAreaHeight(), w.frmPath->height() + 11);  // compact again
}

}  // namespace kormial::test
