// The window tests run in one QApplication on the offscreen platform. The
// user's configuration, data and runtime folders (the settings, the trash,
// the review lock) lie in a temporary folder that is emptied before every test; the tip window stays
// away unless a test asks for it.
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
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.path() + "/config"));
    qputenv("XDG_DATA_HOME", QFile::encodeName(home.path() + "/data"));
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(home.path()));  // the review lock
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::UnitTest::GetInstance()->listeners().Append(new FreshHome(home.path()));
    return RUN_ALL_TESTS();
}
