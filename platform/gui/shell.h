// Opening files with the desktop's default application. The window asks
// through `shell()` (services.h), so a test can see what would have been
// opened.
#pragma once

#include "platform/gui/services.h"

#include <QUrl>

#include <string>

class QWidget;

namespace kormial::gui {

class Shell {
public:
    virtual ~Shell() = default;
    // Hands `url` to the desktop; false when no program took it.
    virtual bool openUrl(const QUrl& url, QWidget* owner) = 0;
};

// The desktop's shell.
Shell& desktopShell();

// The file: address of `path` with its bytes kept exactly, also when they are
// not valid UTF-8 (such bytes stay percent-encoded).
QUrl fileUrl(const std::string& path);

// Asks the desktop to open the file at `path` (or `url`) on behalf of
// `owner`; when nothing opens it, a message box over `owner` says so.
void ShellOpen(const std::string& path, QWidget* owner);
void ShellOpenUrl(const QUrl& url, QWidget* owner);

}  // namespace kormial::gui
