// kormial-cli run as a shell runs it, for the tests that watch more than
// its output: its stdin, the signal that stops it, the memory it takes.
#pragma once

#include "testutil.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <functional>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace kormial::test {

// Writes into the program's stdin; each write returns false once the
// program has gone.
using StdinFeed = std::function<void(const std::function<bool(const std::string&)>&)>;

struct HeldRun : CliRun {
    long peakKb = 0;  // the most memory the program held
};

// kormial-cli run to its end with stdin a pipe that `feed` writes into,
// stdout to the file `out` ("-": closed; "": captured) and stderr captured;
// the status is minus the signal that ended it. With `signal`, that is sent
// while the run is held at its first status line: stderr is a full pipe
// until then, so no search has begun.
inline HeldRun runHeld(const std::vector<std::string>& args, const std::string& out = "", int signal = 0,
                       const StdinFeed& feed = {})
{
    TempDir io;
    int in[2], err[2];
    EXPECT_TRUE(::pipe2(in, O_CLOEXEC) == 0 && ::pipe2(err, O_CLOEXEC | O_NONBLOCK) == 0);
    const std::string block(1 << 20, '.');  // more than a pipe holds
    const auto filled = static_cast<std::size_t>(signal != 0 ? ::write(err[1], block.data(), block.size()) : 0);
    ::fcntl(err[1], F_SETFL, 0);
    std::vector<char*> argv{const_cast<char*>(KORMIAL_CLI_PATH)};
    for (const auto& a : args) {
        argv.push_back(const_cast<char*>(a.c_str()));
    }
    argv.push_back(nullptr);
    const std::string to = out.empty() ? io / "out" : out;
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(in[0], 0);
        out == "-" ? ::close(1) : ::dup2(::open(to.c_str(), O_WRONLY | O_CREAT, 0600), 1);
        ::dup2(err[1], 2);
        std::signal(SIGINT, SIG_DFL);
        std::signal(SIGTERM, SIG_DFL);
        ::alarm(120);
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
        // a reader that keeps the bytes fails here soon, not after taking the machine's memory
        const rlimit space{1 << 30, 1 << 30};
        ::setrlimit(RLIMIT_AS, &space);
#endif
        ::execv(KORMIAL_CLI_PATH, argv.data());
        ::_exit(127);
    }
    ::close(in[0]);
    ::close(err[1]);
    const auto oldPipe = std::signal(SIGPIPE, SIG_IGN);
    if (feed) {
        feed([&](const std::string& bytes) { return ::write(in[1], bytes.data(), bytes.size()) > 0; });
    }
    ::close(in[1]);
    // the signal goes once the handler is in place (or the run has ended)
    for (std::string s; signal != 0; ::usleep(1000)) {
        s = readFile("/proc/" + std::to_string(pid) + "/status");
        const auto caught = std::stoull(s.substr(s.find("SigCgt:") + 7), nullptr, 16);
        if (s.find("State:\tZ") != std::string::npos || (caught >> (signal - 1) & 1) != 0) {
            ::kill(pid, signal);
            break;
        }
    }
    HeldRun r;
    r.err = readFile("/proc/self/fd/" + std::to_string(err[0])).substr(filled);  // to EOF
    ::close(err[0]);
    int status = 0;
    rusage usage{};
    ::wait4(pid, &status, 0, &usage);
    std::signal(SIGPIPE, oldPipe);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
    r.out = readFile(io / "out");
    r.peakKb = usage.ru_maxrss;
    return r;
}

}  // namespace kormial::test
