// Printing the result lists of a search.
#pragma once

#include "results/resultfile.h"
#include "results/resultlist.h"

#include <string>
#include <string_view>

namespace kormial::cli {

// Shared with the window's export and review.
using kormial::Escape;
using kormial::escaped;
using kormial::formatJson;
using kormial::hexBytes;
using kormial::jsonString;
using kormial::kListCaptions;

// LIST, GROUP, SIZE, DATE, FOLDER, NAME separated by tabs, one line per row;
// folder and name escaped as Escape::Tsv.
std::string formatTsv(const ResultList* lists);
// A report for people: each list under its caption with its count, groups
// together and apart, sizes readable; after a stopped search (`complete`
// false) a last line says that the lists are incomplete.
std::string formatText(const ResultList* lists, bool complete);

// "1.5 MB" and the like.
std::string readableSize(long long bytes);

}  // namespace kormial::cli
