// Message boxes and the input box. The window asks through `dialogs()`
// (services.h), so a test can install its own answers in place of the
// desktop's dialogs.
#pragma once

#include <QPoint>
#include <QRect>

#include "platform/gui/services.h"

#include <QString>
#include <QStringList>

#include <functional>

class QWidget;

namespace kormial::gui {

// The title of every box that has none of its own.
QString appTitle();

enum class MsgIcon { None, Information, Exclamation, Critical, Question };
// YesNo has Yes as its default button (Enter), YesNoDefaultNo No; Esc is No.
enum class MsgButtons { Ok, YesNo, YesNoDefaultNo };
enum class MsgAnswer { Ok, Yes, No };

struct FileChoice {
    QString path;
    int filter = 0;  // index into the filters offered
};

class Dialogs {
public:
    virtual ~Dialogs() = default;
    // A modal message box over `owner`.
    virtual MsgAnswer msgBox(QWidget* owner, const QString& text, const QString& title,
                             MsgIcon icon, MsgButtons buttons) = 0;
    // A modal input box; the empty text when the user cancels.
    virtual QString inputBox(QWidget* owner, const QString& prompt, const QString& title,
                             const QString& proposed) = 0;
    // A file to write, proposed as `proposed`, of one of `filters` ("CSV
    // (*.csv)"), filter `selected` offered first; the path (empty when
    // cancelled) and the filter chosen. Dialogs that do not answer these
    // cancel.
    virtual FileChoice saveFileName(QWidget* owner, const QString& title, const QString& proposed,
                                    const QStringList& filters, int selected);
    // A file to read; the empty text when cancelled.
    virtual QString openFileName(QWidget* owner, const QString& title, const QString& folder,
                                 const QString& filter);
    // A modal box with `text` and a Cancel button that closes by itself as
    // soon as `ready()`, asked a few times a second, is true: true then,
    // false when the user cancelled. Dialogs that do not wait ask once.
    virtual bool waitFor(QWidget* owner, const QString& text, const std::function<bool()>& ready);
};

// The desktop's dialogs.
Dialogs& desktopDialogs();

// Where a window of frame `frame` stands centred over `owner`'s window,
// whole on the owner's screen (its top left corner).
QPoint centredOver(const QRect& frame, const QWidget* owner);

// A message box; an empty title gives the application's title.
MsgAnswer MsgBox(QWidget* owner, const QString& text, MsgIcon icon = MsgIcon::None,
                 const QString& title = QString(), MsgButtons buttons = MsgButtons::Ok);
QString InputBox(QWidget* owner, const QString& prompt, const QString& title,
                 const QString& proposed);

}  // namespace kormial::gui
