// Hostile trees: files that cannot be read, names that are hard to carry,
// files that change while the search runs, huge sparse
// files, sheer numbers, and the kernel's own folders. Real files in temporary
// folders; where root would read everything, the search runs as nobody.
#include "catalogue/colfiles.h"
#include "results/resultfile.h"
#include "results/resultrows.h"
#include "searchhost.h"
#include "testutil.h"

#include <gtest/gtest.h>

#include <array>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <map>
#include <mutex>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

using namespace kormial;
using namespace kormial::test;
using Host = TestHost;
using Paths = std::set<std::string>;

namespace {

// The slow cases (a whole-disk walk, reading 15 GiB) run when
// KORMIAL_SLOW_TESTS=1; CI sets it.
const bool kSlowTests = std::string(std::getenv("KORMIAL_SLOW_TESTS") ? std::getenv("KORMIAL_SLOW_TESTS") : "") == "1";

// The groups of one list, each as its members' paths (a list without group
// numbers, such as the read errors, is one group).
std::set<Paths> groups(const Host& h, int list)
{
    std::map<GroupMark, Paths> byGroup;
    for (const ResultRow& r : h.list(list).rows()) {
        byGroup[r.group].insert(r.path());
    }
    std::set<Paths> out;
    for (const auto& [g, members] : byGroup) {
        out.insert(members);
    }
    return out;
}

// Changes `path` (whose twin has its size and bytes) the way `how` says; a
// new file takes the old one's place in one rename, as editors do.
void change(const std::string& how, const std::string& path, const std::string& twin)
{
    const std::string tmp = path + ".new";
    if (how == "deleted" || how == "folder") {
        ASSERT_EQ(::unlink(path.c_str()), 0);
        ASSERT_TRUE(how != "folder" || ::mkdir(path.c_str(), 0755) == 0);
    } else if (how == "shrunk" || how == "emptied") {
        ASSERT_EQ(::truncate(path.c_str(), how == "shrunk" ? 17 : 0), 0);
    } else if (how == "grown") {
        std::ofstream(path, std::ios::app) << "more";
    } else if (how != "untouched") {
        if (how == "rewritten") {  // same size, other bytes
            writeFile(tmp, randomBytes(999, readFile(twin).size()));
        }
        ASSERT_TRUE(how != "fifo" || ::mkfifo(tmp.c_str(), 0644) == 0);
        ASSERT_TRUE(how != "symlink" || ::symlink(twin.c_str(), tmp.c_str()) == 0);
        ASSERT_EQ(::rename(tmp.c_str(), path.c_str()), 0) << how;
    }
}

}  // namespace

// A file nobody may read is a read error and its twins still group, in a
// short run and in a long one, and each is told once. A folder that
// cannot be listed, or whose entries cannot be looked at, adds nothing and is
// a read error too, first, in walk order, and told like an unreadable file.
TEST(HostilePermissions, UnreadableFilesAndFoldersAreReadErrors)
{
    TempDir dir;
    for (const char* name : {"a", "b", "locked", "shut/c", "peek/d"}) {
        writeFile(dir / name, randomBytes(1, 3000));
    }
    for (int i = 0; i < 260; ++i) {
        writeFile(dir / ("long/f" + std::to_string(1000 + i)), randomBytes(7, 4000));
    }
    openToEveryone(dir.path());
    for (const char* name : {"locked", "long/f1100", "shut"}) {
        ASSERT_EQ(::chmod((dir / name).c_str(), 0), 0);
    }
    ASSERT_EQ(::chmod((dir / "peek").c_str(), 0444), 0);
    const std::string out = runUnprivileged([&] {
        Host h;
        h.add(dir.path());
        h.only({SearchType::Duplicates});
        h.run();
        std::string s;
        for (const Paths& g : groups(h, kListDuplicates)) {
            s += std::to_string(g.size()) + " " + *g.begin() + " " + *g.rbegin() + "\n";
        }
        for (const ResultRow& r : h.list(kListReadErrors).rows()) {
            s += r.path() + " " + std::to_string(r.size) + "\n";
        }
        for (const std::string& f : h.failures) {
            s += f + "\n";
        }
        // saved and read back as they are
        std::array<ResultList, kResultListCount> back;
        std::string error;
        if (!loadResults(formatJson(h.results.lists.data(), true), back.data(), error) ||
            back[kListReadErrors].count() != h.list(kListReadErrors).count()) {
            s += "not read back: " + error;
        }
        return s;
    });
    const std::string& d = dir.path();
    EXPECT_EQ(out, "2 " + d + "a " + d + "b\n259 " + d + "long/f1000 " + d + "long/f1259\n" +  // groups
                       d + "peek/ 0\n" + d + "shut/ 0\n" + d + "locked 3000\n" + d + "long/f1100 4000\n" +
                       d + "peek/: Permission denied\n" + d + "shut/: Permission denied\n" + d +
                       "locked: Permission denied\n" + d + "long/f1100: Permission denied\n");
}

// Control characters, invalid UTF-8, line breaks: found, compared and listed
// by their true names.
TEST(HostileNames, FoundAndListedByTheirTrueNames)
{
    TempDir dir;
    const std::vector<std::string> names = {"tab\there", "new\nline", "carriage\rreturn", "ctrl\x01\x1f\x7f",
                                            "back\\slash\\", " lead", "-dash", "bad\xff\xfe" "bytes", "lone\x80",
                                            "overlong\xc0\xaf", "star*quest?", std::string(255, 'n')};
    std::set<Paths> pairs;
    Paths all;
    for (std::size_t i = 0; i < names.size(); ++i) {
        const Paths pair = {dir / ("plain/" + names[i]), dir / ("-odd \t\n\\\xff folder/" + names[i])};
        for (const std::string& p : pair) {
            writeFile(p, randomBytes(i, 200 + i));
        }
        pairs.insert(pair);
        all.insert(pair.begin(), pair.end());
    }
    Host h;
    h.add(dir.path());
    h.only({SearchType::Duplicates, SearchType::SameName});
    EXPECT_EQ(h.run(), static_cast<std::int64_t>(2 * names.size()));
    EXPECT_EQ(groups(h, kListDuplicates), pairs);
    EXPECT_EQ(groups(h, kListSameName), std::set<Paths>{all});  // the list holds no group numbers
    EXPECT_EQ(h.list(kListDuplicates).count() + h.list(kListSameName).count(),
              static_cast<std::int64_t>(2 * all.size()));
}

// Files changed after the walk (before the records are loaded, or once the
// comparisons run) and while a long run is read: a file that is no longer
// what the walk saw is a read error, told once, never a false duplicate.
TEST(HostileChange, FilesChangedWhileTheSearchRuns)
{
    const std::vector<std::string> hows = {"untouched", "deleted", "emptied", "shrunk", "grown",
                                           "rewritten", "fifo",    "symlink", "folder"};
    const char* const inLongRun[] = {"deleted", "shrunk", "grown", "symlink"};
    for (int k = 0; k < 4; ++k) {  // before loading or comparison, exact or tolerant
        SCOPED_TRACE(k);
        const std::string when = k < 2 ? "Loading files ..." : "Searching duplicated files ...";
        TempDir dir;
        const std::string victim = dir / "long/f1200";
        Paths unreadable = {victim};
        for (std::size_t i = 0; i < hows.size(); ++i) {  // each pair a run of its own
            writeFile(dir / (hows[i] + "-1"), randomBytes(200 + i, 3000 + 100 * i));
            writeFile(dir / (hows[i] + "-2"), randomBytes(200 + i, 3000 + 100 * i));
            if (i > 0) {
                unreadable.insert(dir / (hows[i] + "-1"));
            }
        }
        Paths longRun;
        for (int i = 0; i < 300; ++i) {
            longRun.insert(dir / ("long/f" + std::to_string(1000 + i)));
            writeFile(*longRun.rbegin(), randomBytes(11, 70000));  // read in more than one chunk
        }
        longRun.erase(victim);
        int reads = -1;  // progress reports since the comparison began
        Host h;
        h.add(dir.path());
        h.only({SearchType::ZeroSize, SearchType::Duplicates});
        h.request.tolerant = k % 2 == 1;
        h.onStatus = [&](Host&, const std::string& s) {
            reads = s == "Searching duplicated files ..." ? 0 : reads;
            for (std::size_t i = 0; s == when && i < hows.size(); ++i) {
                change(hows[i], dir / (hows[i] + "-1"), dir / (hows[i] + "-2"));
            }
        };
        h.onProgress = [&](Host&) {
            if (reads >= 0 && ++reads == 100) {  // a third of the long run's first chunks read
                change(inLongRun[k], victim, dir / "long/f1000");
            }
        };
        h.run();
        EXPECT_GE(reads, 100);
        EXPECT_EQ(groups(h, kListDuplicates), (std::set<Paths>{{dir / "untouched-1", dir / "untouched-2"}, longRun}));
        EXPECT_EQ(groups(h, kListReadErrors), std::set<Paths>{unreadable});
        EXPECT_EQ(groups(h, kListZeroSize), std::set<Paths>{});
        std::multiset<std::string> told;
        for (const std::string& failure : h.failures) {
            told.insert(failure.substr(0, failure.find(": ")));
        }
        EXPECT_EQ(told, std::multiset<std::string>(unreadable.begin(), unreadable.end()));
    }
}

// A searched folder swapped, after the walk, for a link to a copy of it
// elsewhere: its files (one read whole at once, one in chunks) are read
// errors, and not a byte is read through the link.
TEST(HostileChange, FolderSwappedForALinkIsNeverReadThrough)
{
    static std::mutex lock;
    static std::vector<std::string> read;  // the files read from, as the system names them
    TempDir dir;
    TempDir elsewhere;
    const std::string small = randomBytes(1, 3000);
    const std::string large = randomBytes(2, 300000);
    for (const std::string& in : {dir / "in/", dir / "twin-", elsewhere / ""}) {
        writeFile(in + "small", small);
        writeFile(in + "large", large);
    }
    platform::setReadObserver(+[](int fd) {
        char target[4096] = {};
        const ssize_t n = ::readlink(("/proc/self/fd/" + std::to_string(fd)).c_str(), target, sizeof target - 1);
        const std::lock_guard guard(lock);
        read.emplace_back(target, n > 0 ? static_cast<std::size_t>(n) : 0);
    });
    Host h;
    h.add(dir.path());
    h.only({SearchType::Duplicates});
    h.onStatus = [&](Host&, const std::string& s) {
        if (s == "Searching duplicated files ...") {
            ASSERT_EQ(::rename((dir / "in").c_str(), (dir / "was-in").c_str()), 0);
            ASSERT_EQ(::symlink(elsewhere.path().c_str(), (dir / "in").c_str()), 0);
        }
    };
    h.run();
    platform::setReadObserver(nullptr);
    EXPECT_EQ(groups(h, kListDuplicates), std::set<Paths>{});
    EXPECT_EQ(groups(h, kListReadErrors), (std::set<Paths>{{dir / "in/small", dir / "in/large"}}));
    const std::string outside = elsewhere.path().substr(0, elsewhere.path().size() - 1);
    for (const std::string& file : read) {
        EXPECT_NE(file.rfind(outside, 0), 0u) << file;
    }
    EXPECT_FALSE(read.empty());
}

// Twins of 5 GiB and a third file that differs from them only beyond 4 GiB:
// sized beyond 32 bits, and (slow) compared in full, up to 15 GiB of reads
// where the file system does not report the holes.
TEST(HostileSize, SparseFilesOf5GiB)
{
    TempDir dir;
    const std::int64_t size = std::int64_t{5} << 30;  // 5242880 KB
    const std::int64_t high = (std::int64_t{4} << 30) + 12345;
    for (const std::string name : {"one", "two", "three"}) {
        const int fd = ::open((dir / name).c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
        ASSERT_EQ(::ftruncate(fd, size), 0);
        for (const std::int64_t pos : {std::int64_t{0}, high, size - 1}) {
            const char c = pos == high && name == "three" ? 'H' : 'h';
            ASSERT_EQ(::pwrite(fd, &c, 1, pos), 1);
        }
        ::close(fd);
    }
    colFiles above;  // the KB bound, beyond 32 bits
    EXPECT_EQ(above.LoadFiles(dir.path(), "*.*", 5242879, -1, true), 3);
    if (!kSlowTests) {
        GTEST_SKIP() << "reads 15 GiB; set KORMIAL_SLOW_TESTS=1 to run it";
    }
    Host h;
    h.add(dir.path());
    h.only({SearchType::Duplicates});
    EXPECT_EQ(h.run(), 3);
    EXPECT_EQ(groups(h, kListDuplicates), (std::set<Paths>{{dir / "one", dir / "two"}}));
    for (const ResultRow& r : h.list(kListDuplicates).rows()) {
        EXPECT_EQ(r.size, 5368709120);
    }
}

// The kernel's folders are never entered, also when given as the search
// entry; and (slow) the search of the whole file system from "/" ends.
TEST(HostileRoot, KernelFoldersAreNeverEnteredAndTheRootSearchEnds)
{
    for (const std::string m : {"/proc", "/sys", "/dev", "/proc/self", "/sys/kernel"}) {
        colFiles c;
        EXPECT_EQ(c.LoadFiles(m + "/", "*.*", -1, -1, true), 0) << m;
    }
    if (!kSlowTests) {
        GTEST_SKIP() << "walks the whole file system; set KORMIAL_SLOW_TESTS=1 to run it";
    }
    const CliRun r = runCli({"-t", "zero,dup,name", "-f", "tsv", "-p", "no-such-file-*.kormial-none", "/"},
                            std::string(), 900);
    EXPECT_FALSE(r.timedOut);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "");
}
