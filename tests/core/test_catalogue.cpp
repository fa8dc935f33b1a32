// The catalogue on real trees: walk order, patterns, size bounds, each file
// once, and what is never catalogued.
#include "catalogue/colfiles.h"
#include "testutil.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

using namespace kormial;
using namespace kormial::test;
using Names = std::vector<std::string>;

namespace {

// The catalogue after loading `specs` (pattern, lower and upper bound in
// KB, sub-folders or not) in turn, relative to `dir`.
Names load(const TempDir& dir, const std::vector<std::tuple<std::string, int, int, bool>>& specs)
{
    colFiles c;
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
    // links, FIFOs and virtual file systems are not catalogued; bounds are
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
    colFiles proc;
    EXPECT_EQ(proc.LoadFiles("/proc/", "*.*", -1, -1, true), 0);
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
