// kormial-cli's argument parser: arguments are the input split at NUL bytes.
// Every input gives either a usable request or one clear message, and a
// request written back as arguments parses to the same request.
#include "catalogue/paths.h"
#include "cli/cliargs.h"
#include "fuzzcheck.h"
#include "search/sizetext.h"

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
    if (a.entries.size() != b.entries.size() || a.minText != b.minText || a.maxText != b.maxText ||
        a.tolerant != b.tolerant || a.format != b.format || a.help != b.help) {
        return false;
    }
    for (std::size_t i = 0; i < a.entries.size(); ++i) {
        if (a.entries[i].path != b.entries[i].path || a.entries[i].subFolder != b.entries[i].subFolder) {
            return false;
        }
    }
    for (int t = 0; t < 4; ++t) {
        if (a.types[t] != b.types[t]) {
            return false;
        }
    }
    return true;
}

// The request as a command line: global options first, then for every
// entry its pattern, its sub-folder switch and its folder.
std::vector<std::string> asArguments(const Options& o)
{
    std::vector<std::string> args;
    if (!o.minText.empty()) {
        args.push_back("--min=" + o.minText);
    }
    if (!o.maxText.empty()) {
        args.push_back("--max=" + o.maxText);
    }
    static const char* const names[4] = {"zero", "dup", "name", "portions"};
    std::string types;
    for (int t = 0; t < 4; ++t) {
        if (o.types[t]) {
            types += (types.empty() ? "" : ",") + std::string(names[t]);
        }
    }
    if (!types.empty()) {
        args.push_back("--types");
        args.push_back(types);
    }
    if (o.tolerant) {
        args.push_back("-l");
    }
    args.push_back("-f");
    args.push_back(o.format == Format::Tsv ? "tsv" : o.format == Format::Json ? "json" : "text");
    for (const SearchEntry& e : o.entries) {
        args.push_back("-p");
        args.push_back(GetFileNamePart(e.path));
        args.push_back(e.subFolder == "Yes" ? "-r" : "-R");
        args.push_back(GetFolderPart(e.path));
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
    if (o.help) {
        return 0;
    }
    FUZZ_CHECK(!o.entries.empty());
    std::set<std::string> paths;
    bool folderStartsWithDash = false;
    for (const SearchEntry& e : o.entries) {
        FUZZ_CHECK(paths.insert(e.path).second);  // no entry twice
        FUZZ_CHECK(e.subFolder == "Yes" || e.subFolder == "No");
        const std::string folder = GetFolderPart(e.path);
        const std::string pattern = GetFileNamePart(e.path);
        FUZZ_CHECK(!folder.empty());  // a folder, ending in "/"
        FUZZ_CHECK(!pattern.empty());
        folderStartsWithDash = folderStartsWithDash || folder[0] == '-';
    }
    // bounds are whole numbers that the search can use, the maximum above the minimum
    if (!o.minText.empty()) {
        FUZZ_CHECK(ConvertSizeText(o.minText, false).has_value());
    }
    if (!o.maxText.empty()) {
        FUZZ_CHECK(ConvertSizeText(o.maxText, false).has_value());
    }
    if (!o.minText.empty() && !o.maxText.empty()) {
        FUZZ_CHECK(*ConvertSizeText(o.maxText, false) > *ConvertSizeText(o.minText, false));
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
