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

// What a review does with the marked files besides the trash: replace each
// by a hard link to its kept copy, or share its blocks with the kept copy's.
enum class Link { None, Hard, SharedBlocks };

// Reviewing a result: marking rows of one list and moving them to the trash
// or linking them.
struct Review {
    std::string load;  // a result saved with -f json ("-" stdin); empty: search
    int list = 1;      // kListDuplicates
    MarkRule mark = MarkRule::None;
    bool trash = false;
    Link link = Link::None;
    bool dryRun = false;
    bool allowAllCopies = false;
    bool active() const { return trash || link != Link::None || dryRun; }
};

struct Options {
    SearchRequest request{{}, -1, -1, {SearchType::ZeroSize, SearchType::Duplicates, SearchType::SameName}, false, {}};
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
