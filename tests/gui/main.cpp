// The window tests run in one QApplication on the offscreen platform. With
// "--quit-during-search FOLDER" the program instead starts a search over
// FOLDER and chooses Quit while it runs (the test of Quit watches it from
// outside, since Quit ends the process).
#include "mainwindow/folderlist.h"
#include "mainwindow/frmmain.h"
#include "platform/gui/clock.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QPushButton>

#include <cstdio>
#include <cstring>

namespace {

class SteppingClock final : public kormial::gui::Clock {
public:
    double now() override { return t += 0.025; }
    void idle(double seconds) override { t += seconds; }
    double t = 0;
};

int quitDuringSearch(int argc, char** argv)
{
    QApplication app(argc, argv);
    SteppingClock clock;
    kormial::gui::setClock(&clock);
    kormial::frmMain w;
    w.show();
    w.dirPath->setPath(argv[2]);
    w.cmdAdd->click();
    QObject::connect(&w, &kormial::frmMain::statusChanged, &w, [&w](const QString& s) {
        if (s == QStringLiteral("Searching duplicated files ...")) {
            std::puts("searching");
            std::fflush(stdout);
            QMetaObject::invokeMethod(&w, [&w] { w.MnuQuit->trigger(); }, Qt::QueuedConnection);
        }
    });
    w.cmdSrch->click();
    std::puts("search returned");
    return 3;
}

}  // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    if (argc >= 3 && std::strcmp(argv[1], "--quit-during-search") == 0) {
        return quitDuringSearch(argc, argv);
    }
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
