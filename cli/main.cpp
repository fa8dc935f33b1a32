// kormial-cli: the same search as the window, without one.
#include "cli/cliargs.h"
#include "cli/clihost.h"
#include "cli/output.h"
#include "platform/fs.h"
#include "platform/memory.h"

#include <atomic>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <unistd.h>

namespace {

std::atomic<bool> g_stop{false};

extern "C" void onInterrupt(int)
{
    g_stop.store(true);
}

}  // namespace

int main(int argc, char** argv)
{
    using namespace kormial;
    platform::keepLargeBlocksApart();
    std::vector<std::string> args(argv + 1, argv + argc);
    const cli::ParseResult parsed = cli::parseArguments(args);
    if (!parsed.options) {
        std::fprintf(stderr, "%s\n", parsed.error.c_str());
        return 2;
    }
    const cli::Options& options = *parsed.options;
    if (options.help) {
        std::fputs(cli::usageText().c_str(), stdout);
        return 0;
    }

    struct sigaction sa {};
    sa.sa_handler = onInterrupt;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);

    cli::CliHost host(options, &g_stop, stderr, ::isatty(STDERR_FILENO) == 1);
    host.setStatus("Start ...");
    const double start = platform::monotonicSeconds();
    const std::int64_t files = ExecSrch(host);
    const auto seconds = static_cast<std::int64_t>(std::floor(platform::monotonicSeconds() - start));
    OrderResultsAfterSearch(host.lists());
    host.finishStatus();

    std::string out;
    switch (options.format) {
    case cli::Format::Tsv: out = cli::formatTsv(host.lists()); break;
    case cli::Format::Json: out = cli::formatJson(host.lists()); break;
    case cli::Format::Text: out = cli::formatText(host.lists()); break;
    }
    std::fwrite(out.data(), 1, out.size(), stdout);
    std::fflush(stdout);
    std::fprintf(stderr, "%s\n", CompletionText(seconds, files).c_str());
    return 0;
}
