// Result lists as files: the JSON document that `kormial-cli -f json` prints
// and the window exports, read back for review, and CSV for spreadsheets.
#pragma once

#include "results/resultlist.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

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
// carries the device, inode, last write and change time (ns) of its file and
// the device and inode of its folder, which a review checks them against,
// and whether it is a reference copy. With `only` set, the other lists are
// written empty. The patterns the search left out, when there were any, come
// after "complete" as "exclude".
std::string formatJson(const ResultList* lists, bool complete, int only = -1,
                       const std::vector<std::string>& exclude = {});

// RFC 4180: a header line, then LIST (its caption), GROUP, SIZE, DATE,
// FOLDER, NAME for each row, lines ended by CRLF; folder and name keep their
// bytes. With `only` set, that list's rows alone.
std::string formatCsv(const ResultList* lists, int only = -1);

// What a saved result may hold. Beyond it the document is refused where the
// reading gets to it, so an endless input ends too.
struct ResultLimits {
    std::int64_t rows = 10'000'000;          // in all the lists together
    std::int64_t rowBytes = 1 << 20;         // one row as written
    std::int64_t betweenRows = 1 << 20;      // before the first row, between two, after the last
    int depth = 32;                          // values inside values
};

// Where a saved result is read from: fills up to `len` bytes of `buf` and
// returns how many, 0 at the end, -1 when the reading failed.
using ResultSource = std::function<std::int64_t(char* buf, std::size_t len)>;

// Fills the kResultListCount lists from a document written by formatJson,
// keeping only its rows. False, with `error` set and the lists left empty,
// when it is not that, when it lists a file twice in one list, or when it
// goes beyond `limits`.
bool loadResults(const ResultSource& source, ResultList* lists, std::string& error,
                 const ResultLimits& limits = {});
bool loadResults(std::string_view text, ResultList* lists, std::string& error, const ResultLimits& limits = {});

}  // namespace kormial
