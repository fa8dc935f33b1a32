// kormial-cli: the same search as the window, without one.
#include "cli/cliargs.h"
#include "cli/clihost.h"
#include "cli/output.h"
#include "cli/review.h"
#include "platform/cliprocess.h"
#include "platform/fs.h"
#include "platform/memory.h"
#include "search/searchfolders.h"

#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>
#include <stop_token>
#include <thread>

namespace {

constexpr int kExitWriteFailed = 1;
constexpr int kExitBadInput = 2;

int writeFailed(int error)
{
    std::fprintf(stderr, "kormial-cli: cannot write the output: %s\n", std::strerror(error));
    return kExitWriteFailed;
}

// Writes `text` to stdout and closes it. The exit status for a failure (a
// message on stderr, none for a reader that went away), or 0.
int writeOutput(const std::string& text)
{
    using namespace kormial;
    const int error = platform::writeStdoutAndClose(text);
    if (platform::isBrokenPipe(error)) {
        return platform::brokenPipeStatus();
    }
    return error != 0 ? writeFailed(error) : 0;
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
        std::fprintf(stderr, "kormial-cli: %s\n", error.c_str());
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
    const bool stdoutOpen = platform::prepareStandardStreams();
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
    if (options.version) {
        return writeOutput("kormial-cli " KORMIAL_VERSION "\n");
    }
    // a closed stdout: the search would be for nothing (and a file it opens
    // could take stdout's place)
    if (!stdoutOpen) {
        return writeFailed(EBADF);
    }

    if (!options.review.load.empty()) {
        return review(options);
    }
    // a folder that cannot be searched is named before anything is searched
    const std::vector<UnreachableFolder> unreachable = UnreachableFolders(options.request);
    for (const UnreachableFolder& u : unreachable) {
        std::fprintf(stderr, "kormial-cli: %s: %s\n", cli::escaped(u.folder, cli::Escape::Terminal).c_str(),
                     u.error.describe().c_str());
    }
    if (!unreachable.empty()) {
        return kExitBadInput;
    }
    platform::catchStopSignals();
    std::stop_source stop;
    cli::CliObserver observer(stderr, platform::stderrIsTerminal(), stop.get_token());
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
            if (platform::stopSignal() != 0) {
                stop.request_stop();
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }
    const auto seconds = static_cast<std::int64_t>(std::floor(platform::monotonicSeconds() - start));
    // from here on a signal ends the program as it would any other
    platform::restoreStopSignals();
    const int stoppedBy = platform::stopSignal();
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
        std::fprintf(stderr, "Search stopped by %s: the lists are incomplete.\n", platform::signalName(stoppedBy));
    }
    std::fprintf(stderr, "%s\n", CompletionText(seconds, results.searched).c_str());
    return status;
}
