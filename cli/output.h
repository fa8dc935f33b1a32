// Printing the result lists of a search.
#pragma once

#include "results/resultlist.h"

#include <string>
#include <string_view>

namespace kormial::cli {

// How a path or name is written where it goes, so that no control character
// reaches a terminal and every byte can be told.
enum class Escape {
    // Text and stderr, for people: ESC as \e, tab, newline and carriage
    // return as \t, \n, \r, a backslash as \\, and every other C0 or DEL
    // character, C1 character (each of its two bytes) and byte that is not
    // UTF-8 as \xnn.
    Terminal,
    // TSV, for scripts, reversible: as Terminal except that ESC is \x1b too.
    Tsv,
    // The inside of a JSON string: \" \\ \n \t \r, every other C0, DEL and
    // C1 character as \u00nn, and U+FFFD for each byte that is not UTF-8.
    Json,
};
std::string escaped(std::string_view s, Escape style);

// `s` as a JSON string, quotes included.
std::string jsonString(std::string_view s);
// The bytes of `s` as lower-case hexadecimal digits.
std::string hexBytes(const std::string& s);

// The tab captions of the five lists.
extern const char* const kListCaptions[kResultListCount];

// LIST, GROUP, SIZE, DATE, FOLDER, NAME separated by tabs, one line per row;
// folder and name escaped as Escape::Tsv.
std::string formatTsv(const ResultList* lists);
// A report for people: each list under its caption with its count, groups
// together and apart, sizes readable; after a stopped search (`complete`
// false) a last line says that the lists are incomplete.
std::string formatText(const ResultList* lists, bool complete);
// The same content as one JSON document, "complete" first; each row also
// carries the device, inode and last write (ns) of its file and the device
// and inode of its folder, which a review (--load) checks them against.
std::string formatJson(const ResultList* lists, bool complete);

// "1.5 MB" and the like.
std::string readableSize(long long bytes);

}  // namespace kormial::cli
