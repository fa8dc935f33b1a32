// The "&Menu" and "&Help" menus, the About box, opening web and mail links,
// the help pages with F1, and the application icon.
//
// The main window builds its menu bar as
//     AddMainMenu(menuBar(), this);   // "&Menu": Options, Quit
//     ...its own "&File" menu...
//     AddHelpMenu(menuBar(), this);   // "&Help"
// and marks its parts with SetHelpContextID for F1.
#pragma once

#include <QIcon>
#include <QString>

class QAction;
class QMenu;
class QMenuBar;
class QObject;
class QWidget;

namespace kormial {

// The version is the project's, set once in CMakeLists.txt.
inline constexpr int kVersionMajor = KORMIAL_VERSION_MAJOR;
inline constexpr int kVersionMinor = KORMIAL_VERSION_MINOR;
inline constexpr int kVersionRevision = KORMIAL_VERSION_PATCH;

// The project's mail address; while it has none, "Email Kormial" is hidden.
inline constexpr const char* kEmailAddress = "";
inline constexpr const char* kDesktopFileName = "org.example.kormial";

// Help numbers of the parts of the user interface.
inline constexpr int kHelpMarking = 100;      // the marking entries of the File menu
inline constexpr int kHelpOpen = 101;         // File > Open
inline constexpr int kHelpMainWindow = 102;   // the main window
inline constexpr int kHelpRename = 104;       // File > Rename
inline constexpr int kHelpSearchPaths = 105;  // the frame frmPath
inline constexpr int kHelpResults = 106;      // the result lists
inline constexpr int kHelpSearchTypes = 108;  // lstSrchType and chkTolerant
inline constexpr int kHelpTips = 112;         // the tip window, its check box, Options

// "Kormial Ver. 1.1.17"
QString AboutText(int major = kVersionMajor, int minor = kVersionMinor, int revision = kVersionRevision);
// "Email Kormial (the address)"
QString EmailCaption();

struct MainMenuActions {
    QMenu* MnuMain = nullptr;
    QAction* mnuOptions = nullptr;
    QAction* mnuSeperator2 = nullptr;
    QAction* MnuQuit = nullptr;
};
// Appends "&Menu" to `bar`: "&Options" opens the options dialog modal over
// `owner`; "&Quit" ends the program at once, even during a search.
MainMenuActions AddMainMenu(QMenuBar* bar, QWidget* owner);

struct HelpMenuActions {
    QMenu* mnuMainHelp = nullptr;
    QAction* mnuHelp = nullptr;
    QAction* mnuAbout = nullptr;
    QAction* mnuWebSite = nullptr;
    QAction* mnuEmail = nullptr;
};
// Appends "&Help" to `bar`; `owner` owns the About box. "Kormial Web Site"
// opens the help's start page shipped with the program.
HelpMenuActions AddHelpMenu(QMenuBar* bar, QWidget* owner);

// Hands a web address or "mailto:" link to the desktop; a message box over
// `owner` tells when nothing opens it.
void OpenURL(const QString& url, QWidget* owner);

// The About box.
void ShowAbout(QWidget* owner);

// The help page for a help number, in the folder "help" of `programFolder`
// (the running program's folder when empty); quickstart.htm for a number
// without a page of its own.
QString HelpPagePath(int helpNumber, const QString& programFolder = QString());
QString QuickStartPath(const QString& programFolder = QString());
// Opens quick start, or the page of a help number, in the desktop's browser;
// a message tells when the page is missing or nothing opens it.
void ShowHelp(const QString& programFolder = QString());
void ShowHelpTopic(int helpNumber, const QString& programFolder = QString());

// Attaches a help number to a widget or a menu entry (0 removes it).
void SetHelpContextID(QObject* object, int helpNumber);
// The help number of `object` itself, 0 when it has none.
int HelpContextID(const QObject* object);
// The help number that F1 opens for `widget`: its own, or that of the
// nearest enclosing widget that has one; 0 when none has.
int EffectiveHelpContextID(const QWidget* widget);

// Makes F1 open the help page of the focused part (or of the highlighted
// menu entry) in every window of the program. Call once after the
// application object exists; later calls do nothing.
void InstallHelpKey(const QString& programFolder = QString());

// The program's icon from the "icons" folder beside it.
QIcon ApplicationIcon(const QString& programFolder = QString());
// Sets that icon on every window and names the desktop entry.
void InstallApplicationIcon(const QString& programFolder = QString());

}  // namespace kormial
