// kormial-cli: the same search as the window, without one.
#include "cli/cliargs.h"
#include "cli/clihost.h"
#include "cli/output.h"
#include "cli/review.h"
#include "platform/fs.h"
#include "platform/memory.h"

#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>
#include <stop_token>
#include <thread>
#include <unistd.h>

namespace {

constexpr int kExitWriteFailed = 1;
constexpr int kExitBadInput = 2;
constexpr int kExitBrokenPipe = 128 + SIGPIPE;

// The signals that stop the search, and what they did before.
constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};
struct sigaction g_previous[std::size(kStopSignals)];

std::atomic<bool> g_stop{false};
std::atomic<int> g_signal{0};  // the first stop signal, 0 while none came

void restoreStopSignals()
{
    for (std::size_t i = 0; i < std::size(kStopSignals); ++i) {
        sigaction(kStopSignals[i], &g_previous[i], nullptr);
    }
}

extern "C" void onStopSignal(int signal)
{
    int none = 0;
    g_signal.compare_exchange_strong(none, signal);
    g_stop.store(true);
    // the next one ends the program at once
    restoreStopSignals();
}

// Signals that were ignored when the program started (nohup, a background
// job) stay ignored.
void catchStopSignals()
{
    struct sigaction sa {};
    sa.sa_handler = onStopSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;  // a status line being written when one comes is still written
    for (std::size_t i = 0; i < std::size(kStopSignals); ++i) {
        sigaction(kStopSignals[i], nullptr, &g_previous[i]);
        if (g_previous[i].sa_handler != SIG_IGN) {
            sigaction(kStopSignals[i], &sa, nullptr);
        }
    }
}

const char* signalName(int signal)
{
    switch (signal) {
    case SIGINT: return "SIGINT";
    case SIGTERM: return "SIGTERM";
    case SIGHUP: return "SIGHUP";
    default: return "a signal";
    }
}

int writeFailed(int error)
{
    std::fprintf(stderr, "kormial-cli: cannot write the output: %s\n", std::strerror(error));
    return kExitWriteFailed;
}

// Writes `text` to stdout and closes it. The exit status for a failure (a
// message on stderr, none for a reader that went away), or 0.
int writeOutput(const std::string& text)
{
    int error = 0;
    std::size_t done = 0;
    while (done < text.size() && error == 0) {
        const ssize_t w = ::write(STDOUT_FILENO, text.data() + done, text.size() - done);
        if (w >= 0) {
            done += static_cast<std::size_t>(w);
        } else if (errno != EINTR) {
            error = errno;
        }
    }
    // close reports what a file system could only find out at the end
    if (::close(STDOUT_FILENO) != 0 && error == 0 && errno != EINTR) {
        error = errno;
    }
    if (error == EPIPE) {
        return kExitBrokenPipe;
    }
    if (error != 0) {
        return writeFailed(error);
    }
    return 0;
}

std::string listsText(kormial::cli::Format format, const kormial::ResultList* lists, bool complete)
{
    switch (format) {
    case kormial::cli::Format::Tsv: return kormial::cli::formatTsv(lists);
    case kormial::cli::Format::Json: return kormial::cli::formatJson(lists, complete);
    case kormial::cli::Format::Text: break;
    }
    return kormial::cli::formatText(lists, complete);
}

// --load: a saved result instead of a search; reviewed, or printed again.
int review(const kormial::cli::Options& options)
{
    using namespace kormial;
    std::ostringstream text;
    if (options.review.load == "-") {
        text << std::cin.rdbuf();
    } else {
        std::ifstream in(options.review.load, std::ios::binary);
        if (!in) {
            std::fprintf(stderr, "kormial-cli: cannot read %s: %s\n",
                         cli::escaped(options.review.load, cli::Escape::Terminal).c_str(), std::strerror(errno));
            return kExitBadInput;
        }
        text << in.rdbuf();
    }
    std::array<ResultList, kResultListCount> lists;
    std::string error;
    if (!cli::loadResults(text.str(), lists.data(), error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return kExitBadInput;
    }
    if (!options.review.active()) {
        return writeOutput(listsText(options.format, lists.data(), true));
    }
    platform::DesktopTrash trash;
    std::string out;
    const int status = cli::runReview(options.review, options.format, lists.data(), trash, out);
    const int written = writeOutput(out);
    return written != 0 ? written : status;
}

}  // namespace

int main(int argc, char** argv)
{
    using namespace kormial;
    platform::keepLargeBlocksApart();
    // a write to a reader that went away fails with EPIPE, handled where it happens
    std::signal(SIGPIPE, SIG_IGN);
    // a closed stderr: no file the search opens may take its place
    if (::fcntl(STDERR_FILENO, F_GETFD) == -1) {
        const int null = ::open("/dev/null", O_WRONLY);
        if (null >= 0 && null != STDERR_FILENO) {
            ::dup2(null, STDERR_FILENO);
            ::close(null);
        }
    }
    std::vector<std::string> args(argv + 1, argv + argc);
    const cli::ParseResult parsed = cli::parseArguments(args);
    if (!parsed.options) {
        std::fprintf(stderr, "%s\n", cli::escaped(parsed.error, cli::Escape::Terminal).c_str());
        return kExitBadInput;
    }
    const cli::Options& options = *parsed.options;
    if (options.help) {
        return writeOutput(cli::usageText());
    }
    // a closed stdout: the search would be for nothing (and a file it opens
    // could take stdout's place)
    if (::fcntl(STDOUT_FILENO, F_GETFD) == -1) {
        return writeFailed(EBADF);
    }

    if (!options.review.load.empty()) {
        return review(options);
    }
    catchStopSignals();
    std::stop_source stop;
    cli::CliObserver observer(stderr, ::isatty(STDERR_FILENO) == 1, stop.get_token());
    observer.status("Start ...");
    const double start = platform::monotonicSeconds();
    // The search runs on its own thread; this one turns a stop signal into
    // the search's stop request.
    SearchResults results;
    std::atomic<bool> done{false};
    {
        std::jthread search([&] {
            results = ExecSrch(options.request, observer, stop.get_token());
            done.store(true);
        });
        while (!done.load()) {
            if (g_stop.load()) {
                stop.request_stop();
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }
    const auto seconds = static_cast<std::int64_t>(std::floor(platform::monotonicSeconds() - start));
    // from here on a signal ends the program as it would any other
    restoreStopSignals();
    const int stoppedBy = g_signal.load();
    observer.finishStatus();
    ResultList* lists = results.lists.data();

    std::string out;
    int status = stoppedBy != 0 ? 128 + stoppedBy : 0;
    if (options.review.active() && stoppedBy == 0) {
        platform::DesktopTrash trash;
        status = cli::runReview(options.review, options.format, lists, trash, out);
    } else {
        out = listsText(options.format, lists, stoppedBy == 0);
    }
    const int written = writeOutput(out);
    if (written != 0) {
        return written;
    }
    if (stoppedBy != 0) {
        std::fprintf(stderr, "Search stopped by %s: the lists are incomplete.\n", signalName(stoppedBy));
    }
    std::fprintf(stderr, "%s\n", CompletionText(seconds, results.searched).c_str());
    return status;
}
