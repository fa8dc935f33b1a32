// The search from request to result lists, on real trees, and the sort
// that brings equal records together.
#include "catalogue/sort.h"
#include "platform/fs.h"
#include "platform/parallel.h"
#include "searchhost.h"
#include "testutil.h"

#include <gtest/gtest.h>

#include <atomic>
#include <fcntl.h>
#include <filesystem>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

using namespace kormial;
using namespace kormial::test;
using Names = std::vector<std::string>;

TEST(Search, AllTypesTogetherFillTheirListsInOrder)
{
    // runs of sizes 5, 6 and 7 side by side, two groups interleaved in the
    // first: duplicates are listed by group number, each group's number the
    // index of its first member after the size sort
    TempDir dir;
    const std::string big = randomBytes(1, 120000);
    for (const auto& [name, content] : std::map<std::string, std::string>{
             {"z1.empty", ""}, {"sub/z2.empty", ""}, {"a.txt", "hello"}, {"sub/A.TXT", "hello"}, {"copy.bin", "hello"},
             {"sub/b.txt", "world"}, {"w.bin", "world"}, {"six1", "hello!"}, {"six2", "hello!"}, {"seven", "hello!!"},
             {"big-part", big.substr(0, 60000)}, {"big-whole", big}}) {
        writeFile(dir / name, content);
    }
    TestHost h;
    h.add(dir.path());
    h.only({SearchType::ZeroSize, SearchType::Duplicates, SearchType::SameName, SearchType::Portions});
    EXPECT_EQ(h.run(), 12);
    EXPECT_EQ(h.statuses, (Names{"Loading files ...", "Search same file name  ...", "Searching duplicated files ...",
                                 "Searching file portions ..."}));
    EXPECT_EQ(h.rows(kListZeroSize, false), (Names{"z1.empty", "z2.empty"}));
    EXPECT_EQ(h.rows(kListDuplicates),
              (Names{"2|copy.bin", "2|a.txt", "2|A.TXT", "3|w.bin", "3|b.txt", "7|six2", "7|six1"}));
    EXPECT_EQ(h.rows(kListSameName, false), (Names{"a.txt", "A.TXT"}));
    EXPECT_EQ(h.rows(kListPortions, false), (Names{"big-part", "big-whole"}));
    EXPECT_TRUE(h.rows(kListReadErrors).empty());
    // the numbers: what the walk found, then the bytes of the runs compared
    const auto loaded = std::find_if(h.told.rbegin(), h.told.rend(), [](auto& c) { return c.bytesTotal == 0; });
    ASSERT_NE(loaded, h.told.rend());
    EXPECT_EQ(CountsText(*loaded), "12 files in 2 folders");
    EXPECT_EQ(CountsText(h.told.back()), "175.8 KB of 175.8 KB");
    // a row: the file as the search saw it
    const ResultRow& r = h.list(kListZeroSize).row(1);
    struct stat st {};
    ASSERT_EQ(::stat(r.path().c_str(), &st), 0);
    EXPECT_EQ(r.path(), dir / "sub/z2.empty");
    EXPECT_EQ(std::tuple(r.size, r.group, r.mtime, r.state.id.ino, r.state.mtimeNs % 1000000000),
              std::tuple(0, kNoGroup, st.st_mtim.tv_sec, st.st_ino, st.st_mtim.tv_nsec));
}

TEST(Search, LongRunsMoveTheProgressBarFrom251Files)
{
    for (const int files : {250, 251}) {
        TempDir dir;
        for (int i = 0; i < files; ++i) {
            writeFile(dir / std::to_string(i), "same content");
        }
        TestHost h;
        h.add(dir.path());
        h.only({SearchType::Duplicates});
        h.run();
        EXPECT_EQ(h.list(kListDuplicates).count(), files);
        // a long run moves the progress bar as it is read, a short one
        // once after the run
        const int reports = h.progressByStatus["Searching duplicated files ..."];
        EXPECT_TRUE(files == 251 ? reports > 250 : reports == 2) << reports;
    }
}

TEST(Search, PortionsTakeFilesOfMoreThanOneBlockAndUnreadableFilesAreReportedOnce)
{
    // copies cut from "whole" of one block or less take no part, the others
    // are found however small the smallest; "locked" fails among the
    // duplicates and is not listed or told again; of the locked small files
    // only the one large enough for portions (20480 bytes) is read
    TempDir dir;
    const std::string whole = randomBytes(6, 200000);
    for (const std::size_t n : {30000, 40000, 50000, 50001, 60000, 90000, 120000, 150000, 200000}) {
        writeFile(dir / std::to_string(n), whole.substr(0, n));
    }
    const std::string big = randomBytes(7, 80000);
    for (const auto& [name, content] : std::map<std::string, std::string>{
             {"a", big}, {"locked", big}, {"longer", big + "tail"}, {"below", std::string(20479, 'b')},
             {"at", std::string(20480, 'a')}}) {
        writeFile(dir / name, content);
    }
    openToEveryone(dir.path());
    for (const char* f : {"locked", "below", "at"}) {
        ::chmod((dir / f).c_str(), 0);
    }
    const std::string out = runUnprivileged([&] {
        TestHost h;
        h.add(dir.path());
        h.only({SearchType::ZeroSize, SearchType::Duplicates, SearchType::SameName, SearchType::Portions});
        h.run();
        std::string s = h.everyRow();
        for (const std::string& failure : h.failures) {
            s += failure.substr(failure.rfind('/') + 1) + " ";
        }
        return s;
    });
    EXPECT_EQ(out, "3:3|a 3:3|longer 3:8|50001 3:8|60000 3:8|90000 3:8|120000 3:8|150000 3:8|200000 "
                   "4:-3|locked 4:-3|at locked: Permission denied at: Permission denied ");
}

TEST(Search, ToleranceGroupsFilesThatDifferInALittle)
{
    TempDir dir;
    writeFile(dir / "p1", "same");
    writeFile(dir / "p2", "same");
    for (const std::size_t size : {1200000u, 1200001u}) {
        std::string content = randomBytes(size, size);
        writeFile(dir / ("a" + std::to_string(size)), content);
        content.back() = static_cast<char>(~content.back());
        writeFile(dir / ("b" + std::to_string(size)), content);
    }
    for (const bool tolerant : {false, true}) {
        TestHost h;
        h.add(dir.path());
        h.only({SearchType::Duplicates});
        h.request.tolerant = tolerant;
        h.run();
        EXPECT_EQ(h.rows(kListDuplicates, false),
                  tolerant ? (Names{"p1", "p2", "b1200000", "a1200000", "a1200001", "b1200001"}) : (Names{"p1", "p2"}));
    }
}

// The lists of a search with every reading thread, and in a child process,
// which has none of the helper threads and reads everything on its one: the same, however the reading is
// shared out and in whatever order the files are read. Many small runs lie
// across folders (the walk meets their files in another order than the
// runs'), a long run, and a large class of equal files of which two differ
// past their first chunk (one where the class is compared with its first
// member where the bytes are).
TEST(Search, ResultsDoNotDependOnTheThreadsThatRead)
{
    TempDir dir;
    for (int i = 0; i < 600; ++i) {
        writeFile(dir / ("f" + std::to_string(i % 7) + "/s" + std::to_string(599 - i)),
                  randomBytes(static_cast<std::uint64_t>(i % 3), static_cast<std::size_t>(1 + i % 40)));
    }
    for (int i = 0; i < 260; ++i) {
        writeFile(dir / ("long/l" + std::to_string(i)), randomBytes(i % 5 == 0 ? 1 : static_cast<std::uint64_t>(i), 64));
    }
    const std::string big = randomBytes(4, 100000);
    for (int i = 0; i < 9; ++i) {
        std::string content = big;
        content[i == 2 ? 50000 : 90000] ^= static_cast<char>(i == 2 || i == 6 ? 1 : 0);
        writeFile(dir / ("big/b" + std::to_string(i)), content);
    }
    const auto lists = [&] {
        TestHost h;
        h.add(dir.path());
        h.only({SearchType::ZeroSize, SearchType::Duplicates, SearchType::SameName, SearchType::Portions});
        h.run();
        return h.everyRow();
    };
    const std::string shared = lists();
    EXPECT_EQ(runInChild([&] { return parallelHelpers(JobKind::Reading) == 0 ? lists() : "helpers"; }), shared);
    // and with the files' bytes out of memory, as on a cold disk
    for (const auto& e : std::filesystem::recursive_directory_iterator(dir.path())) {
        const int fd = ::open(e.path().c_str(), O_RDONLY);
        ASSERT_GE(fd, 0);
        ::fsync(fd);
        ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
        ::close(fd);
    }
    EXPECT_EQ(lists(), shared);
    std::set<std::string> bigRows;
    for (std::size_t at = shared.find("|b"); at != std::string::npos; at = shared.find("|b", at + 1)) {
        bigRows.insert(shared.substr(at + 1, shared.find(' ', at) - at - 1));
    }
    EXPECT_EQ(bigRows, (std::set<std::string>{"b0", "b1", "b3", "b4", "b5", "b7", "b8"})) << shared;
}

// A stop in the same names, as the duplicates begin, or while their files
// are read (after the 100th read): nothing after it is grouped.
TEST(Search, StopEndsTheSearchButLeadingBlocksAreStillRead)
{
    TempDir dir;
    for (int i = 0; i < 450; ++i) {
        writeFile(dir / ("d" + std::to_string(i % 3) + "/n" + std::to_string(i / 3)), std::to_string(i % 2));
    }
    writeFile(dir / "empty", "");
    const std::string big = randomBytes(8, 60000);
    writeFile(dir / "p1", big);
    writeFile(dir / "p2", big + "more");
    static std::atomic<int> reads;
    static std::stop_source* stopAfterReads;
    for (const std::string stopAt : {"Search same file name  ...", "Searching duplicated files ...", "reading"}) {
        TestHost h;
        h.add(dir.path());
        h.only({SearchType::ZeroSize, SearchType::Duplicates, SearchType::SameName, SearchType::Portions});
        h.onStatus = [&](TestHost& host, const std::string& s) {
            if (s == stopAt) {
                host.stopper.request_stop();
            }
        };
        reads = 0;
        stopAfterReads = &h.stopper;
        platform::setReadObserver(stopAt != "reading" ? nullptr : +[](int) {
            if (++reads == 100) {
                stopAfterReads->request_stop();
            }
        });
        const bool inSameName = stopAt == "Search same file name  ...";
        EXPECT_EQ(h.run(), inSameName ? 0 : 453);
        platform::setReadObserver(nullptr);
        EXPECT_EQ(h.list(kListDuplicates).count() + h.list(kListPortions).count(), 0);
        // in the same names the stop takes effect at step 200 (those listed
        // stay) and nothing follows
        EXPECT_EQ(h.list(kListZeroSize).count(), inSameName ? 0 : 1);
        EXPECT_EQ(h.list(kListSameName).count() < 210, inSameName);
        EXPECT_TRUE(h.results.stopped);
    }
}

TEST(Sort, NamesInCaseFoldedOrderAndEqualKeysInAFixedOrder)
{
    // group numbers are indexes after the sort, so records of equal keys
    // must keep coming out in this one order
    const char* names[] = {"b", "A.TXT", "z", "\xC3\x84pfel", "a.txt", "B", "\xC3\xA4PFEL", "c.jpg",
                           "a.txt", "apfel", "Z", "\xC3\xA4pfel", "A.txt", "b"};
    FileArray arr;
    for (std::size_t i = 0; i < std::size(names); ++i) {
        arr.push_back({std::make_shared<const SearchedFolder>(SearchedFolder{std::to_string(i) + "/", {}}), names[i],
                       static_cast<std::int64_t>(i * 7 % 3) - 1, {}, 0, 0, {}, kNoGroup});
    }
    const auto order = [&](std::int32_t by) {
        FileArray a = arr;
        QuickSort(a, 0, static_cast<std::int64_t>(a.size()) - 1, by);
        std::string out;
        for (const auto& r : a) {
            out += r.Folder->path.substr(0, r.Folder->path.size() - 1) + " ";
        }
        return out;
    };
    EXPECT_EQ(order(ByFileName), "12 4 8 1 9 5 0 13 7 10 2 11 3 6 ");
    EXPECT_EQ(order(ByFileSize), "6 9 12 3 0 1 10 7 4 13 11 5 2 8 ");
}
