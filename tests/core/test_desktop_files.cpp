// The desktop entry and AppStream metainfo shipped in data/desktop, as the
// build copies them beside the programs, pass their validators.
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

#include <gtest/gtest.h>

TEST(DesktopFiles, EntryAndMetainfoAreValid)
{
    const QString base = QFileInfo(QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath()).absolutePath() +
                         QStringLiteral("/desktop/org.example.kormial.");
    for (const QStringList& run : {QStringList{QStringLiteral("desktop-file-validate"), base + QStringLiteral("desktop")},
                                   QStringList{QStringLiteral("appstreamcli"), QStringLiteral("validate"),
                                               QStringLiteral("--no-net"), base + QStringLiteral("metainfo.xml")}}) {
        const QString program = QStandardPaths::findExecutable(run.front());
        if (program.isEmpty()) {
            GTEST_SKIP() << run.front().toStdString() << " is not installed";
        }
        QProcess p;
        p.setProcessChannelMode(QProcess::MergedChannels);
        p.start(program, run.mid(1));
        ASSERT_TRUE(p.waitForFinished(60000));
        EXPECT_EQ(p.exitCode(), 0) << p.readAll().toStdString();
    }
}
