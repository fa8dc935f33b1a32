// The window's geometry: the compact start, the resize rules with their
// minimum width and height, the height of a search, the progress bar's place.
#include "tests/gui/guitest.h"

#include "mainwindow/statusbar.h"
#include "mainwindow/twips.h"

#include <QGroupBox>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTest>
#include <QTreeWidget>

namespace kormial::test {

namespace {

using GuiLayout = GuiTest;

}  // namespace

TEST_F(GuiLayout, StartsCompact)
{
    frmMain& w = open();
    // Only the path panel and the status bar, with 160 twips to spare.
    EXPECT_EQ(w.frmPath->height(), 225);
    EXPECT_EQ(w.clientAreaHeight(), 225 + 11);
    EXPECT_EQ(w.centralWidget()->height(), w.clientAreaHeight());
    EXPECT_EQ(w.width(), tw(10000));
    // At the compact height the result strip keeps its design height.
    EXPECT_EQ(w.tabMain->height(), tw(975));
    EXPECT_EQ(w.frmPath->geometry().topLeft(), QPoint(8, 0));
    EXPECT_EQ(w.tabMain->geometry().topLeft(), QPoint(8, 240));
}

TEST_F(GuiLayout, NeverNarrowerOrLowerThanTheMinimum)
{
    frmMain& w = open();
    w.resize(300, 100);
    EXPECT_EQ(w.width(), tw(10000));
    EXPECT_EQ(w.clientAreaHeight(), w.frmPath->height() + tw(160));
    w.resize(900, 120);
    EXPECT_EQ(w.width(), 900);
    EXPECT_EQ(w.clientAreaHeight(), w.frmPath->height() + tw(160));
}

TEST_F(GuiLayout, LargeWindowFollowsTheRules)
{
    frmMain& w = open();
    w.resize(1200, 900);
    const int client = w.clientAreaHeight();
    EXPECT_EQ(w.centralWidget()->height(), client);
    EXPECT_EQ(w.frmPath->geometry(), QRect(8, 0, 1200 - 21, 225));
    const int fw = w.fraSrch->width();
    EXPECT_GE(fw, tw(1695));
    EXPECT_EQ(w.fraSrch->x(), w.frmPath->width() - fw - 11);
    EXPECT_EQ(w.lstPath->width(), w.frmPath->width() - fw - w.lstPath->x() - 21);
    EXPECT_EQ(w.frmSelectPath->width(), w.frmPath->width() - fw - 21);
    EXPECT_EQ(w.frmFileOp->geometry(), QRect(1200 - 121 - 11, 240, 121, 217));
    EXPECT_EQ(w.tabMain->geometry(), QRect(8, 240, 1200 - 121 - 21, client - 240 - 8));
    // The list of the current tab fills the strip's inner area.
    auto* inner = w.tabMain->findChild<QStackedWidget*>();
    EXPECT_EQ(w.frmResult[0]->geometry(), inner->rect());
    EXPECT_EQ(w.lstResult[0]->geometry(), w.frmResult[0]->rect());
    // The path list ends short of the search frame, inside the panel.
    const int listRight = w.frmSelectPath->x() + w.lstPath->geometry().right();
    EXPECT_LT(listRight, w.fraSrch->x());
    EXPECT_GE(listRight, w.fraSrch->x() - 6);
}

TEST_F(GuiLayout, SearchMakesANormalWindow8000TwipsHigh)
{
    tmp.write("f.txt", "x");
    frmMain& w = open();
    addFolder(tmp.path());
    click(w.cmdSrch);
    EXPECT_EQ(w.frameGeometry().height(), tw(8000));
    EXPECT_GT(w.tabMain->height(), 150);
    // New Search makes it compact again.
    click(w.cmdNewSrch);
    EXPECT_EQ(w.clientAreaHeight(), w.frmPath->height() + tw(160));
}

TEST_F(GuiLayout, MaximisedWindowKeepsItsSize)
{
    tmp.write("f.txt", "x");
    frmMain& w = open();
    w.showMaximized();
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.isMaximized(); }, 2000));
    QTest::qWait(50);
    const QSize maxSize = w.size();
    addFolder(tmp.path());
    click(w.cmdSrch);
    EXPECT_EQ(w.size(), maxSize);
    click(w.cmdNewSrch);
    EXPECT_EQ(w.size(), maxSize);
    // The rules still hold at the maximised size.
    EXPECT_EQ(w.tabMain->height(), w.clientAreaHeight() - 240 - 8);
}

TEST_F(GuiLayout, ProgressBarSitsInPanelOne)
{
    frmMain& w = open();
    EXPECT_EQ(w.pbMain->parentWidget(), w.StatusBar1);
    EXPECT_EQ(w.StatusBar1->height(), tw(255));
    const QRect panel = w.StatusBar1->panelRect(1);
    const int m = tw(40);
    EXPECT_EQ(w.pbMain->geometry(), QRect(panel.left() + m, m, panel.width() - 2 * m, w.StatusBar1->height() - m));
    EXPECT_EQ(w.pbMain->geometry().bottom(), w.StatusBar1->rect().bottom());
    EXPECT_TRUE(w.pbMain->isVisible());
    EXPECT_EQ(w.pbMain->minimum(), 0);
    EXPECT_EQ(w.pbMain->maximum(), 100);
    // Panel 2 is the status panel, beside panel 1.
    EXPECT_EQ(w.StatusPanel->parentWidget(), w.StatusBar1);
    EXPECT_GE(w.StatusPanel->x(), panel.right());
    // Docking again changes nothing.
    w.DockProgressBar();
    EXPECT_EQ(w.pbMain->parentWidget(), w.StatusBar1);
}

}  // namespace kormial::test
