#include "platform/gui/shell.h"

#include <QByteArray>
#include <QDesktopServices>

namespace kormial::gui {

namespace {

class DesktopShell final : public Shell {
public:
    void openUrl(const QUrl& url, QWidget* /*owner*/) override { QDesktopServices::openUrl(url); }
};

Shell* g_current = nullptr;

}  // namespace

Shell& shell()
{
    static DesktopShell desktop;
    return g_current != nullptr ? *g_current : desktop;
}

void setShell(Shell* replacement)
{
    g_current = replacement;
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
