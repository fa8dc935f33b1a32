// kormial-cli's argument parser: arguments are the input split at NUL bytes.
// Every input gives either a usable request or one clear message, and a
// request written back as arguments parses to the same request.
#include "cli/cliargs.h"
#include "fuzzcheck.h"

#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

using namespace kormial;
using namespace kormial::cli;

namespace {

bool sameRequest(const Options& a, const Options& b)
{
    const SearchRequest& x = a.request;
    const SearchRequest& y = b.request;
    return x.entries == y.entries && x.minKb == y.minKb && x.maxKb == y.maxKb && x.types == y.types &&
           x.tolerant == y.tolerant && x.exclude == y.exclude && a.format == b.format && a.help == b.help;
}

// The request as a command line: global options first, then for every
// entry its pattern, its sub-folder switch and its folder.
std::vector<std::string> asArguments(const Options& o)
{
    std::vector<std::string> args;
    const SearchRequest& q = o.request;
    if (q.minKb != -1) {
        args.push_back("--min=" + std::to_string(q.minKb));
    }
    if (q.maxKb != -1) {
        args.push_back("--max=" + std::to_string(q.maxKb));
    }
    static const char* const names[4] = {"zero", "dup", "name", "portions"};
    std::string types;
    for (int t = 0; t < 4; ++t) {
        if (q.types.has(static_cast<SearchType>(t))) {
            types += (types.empty() ? "" : ",") + std::string(names[t]);
        }
    }
    if (!types.empty()) {
        args.push_back("--types");
        args.push_back(types);
    }
    if (q.tolerant) {
        args.push_back("-l");
    }
    for (const std::string& pattern : q.exclude) {
        args.push_back("--exclude=" + pattern);
    }
    args.push_back("-f");
    args.push_back(o.format == Format::Tsv ? "tsv" : o.format == Format::Json ? "json" : "text");
    for (const SearchEntry& e : q.entries) {
        args.push_back("-p");
        args.push_back(e.pattern);
        args.push_back(e.subFolders ? "-r" : "-R");
        if (e.keep) {
            args.push_back("--keep");
        }
        args.push_back(e.folder);
    }
    return args;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size > 4096) {
        return 0;
    }
    std::vector<std::string> args;
    std::string current;
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == 0) {
            args.push_back(current);
            current.clear();
        } else {
            current += static_cast<char>(data[i]);
        }
    }
    if (size > 0) {
        args.push_back(current);
    }

    const ParseResult r = parseArguments(args);
    if (!r.options) {
        FUZZ_CHECK(r.error.rfind("kormial-cli: ", 0) == 0);
        FUZZ_CHECK(r.error.size() > 13);
        return 0;
    }
    FUZZ_CHECK(r.error.empty());
    const Options& o = *r.options;
    // a review marks with a rule, and a saved result is never searched again
    FUZZ_CHECK(o.help || o.version || o.review.active() == (o.review.mark != MarkRule::None));
    if (o.help || o.version || !o.review.load.empty()) {
        FUZZ_CHECK(o.help || o.version || o.request.entries.empty());
        return 0;
    }
    const SearchRequest& q = o.request;
    FUZZ_CHECK(!q.entries.empty());
    std::set<std::pair<std::string, std::string>> paths;
    bool folderStartsWithDash = false;
    for (const SearchEntry& e : q.entries) {
        FUZZ_CHECK(paths.insert({e.folder, e.pattern}).second);  // no entry twice
        FUZZ_CHECK(!e.folder.empty() && e.folder.back() == '/');
        FUZZ_CHECK(!e.pattern.empty());
        folderStartsWithDash = folderStartsWithDash || e.folder[0] == '-';
    }
    // the maximum above the minimum when both are set
    if (q.minKb != -1 && q.maxKb != -1) {
        FUZZ_CHECK(q.maxKb > q.minKb);
    }
    // written back as arguments, the same request (folders that look like
    // options can only follow "--", where no pattern can be set)
    if (!folderStartsWithDash) {
        const ParseResult again = parseArguments(asArguments(o));
        FUZZ_CHECK(again.options.has_value());
        FUZZ_CHECK(sameRequest(o, *again.options));
    }
    return 0;
}
