// Message boxes and the input box. The window asks through `dialogs()`, so a
// test can put its own answers in place of the desktop's dialogs.
#pragma once

#include <QString>

class QWidget;

namespace kormial::gui {

// The title of every box that has none of its own.
QString appTitle();

enum class MsgIcon { None, Information, Exclamation, Critical, Question };
enum class MsgButtons { Ok, YesNo };
enum class MsgAnswer { Ok, Yes, No };

class Dialogs {
public:
    virtual ~Dialogs() = default;
    // A modal message box over `owner`.
    virtual MsgAnswer msgBox(QWidget* owner, const QString& text, const QString& title,
                             MsgIcon icon, MsgButtons buttons) = 0;
    // A modal input box; the empty text when the user cancels.
    virtual QString inputBox(QWidget* owner, const QString& prompt, const QString& title,
                             const QString& proposed) = 0;
};

// The dialogs in use: the desktop's unless a test put others in place.
Dialogs& dialogs();
// nullptr puts the desktop's dialogs back.
void setDialogs(Dialogs* replacement);

// A message box; an empty title gives the application's title.
MsgAnswer MsgBox(QWidget* owner, const QString& text, MsgIcon icon = MsgIcon::None,
                 const QString& title = QString(), MsgButtons buttons = MsgButtons::Ok);
QString InputBox(QWidget* owner, const QString& prompt, const QString& title,
                 const QString& proposed);

}  // namespace kormial::gui
