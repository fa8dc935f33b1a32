// The command line of the headless front end.
#pragma once

#include "search/searchrequest.h"

#include <optional>
#include <string>
#include <vector>

namespace kormial::cli {

enum class Format { Text, Tsv, Json };

struct Options {
    SearchRequest request{{}, -1, -1, {SearchType::ZeroSize, SearchType::Duplicates, SearchType::SameName}, false};
    Format format = Format::Text;
    bool help = false;
    bool version = false;
};

struct ParseResult {
    std::optional<Options> options;  // nothing on bad input
    std::string error;               // the message for stderr
};

ParseResult parseArguments(const std::vector<std::string>& args);

std::string usageText();

}  // namespace kormial::cli
