// kormial: the window.
#include "mainwindow/frmmain.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kormial"));
    kormial::frmMain window;
    window.show();
    return QApplication::exec();
}
