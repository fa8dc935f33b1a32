// Message boxes and the input box. The window asks through `dialogs()`
// (services.h), so a test can install its own answers in place of the
// desktop's dialogs.
#pragma once

#include "platform/gui/services.h"

#include <QString>

class QWidget;

namespace kormial::gui {

// The title of every box that has none of its own.
QString appTitle();

enum class MsgIcon { None, Information, Exclamation, Critical, Question };
// YesNo has Yes as its default button (Enter), YesNoDefaultNo No; Esc is No.
enum class MsgButtons { Ok, YesNo, YesNoDefaultNo };
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

// The desktop's dialogs.
Dialogs& desktopDialogs();

// A message box; an empty title gives the application's title.
MsgAnswer MsgBox(QWidget* owner, const QString& text, MsgIcon icon = MsgIcon::None,
                 const QString& title = QString(), MsgButtons buttons = MsgButtons::Ok);
QString InputBox(QWidget* owner, const QString& prompt, const QString& title,
                 const QString& proposed);

}  // namespace kormial::gui
