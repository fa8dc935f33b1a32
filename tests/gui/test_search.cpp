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
    struct stat st {};  // written again right after its first read
    ASSERT_EQ(::stat(at("e/a3.dat").c_str(), &st), 0);
    g_growsPath = at("e/a3.dat");
    g_grows = st.st_ino;
    platform::setReadObserver(growOnce);
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
    platform::setReadObserver(nullptr);

    EXPECT_EQ(captionDuring, "&Cancel");
    EXPECT_TRUE(lockedDuring);
    EXPECT_TRUE(statuses.back().endsWith("searching 12 files.")) << statuses.back().toStdString();
    const QStringList tabs{"Zero Size(2)", "Duplicates(4)", "Same Name(2)", "Portions(2)",
                           "Report - read errors(1)"};
    for (int i = 0; i < tabs.size(); ++i) {
        EXPECT_EQ(w.results->tabMain->tabText(i), tabs[i]);
    }
    // the one notice at the end names the file that could not be read
    ASSERT_EQ(dialogs.texts.size(), 1);
    EXPECT_TRUE(dialogs.texts[0].startsWith("Some files or folders could not be read;") &&
                dialogs.texts[0].contains(QString::fromStdString(at("e/a3.dat") + ": changed during the search")))
        << dialogs.texts[0].toStdString();
    // the cells as shown: "#" and the size padded, the date in UTC
    const ResultTableModel& model = *w.results->lstResult[kListDuplicates]->resultModel();
    const int b2 = rowOf(kListDuplicates, "e/b2.dat");
    QStringList cells;
    for (int c = 0; c < model.columnCount(); ++c) {
        cells << model.index(b2, c).data().toString();
    }
    const auto group = w.results->resultList(kListDuplicates).row(b2).group.number();
    EXPECT_EQ(cells, (QStringList{"b2.dat", QString::fromStdString(at("e/")), QString("%1").arg(group, 10),
                                  "      8000", "2020/09/13 12:26:40", ""}));
    EXPECT_TRUE(rowOf(kListSameName, "x/Report.doc") >= 0 && rowOf(kListSameName, "y/report.DOC") >= 0);
    EXPECT_GE(rowOf(kListPortions, "p/part.bin"), 0);
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


// Cancel stops the search and keeps what was found; closing the window
// mid-search stops it too, and shown again the window searches as before.
TEST_F(GuiSearch, CancelOrClosingStopsTheSearch)
{
    write("empty.txt", "");
    for (unsigned i = 1; i <= 3; ++i) {
        write("a/" + std::to_string(i) + ".bin", bytes(i, 1000 * i));
        write("b/" + std::to_string(i) + ".bin", bytes(i, 1000 * i));
    }
    frmMain& w = open();
    g_readsMayGo = false;
    platform::setReadObserver(holdReads);
    const auto stopAt = [&](const QString& status, const std::function<void()>& stop) {
        return QObject::connect(&w, &frmMain::statusChanged, &w, [&w, status, stop](const QString& s) {
            if (s == status) {
                QMetaObject::invokeMethod(&w, [stop] {
                    stop();
                    g_readsMayGo = true;
                }, Qt::QueuedConnection);
            }
        });
    };
    auto stopper = stopAt("Searching duplicated files ...", [&] { click(w.setup->cmdSrch); });
    search();
    EXPECT_TRUE(statuses.contains("Stopping ..."));
    EXPECT_EQ(w.setup->cmdSrch->text(), "&Search");
    EXPECT_TRUE(w.setup->frmSelectPath->isEnabled());
    // Found before the stop: the empty file and the first run of equal sizes.
    EXPECT_EQ(w.results->tabMain->tabText(kListZeroSize), "Zero Size(1)");
    EXPECT_EQ(w.results->tabMain->tabText(kListDuplicates), "Duplicates(2)");
    EXPECT_GE(rowOf(kListDuplicates, "a/1.bin"), 0);

    QObject::disconnect(stopper);
    g_readsMayGo = false;
    stopper = stopAt("Loading files ...", [&] { w.close(); });
    click(w.setup->cmdSrch);
    waitForSearch();
    platform::setReadObserver(nullptr);
    QObject::disconnect(stopper);
    EXPECT_FALSE(w.isVisible());
    EXPECT_EQ(w.results->resultList(kListDuplicates).count(), 0);
    EXPECT_EQ(w.setup->cmdSrch->text(), "&Search");
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    click(w.setup->cmdSrch);
    waitForSearch();
    EXPECT_EQ(w.results->resultList(kListDuplicates).count(), 6);
}

}  // namespace kormial::test
