// The catalogue on real trees: walk order, patterns, size bounds, each file
// once, what is never catalogued, and the walk against changes, depth and
// mounts.
#include "catalogue/colfiles.h"
#include "platform/pathopen.h"
#include "searchhost.h"
#include "testutil.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <set>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace kormial;
using namespace kormial::test;
using Names = std::vector<std::string>;

namespace {

// The catalogue after loading `specs` (pattern, lower and upper bound in
// KB, sub-folders or not) in turn, relative to `dir`, leaving out `exclude`.
Names load(const TempDir& dir, const std::vector<std::tuple<std::string, int, int, bool>>& specs,
           const std::vector<std::string>& exclude = {})
{
    colFiles c;
    c.Exclude(Exclusions(exclude));
    for (const auto& [spec, minKb, maxKb, recursive] : specs) {
        const std::string path = dir / spec;
        const auto slash = path.rfind('/');
        c.LoadFiles(path.substr(0, slash + 1), path.substr(slash + 1), minKb, maxKb, recursive);
    }
    FileArray arr;
    c.TakeItems(arr, {});
    Names out;
    for (const auto& r : arr) {
        out.push_back(r.path().substr(dir.path().size()));
    }
    return out;
}

}  // namespace

TEST(Catalogue, SubFoldersFirstInByteOrderThenOwnFilesWithinExclusiveBounds)
{
    // links and FIFOs are not catalogued; bounds are
    // whole KB, halves rounded to even: 512 bytes are 0 KB, 2560 are 2
    TempDir dir;
    for (const auto f : {"b.txt", "A.txt", "sub2/z.txt", "sub1/y.txt", "sub1/deep/x.txt", "Sub0/w.txt", "sub1/plain"}) {
        writeFile(dir / f, "1");
    }
    for (const int size : {512, 513, 2560, 3584}) {
        writeFile(dir / ("kb/" + std::to_string(size)), std::string(static_cast<std::size_t>(size), 'a'));
    }
    ASSERT_EQ(::symlink((dir / "A.txt").c_str(), (dir / "filelink").c_str()), 0);
    ASSERT_EQ(::symlink((dir / "sub1").c_str(), (dir / "dirlink").c_str()), 0);
    ASSERT_EQ(::symlink((dir / "loop").c_str(), (dir / "loop").c_str()), 0);
    ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
    // "*" rebuilt from its parts below the first folder would become "*."
    for (const char* pattern : {"*.*", "*"}) {
        EXPECT_EQ(load(dir, {{pattern, -1, -1, true}}),
                  (Names{"Sub0/w.txt", "kb/2560", "kb/3584", "kb/512", "kb/513", "sub1/deep/x.txt", "sub1/plain",
                         "sub1/y.txt", "sub2/z.txt", "A.txt", "b.txt"}));
    }
    EXPECT_EQ(load(dir, {{"*", -1, -1, false}}), (Names{"A.txt", "b.txt"}));
    EXPECT_EQ(load(dir, {{"kb/*", 0, -1, false}}), (Names{"kb/2560", "kb/3584", "kb/513"}));
    EXPECT_EQ(load(dir, {{"kb/*", -1, 2, false}}), (Names{"kb/512", "kb/513"}));
    EXPECT_EQ(load(dir, {{"kb/*", 1, 4, true}}), (Names{"kb/2560"}));
}

// Entries that overlap (a folder, its sub-folders, the folder again without
// them, other patterns and bounds) list every file once, under its first
// name, in the order of the walks.
TEST(Catalogue, OverlappingEntriesListEachFileOnceInWalkOrder)
{
    TempDir dir;
    for (const char* f : {"a.txt", "sub1/x.txt", "sub1/deep/y.dat", "sub2/z.dat", "sub2/z.txt"}) {
        writeFile(dir / f, "1");
    }
    writeFile(dir / "sub2/big.bin", std::string(2048, 'b'));
    ASSERT_EQ(::link((dir / "sub1/x.txt").c_str(), (dir / "zz-link.txt").c_str()), 0);
    EXPECT_EQ(load(dir, {{"*.*", -1, -1, true}, {"sub1/*.*", -1, -1, true}, {"sub1/deep/*.*", -1, -1, true},
                         {"sub2/*.*", -1, -1, true}, {"*.txt", -1, -1, true}, {"*.*", -1, -1, false}}),
              (Names{"sub1/deep/y.dat", "sub1/x.txt", "sub2/big.bin", "sub2/z.dat", "sub2/z.txt", "a.txt"}));
    // what a sub-folder gave with other bounds or another pattern does not
    // stand for what the folder's walk finds there
    EXPECT_EQ(load(dir, {{"sub2/*.*", 1, -1, false}, {"sub1/*.txt", -1, -1, true}, {"*.*", -1, -1, true}}),
              (Names{"sub2/big.bin", "sub1/x.txt", "sub1/deep/y.dat", "sub2/z.dat", "sub2/z.txt", "a.txt"}));
}

// The walk on real trees: what is swapped while it runs, depth, a file or a
// folder mounted twice, and the user's trash folders.
namespace {

// The walk's hook: what happens right before the walk enters a folder.
std::function<void(const std::string&)> g_beforeEntering;
void beforeEntering(const std::string& folder)
{
    g_beforeEntering(folder);
}
struct EnterHookSet {
    explicit EnterHookSet(std::function<void(const std::string&)> f)
    {
        g_beforeEntering = std::move(f);
        setEnterHook(beforeEntering);
    }
    ~EnterHookSet() { setEnterHook(nullptr); }
};

std::size_t openDescriptors()
{
    return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {}));
}

}  // namespace

// Folders swapped between the listing and the walk's entering them, for a
// link to a private folder, a link to the folder itself and another folder,
// are never entered and are listed as failures in walk order; nothing from
// the private folder is read or listed.
TEST(Walk, FolderSwappedWhileTheWalkRunsIsNeverEntered)
{
    TempDir dir, outside;
    writeFile(outside / "secret.key", "same bytes");
    writeFile(dir / "pub/copy.key", "same bytes");
    for (const char* f : {"xx/x.txt", "yy/y.txt", "zz/z.txt", "zz/deep/z2.txt", "other/o.txt"}) {
        writeFile(dir / f, "x");
    }
    const EnterHookSet hook([&](const std::string& folder) {
        if (folder == dir / "xx/") {  // a link to itself, moved
            ::rename(folder.c_str(), (dir / "xx.old").c_str());
            ::symlink("xx.old", (dir / "xx").c_str());
        } else if (folder == dir / "yy/") {  // another folder takes its place
            ::rename(folder.c_str(), (dir / "yy.old").c_str());
            ::rename((dir / "other").c_str(), folder.c_str());
        } else if (folder == dir / "zz/") {  // a link to a folder not searched
            ::rename(folder.c_str(), (dir / "zz.old").c_str());
            ::symlink(outside.path().c_str(), (dir / "zz").c_str());
        }
    });
    TestHost h;
    h.add(dir.path());
    h.only({SearchType::Duplicates});
    EXPECT_EQ(h.run(), 2);  // other/o.txt and pub/copy.key
    EXPECT_EQ(h.list(kListDuplicates).count(), 0);
    const std::vector<std::string> failures = {dir / "xx/: changed during the search",
                                               dir / "yy/: changed during the search",
                                               dir / "zz/: changed during the search"};
    EXPECT_EQ(h.failures, failures);
    ASSERT_EQ(h.list(kListReadErrors).count(), 3);
    for (const ResultRow& r : h.list(kListReadErrors).rows()) {
        EXPECT_EQ(r.folder->path, dir.path());
        EXPECT_EQ(r.size, 0);
        EXPECT_GT(r.mtime, 1600000000);  // its own date, from the listing
    }
    EXPECT_EQ(h.rows(kListReadErrors, false), (std::vector<std::string>{"xx/", "yy/", "zz/"}));
}

// A chain of 5,000 folders, some with a side folder, beside a file at the
// top: walked to the end in walk order with a few descriptors open (a
// folder above is opened again through ".." on the way back), the copy at
// the bottom compared by its path far beyond PATH_MAX (never through a
// link); a stop ends the walk at once.
TEST(Walk, DeepChainsAreWalkedWithFewDescriptorsAndStopAtOnce)
{
    // in memory where a memory file system is at hand: 15,000 entries take
    // long to make and remove on a busy disk
    TempDir dir(std::filesystem::is_directory("/dev/shm") ? "/dev/shm" : "");
    constexpr int kLevels = 5000;
    writeFile(dir / "twin", "the same at both ends");
    int at = ::open(dir.path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    // side folders on the third level and the last 100: on the way down, the
    // third gives back its descriptor; on the way up, it is opened again from
    // 4,900 levels below
    constexpr int kSides = 101;
    for (int level = 0; level < kLevels; ++level) {
        if (level == 2 || level >= kLevels - 100) {
            ASSERT_EQ(::mkdirat(at, "side", 0755), 0);
            const int side = ::openat(at, "side", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            const int f = ::openat(side, "f", O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
            ASSERT_EQ(::ftruncate(f, 100 + level), 0);  // a size of its own: nothing to compare
            ::close(f);
            ::close(side);
        }
        ASSERT_EQ(::mkdirat(at, "d", 0755), 0);
        const int next = ::openat(at, "d", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ::close(at);
        at = next;
    }
    const int f = ::openat(at, "twin", O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    ASSERT_EQ(::write(f, "the same at both ends", 21), 21);
    ::close(f);
    ASSERT_EQ(::symlinkat(".", at, "link"), 0);
    ::close(at);
    std::string deepest = dir.path();
    for (int level = 0; level < kLevels; ++level) {
        deepest += "d/";
    }

    std::atomic<std::size_t> mostOpen{0};  // the hook runs on every walking thread
    FileArray arr;
    {
        const EnterHookSet hook([&](const std::string&) {
            const std::size_t now = openDescriptors();
            for (std::size_t was = mostOpen; now > was && !mostOpen.compare_exchange_weak(was, now);) {
            }
        });
        colFiles c;
        c.LoadFiles(dir.path(), "*", -1, -1, true);
        c.TakeItems(arr);
    }
    EXPECT_LT(mostOpen.load(), 300u);
    // in walk order: the bottom first, then each level's side folder on the
    // way back up, each folder's own file last
    ASSERT_EQ(arr.size(), static_cast<std::size_t>(kSides + 2));
    EXPECT_TRUE(arr[0].path() == deepest + "twin");
    EXPECT_TRUE(arr[1].path() == deepest.substr(0, deepest.size() - 2) + "side/f");
    EXPECT_TRUE(arr[kSides - 1].path() == deepest.substr(0, dir.path().size() + 2 * (kLevels - 100)) + "side/f");
    EXPECT_EQ(arr[kSides].path(), dir / "d/d/side/f");
    EXPECT_EQ(arr[kSides + 1].path(), dir / "twin");
    TestHost h;
    h.add(dir.path());
    h.only({SearchType::Duplicates});
    EXPECT_EQ(h.run(), kSides + 2);
    ASSERT_EQ(h.list(kListDuplicates).count(), 2);
    const std::set<std::string> pair = {h.list(kListDuplicates).row(0).path(), h.list(kListDuplicates).row(1).path()};
    EXPECT_TRUE((pair == std::set<std::string>{deepest + "twin", dir / "twin"}));
    EXPECT_TRUE(h.failures.empty());
    // a path that long is opened a folder at a time, never through a link
    EXPECT_EQ(platform::openPath(deepest + "link/twin", O_RDONLY | O_CLOEXEC), -1);
    EXPECT_EQ(errno, ENOTDIR);

    std::stop_source stop;
    std::atomic<int> entered{0};
    const EnterHookSet hook([&](const std::string&) {
        if (++entered == 100) {
            stop.request_stop();
        }
    });
    colFiles stopped;
    EXPECT_LT(stopped.LoadFiles(dir.path(), "*", -1, -1, true, stop.get_token()), 10);
    EXPECT_LE(entered, 102);  // one more at most on each walking thread
}

// The user's trash folders below a searched folder are passed over, unless
// one is itself a searched folder. Where the tests run as root: a file
// mounted onto a second name and a folder mounted onto a second place are
// one row each, and the trash folders at the top of a file system are
// passed over too.
TEST(Walk, TrashFoldersArePassedOverAndAFileMountedTwiceIsOneRow)
{
    TempDir dir;
    const char* old = std::getenv("XDG_DATA_HOME");
    const std::string kept = old != nullptr ? old : "";
    ::setenv("XDG_DATA_HOME", (dir / "home/data").c_str(), 1);
    writeFile(dir / "home/doc.txt", "1");
    writeFile(dir / "home/data/Trash/files/doc.txt", "1");
    writeFile(dir / "home/data/Trash-not/doc.txt", "1");
    EXPECT_EQ(load(dir, {{"home/*", -1, -1, true}}), (Names{"home/data/Trash-not/doc.txt", "home/doc.txt"}));
    EXPECT_EQ(load(dir, {{"home/*", -1, -1, true}, {"home/data/Trash/*", -1, -1, true}}),
              (Names{"home/data/Trash-not/doc.txt", "home/doc.txt", "home/data/Trash/files/doc.txt"}));
    old != nullptr ? ::setenv("XDG_DATA_HOME", kept.c_str(), 1) : ::unsetenv("XDG_DATA_HOME");
    if (::geteuid() != 0) {
        GTEST_SKIP() << "mounts need root";
    }

    TempDir fsTop;
    ASSERT_EQ(::mount("tmpfs", fsTop.path().c_str(), "tmpfs", 0, "size=1m"), 0);
    const std::string uid = std::to_string(::geteuid());
    for (const std::string& f : std::vector<std::string>{"a/file", "a/sub/inner", "own/" + uid, ".Trash-" + uid + "/files/x",
                                ".Trash/" + uid + "/files/y", ".Trash/other/z", ".Trash-99999/w"}) {
        writeFile(fsTop / f, f);
    }
    writeFile(fsTop / "a/file-again", "");
    makeDirs(fsTop / "a/sub-again");
    struct Mounted {
        std::vector<std::string> at;
        ~Mounted()
        {
            for (auto it = at.rbegin(); it != at.rend(); ++it) {
                ::umount2(it->c_str(), MNT_DETACH);
            }
        }
    } mounted{{fsTop.path()}};
    for (const char* name : {"file", "sub"}) {
        const std::string from = fsTop / ("a/" + std::string(name)), to = fsTop / ("a/" + std::string(name) + "-again");
        ASSERT_EQ(::mount(from.c_str(), to.c_str(), nullptr, MS_BIND, nullptr), 0) << name;
        mounted.at.push_back(to);
        TestHost h;
        h.add(fsTop.path());
        h.only({SearchType::Duplicates, SearchType::SameName});
        EXPECT_EQ(h.run(), 5) << name;  // a/file, a/sub/inner, own/<uid>, .Trash/other/z, .Trash-99999/w
        EXPECT_EQ(h.list(kListDuplicates).count(), 0) << name;
        EXPECT_EQ(h.list(kListSameName).count(), 0) << name;
    }
}

// What the user leaves out: a file or folder by its name at any depth (case
// ignored), by its path below the search folder, folders alone; a folder
// left out is never entered.
TEST(Walk, WhatIsLeftOutIsNeverEntered)
{
    TempDir dir;
    for (const auto f : {"src/.git/HEAD", "src/lib/Node_Modules/m.js", "src/lib/a.o", "src/lib/a.c", "src/build/out",
                         "src/lib/build/keep", "src/build.txt", "src/tmp/t", "src/lib/tmp"}) {
        writeFile(dir / f, "1");
    }
    std::set<std::string> entered;
    const EnterHookSet hook([&](const std::string& folder) { entered.insert(folder.substr(dir.path().size())); });
    EXPECT_EQ(load(dir, {{"*", -1, -1, true}}, {".git", "node_modules", "*.O", "/src/build", "tmp/", ""}),
              (Names{"src/lib/build/keep", "src/lib/a.c", "src/lib/tmp", "src/build.txt"}));
    EXPECT_EQ(entered, (std::set<std::string>{"src/", "src/lib/", "src/lib/build/"}));
}
