// Start-up and shut-down: the menu bar, Quit during a search (in a child
// process, since Quit ends the program), closing the window during a search,
// and the place the File menu takes when it comes.
#include "tests/gui/guitest.h"

#include "mainwindow/folderlist.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QProcess>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

namespace kormial::test {

namespace {

using GuiLifecycle = GuiTest;

}  // namespace

TEST_F(GuiLifecycle, MenuBarStartsWithTheMenuMenuAndQuit)
{
    frmMain& w = open();
    const QList<QAction*> bar = w.menuBar()->actions();
    ASSERT_FALSE(bar.isEmpty());
    EXPECT_EQ(bar.front()->text(), "&Menu");
    ASSERT_FALSE(w.MnuMain->actions().isEmpty());
    EXPECT_EQ(w.MnuMain->actions().back(), w.MnuQuit);
    EXPECT_EQ(w.MnuQuit->text(), "&Quit");
    EXPECT_TRUE(w.MnuQuit->shortcut().isEmpty());
}

TEST_F(GuiLifecycle, QuitDuringASearchEndsTheProgramAtOnce)
{
    // Enough runs of equal sizes for the search to be caught comparing them.
    for (int i = 0; i < 40; ++i) {
        const std::string content = bytes(static_cast<unsigned>(i), static_cast<std::size_t>(100 + i));
        tmp.write("a/" + std::to_string(i) + ".bin", content);
        tmp.write("b/" + std::to_string(i) + ".bin", content);
    }
    QProcess child;
    child.setProcessChannelMode(QProcess::SeparateChannels);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    child.setProcessEnvironment(env);
    child.start(QCoreApplication::applicationFilePath(),
                {"--quit-during-search", QString::fromStdString(tmp.path())});
    ASSERT_TRUE(child.waitForFinished(30000));
    const QString out = QString::fromLocal8Bit(child.readAllStandardOutput());
    EXPECT_EQ(child.exitStatus(), QProcess::NormalExit) << child.readAllStandardError().toStdString();
    EXPECT_EQ(child.exitCode(), 0);
    EXPECT_TRUE(out.contains("searching"));
    EXPECT_FALSE(out.contains("search returned"));  // it ended inside the search
}

TEST_F(GuiLifecycle, ClosingDuringASearchStopsItAndCloses)
{
    for (int i = 0; i < 30; ++i) {
        tmp.write("a/" + std::to_string(i) + ".bin", bytes(7, 3000));
    }
    frmMain& w = open();
    addFolder(tmp.path());
    const auto closer = QObject::connect(&w, &frmMain::statusChanged, &w, [&](const QString& s) {
        if (s == "Loading files ...") {
            QMetaObject::invokeMethod(&w, [&] { w.close(); }, Qt::QueuedConnection);
        }
    });
    click(w.cmdSrch);
    QObject::disconnect(closer);

    EXPECT_FALSE(w.isVisible());
    EXPECT_TRUE(w.isStopSrch);
    // The search ended where it was: nothing listed, no completion text.
    EXPECT_EQ(w.resultList(kListDuplicates).count(), 0);
    EXPECT_EQ(statuses.back(), "Loading files ...");
    EXPECT_EQ(w.cmdSrch->text(), "&Search");

    // The window can be shown again and searches normally.
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    click(w.cmdSrch);
    EXPECT_EQ(w.resultList(kListDuplicates).count(), 30);
}

TEST_F(GuiLifecycle, FileMenuSitsBetweenMenuAndHelp)
{
    tmp.write("a/x.bin", bytes(1, 500));
    tmp.write("b/x.bin", bytes(1, 500));
    frmMain& w = open();
    EXPECT_TRUE(w.cmdTask->isEnabled());
    EXPECT_EQ(w.cmdTask->text(), "&Task");
    EXPECT_EQ(w.cmdTask->toolTip(), "Click here to open, mark, delete and rename.");

    const QList<QAction*> bar = w.menuBar()->actions();
    ASSERT_EQ(bar.size(), 3);
    EXPECT_EQ(bar[0], w.MnuMain->menuAction());
    EXPECT_EQ(bar[1], w.mnuFile->menuAction());
    EXPECT_EQ(bar[2], w.mnuMainHelp->menuAction());
    EXPECT_EQ(w.fileMenu(), w.mnuFile);
    // A second File menu is not taken.
    auto* other = new QMenu("&File", &w);
    w.setFileMenu(other);
    EXPECT_EQ(w.fileMenu(), w.mnuFile);
    EXPECT_EQ(w.menuBar()->actions().size(), 3);

    // The right mouse button released over a result list pops it up; the
    // left button does not.
    w.resize(900, 600);
    addFolder(tmp.path());
    click(w.cmdSrch);
    ResultListView* view = w.lstResult[0];
    QTest::mouseClick(view->viewport(), Qt::RightButton, {}, view->viewport()->rect().center());
    EXPECT_TRUE(QTest::qWaitFor([&] { return w.mnuFile->isVisible(); }, 2000));
    w.mnuFile->close();
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->viewport()->rect().center());
    EXPECT_FALSE(w.mnuFile->isVisible());
}

TEST_F(GuiLifecycle, RowClicksReachWhoeverListens)
{
    tmp.write("a/x.bin", bytes(1, 500));
    tmp.write("b/x.bin", bytes(1, 500));
    frmMain& w = open();
    w.resize(900, 600);
    addFolder(tmp.path());
    click(w.cmdSrch);
    clickTab(w, 1);
    std::vector<std::pair<int, int>> clicks;
    std::vector<std::pair<int, int>> doubles;
    QObject::connect(&w, &frmMain::resultRowClicked, &w, [&](int l, int r) { clicks.emplace_back(l, r); });
    QObject::connect(&w, &frmMain::resultRowDoubleClicked, &w, [&](int l, int r) { doubles.emplace_back(l, r); });
    doubleClickItem(w.lstResult[1], w.lstResult[1]->model()->index(1, 1));
    ASSERT_FALSE(clicks.empty());
    EXPECT_EQ(clicks.front(), std::make_pair(1, 1));
    ASSERT_EQ(doubles.size(), 1u);
    EXPECT_EQ(doubles.front(), std::make_pair(1, 1));
    EXPECT_EQ(w.resultList(kListDuplicates).selectedRow(), 1);
}

}  // namespace kormial::test
