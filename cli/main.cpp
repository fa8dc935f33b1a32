// kormial-cli: the same search as the window, without one.
#include "cli/cliargs.h"
#include "cli/clihost.h"
#include "cli/output.h"
#include "cli/review.h"
#include "platform/cliprocess.h"
#include "platform/fs.h"
#include "platform/inputstream.h"
#include "platform/memory.h"
#include "platform/trash.h"
#include "results/keep.h"
#include "search/searchfolders.h"

#include <array>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <stop_token>

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

std::string listsText(kormial::cli::Format format, const kormial::ResultList* lists, bool complete,
                      const std::vector<std::string>& exclude = {})
{
    switch (format) {
    case kormial::cli::Format::Tsv: return kormial::cli::formatTsv(lists);
    case kormial::cli::Format::Json: return kormial::cli::formatJson(lists, complete, -1, exclude);
    case kormial::cli::Format::Text: break;
    }
    return kormial::cli::formatText(lists, complete);
}

// Reviews `lists` as the options say: each file reported on stdout as it
// goes, the totals on stderr. A stop signal ends the review after the file
// in hand, with status 128 + its number.
int reviewLists(const kormial::cli::Options& options, kormial::ResultList* lists)
{
    using namespace kormial;
    platform::catchStopSignals();
    int writeError = 0;
    cli::ReviewStreams streams;
    streams.out = [&](std::string_view text) {
        writeError = writeError != 0 ? writeError : platform::writeStdout(text);
        return writeError == 0;
    };
    streams.err = [](std::string_view text) {
        std::fwrite(text.data(), 1, text.size(), stderr);
        std::fflush(stderr);
    };
    streams.stopReason = [] {
        const int signal = platform::stopSignal();
        return signal == 0 ? std::string() : std::string(platform::signalName(signal));
    };
    platform::DesktopTrash trash;
    bool stopped = false;
    const int status = cli::runReview(options.review, options.format, lists, trash, streams, stopped);
    platform::restoreStopSignals();
    const int closed = platform::writeStdoutAndClose({});
    writeError = writeError != 0 ? writeError : closed;
    if (platform::isBrokenPipe(writeError)) {
        return platform::brokenPipeStatus();
    }
    if (writeError != 0) {
        return writeFailed(writeError);
    }
    return stopped ? 128 + platform::stopSignal() : status;
}

// --load: a saved result instead of a search; reviewed, or printed again.
// The Keep folders given protect the loaded rows below them.
int review(const kormial::cli::Options& options)
{
    using namespace kormial;
    platform::InputStream input;
    platform::Error readError;
    std::array<ResultList, kResultListCount> lists;
    std::string error;
    const auto read = [&](char* buf, std::size_t len) { return input.read(buf, len, &readError); };
    if (!input.open(options.review.load, &readError) || !cli::loadResults(read, lists.data(), error)) {
        if (readError.code != 0) {
            std::fprintf(stderr, "kormial-cli: cannot read %s: %s\n",
                         cli::escaped(options.review.load, cli::Escape::Terminal).c_str(), readError.describe().c_str());
        } else {
            std::fprintf(stderr, "kormial-cli: %s\n", error.c_str());
        }
        return kExitBadInput;
    }
    KeepLoaded(lists.data(), options.request.entries);
    if (!options.review.active()) {
        return writeOutput(listsText(options.format, lists.data(), true));
    }
    return reviewLists(options, lists.data());
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
    platform::runUntilDone([&] { results = ExecSrch(options.request, observer, stop.get_token()); },
                           [&] { stop.request_stop(); });
    const auto seconds = static_cast<std::int64_t>(std::floor(platform::monotonicSeconds() - start));
    // from here on a signal ends the program as it would any other
    platform::restoreStopSignals();
    const int stoppedBy = platform::stopSignal();
    observer.finishStatus();
    ResultList* lists = results.lists.data();

    if (options.review.active() && stoppedBy == 0) {
        std::fprintf(stderr, "%s\n", CompletionText(seconds, results.searched).c_str());
        return reviewLists(options, lists);
    }
    const int written = writeOutput(listsText(options.format, lists, stoppedBy == 0, options.request.exclude));
    if (written != 0) {
        return written;
    }
    if (stoppedBy != 0) {
        std::fprintf(stderr, "Search stopped by %s: the lists are incomplete.\n", platform::signalName(stoppedBy));
    }
    std::fprintf(stderr, "%s\n", CompletionText(seconds, results.searched).c_str());
    return stoppedBy != 0 ? 128 + stoppedBy : 0;
}
