// The window as a whole: the tip window at start and its option in the
// settings, the About box and the help.
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
    EXPECT_TRUE(centred()) << tip->frameGeometry().center().x() << "," << tip->frameGeometry().center().y() << " " << window->frameGeometry().center().x() << "," << window->frameGeometry().center().y() << " " << tip->size().width() << "x" << tip->size().height() << " " << window->size().width() << "x" << window->size().height();
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
    // the web site is the help's start page shipped with the program; no
    // mail address, no mail entry
    w.mnuWebSite->trigger();
    EXPECT_EQ(shell.opened.value(1), shell.opened[0]);
    EXPECT_FALSE(w.mnuEmail->isVisible());
    EXPECT_EQ(dialogs.texts.size(), 1);
    // Nothing registered to open it: a message says so.
    shell.opens = false;
    w.mnuHelp->trigger();
    ASSERT_EQ(dialogs.texts.size(), 2);
    EXPECT_TRUE(dialogs.texts[1].startsWith("No program could open")) << dialogs.texts[1].toStdString();
}

}  // namespace kormial::test
