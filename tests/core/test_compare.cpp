// Content comparisons on real files: exact grouping, tolerance, read
// failures, files changed while compared, the pairwise routine, and the
// work shared between threads that reads them.
#include "compare/compare.h"
#include "platform/parallel.h"
#include "searchhost.h"
#include "testutil.h"

#include <gtest/gtest.h>

#include <atomic>
#include <fcntl.h>
#include <random>
#include <stdexcept>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace kormial;
using namespace kormial::test;
using Groups = std::vector<std::int32_t>;

namespace {

constexpr std::size_t kBig = 1200000;  // 24 blocks of 50000 bytes

// Records for dir's files in their state now, after `fillers` records outside the run.
FileArray records(const TempDir& dir, const std::vector<std::string>& names, std::size_t fillers = 0)
{
    FileArray arr(fillers);
    platform::Folder folder;
    EXPECT_TRUE(folder.openUnlisted(dir.path()));
    const auto path = std::make_shared<const SearchedFolder>(SearchedFolder{dir.path(), folder.identity()});
    for (const auto& n : names) {
        const platform::FileState st = folder.statFile(n).value_or(platform::Folder::Stat{}).state;
        arr.push_back({path, n, st.size, st.id, st.mtimeNs, st.ctimeNs, {}, kNoGroup});
    }
    return arr;
}

Groups groups(const FileArray& arr, std::size_t from = 0)
{
    Groups out(arr.size() - from);
    std::transform(arr.begin() + static_cast<std::ptrdiff_t>(from), arr.end(), out.begin(),
                   [](const FileRec& r) { return r.Group; });
    return out;
}

// The exact duplicates comparison as the search runs it, strictly block by
// block (as tolerant mode and portions read), and pair by pair.
using Compare = std::function<void(FileArray&, std::int64_t, std::int64_t)>;
std::vector<std::pair<const char*, Compare>> exactRoutines(TestHost& host)
{
    return {{"grouped", [](FileArray& a, std::int64_t s, std::int64_t e) { CompFileCnt(a, s, e, false, true); }},
            {"blocks", [](FileArray& a, std::int64_t s, std::int64_t e) { CompFileCntBlocks(a, s, e, false, true); }},
            {"pairwise", [&host](FileArray& a, std::int64_t s, std::int64_t e) { CompFileCnt2(a, s, e, true, host); }}};
}

// Right after the next read of `r`'s file (from the read observer, so
// between two reads of any routine), the file is rewritten with `content`.
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

// True when parallelFor ran each of `count` items exactly once.
bool eachOnce(std::size_t count)
{
    std::vector<std::atomic<int>> seen(count);
    parallelFor(count, [&](std::size_t k) { seen[k].fetch_add(1); });
    return std::all_of(seen.begin(), seen.end(), [](const std::atomic<int>& s) { return s.load() == 1; });
}

}  // namespace

TEST(CompFileCnt, ExactGroupsAreTheClassesOfIdenticalFiles)
{
    // Runs of equal-sized files, each its base with bits of a key flipped in
    // the first byte, the last, and six between: every routine groups
    // exactly the identical files, led by the lowest index. In the first run
    // (21 blocks of 50000 bytes and one more byte) file 2 leaves file 0's
    // group where it reads like 1 and 3, which differ from it in byte 0: it
    // joins neither, while 4 and 6, dropped from 0's group together, group,
    // and 7 differs from 0 in the lone byte of the last block only. The
    // second run holds more distinct files than are kept in memory. In the
    // third, zeros with a few bytes set, every other file is sparse: holes
    // read as zeros, so a sparse file equals a written copy, but not one
    // with a byte stored in the middle of a hole.
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
        Groups expected(keys.size(), kNoGroup);
        for (std::size_t i = 0; i < keys.size(); ++i) {
            std::string c = base;
            for (std::size_t b = 0; b < 8; ++b) {
                c[b * (size - 1) / 7] ^= static_cast<char>(keys[i] >> b & 1);
            }
            for (std::size_t j = 0; j < i && expected[i] < 0; ++j) {
                if (contents[j] == c) {
                    expected[i] = expected[j] = static_cast<std::int32_t>(j + 3);  // after 3 fillers
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
        for (const auto& [routine, compare] : exactRoutines(host)) {
            FileArray arr = records(dir, names, 3);
            compare(arr, 3, static_cast<std::int64_t>(keys.size()) + 2);
            EXPECT_EQ(groups(arr, 3), expected) << routine << ", " << keys.size() << " files of " << size;
        }
    }
    EXPECT_TRUE(host.failures.empty());
}

TEST(CompFileCnt, ToleranceNeedsMoreThanNinetyPercentWithinTheRunsAllowance)
{
    // Blocks that differ widely each spend one unit of the run's allowance:
    // four are tolerated, a fifth drops the file, and once the allowance is
    // spent not even an identical pair of the same run matches.
    TempDir dir;
    const std::string base = randomBytes(5, kBig);
    const std::string four = std::string(base).replace(50000, 200000, randomBytes(6, 200000));
    const std::string other = randomBytes(7, kBig);
    for (const auto& [name, content] : std::map<std::string, std::string>{
             {"base", base}, {"four", four}, {"five", std::string(four).replace(300000, 50000, randomBytes(8, 50000))},
             {"other1", other}, {"other2", other}, {"n9a", "1234567892"}, {"n9b", "1234567890"},
             {"n10a", "12345678901"}, {"n10b", "12345678902"}}) {
        writeFile(dir / name, content);
    }
    const std::pair<std::vector<std::string>, Groups> cases[] = {
        {{"n9a", "n9b"}, {-1, -1}},  // 9 of 10 bytes alike
        {{"n10a", "n10b"}, {0, 0}},  // 10 of 11
        {{"base", "four"}, {0, 0}},
        {{"base", "five"}, {-1, -1}},
        {{"base", "other1", "five", "other2"}, {-1, -1, -1, -1}},
    };
    for (const auto& [names, expected] : cases) {
        FileArray arr = records(dir, names);
        CompFileCnt(arr, 0, static_cast<std::int64_t>(names.size()) - 1, true, true);
        EXPECT_EQ(groups(arr), expected) << names[0] << ", " << names[1];
    }
}

TEST(CompFileCnt, UnreadableFilesLeaveTheRunAndAFailedLeaderHandsItsGroupOn)
{
    // "lead" shrinks after its first read and fails part way, "gone" is
    // removed: b leads the rest, d (last byte differs) is still compared,
    // and the pairwise routine reports the run's first failure only
    TempDir dir;
    const std::string base = randomBytes(20, kBig);
    for (const char* n : {"b", "c", "e"}) {
        writeFile(dir / n, base);
    }
    writeFile(dir / "d", base.substr(0, kBig - 1) + static_cast<char>(~base.back()));
    TestHost host;
    for (const auto& [routine, compare] : exactRoutines(host)) {
        writeFile(dir / "lead", base);
        writeFile(dir / "gone", base);
        FileArray arr = records(dir, {"lead", "b", "c", "gone", "d", "e"});
        ASSERT_EQ(::unlink((dir / "gone").c_str()), 0);
        rewriteAfterNextRead(arr[0], base.substr(0, 100000));
        compare(arr, 0, 5);
        platform::setReadObserver(nullptr);
        EXPECT_TRUE(g_content.empty()) << routine;
        EXPECT_EQ(groups(arr), (Groups{-3, 1, 1, -3, -1, 1})) << routine;
    }
    ASSERT_EQ(host.failures.size(), 1u);
    EXPECT_NE(host.failures[0].find(dir / "gone"), std::string::npos) << host.failures[0];
    EXPECT_NE(host.failures[0].find("No such file"), std::string::npos);
}

TEST(CompFileCnt, AFileChangedWhileItIsComparedIsNeverGrouped)
{
    // b differs from a late until, after its first read, it is rewritten to
    // differ only in its first byte, which was already read and found equal.
    // For portions b is longer and begins with a.
    TempDir dir;
    const std::string base = randomBytes(26, kBig);
    const std::string longer = base + randomBytes(27, 100000);
    TestHost host;
    writeFile(dir / "a", base);
    for (const std::string routine : {"grouped", "tolerant", "pairwise", "portions", "pairwise portions"}) {
        const bool pairwise = routine.starts_with("pairwise"), portions = routine.ends_with("portions");
        std::string b = portions ? longer : base;
        b[portions ? kBig - 60000 : kBig - 1] ^= 1;
        writeFile(dir / "b", b);
        // an old last-write time, so that the rewrite shows in it
        const struct timespec old[2] = {{1000000000, 0}, {1000000000, 0}};
        ASSERT_EQ(::utimensat(AT_FDCWD, (dir / "b").c_str(), old, 0), 0);
        FileArray arr = records(dir, {"a", "b"});
        b = portions ? longer : base;
        b[0] ^= 1;
        rewriteAfterNextRead(arr[1], b);
        if (pairwise) {
            CompFileCnt2(arr, 0, 1, !portions, host);
        } else {
            CompFileCnt(arr, 0, 1, routine == "tolerant", !portions);
        }
        platform::setReadObserver(nullptr);
        EXPECT_TRUE(g_content.empty()) << routine;
        EXPECT_EQ(groups(arr), (Groups{-1, -3})) << routine;
    }
}

TEST(CompFileCnt2, StopKeepsOnlyConfirmedGroups)
{
    // two classes that differ in the first 4 KB; the first is confirmed
    // after 25 reads (10 first chunks, then its last chunk and two more for
    // each of its 5 files), the second is still being read at the stop
    TempDir dir;
    std::vector<std::string> names;
    for (int i = 0; i < 10; ++i) {
        names.push_back(std::to_string(i));
        writeFile(dir / names.back(), randomBytes(i < 5 ? 22 : 23, 100000));
    }
    for (const auto& [stopAt, expected] : {std::pair{26, Groups{0, 0, 0, 0, 0, -1, -1, -1, -1, -1}},
                                           std::pair{4, Groups(10, -1)}}) {
        TestHost host;
        int reports = 0;
        host.onProgress = [&reports, stopAt](TestHost& h) {
            if (++reports >= stopAt) {
                h.stopper.request_stop();
            }
        };
        FileArray arr = records(dir, names);
        CompFileCnt2(arr, 0, 9, true, host);
        EXPECT_EQ(groups(arr), expected) << stopAt;
    }
}

TEST(CompFileCnt2, PortionsNeedAWholeBlockBeforeTheSmallerFilesEnd)
{
    TempDir dir;
    const std::string lead = randomBytes(24, 60000);
    for (const std::size_t n : {30000, 40000, 60000}) {
        writeFile(dir / std::to_string(n), lead.substr(0, n));
    }
    writeFile(dir / "tail", lead + "tail");
    TestHost host;
    FileArray arr = records(dir, {"30000", "40000", "tail"});
    CompFileCnt2(arr, 0, 2, false, host);
    EXPECT_EQ(groups(arr), (Groups{-1, -1, -1}));
    arr = records(dir, {"60000", "tail"});
    CompFileCnt2(arr, 0, 1, false, host);
    EXPECT_EQ(groups(arr), (Groups{0, 0}));
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

TEST(ParallelFor, ForkedChildWorksAloneAndExits)
{
    ASSERT_TRUE(eachOnce(10007));  // the helpers are running now
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        // the child has no helper threads: all work on its own thread, and
        // leaving the process must not wait for them
        std::exit(eachOnce(1000) && kormial::parallelHelpers() == 0 ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}
