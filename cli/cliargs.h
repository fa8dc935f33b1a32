// The command line of the headless front end.
#pragma once

#include "search/execsrch.h"

#include <optional>
#include <string>
#include <vector>

namespace kormial::cli {

enum class Format { Text, Tsv, Json };

struct Options {
    std::vector<SearchEntry> entries;
    std::string minText;  // as the size fields hold them: empty for no bound
    std::string maxText;
    bool types[4] = {true, true, true, false};  // zero, dup, name, portions
    bool tolerant = false;
    Format format = Format::Text;
    bool help = false;
};

struct ParseResult {
    std::optional<Options> options;  // nothing on bad input
    std::string error;               // the message for stderr
};

ParseResult parseArguments(const std::vector<std::string>& args);

std::string usageText();

}  // namespace kormial::cli
