// The window tests run in one QApplication on the offscreen platform. With
// "--quit-during-search FOLDER" the program instead starts a search over
// FOLDER and chooses Quit while it runs (the test of Quit watches it from
// outside, since Quit ends the process).
//
// The user's configuration and data folders are temporary folders for the
// whole run, so no test reads or writes the real settings or trash. Every
// test starts with fresh settings that keep the tip window away; a test that
// wants it says so.
#include "mainwindow/folderlist.h"
#include "mainwindow/frmmain.h"
#include "platform/gui/clock.h"
#include "platform/settings.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>

#include <cstdio>
#include <cstring>
#include <optional>

namespace {

class SteppingClock final : public kormial::gui::Clock {
public:
    double now() override { return t += 0.025; }
    void idle(double seconds) override { t += seconds; }
    double t = 0;
};

// Settings in `folder`, emptied, with the tip window switched off.
void freshSettings(const QString& folder)
{
    QDir(folder).removeRecursively();
    QDir().mkpath(folder);
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, folder);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, folder);
    kormial::SetShowTipsAtStartup(false);
}

class FreshSettingsPerTest final : public ::testing::EmptyTestEventListener {
public:
    explicit FreshSettingsPerTest(QString folder) : folder_(std::move(folder)) {}
    void OnTestStart(const ::testing::TestInfo&) override { freshSettings(folder_); }

private:
    QString folder_;
};

int quitDuringSearch(int argc, char** argv, const QString& settingsFolder)
{
    QApplication app(argc, argv);
    freshSettings(settingsFolder);
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
    // A run of this program started by a test (Quit during a search, a
    // death test) ends without tidying up: it takes a folder inside the
    // starting run's temporary folder instead of one of its own.
    std::optional<QTemporaryDir> own;
    QString home = QFile::decodeName(qgetenv("KORMIAL_TEST_HOME"));
    if (home.isEmpty()) {
        own.emplace();
        if (!own->isValid()) {
            std::fputs("no temporary folder for the user's settings\n", stderr);
            return 2;
        }
        home = own->path();
        qputenv("KORMIAL_TEST_HOME", QFile::encodeName(home));
    } else {
        home += QStringLiteral("/run-%1").arg(QCoreApplication::applicationPid());
    }
    const QString config = home + QStringLiteral("/config");
    const QString data = home + QStringLiteral("/data");
    QDir().mkpath(data);
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config));
    qputenv("XDG_DATA_HOME", QFile::encodeName(data));
    if (argc >= 3 && std::strcmp(argv[1], "--quit-during-search") == 0) {
        return quitDuringSearch(argc, argv, config);
    }
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::UnitTest::GetInstance()->listeners().Append(new FreshSettingsPerTest(config));
    return RUN_ALL_TESTS();
}
