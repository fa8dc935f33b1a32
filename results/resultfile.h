// Result lists as files: the JSON document that `kormial-cli -f json` prints
// and the window exports, read back for review, and CSV for spreadsheets.
#pragma once

#include "results/resultlist.h"

#include <string>
#include <string_view>

namespace kormial {

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

// The five lists as one JSON document, "complete" first; each row also
// carries the device, inode and last write (ns) of its file and the device
// and inode of its folder, which a review checks them against. With `only`
// set, the other lists are written empty.
std::string formatJson(const ResultList* lists, bool complete, int only = -1);

// RFC 4180: a header line, then LIST (its caption), GROUP, SIZE, DATE,
// FOLDER, NAME for each row, lines ended by CRLF; folder and name keep their
// bytes. With `only` set, that list's rows alone.
std::string formatCsv(const ResultList* lists, int only = -1);

// Fills the kResultListCount lists from `text`, the output of formatJson.
// False, with `error` set and the lists left empty, when it is not that.
bool loadResults(std::string_view text, ResultList* lists, std::string& error);

}  // namespace kormial
