// Work shared between threads: every item exactly once, also in a child
// process forked after the helpers started.
#include "catalogue/parallel.h"

#include <gtest/gtest.h>

#include <atomic>
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
