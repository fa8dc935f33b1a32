// The tips file and the one user setting.
#include "platform/settings.h"
#include "search/tipsfile.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <climits>
#include <random>
#include <set>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

using kormial::ReadTipsFile;
using Tips = std::vector<std::string>;

class TipsFileTest : public ::testing::Test {
protected:
    QTemporaryDir dir;

    std::string write(const QByteArray& bytes, const char* name = "TIPOFDAY.TXT")
    {
        const QString path = dir.filePath(QString::fromLatin1(name));
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        f.close();
        return path.toStdString();
    }
};

TEST_F(TipsFileTest, EveryLineEndingEndsALine)
{
    const Tips expected{"first", "second", "third"};
    EXPECT_EQ(ReadTipsFile(write("first\rsecond\rthird\r")), expected);
    EXPECT_EQ(ReadTipsFile(write("first\r\nsecond\r\nthird\r\n")), expected);
    EXPECT_EQ(ReadTipsFile(write("first\nsecond\nthird\n")), expected);
    EXPECT_EQ(ReadTipsFile(write("first\r\nsecond\nthird\r")), expected);
    // Without a line end after the last line the last line still counts.
    EXPECT_EQ(ReadTipsFile(write("first\nsecond\r\nthird")), expected);
}

TEST_F(TipsFileTest, EmptyLinesAreTips)
{
    EXPECT_EQ(ReadTipsFile(write("one\r\n\r\nthree\r\n")), (Tips{"one", "", "three"}));
    EXPECT_EQ(ReadTipsFile(write("\n\n")), (Tips{"", ""}));
    EXPECT_EQ(ReadTipsFile(write("a\n\nb")), (Tips{"a", "", "b"}));
    // LF then CR is two line ends, not one.
    EXPECT_EQ(ReadTipsFile(write("a\n\rb")), (Tips{"a", "", "b"}));
    EXPECT_EQ(ReadTipsFile(write("a\r\r\nb")), (Tips{"a", "", "b"}));
}

TEST_F(TipsFileTest, SingleLineAndEmptyFile)
{
    EXPECT_EQ(ReadTipsFile(write("Only tip")), (Tips{"Only tip"}));
    EXPECT_EQ(ReadTipsFile(write("Only tip\r\n")), (Tips{"Only tip"}));
    const auto empty = ReadTipsFile(write(""));
    ASSERT_TRUE(empty.has_value());
    EXPECT_TRUE(empty->empty());
}

TEST_F(TipsFileTest, TextIsKeptByteForByte)
{
    // Tabs, blanks at the ends, non-ASCII and NUL bytes stay as they are.
    const QByteArray line("\t caf\xc3\xa9 <b>x</b> \xe9\x00z ", 20);
    const auto tips = ReadTipsFile(write(line + "\n"));
    ASSERT_TRUE(tips.has_value());
    ASSERT_EQ(tips->size(), 1u);
    EXPECT_EQ((*tips)[0], std::string(line.constData(), static_cast<std::size_t>(line.size())));
}

TEST_F(TipsFileTest, LargeFileKeepsEveryLine)
{
    QByteArray bytes;
    for (int i = 0; i < 20000; ++i) {
        bytes += "tip number " + QByteArray::number(i) + (i % 2 != 0 ? "\r\n" : "\n");
    }
    const auto tips = ReadTipsFile(write(bytes));
    ASSERT_TRUE(tips.has_value());
    ASSERT_EQ(tips->size(), 20000u);
    EXPECT_EQ(tips->front(), "tip number 0");
    EXPECT_EQ((*tips)[12345], "tip number 12345");
    EXPECT_EQ(tips->back(), "tip number 19999");
}

TEST_F(TipsFileTest, MissingFileIsNotRead)
{
    EXPECT_FALSE(ReadTipsFile(""));
    EXPECT_FALSE(ReadTipsFile(dir.filePath("TIPOFDAY.TXT").toStdString()));
    // A folder of that name is no tips file.
    ASSERT_TRUE(QDir(dir.path()).mkdir("TIPOFDAY.TXT"));
    EXPECT_FALSE(ReadTipsFile(dir.filePath("TIPOFDAY.TXT").toStdString()));
}

TEST_F(TipsFileTest, FifoInPlaceOfTheFileDoesNotBlock)
{
    const std::string path = dir.filePath("fifo.txt").toStdString();
    ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
    EXPECT_FALSE(ReadTipsFile(path));
}

TEST_F(TipsFileTest, UnreadableFileIsNotRead)
{
    if (::geteuid() == 0) {
        GTEST_SKIP() << "root reads every file";
    }
    const std::string path = write("secret\n");
    ASSERT_EQ(::chmod(path.c_str(), 0), 0);
    EXPECT_FALSE(ReadTipsFile(path));
}

TEST(TipsFileText, MissingFileText)
{
    EXPECT_EQ(kormial::MissingTipsText(),
              "That the TIPOFDAY.TXT file was not found? \n\n"
              "Create a text file named TIPOFDAY.TXT using NotePad with 1 tip per line. "
              "Then place it in the same directory as the application. ");
}

TEST(TipsFileRandom, IndexStaysWithinRange)
{
    using kormial::TipIndexFor;
    EXPECT_EQ(TipIndexFor(0.0, 3), 1);
    EXPECT_EQ(TipIndexFor(0.3333, 3), 1);
    EXPECT_EQ(TipIndexFor(1.0 / 3.0, 3), 2);
    EXPECT_EQ(TipIndexFor(0.6667, 3), 3);
    EXPECT_EQ(TipIndexFor(0.5, 1), 1);
    // The largest value below 1 never draws past the last tip, however many.
    const double justBelowOne = 0.99999999999999989;
    EXPECT_EQ(TipIndexFor(justBelowOne, 3), 3);
    EXPECT_EQ(TipIndexFor(justBelowOne, INT_MAX), INT_MAX);
    // No tips: tip 1, which shows nothing.
    EXPECT_EQ(TipIndexFor(0.7, 0), 1);
    // Values from outside [0, 1) are held at the ends.
    EXPECT_EQ(TipIndexFor(-0.5, 4), 1);
    EXPECT_EQ(TipIndexFor(1.0, 4), 4);
}

TEST(TipsFileRandom, EveryTipIsReached)
{
    std::mt19937_64 gen(12345);
    std::uniform_real_distribution<double> dist(0.0, 1.0);
    for (int count : {1, 2, 3, 7}) {
        std::set<int> seen;
        for (int i = 0; i < 2000; ++i) {
            const int index = kormial::TipIndexFor(dist(gen), count);
            ASSERT_GE(index, 1);
            ASSERT_LE(index, count);
            seen.insert(index);
        }
        EXPECT_EQ(static_cast<int>(seen.size()), count) << count << " tips";
    }
}

// The setting lives in a temporary configuration folder for each test.
class SettingsTest : public ::testing::Test {
protected:
    QTemporaryDir dir;

    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path());
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, dir.path());
        root = dir.path();
    }

    int writes = 0;

    QString root;

    QString confPath() const { return root + "/Kormial/Kormial.conf"; }

    // Writes the store's file as a user or another program might. Each write
    // goes to a folder of its own: QSettings keeps a file it has read and
    // does not notice a rewrite of the same size within the same second.
    void writeConf(const QByteArray& bytes)
    {
        root = dir.filePath(QString::number(++writes));
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, root);
        ASSERT_TRUE(QDir(root).mkpath("Kormial"));
        QFile f(confPath());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }

    void storeRaw(const QByteArray& value)
    {
        writeConf("[Options]\nShow%20Tips%20at%20Startup=" + value + "\n");
    }
};

TEST_F(SettingsTest, AbsentMeansShowTips)
{
    EXPECT_EQ(kormial::ShowTipsAtStartupValue(), 1);
    EXPECT_TRUE(kormial::ShowTipsAtStartup());
    // Reading writes nothing.
    EXPECT_FALSE(QFile::exists(confPath()));
}

TEST_F(SettingsTest, StoredZeroAndOne)
{
    storeRaw("0");
    EXPECT_EQ(kormial::ShowTipsAtStartupValue(), 0);
    EXPECT_FALSE(kormial::ShowTipsAtStartup());
    storeRaw("1");
    EXPECT_EQ(kormial::ShowTipsAtStartupValue(), 1);
    EXPECT_TRUE(kormial::ShowTipsAtStartup());
}

TEST_F(SettingsTest, OtherWholeNumbersAreTakenAsTheyAre)
{
    storeRaw("\" 0 \"");
    EXPECT_EQ(kormial::ShowTipsAtStartupValue(), 0);
    storeRaw("-7");
    EXPECT_EQ(kormial::ShowTipsAtStartupValue(), -7);
    EXPECT_TRUE(kormial::ShowTipsAtStartup());
    storeRaw("2");
    EXPECT_TRUE(kormial::ShowTipsAtStartup());
}

TEST_F(SettingsTest, GarbageIsTakenAsTheDefault)
{
    for (const char* raw : {"abc", "\"\"", "0.5", "0x0", "1e0", "99999999999", "0 0", "--0",
                            "\"0, 1\"", "@Variant(\\0\\0\\0\\x7f\\0\\0\\0\\x5QFont)", "\\x0"}) {
        storeRaw(raw);
        EXPECT_EQ(kormial::ShowTipsAtStartupValue(), 1) << raw;
        EXPECT_TRUE(kormial::ShowTipsAtStartup()) << raw;
    }
    // A list where one value belongs.
    storeRaw("0, 0");
    EXPECT_EQ(kormial::ShowTipsAtStartupValue(), 1);
}

TEST_F(SettingsTest, UnreadableStoreFileIsTakenAsTheDefault)
{
    writeConf(QByteArray("\x00\xff\xfe[[[Options\n=\n\x01", 15));
    EXPECT_EQ(kormial::ShowTipsAtStartupValue(), 1);
}

TEST_F(SettingsTest, RoundTripStoresText)
{
    kormial::SetShowTipsAtStartup(false);
    EXPECT_FALSE(kormial::ShowTipsAtStartup());
    {
        QFile f(confPath());
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        const QByteArray conf = f.readAll();
        EXPECT_TRUE(conf.contains("[Options]")) << conf.constData();
        EXPECT_TRUE(conf.contains("Show%20Tips%20at%20Startup=0")) << conf.constData();
    }
    EXPECT_EQ(kormial::platform::GetSetting("Options", "Show Tips at Startup"), "0");
    kormial::SetShowTipsAtStartup(true);
    EXPECT_EQ(kormial::platform::GetSetting("Options", "Show Tips at Startup"), "1");
    EXPECT_TRUE(kormial::ShowTipsAtStartup());
}

TEST_F(SettingsTest, OtherSettingsAreKept)
{
    writeConf("[Options]\nShow%20Tips%20at%20Startup=1\nOther=keep me\n[Elsewhere]\nx=y\n");
    kormial::SetShowTipsAtStartup(false);
    EXPECT_EQ(kormial::platform::GetSetting("Options", "Other"), "keep me");
    EXPECT_EQ(kormial::platform::GetSetting("Elsewhere", "x"), "y");
    EXPECT_EQ(kormial::ShowTipsAtStartupValue(), 0);
}

TEST(SettingsParse, WholeNumbers)
{
    using kormial::platform::ParseWholeNumber;
    EXPECT_EQ(ParseWholeNumber("0"), 0);
    EXPECT_EQ(ParseWholeNumber(" 1\t"), 1);
    EXPECT_EQ(ParseWholeNumber("+12"), 12);
    EXPECT_EQ(ParseWholeNumber("-0"), 0);
    EXPECT_EQ(ParseWholeNumber("2147483647"), INT_MAX);
    EXPECT_EQ(ParseWholeNumber("-2147483648"), INT_MIN);
    EXPECT_FALSE(ParseWholeNumber("2147483648"));
    EXPECT_FALSE(ParseWholeNumber("-2147483649"));
    EXPECT_FALSE(ParseWholeNumber("00000000000000000000000000000099999999999999"));
    EXPECT_FALSE(ParseWholeNumber(""));
    EXPECT_FALSE(ParseWholeNumber("   "));
    EXPECT_FALSE(ParseWholeNumber("-"));
    EXPECT_FALSE(ParseWholeNumber("1 2"));
    EXPECT_FALSE(ParseWholeNumber("1.0"));
    EXPECT_FALSE(ParseWholeNumber("one"));
}

}  // namespace
