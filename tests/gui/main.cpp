// The window tests run in one QApplication on the offscreen platform, on one
// screen of 1920 x 1080 logical pixels (QT_SCALE_FACTOR=2 makes it a 3840 x
// 2160 screen at twice the scale). The user's configuration, data and runtime
// folders (the settings, the trash, the review lock) lie in a temporary
// folder that is emptied before every test; the tip window stays away unless
// a test asks for it.
#include "platform/settings.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>

namespace {

class FreshHome final : public ::testing::EmptyTestEventListener {
public:
    explicit FreshHome(QString home) : home_(std::move(home)) {}
    void OnTestStart(const ::testing::TestInfo&) override
    {
        QDir(home_).removeRecursively();
        QDir().mkpath(home_ + "/config");
        QDir().mkpath(home_ + "/data");
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, home_ + "/config");
        kormial::SetShowTipsAtStartup(false);
    }

private:
    QString home_;
};

}  // namespace

int main(int argc, char** argv)
{
    QTemporaryDir home;
    const double scale = qEnvironmentVariableIsSet("QT_SCALE_FACTOR") ? qgetenv("QT_SCALE_FACTOR").toDouble() : 1.0;
    QFile screens(home.filePath(QStringLiteral("screens.json")));
    if (screens.open(QIODevice::WriteOnly)) {
        screens.write(QStringLiteral(R"({"screens": [{"name": "screen", "x": 0, "y": 0, "width": %1, "height": %2,)"
                                     R"( "logicalDpi": 96, "logicalBaseDpi": 96}]})")
                          .arg(qRound(1920 * scale))
                          .arg(qRound(1080 * scale))
                          .toUtf8());
        screens.close();
    }
    qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + QFile::encodeName(screens.fileName()));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.path() + "/config"));
    qputenv("XDG_DATA_HOME", QFile::encodeName(home.path() + "/data"));
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(home.path()));  // the review lock
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::UnitTest::GetInstance()->listeners().Append(new FreshHome(home.path()));
    return RUN_ALL_TESTS();
}
