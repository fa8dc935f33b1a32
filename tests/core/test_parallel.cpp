// Work shared between threads: every item exactly once, also in a child
// process forked after the helpers started.
#include "catalogue/parallel.h"
#include "testutil.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <cstdlib>
#include <random>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using kormial::parallelFor;

namespace {

// True when parallelFor ran each of `count` items exactly once.
bool eachOnce(std::size_t count)
{
    std::vector<std::atomic<int>> seen(count);
    parallelFor(count, [&](std::size_t k) { seen[k].fetch_add(1); });
    for (const auto& s : seen) {
        if (s.load() != 1) {
            return false;
        }
    }
    return true;
}

}  // namespace

TEST(ParallelFor, EveryItemExactlyOnceInManyRounds)
{
    for (const std::size_t count : {0u, 1u, 2u, 3u, 100u, 10007u}) {
        EXPECT_TRUE(eachOnce(count)) << count;
    }
    for (int round = 0; round < 2000; ++round) {  // many short jobs back to back
        ASSERT_TRUE(eachOnce(5)) << round;
    }
}

TEST(ParallelFor, ForkedChildWorksAloneAndExits)
{
    ASSERT_TRUE(eachOnce(64));  // the helpers are running now
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        // the child has no helper threads: all work on its own thread, and
        // leaving the process must not wait for them
        std::exit(eachOnce(1000) && kormial::parallelHelpers() == 0 ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST(ParallelWalk, FindsWhatOneThreadFindsInTheSameOrder)
{
    // A tree of nested folders (empty ones, deep ones, names in mixed case
    // and bytes), copies and hard links, searched with a pattern and size
    // bounds: the catalogue walked on every core lists the same files in the
    // same order as one thread walking it, seen through every result list.
    using kormial::test::writeFile;
    kormial::test::TempDir dir;
    std::mt19937 gen(5);
    const std::vector<std::string> names = {"a", "B", "c d", "\xC3\xA9t\xC3\xA9", "z", "Zz", ".h"};
    int files = 0;
    std::vector<std::string> folders = {""};
    for (int depth = 0; depth < 4; ++depth) {
        std::vector<std::string> next;
        for (const auto& f : folders) {
            for (int k = 0; k < 3; ++k) {
                next.push_back(f + names[gen() % names.size()] + std::to_string(k) + "/");
            }
        }
        folders.insert(folders.end(), next.begin(), next.end());
    }
    for (const auto& f : folders) {
        for (int k = 0; k < static_cast<int>(gen() % 6); ++k) {
            ++files;
            const std::string name = names[gen() % names.size()] + std::to_string(gen() % 40) + (gen() % 2 ? ".txt" : ".bin");
            writeFile(dir / (f + name), std::string(400 + 100 * (gen() % 12), static_cast<char>('a' + gen() % 3)));
        }
        std::filesystem::create_directories(dir / f);
    }
    writeFile(dir / (folders[5] + "linked.txt"), std::string(2000, 'q'));
    std::filesystem::create_hard_link(dir / (folders[5] + "linked.txt"), dir / "zz-other-name.txt");
    ASSERT_GT(files, 200);

    const std::vector<std::string> args = {"-t", "zero,dup,name,portions", "--format", "tsv", "--min", "0",
                                           "-p", "*.txt", dir.path(), "-p", "*", dir / folders[4]};
    const kormial::test::CliRun together = kormial::test::runCli(args);
    ::setenv("KORMIAL_THREADS", "1", 1);
    const kormial::test::CliRun alone = kormial::test::runCli(args);
    ::unsetenv("KORMIAL_THREADS");
    ASSERT_EQ(together.status, 0) << together.err;
    ASSERT_EQ(alone.status, 0) << alone.err;
    EXPECT_GT(std::count(together.out.begin(), together.out.end(), '\n'), 100);
    EXPECT_EQ(together.out, alone.out);
}
