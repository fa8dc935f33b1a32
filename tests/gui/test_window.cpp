// The window as a whole: the tip window at start and its option in the
// settings, the About box and the help, and the layout as it resizes.
#include "tests/gui/guitest.h"

#include "mainwindow/frmoptions.h"
#include "mainwindow/frmtip.h"
#include "platform/settings.h"

#include <QApplication>
#include <QCheckBox>
#include <QFileInfo>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QTimer>
#include <QTreeWidget>

namespace kormial::test {

using GuiWindow = GuiTest;

TEST_F(GuiWindow, TipAtStartSitsOverTheWindowAndFollowsTheStoredOption)
{
    SetShowTipsAtStartup(true);
    frmTip* tip = open().tipWindow();
    ASSERT_NE(tip, nullptr);
    EXPECT_TRUE(tip->isVisible());
    // centred over the window, also once the window is put elsewhere
    const auto centred = [&] { return tip->frameGeometry().center() == window->frameGeometry().center(); };
    EXPECT_TRUE(centred());
    window->move(window->pos() + QPoint(31, 17));
    EXPECT_TRUE(QTest::qWaitFor(centred)) << tip->pos().x() << "," << tip->pos().y();
    EXPECT_FALSE(tip->lblTipText->text().isEmpty());
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);  // the window stays usable
    tip->chkLoadTipsAtStartup->click();
    tip->cmdOK->click();
    EXPECT_EQ(platform::GetSetting(kOptionsSection, kShowTipsKey), "0");
    frmMain& w = open();  // the next start
    EXPECT_EQ(w.tipWindow(), nullptr);

    // The options dialog shows the option, and OK stores it.
    bool shownTicked = true;
    QTimer::singleShot(0, &w, [&] {
        auto* options = w.findChild<frmOptions*>();
        ASSERT_NE(options, nullptr);
        shownTicked = options->chkLoadTipsAtStartup->isChecked();
        options->chkLoadTipsAtStartup->click();
        options->OKButton->click();
    });
    w.mnuOptions->trigger();
    EXPECT_FALSE(shownTicked);
    EXPECT_EQ(platform::GetSetting(kOptionsSection, kShowTipsKey), "1");
    EXPECT_NE(open().tipWindow(), nullptr);
}

TEST_F(GuiWindow, AboutBoxAndHelpOpen)
{
    frmMain& w = open();
    w.mnuAbout->trigger();
    EXPECT_EQ(dialogs.titles, QStringList{"About Kormial"});
    EXPECT_TRUE(dialogs.texts.value(0).startsWith("Kormial Ver. ")) << dialogs.texts.value(0).toStdString();
    EXPECT_FALSE(dialogs.texts.value(0).contains("example")) << dialogs.texts.value(0).toStdString();
    w.mnuHelp->trigger();
    ASSERT_EQ(shell.opened.size(), 1);
    EXPECT_TRUE(QFileInfo(QString::fromStdString(shell.opened[0])).isFile()) << shell.opened[0];
    EXPECT_EQ(dialogs.texts.size(), 1);
    // Nothing registered to open it: a message says so.
    shell.opens = false;
    w.mnuHelp->trigger();
    ASSERT_EQ(dialogs.texts.size(), 2);
    EXPECT_TRUE(dialogs.texts[1].startsWith("No program could open")) << dialogs.texts[1].toStdString();
}

TEST_F(GuiWindow, FitsAndResizesWithoutOverlap)
{
    write("a/img_011.jpg", "x");
    write("b/img_011.jpg", "x");
    frmMain& w = open();
    int nameWidth = 0;  // Name grows with the window
    const auto check = [&](const char* when, bool resultsShown) {
        const QRect area = w.centralWidget()->rect();
        EXPECT_TRUE(area.contains(w.setup->geometry())) << when;
        EXPECT_TRUE(w.setup->rect().contains(w.setup->fraSrch->geometry())) << when;
        EXPECT_FALSE(w.setup->frmSelectPath->geometry().intersects(w.setup->fraSrch->geometry())) << when;
        EXPECT_GT(w.setup->lstPath->width(), 100) << when;
        EXPECT_FALSE(w.setup->geometry().intersects(w.results->geometry())) << when;
        EXPECT_FALSE(w.results->tabMain->geometry().intersects(w.results->frmFileOp->geometry())) << when;
        if (resultsShown) {
            EXPECT_TRUE(area.contains(w.results->geometry()) && w.results->rect().contains(w.results->childrenRect())) << when;
            EXPECT_GT(w.results->lstResult[0]->height(), 50) << when;
            // no caption or cell cut but the folder's
            QTreeView* list = w.results->lstResult[kListDuplicates];
            for (int c : {kColName, kColGroup, kColSize, kColDate}) {
                const int needed = static_cast<QAbstractItemView*>(list)->sizeHintForColumn(c);
                EXPECT_GE(list->columnWidth(c), std::max(needed, list->header()->sectionSizeHint(c))) << when << c;
            }
            EXPECT_GT(list->columnWidth(kColName), nameWidth) << when;
            nameWidth = list->columnWidth(kColName);
        }
    };
    check("at start", false);
    search();
    clickTab(kListDuplicates);
    check("after a search", true);
    w.resize(1400, 1000);
    check("large", true);
    w.resize(100, 50);
    check("smallest", false);
}

}  // namespace kormial::test
