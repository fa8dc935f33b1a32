// The comparisons through their one entry point, on real files: the cases of
// each mode in a short run and in a long one, the exact classes, a stop in a
// long run, and the helper threads that the comparisons read with.
#include "compare/compare.h"
#include "platform/parallel.h"
#include "searchhost.h"
#include "testutil.h"

#include <gtest/gtest.h>

#include <atomic>
#include <fcntl.h>
#include <random>
#include <set>
#include <sstream>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

using namespace kormial;
using namespace kormial::test;

namespace {

constexpr std::size_t kBig = 1200000;  // 24 blocks of 50000 bytes
constexpr CompareMode kExact{Pairing::EqualSizes, Likeness::Exact};
constexpr CompareMode kTolerant{Pairing::EqualSizes, Likeness::Tolerant};
constexpr CompareMode kPortions{Pairing::Portions, Likeness::Exact};

// Appends records for dir's files `names` in their state now.
void addRecords(FileArray& arr, const std::string& dir, const std::vector<std::string>& names)
{
    platform::Folder folder;
    EXPECT_TRUE(folder.openUnlisted(dir));
    const auto path = std::make_shared<const SearchedFolder>(SearchedFolder{dir, folder.identity()});
    for (const auto& n : names) {
        const platform::FileState st = folder.statFile(n).value_or(platform::Folder::Stat{}).state;
        arr.push_back({path, n, st.size, st.id, st.mtimeNs, st.ctimeNs, {}, kNoGroup});
    }
}

FileArray records(const TempDir& dir, const std::vector<std::string>& names)
{
    FileArray arr;
    addRecords(arr, dir.path(), names);
    return arr;
}

// Files that make a run long and match nothing: sparse files of `size`
// bytes, each with its own first bytes.
std::vector<std::string> fillers(const TempDir& dir, std::size_t size, std::size_t count)
{
    std::vector<std::string> names;
    for (std::uint64_t i = 0; i < count; ++i) {
        names.push_back("filler" + std::to_string(i));
        const int fd = ::open((dir / names.back()).c_str(), O_WRONLY | O_CREAT, 0644);
        const std::uint64_t mark = 0xF1F2F3F400000000ull | i;
        EXPECT_TRUE(::ftruncate(fd, static_cast<off_t>(size)) == 0 && ::pwrite(fd, &mark, 8, 0) == 8);
        ::close(fd);
    }
    return names;
}

// Right after the next read of `r`'s file (from the read observer, so
// between two reads of any strategy), the file is rewritten with `content`.
ino_t g_target = 0;
std::string g_path, g_content;
void rewriteAfterNextRead(const FileRec& r, const std::string& content)
{
    g_target = r.Id.ino;
    g_path = r.path();
    g_content = content;
    platform::setReadObserver([](int fd) {
        struct stat st {};
        if (::fstat(fd, &st) == 0 && st.st_ino == g_target && !g_content.empty()) {
            writeFile(g_path, std::exchange(g_content, std::string()));
        }
    });
}

// Where the comparison left each record named in `names`: "name" in no
// group, "name:leader", or "name!" unreadable; then any other record that
// is not in no group.
std::string marks(const FileArray& arr, const std::vector<std::string>& names)
{
    std::string out;
    for (const std::string& n : names) {
        const auto r = std::find_if(arr.begin(), arr.end(), [&](const FileRec& x) { return x.Name == n; });
        out += (out.empty() ? "" : " ") + n;
        if (r->Group.isUnreadable()) {
            out += "!";
        } else if (r->Group.grouped()) {
            out += ":" + arr[static_cast<std::size_t>(r->Group.leader())].Name;
        }
    }
    for (const FileRec& r : arr) {
        if (r.Group != kNoGroup && std::find(names.begin(), names.end(), r.Name) == names.end()) {
            out += " also " + r.Name;
        }
    }
    return out;
}

// A case of one mode: its files in run order, and where the comparison
// leaves them in a short run and (when other) in a long one. A file may be
// removed after it was catalogued, and one rewritten right after its first
// read (its last-write time set back first, so that the rewrite shows).
struct Case {
    const char* what;
    std::vector<std::pair<std::string, std::string>> files;
    std::string expected;
    std::string expectedLong = {};
    std::string gone = {};
    std::string changes = {};
    std::string changedTo = {};
};

// Each case through groupRun alone, then after as many files that take part
// and match nothing as make its run long: the marks, and every unreadable
// file told once, "path: reason". The case's folder is held open, the
// long run's other folder is not: its files are opened by their paths.
void check(CompareMode mode, const std::vector<Case>& cases)
{
    for (const Case& c : cases) {
        for (const bool longRun : {false, true}) {
            SCOPED_TRACE(std::string(c.what) + (longRun ? ", long run" : ", short run"));
            TempDir dir;
            std::vector<std::string> names;
            std::size_t largest = 0;
            for (const auto& [name, content] : c.files) {
                writeFile(dir / name, content);
                names.push_back(name);
                largest = std::max(largest, content.size());
            }
            const struct timespec old[2] = {{1000000000, 0}, {1000000000, 0}};
            ASSERT_TRUE(c.changes.empty() || ::utimensat(AT_FDCWD, (dir / c.changes).c_str(), old, 0) == 0);
            FileArray arr = records(dir, names);
            TempDir more;
            if (longRun) {
                // portions pair files of different size only: theirs is larger than any case file's
                const std::size_t size = mode.pairing == Pairing::Portions ? largest + 1000 : largest;
                addRecords(arr, more.path(), fillers(more, size, kLongRunSpan + 1));
            }
            ASSERT_TRUE(c.gone.empty() || ::unlink((dir / c.gone).c_str()) == 0);
            for (const FileRec& r : arr) {
                if (r.Name == c.changes) {
                    rewriteAfterNextRead(r, c.changedTo);
                }
            }
            TestHost host;
            platform::HeldFolders held(static_cast<std::size_t>(std::count(dir.path().begin(), dir.path().end(), '/')));
            host.folders = &held;
            groupRun(arr, {0, static_cast<std::int64_t>(arr.size()) - 1}, mode, host);
            platform::setReadObserver(nullptr);
            const std::string& expected = longRun && !c.expectedLong.empty() ? c.expectedLong : c.expected;
            EXPECT_EQ(marks(arr, names), expected);
            std::multiset<std::string> told, unreadable;
            for (const std::string& f : host.failures) {
                told.insert(f.substr(dir.path().size(), f.find(": ") - dir.path().size()) + "!");
            }
            std::istringstream words(expected);
            for (std::string w; words >> w;) {
                if (w.ends_with('!')) {
                    unreadable.insert(w);
                }
            }
            EXPECT_EQ(told, unreadable);
        }
    }
}

std::string flipped(std::string s, std::size_t at)
{
    s[at] = static_cast<char>(~s[at]);
    return s;
}

// True when parallelFor ran each of `count` items exactly once.
bool eachOnce(std::size_t count)
{
    std::vector<std::atomic<int>> seen(count);
    parallelFor(count, [&](std::size_t k) { seen[k].fetch_add(1); });
    return std::all_of(seen.begin(), seen.end(), [](const std::atomic<int>& s) { return s.load() == 1; });
}

}  // namespace

TEST(Compare, ExactDuplicates)
{
    const std::string base = randomBytes(1, 300000);
    const std::string late = flipped(base, base.size() - 1);
    check(kExact, {
        {"identical files group, the lowest leading; the last byte counts",
         {{"a", base}, {"b", base}, {"c", late}, {"d", base}, {"e", late}}, "a:a b:a c:c d:a e:c"},
        {"a file that cannot be read leaves the run, its group led on by the lowest member left",
         {{"lead", base}, {"b", base}, {"c", base}, {"gone", base}, {"d", late}, {"e", base}},
         "lead! b:b c:b gone! d e:b", {}, "gone", "lead", base.substr(0, 100000)},
        // b differs late until, after its first read, it differs only in
        // its first byte, which was already read and found equal
        {"a file changed while compared is never grouped", {{"a", base}, {"b", late}}, "a b!", {}, {}, "b",
         flipped(base, 0)},
        {"small files, read whole", {{"x", "1234567890"}, {"y", "1234567890"}, {"z", "1234567899"}}, "x:x y:x z"},
    });
}

TEST(Compare, TolerantDuplicates)
{
    // Blocks that differ widely each spend one unit of the run's allowance:
    // four are tolerated, a fifth drops the file, and once the allowance is
    // spent not even an identical pair of the run matches. A long run is
    // compared exactly.
    const std::string base = randomBytes(5, kBig);
    const std::string four = std::string(base).replace(50000, 200000, randomBytes(6, 200000));
    const std::string five = std::string(four).replace(300000, 50000, randomBytes(8, 50000));
    const std::string other = randomBytes(7, kBig);
    check(kTolerant, {
        {"9 of 10 bytes alike", {{"a", "1234567892"}, {"b", "1234567890"}}, "a b"},
        {"10 of 11 bytes alike", {{"a", "12345678901"}, {"b", "12345678902"}}, "a:a b:a", "a b"},
        {"four blocks unlike", {{"base", base}, {"four", four}}, "base:base four:base", "base four"},
        {"five blocks unlike", {{"base", base}, {"five", five}}, "base five"},
        {"the allowance is the run's", {{"base", base}, {"other1", other}, {"five", five}, {"other2", other}},
         "base other1 five other2", "base other1:other1 five other2:other1"},
        {"a leader that fails in a later block hands its group on",
         {{"lead", base}, {"b", base}, {"c", base}, {"d", four}}, "lead! b:b c:b d:b", "lead! b:b c:b d", {}, "lead",
         base.substr(0, 60000)},
        {"a file changed while compared is never grouped", {{"a", base}, {"b", flipped(base, kBig - 1)}}, "a b!", {}, {},
         "b", flipped(base, 0)},
    });
}

TEST(Compare, Portions)
{
    // P's prefixes; X0 X1 and Y0 Z1 stand for blocks of 50000 bytes
    const std::string p = randomBytes(9, 400000);
    const std::string x0 = randomBytes(10, 50000), x1 = randomBytes(11, 50000);
    const std::string y0 = randomBytes(12, 50000), z1 = randomBytes(13, 50000);
    const auto blocks = [](const std::string& a, const std::string& b, std::size_t size) {
        return a + b + randomBytes(size, size - a.size() - b.size());
    };
    check(kPortions, {
        {"files of equal size are never paired", {{"x", p.substr(0, 60000)}, {"y", p.substr(0, 60000)},
         {"z", p.substr(0, 120000)}}, "x:x y z:x"},
        {"smallest first; a file of one block or less takes no part",
         {{"p90000", p.substr(0, 90000)}, {"p30000", p.substr(0, 30000)}, {"p50000", p.substr(0, 50000)},
          {"p60000", p.substr(0, 60000)}, {"p200000", p.substr(0, 200000)}},
         "p90000:p60000 p30000 p50000 p60000:p60000 p200000:p60000"},
        {"only whole blocks before the smaller file's last byte count",
         {{"a", p.substr(0, 60000)}, {"b", flipped(p.substr(0, 70000), 59999)}}, "a:a b:a"},
        // in block 1, c leaves a's group: it reads like b's group, which
        // differs from it in block 0
        {"a file dropped from a group pairs only with files dropped with it",
         {{"a", blocks(x0, x1, 120000)}, {"b", blocks(y0, z1, 125000)}, {"c", blocks(x0, z1, 130000)},
          {"d", blocks(y0, z1, 135000)}},
         "a b:b c d:b"},
        // lead still holds the blocks compared, but is no longer as sized
        {"a leader found changed after its reads hands its group on",
         {{"lead", p.substr(0, 120000)}, {"m1", p.substr(0, 150000)}, {"m2", p.substr(0, 200000)}},
         "lead! m1:m1 m2:m1", {}, {}, "lead", p.substr(0, 110000)},
        {"a file changed while compared is never grouped",
         {{"a", p.substr(0, 120000)}, {"b", flipped(p.substr(0, 150000), 99999)}}, "a b!", {}, {}, "b",
         flipped(p.substr(0, 150000), 0)},
    });
}

TEST(Compare, ExactGroupsAreTheClassesOfIdenticalFiles)
{
    // Runs of equal-sized files, each its base with bits of a key flipped in
    // the first byte, the last, and six between. The second run holds more
    // distinct files than are kept in memory. In the third, zeros with a
    // few bytes set, every other file is sparse: holes read as zeros, so a
    // sparse file equals a written copy, but not one with a byte stored in
    // the middle of a hole.
    std::mt19937 gen(99);
    const auto randomKeys = [&](std::size_t files, std::size_t classes) {
        std::vector<int> keys(files);
        for (int& k : keys) {
            k = static_cast<int>(gen() % classes * 37 % 256);
        }
        return keys;
    };
    constexpr std::size_t kSparse = 3 << 20;
    std::vector<std::pair<std::size_t, std::vector<int>>> runs = {{1050001, {0, 3, 2, 3, 4, 0, 4, 128}},
                                                                  {65536, randomKeys(200, 140)},
                                                                  {kSparse, {0, 0, 2, 2, 0, 4, 128, 8, 4}}};
    for (int r = 0; r < 9; ++r) {
        runs.emplace_back(r % 3 == 0 ? 1050001 : (r % 3 == 1 ? 777 : 1), randomKeys(2 + gen() % 14, 1 + gen() % 5));
    }
    TestHost host;
    for (const auto& [size, keys] : runs) {
        TempDir dir;
        const std::string base = size == kSparse ? std::string(size, '\0') : randomBytes(size, size);
        std::vector<std::string> names, contents;
        std::vector<std::int64_t> expected(keys.size(), -1);
        for (std::size_t i = 0; i < keys.size(); ++i) {
            std::string c = base;
            for (std::size_t b = 0; b < 8; ++b) {
                c[b * (size - 1) / 7] ^= static_cast<char>(keys[i] >> b & 1);
            }
            for (std::size_t j = 0; j < i && expected[i] < 0; ++j) {
                if (contents[j] == c) {
                    expected[i] = expected[j] = static_cast<std::int64_t>(j + 3);  // after 3 records
                }
            }
            names.push_back(std::to_string(i));
            if (size != kSparse || i % 2 == 0) {
                writeFile(dir / names.back(), c);
            } else {
                const int fd = ::open((dir / names.back()).c_str(), O_WRONLY | O_CREAT, 0644);
                EXPECT_EQ(::ftruncate(fd, static_cast<off_t>(size)), 0);
                for (std::size_t at = c.find_first_not_of('\0'); at < size; at = c.find_first_not_of('\0', at + 1)) {
                    EXPECT_EQ(::pwrite(fd, &c[at], 1, static_cast<off_t>(at)), 1);
                }
                ::close(fd);
            }
            contents.push_back(std::move(c));
        }
        FileArray arr(3);
        addRecords(arr, dir.path(), names);
        groupRun(arr, {3, static_cast<std::int64_t>(keys.size()) + 2}, kExact, host);
        std::vector<std::int64_t> got;
        for (std::size_t i = 3; i < arr.size(); ++i) {
            got.push_back(arr[i].Group.number());
        }
        EXPECT_EQ(got, expected) << keys.size() << " files of " << size;
    }
    EXPECT_TRUE(host.failures.empty());
}

TEST(Compare, AStopInALongRunKeepsOnlyConfirmedGroups)
{
    // two classes that differ in the first 4 KB, then the files that make
    // the run long; the first class is confirmed after the first chunk of
    // every file and 15 reads more (its last chunk and two more for each of
    // its 5 files), the second is still being read at the stop
    TempDir dir;
    std::vector<std::string> names;
    for (int i = 0; i < 10; ++i) {
        names.push_back(std::to_string(i));
        writeFile(dir / names.back(), randomBytes(i < 5 ? 22 : 23, 100000));
    }
    const std::vector<std::string> more = fillers(dir, 100000, kLongRunSpan);
    const int firstChunks = static_cast<int>(names.size() + more.size());
    for (const auto& [stopAt, expected] : {std::pair{firstChunks + 16, "0:0 1:0 2:0 3:0 4:0 5 6 7 8 9"},
                                           std::pair{4, "0 1 2 3 4 5 6 7 8 9"}}) {
        TestHost host;
        int reports = 0;
        host.onProgress = [&reports, stopAt](TestHost& h) {
            if (++reports >= stopAt) {
                h.stopper.request_stop();
            }
        };
        FileArray arr = records(dir, names);
        addRecords(arr, dir.path(), more);
        groupRun(arr, {0, static_cast<std::int64_t>(arr.size()) - 1}, kExact, host);
        EXPECT_EQ(marks(arr, names), expected) << stopAt;
    }
}

TEST(ParallelFor, AThrowingItemSkipsTheRestAndIsRethrown)
{
    std::atomic<int> ran{0};
    EXPECT_THROW(parallelFor(10000,
                             [&](std::size_t k) {
                                 ran.fetch_add(1);
                                 if (k % 1000 == 7) {
                                     throw std::runtime_error("item");
                                 }
                             }),
                 std::runtime_error);
    EXPECT_LT(ran.load(), 10000);
    EXPECT_TRUE(eachOnce(10007));  // the pool is free for the next job
}
