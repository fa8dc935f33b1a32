#include "platform/gui/shell.h"

#include <QByteArray>
#include <QDesktopServices>

namespace kormial::gui {

namespace {

class DesktopShell final : public Shell {
public:
    void openUrl(const QUrl& url, QWidget* /*owner*/) override { QDesktopServices::openUrl(url); }
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
    shell().openUrl(fileUrl(path), owner);
}

}  // namespace kormial::gui
