// What the search tells in words: its counts while it runs and its last
// status.
#include "search/execsrch.h"

#include "results/liststats.h"

#include <string>

namespace kormial {

namespace {

// "12,345"
std::string grouped(std::int64_t n)
{
    const std::string digits = std::to_string(n);
    std::string out;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) {
            out += ',';
        }
        out += digits[i];
    }
    return out;
}

}  // namespace

std::string CompletionText(std::int64_t seconds, std::int64_t files)
{
    return "Completed in " + std::to_string(seconds) + "s, searching " + std::to_string(files) +
           " files.";
}

std::string CountsText(const SearchCounts& c)
{
    if (c.bytesTotal <= 0) {
        return grouped(c.files) + (c.files == 1 ? " file in " : " files in ") + grouped(c.folders) +
               (c.folders == 1 ? " folder" : " folders");
    }
    std::string text = PeopleSize(c.bytesDone) + " of " + PeopleSize(c.bytesTotal);
    if (c.secondsLeft >= 0) {
        const std::int64_t s = c.secondsLeft;
        text += ", about " + (s < 60 ? std::to_string(s) + " s" : std::to_string((s + 30) / 60) + " min") + " left";
    }
    return text;
}

}  // namespace kormial
