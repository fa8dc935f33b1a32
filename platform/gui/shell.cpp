#include "platform/gui/shell.h"

#include "platform/gui/dialogs.h"

#include <QByteArray>
#include <QDesktopServices>

namespace kormial::gui {

namespace {

class DesktopShell final : public Shell {
public:
    bool openUrl(const QUrl& url, QWidget* /*owner*/) override { return QDesktopServices::openUrl(url); }
};

}  // namespace

Shell& desktopShell()
{
    static DesktopShell desktop;
    return desktop;
}

QUrl fileUrl(const std::string& path)
{
    // Percent-encoding every byte outside the unreserved set (the "/" kept)
    // lets the address carry names that are not valid UTF-8 unchanged.
    const QByteArray encoded =
        QByteArray(path.data(), static_cast<qsizetype>(path.size())).toPercentEncoding("/");
    return QUrl::fromEncoded(QByteArrayLiteral("file://") + encoded, QUrl::StrictMode);
}

void ShellOpen(const std::string& path, QWidget* owner)
{
    ShellOpenUrl(fileUrl(path), owner);
}

void ShellOpenUrl(const QUrl& url, QWidget* owner)
{
    if (!shell().openUrl(url, owner)) {
        const QString what = url.isLocalFile() ? url.toLocalFile() : url.toString();
        MsgBox(owner, QStringLiteral("No program could open\n%1").arg(what), MsgIcon::Exclamation);
    }
}

}  // namespace kormial::gui
