// Reviewing a result without the window: rows marked by a rule and the
// marked files moved to the trash or linked to their kept copies (or checked
// for it) by the review the window's File menu runs, each file reported as
// it goes.
#pragma once

#include "cli/cliargs.h"
#include "platform/trash.h"
#include "results/resultfile.h"
#include "results/resultlist.h"

#include <chrono>
#include <functional>
#include <string>
#include <string_view>

namespace kormial::cli {

using kormial::loadResults;

// How long a review waits for another one to end before it gives up.
inline constexpr std::chrono::seconds kLockWait{3};

// Where a review writes.
struct ReviewStreams {
    // The report, written at once; false when it could not be (the review
    // then stops after the file in hand).
    std::function<bool(std::string_view)> out;
    // Messages and the totals line.
    std::function<void(std::string_view)> err;
    // Asked before each file: the name of the signal that stops the review
    // there ("SIGINT"), empty while none came.
    std::function<std::string()> stopReason;
};

// Marks lists[review.list] by the rule and moves or links (or, in a dry run,
// checks) its marked files, one line or object per file in `format` as each
// is done, then the totals on `err`. The exit status: 0 when every marked
// file moved or was linked (or would be), 1 when one stayed or another
// review held the lock past
// kLockWait; `stopped` tells whether a stop request ended it early.
int runReview(const Review& review, Format format, ResultList* lists, platform::Trash& trash,
              const ReviewStreams& streams, bool& stopped);

}  // namespace kormial::cli
