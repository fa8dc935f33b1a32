// The tips file and the one user setting, on real files.
#include "platform/settings.h"
#include "mainwindow/tipsfile.h"
#include "testutil.h"

#include <QSettings>

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace kormial;
using Tips = std::vector<std::string>;

TEST(TipsFile, EveryLineEndEndsALineAndOnlyReadableFilesAreRead)
{
    test::TempDir dir;
    // CR, CR LF and LF; LF then CR is two line ends; bytes kept as they are.
    const auto tipsOf = [&](const std::string& text) {
        return test::writeFile(dir / "tips", text), ReadTipsFile(dir / "tips");
    };
    EXPECT_EQ(tipsOf("a\rb\r\nc\n\nd\n\r\xe9\t \r\n"), (Tips{"a", "b", "c", "", "d", "", "\xe9\t "}));
    // A last line without a line end counts; an empty file has no tips.
    EXPECT_EQ(tipsOf("one\r\n\r\ntwo"), (Tips{"one", "", "two"}));
    EXPECT_EQ(tipsOf(""), Tips{});

    // No file, a folder (the one all this is in), a FIFO (it must not block)
    // and a file the user may not read (as an unprivileged user: root reads
    // every file).
    ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
    test::writeFile(dir / "secret", "secret\n");
    test::openToEveryone(dir.path());
    ASSERT_EQ(::chmod((dir / "secret").c_str(), 0), 0);
    for (const char* name : {"missing", "", "fifo", "secret"}) {
        EXPECT_EQ(test::runUnprivileged([&] { return ReadTipsFile(dir / name) ? name : ""; }), "") << name;
    }
}

TEST(Settings, ShowTipsIsStoredAsTheText1Or0)
{
    test::TempDir dir;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, QString::fromStdString(dir.path()));
    EXPECT_TRUE(ShowTipsAtStartup());  // absent
    for (const bool show : {false, true}) {
        SetShowTipsAtStartup(show);
        const std::string conf = test::readFile(dir / "Kormial/Kormial.conf");
        EXPECT_NE(conf.find("[Options]\nShow%20Tips%20at%20Startup=" + std::to_string(show) + "\n"), conf.npos) << conf;
        EXPECT_EQ(ShowTipsAtStartup(), show);
    }
    platform::SaveSetting(kOptionsSection, kShowTipsKey, "no");  // not a whole number: as if absent
    EXPECT_EQ(ShowTipsAtStartupValue(), 1);
}
