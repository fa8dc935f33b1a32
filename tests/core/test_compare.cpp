// Content comparisons on real files: grouping, passes, tolerance, portions,
// read failures, and the pairwise routine for long runs.
#include "catalogue/compare.h"
#include "platform/fs.h"
#include "testutil.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <fcntl.h>
#include <functional>
#include <sys/stat.h>

using namespace kormial;
using kormial::test::randomBytes;
using kormial::test::TempDir;
using kormial::test::writeFile;

namespace {

// Records for the given files, sized from disk, after `fillers` records that
// stand before the run.
FileArray records(const std::vector<std::string>& files, std::size_t fillers = 0)
{
    FileArray arr(fillers);
    for (auto& r : arr) {
        r.Path = "/nonexistent/filler";
        r.Size = 1;
        r.Group = kNoGroup;
    }
    platform::LengthQuery query;
    for (const auto& f : files) {
        FileRec r;
        r.Path = f;
        r.Group = kNoGroup;
        const auto st = query.state(f);
        r.Size = st ? st->size : -1;
        if (st) {
            r.Id = st->id;
            r.MtimeNs = st->mtimeNs;
            r.CtimeNs = st->ctimeNs;
        }
        arr.push_back(std::move(r));
    }
    return arr;
}

std::vector<std::int32_t> groups(const FileArray& arr, std::size_t from = 0)
{
    std::vector<std::int32_t> out;
    for (std::size_t i = from; i < arr.size(); ++i) {
        out.push_back(arr[i].Group);
    }
    return out;
}

std::string with(std::string s, std::size_t pos, char c)
{
    s[pos] = c;
    return s;
}

// Changes every 5th byte of [from, from + len) so that sampled segments differ.
std::string scrambled(std::string s, std::size_t from, std::size_t len)
{
    for (std::size_t i = from; i < from + len && i < s.size(); i += 5) {
        s[i] = static_cast<char>(~s[i]);
    }
    return s;
}

struct RecordingHost : CompareHost {
    bool stopRequested() override { return stopAfterYields >= 0 && yields >= stopAfterYields; }
    void setProgress(double percent) override { progress.push_back(percent); }
    void yield() override { ++yields; }
    void reportFailure(const std::string& text) override { failures.push_back(text); }
    int yields = 0;
    int stopAfterYields = -1;
    std::vector<double> progress;
    std::vector<std::string> failures;
};

constexpr std::size_t kBig = 1200000;  // 24 blocks of 50000 bytes

// The grouped comparison as the search calls it, and the strict
// block-by-block reading that tolerant mode and portions use: in exact mode
// both must give the same groups.
using GroupFn = void (*)(FileArray&, std::int64_t, std::int64_t, bool, bool);
const std::pair<const char*, GroupFn> kExactRoutines[] = {{"CompFileCnt", &CompFileCnt},
                                                          {"CompFileCntBlocks", &CompFileCntBlocks}};

// The expected exact grouping of files of equal size: each class of
// identical files led by its lowest index, -1 for files without a twin.
std::vector<std::int32_t> identicalClasses(const std::vector<std::string>& paths)
{
    std::vector<std::string> contents;
    for (const auto& p : paths) {
        contents.push_back(kormial::test::readFile(p));
    }
    std::vector<std::int32_t> expected(paths.size(), -1);
    for (std::size_t i = 0; i < paths.size(); ++i) {
        for (std::size_t j = 0; j < i; ++j) {
            if (contents[j] == contents[i]) {
                expected[i] = expected[j] >= 0 ? expected[j] : static_cast<std::int32_t>(j);
                expected[j] = expected[i];
                break;
            }
        }
    }
    return expected;
}

}  // namespace

TEST(FuzzyMatch, SamplingAndRatios)
{
    auto bytes = [](const std::string& s) {
        return std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(s.data()), s.size());
    };
    EXPECT_FLOAT_EQ(FuzzyMatch(bytes("1234567892"), bytes("1234567890")), 0.9f);
    EXPECT_FLOAT_EQ(FuzzyMatch(bytes("abc"), bytes("abc")), 1.0f);
    EXPECT_FLOAT_EQ(FuzzyMatch(bytes(""), bytes("abc")), 0.0f);
    EXPECT_FLOAT_EQ(FuzzyMatch(bytes("abc"), bytes("")), 0.0f);

    // 50000 bytes: 100 samples of 500 from position 500; bytes 1..499 unseen
    const std::string a = randomBytes(1, 50000);
    EXPECT_FLOAT_EQ(FuzzyMatch(bytes(a), bytes(scrambled(a, 0, 499))), 1.0f);
    EXPECT_FLOAT_EQ(FuzzyMatch(bytes(a), bytes(with(a, 49999, static_cast<char>(~a[49999])))), 0.99f);
    EXPECT_FLOAT_EQ(FuzzyMatch(bytes(a), bytes(with(a, 499, static_cast<char>(~a[499])))), 0.99f);

    // 150 characters: segments of 2 (1.5 to even); samples 76..100 lie
    // beyond the end and count as equal
    const std::string x(150, 'x');
    const std::string y(150, 'y');
    EXPECT_FLOAT_EQ(FuzzyMatch(bytes(x), bytes(y)), 0.25f);
    // 250 characters: segments of 2 (2.5 to even); 202..250 are never seen
    const std::string p = randomBytes(2, 250);
    EXPECT_FLOAT_EQ(FuzzyMatch(bytes(p), bytes(scrambled(p, 201, 49))), 1.0f);
    EXPECT_LT(FuzzyMatch(bytes(p), bytes(scrambled(p, 0, 201))), 1.0f);
    // only the first text's length sets the sampling
    EXPECT_FLOAT_EQ(FuzzyMatch(bytes("abcd"), bytes("abcdef")), 1.0f);
    EXPECT_FLOAT_EQ(FuzzyMatch(bytes("abcdef"), bytes("abcd")), 4.0f / 6.0f);
}

TEST(CompFileCnt, BlockSize)
{
    EXPECT_EQ(GetBufferSz(1), 1);
    EXPECT_EQ(GetBufferSz(999999), 999999);
    EXPECT_EQ(GetBufferSz(1000000), 50000);
    EXPECT_EQ(GetBufferSz(std::int64_t{5} << 30), 50000);
}

TEST(CompFileCnt, SmallFilesInOneBlockLowestIndexLeads)
{
    TempDir dir;
    const std::string base = randomBytes(3, 700);
    writeFile(dir / "a", base);
    writeFile(dir / "b", with(base, 699, static_cast<char>(~base[699])));
    writeFile(dir / "c", base);
    FileArray arr = records({dir / "a", dir / "b", dir / "c"}, 10);
    for (const auto& [routine, fn] : kExactRoutines) {
        FileArray run = arr;
        fn(run, 10, 12, false, true);
        EXPECT_EQ(groups(run, 10), (std::vector<std::int32_t>{10, -1, 10})) << routine;
    }
}

TEST(CompFileCnt, LargeFilesDifferingInTheLastByteExactAndTolerant)
{
    TempDir dir;
    const std::string base = randomBytes(4, kBig);
    writeFile(dir / "a", base);
    writeFile(dir / "b", with(base, kBig - 1, static_cast<char>(~base[kBig - 1])));
    FileArray arr = records({dir / "a", dir / "b"});
    CompFileCnt(arr, 0, 1, false, true);
    EXPECT_EQ(groups(arr), (std::vector<std::int32_t>{-1, -1}));

    arr = records({dir / "a", dir / "b"});
    CompFileCnt(arr, 0, 1, true, true);
    EXPECT_EQ(groups(arr), (std::vector<std::int32_t>{0, 0}));
}

TEST(CompFileCnt, ToleranceAllowanceBelongsToTheWholeRun)
{
    TempDir dir;
    const std::string base = randomBytes(5, kBig);
    // Blocks that differ widely each use one unit of the allowance (5 here).
    // Once it is spent no pair matches any more, identical blocks included:
    // four differing blocks are tolerated, a fifth one drops the file at the
    // next block.
    std::string four = base;
    for (int b = 1; b <= 4; ++b) {
        four = scrambled(four, static_cast<std::size_t>(b) * 50000, 50000);
    }
    writeFile(dir / "base", base);
    writeFile(dir / "four", four);
    writeFile(dir / "six", scrambled(four, 6 * 50000, 50000));
    FileArray arr = records({dir / "base", dir / "four"});
    CompFileCnt(arr, 0, 1, true, true);
    EXPECT_EQ(groups(arr), (std::vector<std::int32_t>{0, 0}));

    arr = records({dir / "base", dir / "six"});
    CompFileCnt(arr, 0, 1, true, true);
    EXPECT_EQ(groups(arr), (std::vector<std::int32_t>{-1, -1}));

    // Once the run's allowance is spent nothing matches any more, not even an
    // identical pair of another group of the same run.
    const std::string other = randomBytes(6, kBig);
    writeFile(dir / "other1", other);
    writeFile(dir / "other2", other);
    arr = records({dir / "base", dir / "other1", dir / "six", dir / "other2"});
    CompFileCnt(arr, 0, 3, true, true);
    EXPECT_EQ(groups(arr), (std::vector<std::int32_t>{-1, -1, -1, -1}));
    // exactly: the identical pair stays together
    arr = records({dir / "base", dir / "other1", dir / "six", dir / "other2"});
    CompFileCnt(arr, 0, 3, false, true);
    EXPECT_EQ(groups(arr), (std::vector<std::int32_t>{-1, 1, -1, 1}));
}

TEST(CompFileCnt, ToleranceNeedsMoreThanNinetyPercent)
{
    TempDir dir;
    writeFile(dir / "a", "1234567892");
    writeFile(dir / "b", "1234567890");
    writeFile(dir / "c", "12345678901");
    writeFile(dir / "d", "12345678902");
    FileArray arr = records({dir / "a", dir / "b"});
    CompFileCnt(arr, 0, 1, true, true);
    EXPECT_EQ(groups(arr), (std::vector<std::int32_t>{-1, -1}));
    arr = records({dir / "c", dir / "d"});
    CompFileCnt(arr, 0, 1, true, true);
    EXPECT_EQ(groups(arr), (std::vector<std::int32_t>{0, 0}));
    arr = records({dir / "c", dir / "d"});
    CompFileCnt(arr, 0, 1, false, true);
    EXPECT_EQ(groups(arr), (std::vector<std::int32_t>{-1, -1}));
}

TEST(CompFileCnt, GroupSplitInALaterBlockFormsTwoGroups)
{
    TempDir dir;
    const std::string base = randomBytes(7, kBig);
    const std::string alt = scrambled(base, 5 * 50000, 10);
    writeFile(dir / "a", base);
    writeFile(dir / "b", base);
    writeFile(dir / "c", alt);
    writeFile(dir / "d", alt);
    FileArray arr = records({dir / "a", dir / "b", dir / "c", dir / "d"}, 20);
    for (const auto& [routine, fn] : kExactRoutines) {
        FileArray run = arr;
        fn(run, 20, 23, false, true);
        EXPECT_EQ(groups(run, 20), (std::vector<std::int32_t>{20, 20, 22, 22})) << routine;
    }
}

TEST(CompFileCnt, DroppedFilesNeverJoinAnotherGroup)
{
    // a and b agree in block 0, c and d in another block 0. In block 1, b
    // leaves a's group and its block equals c's: it must not join c's group,
    // since b and c differ in block 0.
    TempDir dir;
    const std::string x = randomBytes(8, 50000);
    const std::string y = randomBytes(9, 50000);
    const std::string p = randomBytes(10, 50000);
    const std::string q = randomBytes(11, 50000);
    const std::string rest = randomBytes(12, kBig - 100000);
    writeFile(dir / "a", x + p + rest);
    writeFile(dir / "c", y + q + rest);
    writeFile(dir / "b", x + q + rest);
    writeFile(dir / "d", y + q + rest);
    FileArray arr = records({dir / "a", dir / "c", dir / "b", dir / "d"});
    for (const auto& [routine, fn] : kExactRoutines) {
        FileArray run = arr;
        fn(run, 0, 3, false, true);
        EXPECT_EQ(groups(run), (std::vector<std::int32_t>{-1, 1, -1, 1})) << routine;
    }
}

TEST(CompFileCnt, DroppedFilesOfOneGroupCanRegroupAmongThemselves)
{
    TempDir dir;
    const std::string base = randomBytes(13, kBig);
    const std::string late = scrambled(base, 10 * 50000, 20);
    writeFile(dir / "a", base);
    writeFile(dir / "b", late);
    writeFile(dir / "c", base);
    writeFile(dir / "d", late);
    writeFile(dir / "e", scrambled(base, 10 * 50000, 40));
    FileArray arr = records({dir / "a", dir / "b", dir / "c", dir / "d", dir / "e"});
    for (const auto& [routine, fn] : kExactRoutines) {
        FileArray run = arr;
        fn(run, 0, 4, false, true);
        EXPECT_EQ(groups(run), (std::vector<std::int32_t>{0, 1, 0, 1, -1})) << routine;
    }
}

TEST(CompFileCnt, PortionsPairDifferentSizesOverWholeBlocksOnly)
{
    TempDir dir;
    const std::string lead = randomBytes(14, 100000);
    writeFile(dir / "s", lead + randomBytes(15, 20000));
    writeFile(dir / "m", lead + randomBytes(16, 100000));
    writeFile(dir / "l", lead + randomBytes(17, 200000));
    FileArray arr = records({dir / "s", dir / "m", dir / "l"});
    CompFileCnt(arr, 0, 2, false, false);
    EXPECT_EQ(groups(arr), (std::vector<std::int32_t>{0, 0, 0}));

    // equal sizes are never paired in this search
    writeFile(dir / "m2", lead + randomBytes(16, 100000));
    arr = records({dir / "m", dir / "m2"});
    CompFileCnt(arr, 0, 1, false, false);
    EXPECT_EQ(groups(arr), (std::vector<std::int32_t>{-1, -1}));

    // a smallest file of 50000 bytes or fewer forms no group
    writeFile(dir / "tiny", lead.substr(0, 50000));
    arr = records({dir / "tiny", dir / "m"});
    CompFileCnt(arr, 0, 1, false, false);
    EXPECT_EQ(groups(arr), (std::vector<std::int32_t>{-1, -1}));
    writeFile(dir / "just", lead.substr(0, 50001));
    arr = records({dir / "just", dir / "m"});
    CompFileCnt(arr, 0, 1, false, false);
    EXPECT_EQ(groups(arr), (std::vector<std::int32_t>{0, 0}));
}

TEST(CompFileCnt, UnreadableFilesAreMarkedAndTheRestStillGroup)
{
    TempDir dir;
    const std::string base = randomBytes(18, 700);
    writeFile(dir / "a", base);
    writeFile(dir / "b", base);
    writeFile(dir / "locked", base);
    writeFile(dir / "c", base);
    kormial::test::openToEveryone(dir.path());
    ::chmod((dir / "locked").c_str(), 0);
    FileArray arr = records({dir / "a", dir / "b", dir / "locked", dir / "c"});
    arr.push_back(arr[0]);
    arr.back().Path = dir / "vanished";

    const std::string out = kormial::test::runUnprivileged([&] {
        FileArray copy = arr;
        CompFileCnt(copy, 0, 4, false, true);
        std::string s;
        for (const auto& r : copy) {
            s += std::to_string(r.Group) + " ";
        }
        return s;
    });
    EXPECT_EQ(out, "0 0 -3 0 -3 ");
}

TEST(CompFileCnt, FileShorterThanItsRecordedSizeIsAReadFailure)
{
    TempDir dir;
    const std::string base = randomBytes(19, 700);
    writeFile(dir / "a", base);
    writeFile(dir / "b", base);
    writeFile(dir / "shrunk", base.substr(0, 600));
    FileArray arr = records({dir / "a", dir / "shrunk", dir / "b"});
    arr[1].Size = 700;  // sized before it shrank
    for (const auto& [routine, fn] : kExactRoutines) {
        FileArray run = arr;
        fn(run, 0, 2, false, true);
        EXPECT_EQ(groups(run), (std::vector<std::int32_t>{0, -3, 0})) << routine;
    }
}

TEST(CompFileCnt, FailedLeaderHandsItsGroupOnAndLoneMembersDissolve)
{
    TempDir dir;
    const std::string base = randomBytes(20, kBig);
    writeFile(dir / "lead", base.substr(0, 100000));  // shrinks after sizing
    writeFile(dir / "b", base);
    writeFile(dir / "c", base);
    writeFile(dir / "d", with(base, kBig - 1, static_cast<char>(~base[kBig - 1])));
    writeFile(dir / "e", base);
    for (const auto& [routine, fn] : kExactRoutines) {
        FileArray arr = records({dir / "lead", dir / "b", dir / "c", dir / "d", dir / "e"});
        arr[0].Size = kBig;
        fn(arr, 0, 4, false, true);
        // b leads the rest after the leader fails, and d is still compared
        EXPECT_EQ(groups(arr), (std::vector<std::int32_t>{-3, 1, 1, -1, 1})) << routine;

        arr = records({dir / "lead", dir / "b"});
        arr[0].Size = kBig;
        fn(arr, 0, 1, false, true);
        EXPECT_EQ(groups(arr), (std::vector<std::int32_t>{-3, -1})) << routine;
    }
}

TEST(CompFileCnt, RunsOfVanishedFilesAreUnreadable)
{
    FileArray arr(3);
    for (auto& r : arr) {
        r.Path = "/nonexistent/x";
        r.Size = -1;
        r.Group = kNoGroup;
    }
    CompFileCnt(arr, 0, 2, false, true);
    EXPECT_EQ(groups(arr), (std::vector<std::int32_t>{-3, -3, -3}));
}

TEST(CompFileCnt, ExactGroupsAreTheClassesOfIdenticalFiles)
{
    // Random runs of equal-sized files in a few content classes, some of
    // which differ only late: both routines find exactly the classes, each
    // led by its lowest index, and nothing for single files.
    TempDir dir;
    std::mt19937 gen(99);
    for (int round = 0; round < 12; ++round) {
        const std::size_t size = round % 3 == 0 ? 1100000 : (round % 3 == 1 ? 777 : 1);
        const int files = 2 + static_cast<int>(gen() % 14);
        const int classes = 1 + static_cast<int>(gen() % 5);
        const std::string base = randomBytes(100 + static_cast<std::uint64_t>(round), size);
        std::vector<std::string> paths;
        std::vector<int> cls;
        for (int i = 0; i < files; ++i) {
            const int c = static_cast<int>(gen() % static_cast<unsigned>(classes));
            std::string content = base;
            if (c > 0) {
                const std::size_t pos = size - 1 - (gen() % std::min<std::size_t>(size, 3)) * (size / 3);
                content[pos % size] = static_cast<char>(content[pos % size] + c);
            }
            const std::string p = dir / ("r" + std::to_string(round) + "_" + std::to_string(i));
            writeFile(p, content);
            paths.push_back(p);
            cls.push_back(c);
        }
        const std::vector<std::int32_t> expected = identicalClasses(paths);
        for (const auto& [routine, fn] : kExactRoutines) {
            FileArray a = records(paths);
            fn(a, 0, static_cast<std::int64_t>(paths.size()) - 1, false, true);
            EXPECT_EQ(groups(a), expected) << routine << ", round " << round;
        }
        FileArray b = records(paths);
        RecordingHost host;
        CompFileCnt2(b, 0, files - 1, true, host);
        EXPECT_EQ(groups(b), expected) << "pairwise, round " << round;
        EXPECT_TRUE(host.failures.empty());
    }
}

TEST(CompFileCnt, RunsTooLargeToHoldInMemoryGroupTheSame)
{
    // 200 files of 64 KB, read whole and more than one batch at a time:
    // more distinct contents than are kept in memory, so twins found in a
    // later batch are checked by reading their first copy again. Among them,
    // files differing only in their last byte.
    TempDir dir;
    constexpr std::size_t kSize = 65536;
    constexpr int kFiles = 200;
    constexpr int kDistinct = 140;
    std::vector<std::string> paths;
    for (int i = 0; i < kFiles; ++i) {
        const int c = i < kDistinct ? i : i - 60;  // 140..199 copy 80..139
        std::string content = randomBytes(300 + static_cast<std::uint64_t>(c), kSize);
        if (i % 7 == 3) {
            content.back() = static_cast<char>(content.back() ^ 1);
        }
        paths.push_back(dir / ("f" + std::to_string(i)));
        writeFile(paths.back(), content);
    }
    const std::vector<std::int32_t> expected = identicalClasses(paths);
    ASSERT_GT(std::count_if(expected.begin(), expected.end(), [](std::int32_t g) { return g >= 80; }), 60);
    ASSERT_GT(std::count(expected.begin(), expected.end(), -1), 70);
    for (const auto& [routine, fn] : kExactRoutines) {
        FileArray a = records(paths);
        fn(a, 0, kFiles - 1, false, true);
        EXPECT_EQ(groups(a), expected) << routine;
    }
    FileArray b = records(paths);
    RecordingHost host;
    CompFileCnt2(b, 0, kFiles - 1, true, host);
    EXPECT_EQ(groups(b), expected);

    // a first copy that changes after its read, before its twin comes: it is
    // reported and unreadable, its twin has no partner left, and the rest
    // still group
    struct ChangingHost : RecordingHost {
        std::string victim;
        void yield() override
        {
            if (++yields == 130) {
                kormial::test::writeFile(victim, std::string(kSize, 'x'));
            }
        }
    };
    ChangingHost changing;
    changing.victim = paths[100];
    FileArray c = records(paths);
    CompFileCnt2(c, 0, kFiles - 1, true, changing);
    ASSERT_EQ(changing.failures.size(), 1u);
    EXPECT_NE(changing.failures[0].find(paths[100]), std::string::npos);
    std::vector<std::int32_t> left = expected;
    left[100] = kReadError;
    left[160] = kNoGroup;
    EXPECT_EQ(groups(c), left);
}

TEST(CompFileCnt, HolesOfSparseFilesReadAsZeros)
{
    // sparse files and a written copy of the same zeros are equal; a byte
    // stored in the middle of a hole, or a hole where the others hold data,
    // is not
    TempDir dir;
    constexpr off_t kSize = 3 << 20;
    const auto make = [&](const std::string& name, const std::vector<std::pair<off_t, std::string>>& writes) {
        const std::string path = dir / name;
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        EXPECT_EQ(::ftruncate(fd, kSize), 0);
        for (const auto& [at, bytes] : writes) {
            EXPECT_EQ(::pwrite(fd, bytes.data(), bytes.size(), at), static_cast<ssize_t>(bytes.size()));
        }
        ::close(fd);
        return path;
    };
    const std::string head = "head", tail = "tail";
    const std::vector<std::string> paths = {
        make("sparse-a", {{0, head}, {kSize - 4, tail}}),
        make("stray-byte", {{0, head}, {kSize / 2, std::string(1, '\1')}, {kSize - 4, tail}}),
        make("written", {{0, head + std::string(kSize - 8, '\0') + tail}}),
        make("sparse-b", {{0, head}, {kSize - 4, tail}}),
        make("data-not-hole", {{0, head}, {1 << 20, std::string(1 << 20, 'x')}, {kSize - 4, tail}}),
    };
    for (const auto& [routine, fn] : kExactRoutines) {
        FileArray arr = records(paths);
        fn(arr, 0, 4, false, true);
        EXPECT_EQ(groups(arr), (std::vector<std::int32_t>{0, -1, 0, 0, -1})) << routine;
    }
}

TEST(CompFileCnt2, LongRunOfIdenticalFilesIsOneGroupLedByTheFirst)
{
    TempDir dir;
    const std::string base = randomBytes(21, 700);
    std::vector<std::string> paths;
    for (int i = 0; i < 300; ++i) {
        paths.push_back(dir / ("f" + std::to_string(i)));
        writeFile(paths.back(), base);
    }
    FileArray arr = records(paths, 5);
    RecordingHost host;
    CompFileCnt2(arr, 5, 304, true, host);
    for (std::size_t i = 5; i < arr.size(); ++i) {
        ASSERT_EQ(arr[i].Group, 5);
    }
    // the window stays responsive and the progress moves over the run
    EXPECT_GE(host.yields, 300);
    ASSERT_FALSE(host.progress.empty());
    EXPECT_TRUE(std::is_sorted(host.progress.begin(), host.progress.end()));
    EXPECT_GT(host.progress.front(), 5.0 / 304.0 * 100.0 - 1e-9);
    EXPECT_DOUBLE_EQ(host.progress.back(), 100.0);
}

TEST(CompFileCnt2, StopKeepsOnlyConfirmedGroups)
{
    // two classes that differ in the first 4 KB; the first is confirmed
    // after 25 reads (10 first chunks, then its last chunk and two more
    // for each of its 5 files), the second is still being read when the
    // stop comes
    TempDir dir;
    const std::string a = randomBytes(22, 100000);
    const std::string b = randomBytes(23, 100000);
    std::vector<std::string> paths;
    for (int i = 0; i < 10; ++i) {
        paths.push_back(dir / ("f" + std::to_string(i)));
        writeFile(paths.back(), i < 5 ? a : b);
    }
    FileArray arr = records(paths);
    RecordingHost host;
    host.stopAfterYields = 26;
    CompFileCnt2(arr, 0, 9, true, host);
    EXPECT_EQ(groups(arr), (std::vector<std::int32_t>{0, 0, 0, 0, 0, -1, -1, -1, -1, -1}));

    arr = records(paths);
    host.yields = 0;
    host.stopAfterYields = 4;
    CompFileCnt2(arr, 0, 9, true, host);
    EXPECT_EQ(groups(arr), std::vector<std::int32_t>(10, -1));
}

TEST(CompFileCnt2, EveryByteCountsAndPortionsNeedAWholeBlock)
{
    TempDir dir;
    writeFile(dir / "one-a", "a");
    writeFile(dir / "one-b", "b");
    writeFile(dir / "one-c", "a");
    RecordingHost host;
    FileArray arr = records({dir / "one-a", dir / "one-b", dir / "one-c"});
    CompFileCnt2(arr, 0, 2, true, host);
    EXPECT_EQ(groups(arr), (std::vector<std::int32_t>{0, -1, 0}));

    const std::size_t size = 21 * 50000 + 1;
    const std::string base = randomBytes(23, size);
    writeFile(dir / "long-a", base);
    writeFile(dir / "long-b", with(base, size - 1, static_cast<char>(~base[size - 1])));
    arr = records({dir / "long-a", dir / "long-b"});
    CompFileCnt2(arr, 0, 1, true, host);
    EXPECT_EQ(groups(arr), (std::vector<std::int32_t>{-1, -1}));

    // portions: smaller files of 30000 bytes hold no whole block
    const std::string lead = randomBytes(24, 60000);
    std::vector<std::string> paths;
    for (int i = 0; i < 6; ++i) {
        paths.push_back(dir / ("p" + std::to_string(i)));
        writeFile(paths.back(), lead.substr(0, i < 3 ? 30000 : 40000));
    }
    arr = records(paths);
    CompFileCnt2(arr, 0, 5, false, host);
    EXPECT_EQ(groups(arr), (std::vector<std::int32_t>{-1, -1, -1, -1, -1, -1}));
    // with a whole block before the smaller file's end they group
    writeFile(dir / "q0", lead);
    writeFile(dir / "q1", lead + "tail");
    writeFile(dir / "q2", lead + "other tail");
    arr = records({dir / "q0", dir / "q1", dir / "q2"});
    CompFileCnt2(arr, 0, 2, false, host);
    EXPECT_EQ(groups(arr), (std::vector<std::int32_t>{0, 0, 0}));
    EXPECT_TRUE(host.failures.empty());
}

TEST(CompFileCnt2, UnreadableFilesLeaveTheRunWhichGoesOn)
{
    // a file gone since sizing, and one that shrank: each is unreadable, the
    // first failure of the run is reported, and the others still group
    TempDir dir;
    const std::string base = randomBytes(25, 700);
    for (const char* n : {"a", "b", "c", "d", "e"}) {
        writeFile(dir / n, base);
    }
    FileArray arr = records({dir / "a", dir / "b", dir / "c", dir / "d", dir / "e"});
    ASSERT_EQ(::unlink((dir / "a").c_str()), 0);
    writeFile(dir / "d", base.substr(0, 10));
    RecordingHost host;
    CompFileCnt2(arr, 0, 4, true, host);
    EXPECT_EQ(groups(arr), (std::vector<std::int32_t>{-3, 1, 1, -3, 1}));
    ASSERT_EQ(host.failures.size(), 1u);
    EXPECT_NE(host.failures[0].find(dir / "a"), std::string::npos);
    EXPECT_NE(host.failures[0].find("No such file"), std::string::npos);
}

namespace {

// A file rewritten in place after its first read: its later reads match
// the other file, its first did too, but the file as it now stands does
// not. The rewrite comes from the read observer, so it falls between two
// reads of the comparison, whatever the routine.
struct Rewrite {
    ino_t ino = 0;
    std::string path;
    std::string content;
    bool done = false;
};
Rewrite g_rewrite;

void rewriteAfterFirstRead(int fd)
{
    struct stat st {};
    if (g_rewrite.done || ::fstat(fd, &st) != 0 || st.st_ino != g_rewrite.ino) {
        return;
    }
    g_rewrite.done = true;
    writeFile(g_rewrite.path, g_rewrite.content);
}

}  // namespace

TEST(CompFileCnt, AFileChangedWhileItIsComparedIsNeverGrouped)
{
    TempDir dir;
    const std::string base = randomBytes(26, kBig);
    // duplicates: b differs from a in its last byte until it is rewritten
    // to differ in its first byte only (already read and found equal);
    // portions: the same with a longer b that begins with a
    const std::string longer = base + randomBytes(27, 100000);
    const auto mismatch = [](std::string s, std::size_t at) {
        s[at] = static_cast<char>(~s[at]);
        return s;
    };
    struct Case {
        const char* routine;
        std::string b;
        std::string rewritten;
        std::function<void(FileArray&)> compare;
    };
    RecordingHost host;
    const std::vector<Case> cases = {
        {"CompFileCnt", mismatch(base, kBig - 1), mismatch(base, 0),
         [](FileArray& a) { CompFileCnt(a, 0, 1, false, true); }},
        {"CompFileCnt tolerant", mismatch(base, kBig - 1), mismatch(base, 0),
         [](FileArray& a) { CompFileCnt(a, 0, 1, true, true); }},
        {"CompFileCnt2", mismatch(base, kBig - 1), mismatch(base, 0),
         [&](FileArray& a) { CompFileCnt2(a, 0, 1, true, host); }},
        {"CompFileCnt portions", mismatch(longer, kBig - 60000), mismatch(longer, 0),
         [](FileArray& a) { CompFileCnt(a, 0, 1, false, false); }},
        {"CompFileCnt2 portions", mismatch(longer, kBig - 60000), mismatch(longer, 0),
         [&](FileArray& a) { CompFileCnt2(a, 0, 1, false, host); }},
    };
    writeFile(dir / "a", base);
    for (const Case& c : cases) {
        writeFile(dir / "b", c.b);
        // an old last-write time, so that the rewrite shows in it
        const struct timespec old[2] = {{1000000000, 0}, {1000000000, 0}};
        ASSERT_EQ(::utimensat(AT_FDCWD, (dir / "b").c_str(), old, 0), 0);
        FileArray arr = records({dir / "a", dir / "b"});
        struct stat st {};
        ASSERT_EQ(::stat((dir / "b").c_str(), &st), 0);
        g_rewrite = {st.st_ino, dir / "b", c.rewritten, false};
        platform::setReadObserver(&rewriteAfterFirstRead);
        c.compare(arr);
        platform::setReadObserver(nullptr);
        EXPECT_TRUE(g_rewrite.done) << c.routine;
        EXPECT_EQ(groups(arr), (std::vector<std::int32_t>{-1, -3})) << c.routine;
    }
}
