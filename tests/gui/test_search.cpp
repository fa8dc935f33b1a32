// A search started from the window on real files: the tabs and their counts,
// the setup panel locked while it runs, Cancel, closing the window mid-search.
#include "platform/fs.h"
#include "tests/gui/guitest.h"

#include <atomic>
#include <chrono>
#include <fstream>
#include <thread>
#include <fcntl.h>
#include <sys/stat.h>

namespace kormial::test {

using GuiSearch = GuiTest;

TEST_F(GuiSearch, FillsEveryTabWhileThePanelIsLocked)
{
    write("z/empty1.txt", "");
    write("z/Empty0.log", "");
    write("d/a1.dat", bytes(10, 5000));
    write("d/sub/a2.dat", bytes(10, 5000));
    write("e/a3.dat", bytes(10, 5000));
    write("d/lone.dat", bytes(12, 5000));  // the same size, other bytes
    write("d/b1.dat", bytes(11, 8000));
    write("e/b2.dat", bytes(11, 8000));
    const timespec when[2] = {{1600000000, 5}, {1600000000, 5}};
    ASSERT_EQ(::utimensat(AT_FDCWD, at("e/b2.dat").c_str(), when, 0), 0);
    write("x/Report.doc", bytes(20, 100));
    write("y/report.DOC", bytes(21, 120));
    const std::string big = bytes(30, 200000);
    write("p/big.bin", big);
    write("p/part.bin", big.substr(0, 120000));
    frmMain& w = open();
    QString captionDuring;
    bool lockedDuring = false;
    QObject::connect(&w, &frmMain::statusChanged, &w, [&](const QString& s) {
        if (s == "Loading files ...") {
            captionDuring = w.setup->cmdSrch->text();
            lockedDuring = w.setup->cmdSrch->isEnabled() && !w.setup->frmSelectPath->isEnabled() &&
                           !w.setup->cmdNewSrch->isEnabled() && !w.setup->lstSrchType->isEnabled();
        }
    });
    search({0, 1, 2, 3});

    EXPECT_EQ(captionDuring, "&Cancel");
    EXPECT_TRUE(lockedDuring);
    EXPECT_TRUE(dialogs.texts.isEmpty());
    EXPECT_TRUE(statuses.back().endsWith("searching 12 files.")) << statuses.back().toStdString();
    const QStringList tabs{"Zero Size(2)", "Duplicates(5)", "Same Name(2)", "Portions(2)",
                           "Report - read errors(0)"};
    for (int i = 0; i < tabs.size(); ++i) {
        EXPECT_EQ(w.results->tabMain->tabText(i), tabs[i]);
    }
    std::map<std::string, std::int64_t> groupOf;
    for (const ResultRow& r : w.results->resultList(kListDuplicates).rows()) {
        groupOf[r.name] = r.group.number();
    }
    EXPECT_EQ(groupOf.size(), 5u);
    EXPECT_EQ(groupOf["a1.dat"], groupOf["a2.dat"]);
    EXPECT_EQ(groupOf["a1.dat"], groupOf["a3.dat"]);
    EXPECT_EQ(groupOf["b1.dat"], groupOf["b2.dat"]);
    EXPECT_NE(groupOf["a1.dat"], groupOf["b1.dat"]);
    // the cells as shown: "#" and the size padded, the date in UTC
    const ResultTableModel& model = *w.results->lstResult[kListDuplicates]->resultModel();
    QStringList cells;
    for (int c = 0; c < model.columnCount(); ++c) {
        cells << model.index(rowOf(kListDuplicates, "e/b2.dat"), c).data().toString();
    }
    EXPECT_EQ(cells, (QStringList{"b2.dat", QString::fromStdString(at("e/")), QString("%1").arg(groupOf["b2.dat"], 10),
                                  "      8000", "2020/09/13 12:26:40", ""}));
    EXPECT_TRUE(rowOf(kListSameName, "x/Report.doc") >= 0 && rowOf(kListSameName, "y/report.DOC") >= 0);
    EXPECT_GE(rowOf(kListPortions, "p/part.bin"), 0);
    EXPECT_EQ(w.setup->cmdSrch->text(), "&Search");
    EXPECT_TRUE(w.setup->frmSelectPath->isEnabled() && w.setup->cmdNewSrch->isEnabled() && w.setup->lstSrchType->isEnabled());
}

// A path-list row whose folder is gone is named in one box before the
// search starts: No goes back without searching, Yes searches the others.
TEST_F(GuiSearch, FoldersThatCannotBeSearchedAreNamedFirst)
{
    write("here/a.txt", "same");
    write("here/b.txt", "same");
    std::filesystem::create_directories(at("gone"));
    frmMain& w = open();
    addFolder(at("gone"));
    addFolder(at("here"));
    std::filesystem::remove(at("gone"));
    dialogs.answers = {gui::MsgAnswer::No};
    click(w.setup->cmdSrch);
    ASSERT_EQ(dialogs.texts.size(), 1);
    EXPECT_TRUE(dialogs.texts[0].contains(QString::fromStdString(at("gone") + ": No such file or directory")))
        << dialogs.texts[0].toStdString();
    EXPECT_FALSE(w.searchRunning());
    EXPECT_FALSE(statuses.contains("Start ..."));
    QStringList rows;
    QObject::connect(&w, &frmMain::statusChanged, &w, [&](const QString& s) {
        if (s == "Loading files ...") {
            rows << w.setup->lstPath->currentItem()->text(0);  // the row being searched
        }
    });
    click(w.setup->cmdSrch);
    waitForSearch();
    EXPECT_EQ(dialogs.texts.size(), 2);
    EXPECT_EQ(w.results->resultList(kListDuplicates).count(), 2);
    EXPECT_EQ(w.results->resultList(kListReadErrors).count(), 0);
    ASSERT_EQ(rows.size(), 1);
    EXPECT_TRUE(rows[0].contains("here")) << rows[0].toStdString();
}

namespace {

// Holds the search's first read until the test lets it go.
std::atomic<bool> g_readsMayGo{true};
void holdReads(int)
{
    for (int i = 0; i < 10000 && !g_readsMayGo.load(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

// Grows the file of inode `g_grows` right after its first read.
std::atomic<ino_t> g_grows{0};
std::string g_growsPath;
void growOnce(int fd)
{
    struct stat st {};
    if (::fstat(fd, &st) == 0 && st.st_ino != 0 && g_grows.compare_exchange_strong(st.st_ino, 0)) {
        std::ofstream(g_growsPath, std::ios::app) << "more";
    }
}

}  // namespace

// A file changed while a run of three is compared is listed on "Report -
// read errors" and named in the one notice at the end.
TEST_F(GuiSearch, TheNoticeAtTheEndNamesTheFilesThatCouldNotBeRead)
{
    for (const char* name : {"a/1.bin", "a/2.bin", "a/3.bin"}) {
        write(name, bytes(4, 3000));
    }
    struct stat st {};
    ASSERT_EQ(::stat(at("a/2.bin").c_str(), &st), 0);
    g_growsPath = at("a/2.bin");
    g_grows = st.st_ino;
    platform::setReadObserver(growOnce);
    frmMain& w = search({1});
    platform::setReadObserver(nullptr);
    EXPECT_EQ(w.results->tabMain->tabText(kListReadErrors), "Report - read errors(1)");
    ASSERT_EQ(dialogs.texts.size(), 1);
    EXPECT_TRUE(dialogs.texts[0].startsWith("Some files or folders could not be read;") &&
                dialogs.texts[0].contains(QString::fromStdString(at("a/2.bin") + ": changed during the search")))
        << dialogs.texts[0].toStdString();
}

TEST_F(GuiSearch, CancelStopsTheSearchAndKeepsWhatWasFound)
{
    write("empty.txt", "");
    for (unsigned i = 1; i <= 3; ++i) {
        write("a/" + std::to_string(i) + ".bin", bytes(i, 1000 * i));
        write("b/" + std::to_string(i) + ".bin", bytes(i, 1000 * i));
    }
    frmMain& w = open();
    g_readsMayGo = false;
    platform::setReadObserver(holdReads);
    QObject::connect(&w, &frmMain::statusChanged, &w, [&](const QString& s) {
        if (s == "Searching duplicated files ...") {
            QMetaObject::invokeMethod(&w, [&] {
                click(w.setup->cmdSrch);
                g_readsMayGo = true;
            }, Qt::QueuedConnection);
        }
    });
    search();
    platform::setReadObserver(nullptr);
    EXPECT_TRUE(statuses.contains("Stopping ..."));
    EXPECT_EQ(w.setup->cmdSrch->text(), "&Search");
    EXPECT_TRUE(w.setup->frmSelectPath->isEnabled());
    // Found before the stop: the empty file and the first run of equal sizes.
    EXPECT_EQ(w.results->tabMain->tabText(kListZeroSize), "Zero Size(1)");
    EXPECT_EQ(w.results->tabMain->tabText(kListDuplicates), "Duplicates(2)");
    EXPECT_GE(rowOf(kListDuplicates, "a/1.bin"), 0);
}

TEST_F(GuiSearch, ClosingTheWindowDuringASearchStopsIt)
{
    for (int i = 0; i < 30; ++i) {
        write("a/" + std::to_string(i) + ".bin", bytes(7, 3000));
    }
    frmMain& w = open();
    g_readsMayGo = false;
    platform::setReadObserver(holdReads);
    const auto closer = QObject::connect(&w, &frmMain::statusChanged, &w, [&](const QString& s) {
        if (s == "Loading files ...") {
            QMetaObject::invokeMethod(&w, [&] {
                w.close();
                g_readsMayGo = true;
            }, Qt::QueuedConnection);
        }
    });
    search();
    platform::setReadObserver(nullptr);
    QObject::disconnect(closer);
    EXPECT_FALSE(w.isVisible());
    EXPECT_EQ(w.results->resultList(kListDuplicates).count(), 0);
    EXPECT_EQ(w.setup->cmdSrch->text(), "&Search");
    // Shown again, the window searches as before.
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    click(w.setup->cmdSrch);
    waitForSearch();
    EXPECT_EQ(w.results->resultList(kListDuplicates).count(), 30);
}

}  // namespace kormial::test
