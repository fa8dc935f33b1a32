// The "&Menu" and "&Help" menus, the About box, the links handed to the
// desktop, the help pages and F1.
#include "mainwindow/frmoptions.h"
#include "mainwindow/frmtip.h"
#include "mainwindow/menus_help.h"
#include "platform/gui/dialogs.h"

#include <QAction>
#include <QApplication>
#include <QDesktopServices>
#include <QFile>
#include <QFileInfo>
#include <QFrame>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace kormial_test {

// Receives what the program hands to the desktop.
class UrlRecorder : public QObject {
    Q_OBJECT

public:
    std::vector<QUrl> urls;

    UrlRecorder()
    {
        for (const char* scheme : {"file", "https", "http", "mailto"}) {
            QDesktopServices::setUrlHandler(QLatin1String(scheme), this, "open");
        }
    }
    ~UrlRecorder() override
    {
        for (const char* scheme : {"file", "https", "http", "mailto"}) {
            QDesktopServices::unsetUrlHandler(QLatin1String(scheme));
        }
    }

public slots:
    void open(const QUrl& url) { urls.push_back(url); }
};

}  // namespace kormial_test

namespace {

using kormial_test::UrlRecorder;
namespace gui = kormial::gui;

struct Shown {
    QWidget* owner;
    QString text;
    QString title;
    gui::MsgIcon icon;
    gui::MsgButtons buttons;
};

class RecordingDialogs : public gui::Dialogs {
public:
    std::vector<Shown> boxes;
    gui::MsgAnswer msgBox(QWidget* owner, const QString& text, const QString& title,
                          gui::MsgIcon icon, gui::MsgButtons buttons) override
    {
        boxes.push_back({owner, text, title, icon, buttons});
        return gui::MsgAnswer::Ok;
    }
    QString inputBox(QWidget*, const QString&, const QString&, const QString&) override
    {
        return QString();
    }
};

// A window with the menu bar built as the main window builds it.
class HelpMenuTest : public ::testing::Test {
protected:
    QTemporaryDir config;
    std::unique_ptr<QMainWindow> window;
    kormial::MainMenuActions menu;
    kormial::HelpMenuActions help;
    QMenu* fileMenu = nullptr;

    void SetUp() override
    {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, config.path());
        window = std::make_unique<QMainWindow>();
        menu = kormial::AddMainMenu(window->menuBar(), window.get());
        fileMenu = window->menuBar()->addMenu("&File");
        help = kormial::AddHelpMenu(window->menuBar(), window.get());
        window->show();
    }
    void TearDown() override { window.reset(); }

    static QStringList captions(const QList<QAction*>& actions)
    {
        QStringList out;
        for (const QAction* a : actions) {
            out << (a->isSeparator() ? QStringLiteral("-") : a->text());
        }
        return out;
    }
};

TEST_F(HelpMenuTest, MenuTreeCaptionsOrderAndShortcuts)
{
    EXPECT_EQ(captions(window->menuBar()->actions()), QStringList({"&Menu", "&File", "&Help"}));
    EXPECT_EQ(captions(menu.MnuMain->actions()), QStringList({"&Options", "-", "&Quit"}));
    EXPECT_EQ(captions(help.mnuMainHelp->actions()),
              QStringList({"Help", "About Kormial", "Kormial Web Site",
                           "Email Kormial (kormial@example.org)"}));
    for (QMenu* m : {menu.MnuMain, help.mnuMainHelp}) {
        for (const QAction* a : m->actions()) {
            EXPECT_TRUE(a->shortcut().isEmpty()) << a->text().toStdString();
            EXPECT_EQ(a->menuRole(), QAction::NoRole) << a->text().toStdString();
        }
    }
    EXPECT_EQ(menu.MnuMain->objectName(), "MnuMain");
    EXPECT_EQ(menu.mnuOptions->objectName(), "mnuOptions");
    EXPECT_EQ(menu.mnuSeperator2->objectName(), "mnuSeperator2");
    EXPECT_EQ(menu.MnuQuit->objectName(), "MnuQuit");
    EXPECT_EQ(help.mnuMainHelp->objectName(), "mnuMainHelp");
    EXPECT_EQ(window->findChild<QAction*>("mnuEmail"), help.mnuEmail);
    EXPECT_EQ(kormial::HelpContextID(menu.mnuOptions), 112);
    EXPECT_EQ(kormial::HelpContextID(menu.MnuQuit), 0);
}

TEST_F(HelpMenuTest, AboutBox)
{
    EXPECT_EQ(kormial::AboutText(), "Kormial Ver. 1.1.17");
    EXPECT_EQ(kormial::AboutText(2, 0, 105), "Kormial Ver. 2.0.105");
    RecordingDialogs dialogs;
    gui::setDialogs(&dialogs);
    help.mnuAbout->trigger();
    gui::setDialogs(nullptr);
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_EQ(dialogs.boxes[0].owner, window.get());
    EXPECT_EQ(dialogs.boxes[0].text, "Kormial Ver. 1.1.17");
    EXPECT_EQ(dialogs.boxes[0].title, "About Kormial");
    EXPECT_EQ(dialogs.boxes[0].icon, gui::MsgIcon::Information);
    EXPECT_EQ(dialogs.boxes[0].buttons, gui::MsgButtons::Ok);
}

TEST_F(HelpMenuTest, WebSiteAndEmailGoToTheDesktop)
{
    UrlRecorder recorder;
    help.mnuWebSite->trigger();
    help.mnuEmail->trigger();
    ASSERT_EQ(recorder.urls.size(), 2u);
    EXPECT_EQ(recorder.urls[0], QUrl("https://www.example.org/kormial"));
    EXPECT_EQ(recorder.urls[1].toString(), "mailto:kormial@example.org");
}

TEST_F(HelpMenuTest, HelpOpensQuickStartBesideTheProgram)
{
    UrlRecorder recorder;
    help.mnuHelp->trigger();
    ASSERT_EQ(recorder.urls.size(), 1u);
    const QUrl url = recorder.urls[0];
    ASSERT_TRUE(url.isLocalFile());
    EXPECT_EQ(url.toLocalFile(), QCoreApplication::applicationDirPath() + "/help/quickstart.htm");
    EXPECT_TRUE(QFileInfo::exists(url.toLocalFile()));
}

TEST_F(HelpMenuTest, OptionsEntryOpensTheDialogModal)
{
    bool sawModal = false;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<kormial::frmOptions*>(QApplication::activeModalWidget());
        if (dialog == nullptr) {
            ADD_FAILURE() << "no modal options dialog";
            if (auto* shown = window->findChild<kormial::frmOptions*>()) {
                shown->reject();
            }
            return;
        }
        sawModal = dialog->parentWidget() == window.get();
        dialog->CancelButton->click();
    });
    menu.mnuOptions->trigger();
    EXPECT_TRUE(sawModal);
}

TEST_F(HelpMenuTest, QuitEndsTheProgramAtOnce)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(menu.MnuQuit->trigger(), ::testing::ExitedWithCode(0), "");
}

TEST(HelpPages, EveryHelpNumberHasAPage)
{
    const QString folder = QCoreApplication::applicationDirPath();
    const int numbers[] = {100, 101, 102, 104, 105, 106, 108, 112};
    QStringList pages;
    for (int n : numbers) {
        const QString path = kormial::HelpPagePath(n, folder);
        EXPECT_TRUE(QFileInfo::exists(path)) << path.toStdString();
        EXPECT_FALSE(path.endsWith("/quickstart.htm")) << n;
        EXPECT_FALSE(pages.contains(path)) << n;
        pages << path;
    }
    EXPECT_EQ(kormial::HelpPagePath(0, folder), folder + "/help/quickstart.htm");
    EXPECT_EQ(kormial::HelpPagePath(999, folder), folder + "/help/quickstart.htm");
    // Every page links only to pages that are there.
    pages << kormial::QuickStartPath(folder);
    for (const QString& page : pages) {
        QFile f(page);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly)) << page.toStdString();
        const QString html = QString::fromUtf8(f.readAll());
        EXPECT_TRUE(html.contains("<title>Kormial Help")) << page.toStdString();
        qsizetype at = 0;
        while ((at = html.indexOf("href=\"", at)) >= 0) {
            at += 6;
            const QString target = html.mid(at, html.indexOf('"', at) - at);
            EXPECT_TRUE(QFileInfo::exists(folder + "/help/" + target))
                << page.toStdString() << " -> " << target.toStdString();
        }
    }
}

TEST(HelpPages, HelpNumbersLiveOnWidgetsAndEntries)
{
    QWidget outer;
    auto* frame = new QFrame(&outer);
    auto* edit = new QLineEdit(frame);
    EXPECT_EQ(kormial::EffectiveHelpContextID(edit), 0);
    kormial::SetHelpContextID(&outer, 102);
    kormial::SetHelpContextID(frame, 105);
    EXPECT_EQ(kormial::EffectiveHelpContextID(edit), 105);
    EXPECT_EQ(kormial::HelpContextID(edit), 0);
    kormial::SetHelpContextID(frame, 0);
    EXPECT_EQ(kormial::EffectiveHelpContextID(edit), 102);
    EXPECT_EQ(kormial::EffectiveHelpContextID(nullptr), 0);
}

TEST_F(HelpMenuTest, F1OpensThePageOfThePart)
{
    kormial::InstallHelpKey();
    kormial::InstallHelpKey();  // once is enough; a second call adds nothing
    auto* central = new QWidget;
    window->setCentralWidget(central);
    auto* frmPath = new QFrame(central);
    auto* inPath = new QLineEdit(frmPath);
    auto* elsewhere = new QLineEdit(central);
    kormial::SetHelpContextID(window.get(), 102);
    kormial::SetHelpContextID(frmPath, 105);

    UrlRecorder recorder;
    QTest::keyClick(inPath, Qt::Key_F1);
    QTest::keyClick(elsewhere, Qt::Key_F1);
    QTest::keyClick(elsewhere, Qt::Key_F1, Qt::ShiftModifier);  // not F1 alone
    ASSERT_EQ(recorder.urls.size(), 2u);
    EXPECT_TRUE(recorder.urls[0].toLocalFile().endsWith("/help/searchsetup.htm"));
    EXPECT_TRUE(recorder.urls[1].toLocalFile().endsWith("/help/mainwindow.htm"));

    // A window without help numbers: F1 does nothing there.
    QWidget plain;
    auto* plainEdit = new QLineEdit(&plain);
    QTest::keyClick(plainEdit, Qt::Key_F1);
    EXPECT_EQ(recorder.urls.size(), 2u);
}

TEST_F(HelpMenuTest, F1OnAHighlightedMenuEntry)
{
    kormial::InstallHelpKey();
    UrlRecorder recorder;
    menu.MnuMain->popup(QPoint(10, 10));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(menu.MnuMain));
    menu.MnuMain->setActiveAction(menu.mnuOptions);
    QTest::keyClick(menu.MnuMain, Qt::Key_F1);
    menu.MnuMain->close();
    ASSERT_EQ(recorder.urls.size(), 1u);
    EXPECT_TRUE(recorder.urls[0].toLocalFile().endsWith("/help/tips.htm"));
}

TEST(HelpIcon, ApplicationIconFromTheProgramFolder)
{
    const QIcon icon = kormial::ApplicationIcon();
    ASSERT_FALSE(icon.isNull());
    const QList<QSize> sizes = icon.availableSizes();
    for (int s : {16, 32, 48, 256}) {
        EXPECT_TRUE(sizes.contains(QSize(s, s))) << s;
    }
    QTemporaryDir empty;
    EXPECT_TRUE(kormial::ApplicationIcon(empty.path()).isNull());

    kormial::InstallApplicationIcon();
    EXPECT_FALSE(QApplication::windowIcon().isNull());
    kormial::frmOptions options(nullptr);
    EXPECT_FALSE(options.windowIcon().isNull());
}

}  // namespace

#include "test_menus_help.moc"
