// The search run as the user starts and stops it: the refusals, a real search
// over a temporary tree, the locking of the setup panel, Cancel, the timing.
#include "tests/gui/guitest.h"

#include "mainwindow/drivecombo.h"
#include "mainwindow/folderlist.h"
#include "mainwindow/statusbar.h"
#include "results/widgets/resultview.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QTabWidget>
#include <QTest>
#include <QTreeWidget>

#include <algorithm>
#include <map>

namespace kormial::test {

namespace {

using GuiSearchRun = GuiTest;

// A tree with something for every tab but the read errors: 12 files.
void makeSampleTree(const TempTree& t)
{
    t.write("z/empty1.txt", "");
    t.write("z/Empty0.log", "");
    t.write("d/a1.dat", bytes(10, 5000));
    t.write("d/sub/a2.dat", bytes(10, 5000));
    t.write("e/a3.dat", bytes(10, 5000));
    t.write("d/lone.dat", bytes(12, 5000));
    t.write("d/b1.dat", bytes(11, 8000));
    t.write("e/b2.dat", bytes(11, 8000));
    t.write("x/Report.doc", bytes(20, 100));
    t.write("y/report.DOC", bytes(21, 120));
    // The smaller holds more than one whole comparison block (50000 bytes).
    const std::string big = bytes(30, 200000);
    t.write("p/big.bin", big);
    t.write("p/part.bin", big.substr(0, 120000));
}

// Ticks or clears a search type the way the user does: select it, press Space.
void toggleType(frmMain& w, int position)
{
    w.lstSrchType->setFocus();
    w.lstSrchType->setCurrentRow(position);
    QTest::keyClick(w.lstSrchType, Qt::Key_Space);
}

std::vector<std::string> column(const std::vector<std::vector<std::string>>& rows, int c)
{
    std::vector<std::string> out;
    for (const auto& r : rows) {
        out.push_back(r.at(static_cast<std::size_t>(c)));
    }
    return out;
}

}  // namespace

TEST_F(GuiSearchRun, SearchFillsEveryTabAndItsCount)
{
    makeSampleTree(tmp);
    clock.step = 0.001;
    frmMain& w = open();
    addFolder(tmp.path());
    toggleType(w, kTypePortions);
    ASSERT_EQ(w.lstSrchType->item(kTypePortions)->checkState(), Qt::Checked);

    click(w.cmdSrch);

    EXPECT_TRUE(dialogs.shown.empty());
    EXPECT_EQ(statuses.front(), "Start ...");
    EXPECT_EQ(w.StatusPanel->text(), "Completed in 0s, searching 12 files.");
    EXPECT_EQ(w.tabMain->tabText(0), "Zero Size(2)");
    EXPECT_EQ(w.tabMain->tabText(1), "Duplicates(5)");
    EXPECT_EQ(w.tabMain->tabText(2), "Same Name(2)");
    EXPECT_EQ(w.tabMain->tabText(3), "Portions(2)");
    EXPECT_EQ(w.tabMain->tabText(4), "Report - read errors(0)");

    // Zero size and same name by name, case ignored.
    EXPECT_EQ(column(rows(kListZeroSize), 0), (std::vector<std::string>{"Empty0.log", "empty1.txt"}));
    EXPECT_EQ(column(rows(kListSameName), 0), (std::vector<std::string>{"Report.doc", "report.DOC"}));
    EXPECT_EQ(column(rows(kListSameName), 1), (std::vector<std::string>{tmp / "x/", tmp / "y/"}));

    // Duplicates by group: the three 5000-byte copies, then the two of 8000.
    const auto dups = rows(kListDuplicates);
    ASSERT_EQ(dups.size(), 5u);
    std::map<std::string, std::string> groupOf;
    for (const auto& r : dups) {
        groupOf[r[0]] = r[2];
        EXPECT_EQ(r[2].size(), 10u);
        EXPECT_TRUE(QRegularExpression("^\\d{4}/\\d\\d/\\d\\d \\d\\d:\\d\\d:\\d\\d$")
                        .match(QString::fromStdString(r[4])).hasMatch()) << r[4];
    }
    EXPECT_EQ(groupOf["a1.dat"], groupOf["a2.dat"]);
    EXPECT_EQ(groupOf["a1.dat"], groupOf["a3.dat"]);
    EXPECT_EQ(groupOf["b1.dat"], groupOf["b2.dat"]);
    EXPECT_NE(groupOf["a1.dat"], groupOf["b1.dat"]);
    EXPECT_EQ(groupOf.count("lone.dat"), 0u);
    EXPECT_EQ(column(dups, 3), (std::vector<std::string>{"      5000", "      5000", "      5000",
                                                         "      8000", "      8000"}));
    auto portions = column(rows(kListPortions), 0);
    std::sort(portions.begin(), portions.end());
    EXPECT_EQ(portions, (std::vector<std::string>{"big.bin", "part.bin"}));

    // The panel is back to its idle state.
    EXPECT_EQ(w.cmdSrch->text(), "&Search");
    EXPECT_TRUE(w.frmSelectPath->isEnabled());
    EXPECT_TRUE(w.cmdNewSrch->isEnabled());
    EXPECT_TRUE(w.lstSrchType->isEnabled());
    EXPECT_EQ(w.pbMain->value(), 0);
    // The record array keeps the last search.
    EXPECT_EQ(w.arrFiles.size(), 12u);
}

TEST_F(GuiSearchRun, LocksExactlyTheSetupControls)
{
    makeSampleTree(tmp);
    frmMain& w = open();
    addFolder(tmp.path());
    click(w.cmdCriteria);

    const std::map<std::string, QWidget*> locked{
        {"drvPath", w.drvPath},     {"dirPath", w.dirPath},       {"txtExt", w.txtExt},
        {"cmdAdd", w.cmdAdd},       {"cmdRemove", w.cmdRemove},   {"cmdNetwork", w.cmdNetwork},
        {"cmdCriteria", w.cmdCriteria}, {"chkSubDir", w.chkSubDir}, {"lstPath", w.lstPath},
        {"txtMinSz", w.txtMinSz},   {"txtMaxSz", w.txtMaxSz},     {"cmdNewSrch", w.cmdNewSrch},
        {"lstSrchType", w.lstSrchType}, {"frmSelectPath", w.frmSelectPath}};
    std::map<std::string, QWidget*> usable{
        {"cmdSrch", w.cmdSrch}, {"chkTolerant", w.chkTolerant}, {"tabMain", w.tabMain},
        {"menu bar", w.menuBar()}, {"frmFileOp", w.frmFileOp}, {"chkPreview", w.chkPreview},
        {"frmPath", w.frmPath}, {"fraSrch", w.fraSrch}};
    for (int i = 0; i < kResultListCount; ++i) {
        usable["lstResult" + std::to_string(i)] = w.lstResult[static_cast<std::size_t>(i)];
    }
    const bool taskBefore = w.cmdTask->isEnabled();

    std::map<std::string, bool> during;
    QString captionDuring;
    bool quitDuring = false;
    QObject::connect(&w, &frmMain::statusChanged, &w, [&](const QString& s) {
        if (s == "Loading files ...") {
            for (const auto& [name, widget] : locked) {
                during[name] = widget->isEnabled();
            }
            for (const auto& [name, widget] : usable) {
                during[name] = widget->isEnabled();
            }
            during["cmdTask"] = w.cmdTask->isEnabled() == taskBefore;
            captionDuring = w.cmdSrch->text();
            quitDuring = w.MnuQuit->isEnabled();
        }
    });
    click(w.cmdSrch);

    ASSERT_FALSE(during.empty());
    for (const auto& [name, widget] : locked) {
        EXPECT_FALSE(during[name]) << name << " should be locked during the search";
        EXPECT_TRUE(widget->isEnabled()) << name << " should be unlocked afterwards";
    }
    for (const auto& [name, widget] : usable) {
        EXPECT_TRUE(during[name]) << name << " should stay usable during the search";
    }
    EXPECT_TRUE(during["cmdTask"]);
    EXPECT_TRUE(quitDuring);
    EXPECT_EQ(captionDuring, "&Cancel");
}

TEST_F(GuiSearchRun, CancelStopsTheComparisonsAndKeepsWhatWasFound)
{
    tmp.write("empty.txt", "");
    tmp.write("a/one.bin", bytes(1, 1000));
    tmp.write("b/one.bin", bytes(1, 1000));
    tmp.write("a/two.bin", bytes(2, 2000));
    tmp.write("b/two.bin", bytes(2, 2000));
    tmp.write("a/three.bin", bytes(3, 3000));
    tmp.write("b/three.bin", bytes(3, 3000));
    frmMain& w = open();
    addFolder(tmp.path());

    QString statusAfterClick;
    QString captionAfterClick;
    QObject::connect(&w, &frmMain::statusChanged, &w, [&](const QString& s) {
        if (s == "Searching duplicated files ...") {
            // The user clicks Cancel while the search runs.
            QMetaObject::invokeMethod(&w, [&] {
                click(w.cmdSrch);
                statusAfterClick = w.StatusPanel->text();
                captionAfterClick = w.cmdSrch->text();
            }, Qt::QueuedConnection);
        }
    });
    click(w.cmdSrch);

    EXPECT_EQ(statusAfterClick, "Stopping ...");
    EXPECT_EQ(captionAfterClick, "&Cancel");
    ASSERT_EQ(statuses.size(), 6);
    EXPECT_EQ(statuses.mid(0, 5), (QStringList{"Start ...", "Loading files ...", "Search same file name  ...",
                                               "Searching duplicated files ...", "Stopping ..."}));
    EXPECT_TRUE(QRegularExpression("^Completed in \\d+s, searching 7 files\\.$").match(statuses[5]).hasMatch())
        << statuses[5].toStdString();
    EXPECT_EQ(w.cmdSrch->text(), "&Search");
    // Found before the stop: the zero-size file, the same names, and the first
    // run of equal sizes; the later runs were not compared.
    EXPECT_EQ(w.resultList(kListZeroSize).count(), 1);
    EXPECT_EQ(w.resultList(kListSameName).count(), 6);
    EXPECT_EQ(column(rows(kListDuplicates), 0), (std::vector<std::string>{"one.bin", "one.bin"}));
    EXPECT_EQ(w.tabMain->tabText(1), "Duplicates(2)");
    EXPECT_TRUE(w.frmSelectPath->isEnabled());
}

TEST_F(GuiSearchRun, RefusesWithoutAPathAndFlashesTheAddButton)
{
    makeSampleTree(tmp);
    frmMain& w = open();
    addFolder(tmp.path());
    click(w.cmdSrch);
    const auto before = rows(kListDuplicates);
    ASSERT_FALSE(before.empty());
    statuses.clear();
    doubleClickItem(w.lstPath, w.lstPath->model()->index(0, 0));
    ASSERT_EQ(w.lstPath->topLevelItemCount(), 0);

    QStringList captions;
    clock.onRead = [&] {
        if (captions.isEmpty() || captions.back() != w.cmdAdd->text()) {
            captions << w.cmdAdd->text();
        }
    };
    click(w.cmdSrch);
    clock.onRead = nullptr;

    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].text, "Please select path before search. Remember to click [>] to add path.");
    EXPECT_EQ(dialogs.shown[0].title, "Select Path");
    EXPECT_EQ(dialogs.shown[0].icon, gui::MsgIcon::Exclamation);
    EXPECT_EQ(captions, (QStringList{"", "&>", "", "&>"}));  // read while each half-second lasts
    EXPECT_EQ(w.cmdAdd->text(), "&>");
    EXPECT_TRUE(w.drvPath->hasFocus());
    EXPECT_EQ(rows(kListDuplicates), before);  // the previous results stay
    EXPECT_TRUE(statuses.isEmpty());
    EXPECT_EQ(w.cmdSrch->text(), "&Search");
}

TEST_F(GuiSearchRun, RefusesWithoutASearchTypeAndFlashesTheList)
{
    frmMain& w = open();
    addFolder(tmp.path());
    for (int i = 0; i < 3; ++i) {
        toggleType(w, i);
    }
    ASSERT_FALSE(frmMain::AtLeast1Chk(w.lstSrchType));

    const QColor normal = w.lstSrchType->palette().color(QPalette::Base);
    QList<QColor> seen;
    clock.onRead = [&] {
        const QColor c = w.lstSrchType->palette().color(QPalette::Base);
        if (seen.isEmpty() || seen.back() != c) {
            seen << c;
        }
    };
    click(w.cmdSrch);
    clock.onRead = nullptr;

    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].text, "Please select at least one seach type.");
    EXPECT_EQ(dialogs.shown[0].title, "Select Search Type");
    EXPECT_EQ(dialogs.shown[0].icon, gui::MsgIcon::Exclamation);
    EXPECT_EQ(seen, (QList<QColor>{frmMain::desktopColour(), normal, frmMain::desktopColour(), normal}));
    EXPECT_EQ(w.lstSrchType->palette().color(QPalette::Base), normal);
    EXPECT_TRUE(statuses.isEmpty());

    // The last item alone counts as a tick.
    toggleType(w, kTypePortions);
    EXPECT_TRUE(frmMain::AtLeast1Chk(w.lstSrchType));
}

TEST_F(GuiSearchRun, EmptyCatalogueEndsWithNoFilesAndFiveEmptyLists)
{
    makeSampleTree(tmp);
    clock.step = 0.001;
    frmMain& w = open();
    addFolder(tmp.path());
    click(w.cmdSrch);
    w.resultList(kListReadErrors).add("x", {"/", "        -3", "         1", "", ""});
    ASSERT_GT(w.resultList(kListDuplicates).count(), 0);

    click(w.cmdNewSrch);
    addFolder(tmp.path(), "*.none");
    click(w.cmdSrch);

    EXPECT_EQ(w.StatusPanel->text(), "Completed in 0s, searching 0 files.");
    for (int i = 0; i < kResultListCount; ++i) {
        EXPECT_EQ(w.resultList(i).count(), 0) << i;
    }
    EXPECT_EQ(w.tabMain->tabText(4), "Report - read errors(0)");
}

TEST_F(GuiSearchRun, SizeBoundsComeFromTheBoxesWhenTheSearchStarts)
{
    tmp.write("s/small1.bin", bytes(5, 1024));
    tmp.write("s/small2.bin", bytes(5, 1024));
    tmp.write("s/large1.bin", bytes(6, 10240));
    tmp.write("s/large2.bin", bytes(6, 10240));
    frmMain& w = open();
    addFolder(tmp.path());  // added with empty size boxes
    click(w.cmdCriteria);
    retype(w.txtMinSz, "5");
    click(w.cmdSrch);
    auto found = column(rows(kListDuplicates), 0);
    std::sort(found.begin(), found.end());
    EXPECT_EQ(found, (std::vector<std::string>{"large1.bin", "large2.bin"}));

    // A row added with a bound, searched after the box was emptied.
    click(w.cmdNewSrch);
    retype(w.txtMinSz, "5");
    addFolder(tmp / "s");
    ASSERT_EQ(pathRows()[0][2], "5");
    retype(w.txtMinSz, "");
    click(w.cmdSrch);
    EXPECT_EQ(w.resultList(kListDuplicates).count(), 4);
}

TEST_F(GuiSearchRun, ElapsedSecondsComeFromTheClock)
{
    makeSampleTree(tmp);
    clock.step = 0.001;
    frmMain& w = open();
    addFolder(tmp.path());
    QObject::connect(&w, &frmMain::statusChanged, &w, [&](const QString& s) {
        if (s == "Loading files ...") {
            clock.t += 12.6;
        }
    });
    click(w.cmdSrch);
    EXPECT_EQ(w.StatusPanel->text(), "Completed in 12s, searching 12 files.");
}

TEST_F(GuiSearchRun, EnterPressesTheSearchButton)
{
    frmMain& w = open();
    click(w.txtExt);
    QTest::keyClick(w.txtExt, Qt::Key_Return);
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].title, "Select Path");

    // On a button, Enter presses that button.
    addFolder(tmp.path());
    dialogs.shown.clear();
    w.cmdRemove->setFocus();
    clickItem(w.lstPath, w.lstPath->model()->index(0, 0));
    w.cmdRemove->setFocus();
    QTest::keyClick(w.cmdRemove, Qt::Key_Return);
    EXPECT_EQ(w.lstPath->topLevelItemCount(), 0);
    EXPECT_TRUE(dialogs.shown.empty());
}

}  // namespace kormial::test
