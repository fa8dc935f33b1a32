// The command line of the headless front end.
#pragma once

#include "search/searchrequest.h"

#include <optional>
#include <string>
#include <vector>

namespace kormial::cli {

enum class Format { Text, Tsv, Json };

// Which rows to mark, as the File menu marks them, or all but one of each group.
enum class MarkRule { None, All, Older, Newer, Smaller, Larger, KeepNewest, KeepOldest, KeepFirst };

// Reviewing a result: marking rows of one list and moving them to the trash.
struct Review {
    std::string load;  // a result saved with -f json ("-" stdin); empty: search
    int list = 1;      // kListDuplicates
    MarkRule mark = MarkRule::None;
    bool trash = false;
    bool dryRun = false;
    bool allowAllCopies = false;
    bool active() const { return trash || dryRun; }
};

struct Options {
    SearchRequest request{{}, -1, -1, {SearchType::ZeroSize, SearchType::Duplicates, SearchType::SameName}, false};
    Format format = Format::Text;
    bool help = false;
    bool version = false;
    Review review;
};

struct ParseResult {
    std::optional<Options> options;  // nothing on bad input
    std::string error;               // the message for stderr
};

ParseResult parseArguments(const std::vector<std::string>& args);

std::string usageText();

}  // namespace kormial::cli
