// kormial: the window.
#include "mainwindow/frmmain.h"
#include "mainwindow/menus_help.h"
#include "platform/memory.h"

#include <QApplication>

int main(int argc, char** argv)
{
    kormial::platform::keepLargeBlocksApart();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kormial"));
    kormial::InstallApplicationIcon();
    kormial::InstallHelpKey();
    kormial::frmMain window;
    window.show();
    return QApplication::exec();
}
