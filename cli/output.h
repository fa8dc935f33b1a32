// Printing the result lists of a search.
#pragma once

#include "results/resultlist.h"

#include <string>

namespace kormial::cli {

// The tab captions of the five lists.
extern const char* const kListCaptions[kResultListCount];

// LIST, GROUP, SIZE, DATE, FOLDER, NAME separated by tabs, one line per row;
// tabs, line breaks and backslashes in folder and name escaped as \t, \n,
// \r, \\.
std::string formatTsv(const ResultList* lists);
// A report for people: each list under its caption with its count, groups
// together and apart, sizes readable.
std::string formatText(const ResultList* lists);
// The same content as one JSON document.
std::string formatJson(const ResultList* lists);

// "1.5 MB" and the like.
std::string readableSize(long long bytes);

}  // namespace kormial::cli
