#include "mainwindow/menus_help.h"

#include "mainwindow/frmoptions.h"
#include "platform/gui/dialogs.h"
#include "platform/gui/process.h"
#include "platform/gui/shell.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QUrl>
#include <QVariant>

namespace kormial {

namespace {

constexpr const char* kHelpProperty = "HelpContextID";
constexpr const char* kQuickStartPage = "quickstart.htm";

QString folderOrProgram(const QString& programFolder)
{
    return programFolder.isEmpty() ? QCoreApplication::applicationDirPath() : programFolder;
}

const char* pageForHelpNumber(int helpNumber)
{
    switch (helpNumber) {
    case kHelpMarking:
        return "marking.htm";
    case kHelpOpen:
        return "opening.htm";
    case kHelpMainWindow:
        return "mainwindow.htm";
    case kHelpRename:
        return "renaming.htm";
    case kHelpSearchPaths:
        return "searchsetup.htm";
    case kHelpResults:
        return "results.htm";
    case kHelpSearchTypes:
        return "searchtypes.htm";
    case kHelpTips:
        return "tips.htm";
    default:
        return kQuickStartPage;
    }
}

QAction* addEntry(QMenu* menu, const char* name, const QString& caption)
{
    QAction* action = menu->addAction(caption);
    action->setObjectName(QLatin1String(name));
    // Keep every entry where it is put, whatever the platform's menu bar
    // does with "About" and "Options" entries elsewhere.
    action->setMenuRole(QAction::NoRole);
    return action;
}

// F1 anywhere in the program: the highlighted menu entry's page while a menu
// is open, else the page of the focused part or of the nearest part around it.
class HelpKeyFilter : public QObject {
public:
    HelpKeyFilter(const QString& programFolder, QObject* parent)
        : QObject(parent), programFolder_(programFolder)
    {
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::KeyPress) {
            return false;
        }
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() != Qt::Key_F1 || key->modifiers() != Qt::NoModifier) {
            return false;
        }
        int helpNumber = 0;
        if (auto* menu = qobject_cast<QMenu*>(watched)) {
            if (menu->activeAction() != nullptr) {
                helpNumber = HelpContextID(menu->activeAction());
            }
        }
        if (helpNumber == 0) {
            // A key goes to the focused part first; while a menu is open the
            // part that had the focus before it speaks for the window.
            QWidget* part = qobject_cast<QMenu*>(watched) != nullptr ? QApplication::focusWidget()
                                                                       : qobject_cast<QWidget*>(watched);
            helpNumber = EffectiveHelpContextID(part);
        }
        if (helpNumber == 0) {
            return false;
        }
        ShowHelpTopic(helpNumber, programFolder_);
        return true;
    }

private:
    QString programFolder_;
};

}  // namespace

QString AboutText(int major, int minor, int revision)
{
    return QStringLiteral("Kormial Ver. %1.%2.%3").arg(major).arg(minor).arg(revision);
}

QString EmailCaption()
{
    return QStringLiteral("Email Kormial (%1)").arg(QLatin1String(kEmailAddress));
}

MainMenuActions AddMainMenu(QMenuBar* bar, QWidget* owner)
{
    MainMenuActions m;
    m.MnuMain = bar->addMenu(QStringLiteral("&Menu"));
    m.MnuMain->setObjectName(QStringLiteral("MnuMain"));
    m.mnuOptions = addEntry(m.MnuMain, "mnuOptions", QStringLiteral("&Options"));
    SetHelpContextID(m.mnuOptions, kHelpTips);
    m.mnuSeperator2 = m.MnuMain->addSeparator();
    m.mnuSeperator2->setObjectName(QStringLiteral("mnuSeperator2"));
    m.mnuSeperator2->setMenuRole(QAction::NoRole);
    m.MnuQuit = addEntry(m.MnuMain, "MnuQuit", QStringLiteral("&Quit"));

    QObject::connect(m.mnuOptions, &QAction::triggered, owner, [owner] { ShowOptionsDialog(owner); });
    QObject::connect(m.MnuQuit, &QAction::triggered, owner, [] { gui::endProgramNow(); });
    return m;
}

HelpMenuActions AddHelpMenu(QMenuBar* bar, QWidget* owner)
{
    HelpMenuActions h;
    h.mnuMainHelp = bar->addMenu(QStringLiteral("&Help"));
    h.mnuMainHelp->setObjectName(QStringLiteral("mnuMainHelp"));
    h.mnuHelp = addEntry(h.mnuMainHelp, "mnuHelp", QStringLiteral("Help"));
    h.mnuAbout = addEntry(h.mnuMainHelp, "mnuAbout", QStringLiteral("About Kormial"));
    h.mnuWebSite = addEntry(h.mnuMainHelp, "mnuWebSite", QStringLiteral("Kormial Web Site"));
    h.mnuEmail = addEntry(h.mnuMainHelp, "mnuEmail", EmailCaption());

    QObject::connect(h.mnuHelp, &QAction::triggered, owner, [] { ShowHelp(); });
    QObject::connect(h.mnuAbout, &QAction::triggered, owner, [owner] { ShowAbout(owner); });
    QObject::connect(h.mnuWebSite, &QAction::triggered, owner, [] { ShowHelp(); });
    h.mnuEmail->setVisible(*kEmailAddress != '\0');
    QObject::connect(h.mnuEmail, &QAction::triggered, owner, [owner] {
        OpenURL(QStringLiteral("mailto:") + QLatin1String(kEmailAddress), owner);
    });
    return h;
}

void OpenURL(const QString& url, QWidget* owner)
{
    gui::ShellOpenUrl(QUrl(url), owner);
}

void ShowAbout(QWidget* owner)
{
    const QString text = AboutText() + QStringLiteral(
        "\n\nFind duplicates, Free memory, File better.\n\n"
        "A duplicate-file finder for Linux: files are compared by their content, byte for byte, "
        "and what is deleted goes to the desktop trash.");
    gui::MsgBox(owner, text, gui::MsgIcon::Information, QStringLiteral("About Kormial"));
}

QString HelpPagePath(int helpNumber, const QString& programFolder)
{
    return QDir(folderOrProgram(programFolder))
        .filePath(QStringLiteral("help/") + QLatin1String(pageForHelpNumber(helpNumber)));
}

QString QuickStartPath(const QString& programFolder)
{
    return QDir(folderOrProgram(programFolder))
        .filePath(QStringLiteral("help/") + QLatin1String(kQuickStartPage));
}

namespace {

// A help page in the desktop's browser; a message over the active window
// when the page is missing or nothing opens it.
void openHelpPage(const QString& page)
{
    QWidget* owner = QApplication::activeWindow();
    if (!QFileInfo(page).isFile()) {
        gui::MsgBox(owner, QStringLiteral("The help page %1 is missing.").arg(page), gui::MsgIcon::Exclamation);
        return;
    }
    gui::ShellOpenUrl(QUrl::fromLocalFile(page), owner);
}

}  // namespace

void ShowHelp(const QString& programFolder)
{
    openHelpPage(QuickStartPath(programFolder));
}

void ShowHelpTopic(int helpNumber, const QString& programFolder)
{
    openHelpPage(HelpPagePath(helpNumber, programFolder));
}

void SetHelpContextID(QObject* object, int helpNumber)
{
    if (object != nullptr) {
        object->setProperty(kHelpProperty, helpNumber == 0 ? QVariant() : QVariant(helpNumber));
    }
}

int HelpContextID(const QObject* object)
{
    if (object == nullptr) {
        return 0;
    }
    bool ok = false;
    const int number = object->property(kHelpProperty).toInt(&ok);
    return ok ? number : 0;
}

int EffectiveHelpContextID(const QWidget* widget)
{
    for (const QWidget* w = widget; w != nullptr; w = w->parentWidget()) {
        if (const int number = HelpContextID(w); number != 0) {
            return number;
        }
    }
    return 0;
}

void InstallHelpKey(const QString& programFolder)
{
    QCoreApplication* app = QCoreApplication::instance();
    if (app == nullptr || app->findChild<QObject*>(QStringLiteral("kormialHelpKey"),
                                                   Qt::FindDirectChildrenOnly) != nullptr) {
        return;
    }
    auto* filter = new HelpKeyFilter(programFolder, app);
    filter->setObjectName(QStringLiteral("kormialHelpKey"));
    app->installEventFilter(filter);
}

QIcon ApplicationIcon(const QString& programFolder)
{
    QIcon icon;
    const QDir icons(QDir(folderOrProgram(programFolder)).filePath(QStringLiteral("icons")));
    for (int size : {16, 24, 32, 48, 64, 128, 256}) {
        const QString path = icons.filePath(QStringLiteral("kormial-%1.png").arg(size));
        if (QFileInfo::exists(path)) {
            icon.addFile(path, QSize(size, size));
        }
    }
    return icon;
}

void InstallApplicationIcon(const QString& programFolder)
{
    const QIcon icon = ApplicationIcon(programFolder);
    if (!icon.isNull()) {
        QApplication::setWindowIcon(icon);
    }
    QGuiApplication::setDesktopFileName(QLatin1String(kDesktopFileName));
}

}  // namespace kormial
