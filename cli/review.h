// Reviewing a result without the window: a result saved with -f json read
// back, rows marked by a rule, and the marked files moved to the trash by the
// code the window's File menu runs.
#pragma once

#include "cli/cliargs.h"
#include "platform/trash.h"
#include "results/resultfile.h"
#include "results/resultlist.h"

#include <string>
#include <string_view>

namespace kormial::cli {

using kormial::loadResults;

// Marks lists[review.list] by the rule and moves (or, in a dry run, checks)
// its marked files; `out` gets one line or object per file in `format`.
// The exit status: 0 when every marked file moved (or would), 1 otherwise.
int runReview(const Review& review, Format format, ResultList* lists, platform::Trash& trash,
              std::string& out);

}  // namespace kormial::cli
