// The desktop entry and AppStream metainfo shipped in data/desktop, as the
// build copies them beside the programs.
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QString>

#include <gtest/gtest.h>

namespace {

QString shippedFile(const char* name)
{
    // The data files lie beside the test program in the build folder.
    const QString exe = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
    return QFileInfo(exe).absolutePath() + QStringLiteral("/desktop/") + QLatin1String(name);
}

QString readAll(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        return QString();
    }
    return QString::fromUtf8(f.readAll());
}

// Runs a validator; its output when it refuses the file.
void expectValid(const char* tool, const QStringList& args)
{
    const QString program = QStandardPaths::findExecutable(QLatin1String(tool));
    if (program.isEmpty()) {
        GTEST_SKIP() << tool << " is not installed";
    }
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, args);
    ASSERT_TRUE(p.waitForFinished(60000));
    EXPECT_EQ(p.exitCode(), 0) << p.readAll().toStdString();
}

TEST(DesktopFiles, DesktopEntryIsValid)
{
    const QString path = shippedFile("org.example.kormial.desktop");
    ASSERT_TRUE(QFileInfo::exists(path)) << path.toStdString();
    expectValid("desktop-file-validate", {path});
}

TEST(DesktopFiles, MetainfoIsValid)
{
    const QString path = shippedFile("org.example.kormial.metainfo.xml");
    ASSERT_TRUE(QFileInfo::exists(path)) << path.toStdString();
    expectValid("appstreamcli", {QStringLiteral("validate"), QStringLiteral("--no-net"), path});
}

TEST(DesktopFiles, NamesAgreeWithTheInstalledFiles)
{
    const QString entry = readAll(shippedFile("org.example.kormial.desktop"));
    const QString meta = readAll(shippedFile("org.example.kormial.metainfo.xml"));
    // The launcher on PATH and the icon name that the installation uses.
    EXPECT_TRUE(entry.contains(QStringLiteral("\nExec=kormial\n")));
    EXPECT_TRUE(entry.contains(QStringLiteral("\nIcon=org.example.kormial\n")));
    EXPECT_TRUE(meta.contains(QStringLiteral("<id>org.example.kormial</id>")));
    EXPECT_TRUE(meta.contains(
        QStringLiteral("<launchable type=\"desktop-id\">org.example.kormial.desktop</launchable>")));
    EXPECT_TRUE(meta.contains(QStringLiteral("<release version=\"1.1.17\"")));
}

}  // namespace
