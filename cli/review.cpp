#include "cli/review.h"

#include "cli/output.h"
#include "platform/reviewlock.h"
#include "results/linking.h"
#include "results/marking.h"
#include "results/review.h"

#include <chrono>
#include <memory>
#include <thread>

namespace kormial::cli {

namespace {

void applyRule(MarkRule rule, ResultList& list, int tab)
{
    switch (rule) {
    case MarkRule::None: break;
    case MarkRule::All: Marks(list, true); break;
    case MarkRule::Older: MarkDel(list, tab, true, "Date"); break;
    case MarkRule::Newer: MarkDel(list, tab, false, "Date"); break;
    case MarkRule::Smaller: MarkDel(list, tab, false, "Size"); break;
    case MarkRule::Larger: MarkDel(list, tab, true, "Size"); break;
    case MarkRule::KeepNewest: MarkAllButOne(list, tab, Keep::Newest); break;
    case MarkRule::KeepOldest: MarkAllButOne(list, tab, Keep::Oldest); break;
    case MarkRule::KeepFirst: MarkAllButOne(list, tab, Keep::First); break;
    }
}

// One file as `format` writes it; `first` for the first object of json.
std::string fileText(const ReviewedFile& f, const ReviewAction& action, bool dryRun, Format format, bool first)
{
    const std::string word(f.done ? action.fileWord(dryRun) : "skipped");
    switch (format) {
    case Format::Text:
        return word + ": " + escaped(f.path, Escape::Terminal) +
               (f.note.empty() ? "" : ": " + escaped(f.note, Escape::Terminal)) + "\n";
    case Format::Tsv: return word + '\t' + escaped(f.path, Escape::Tsv) + '\t' + escaped(f.note, Escape::Tsv) + '\n';
    case Format::Json: break;
    }
    return std::string(first ? "\n" : ",\n") + "    {\"action\": " + jsonString(word) +
           ", \"path\": " + jsonString(f.path) + ", \"path_hex\": \"" + hexBytes(f.path) + '"' +
           (f.note.empty() ? "" : ", \"reason\": " + jsonString(f.note)) + '}';
}

// The review lock; while another review holds it, tried again for up to
// kLockWait or until a stop signal comes.
std::optional<platform::ReviewLock> waitForLock(const ReviewStreams& streams, platform::Error& error)
{
    constexpr auto kTry = std::chrono::milliseconds(100);
    std::optional<platform::ReviewLock> lock = platform::ReviewLock::tryTake(&error);
    for (auto waited = kTry * 0;
         !lock && platform::heldElsewhere(error) && waited < kLockWait && streams.stopReason().empty();
         waited += kTry) {
        std::this_thread::sleep_for(kTry);
        lock = platform::ReviewLock::tryTake(&error);
    }
    return lock;
}

std::unique_ptr<ReviewAction> actionOf(const Review& review, platform::Trash& trash)
{
    switch (review.link) {
    case Link::Hard: return std::make_unique<HardLinkAction>();
    case Link::SharedBlocks: return std::make_unique<SharedBlocksAction>();
    case Link::None: break;
    }
    return std::make_unique<TrashAction>(trash);
}

}  // namespace

int runReview(const Review& review, Format format, ResultList* lists, platform::Trash& trash,
              const ReviewStreams& streams, bool& stopped)
{
    platform::Error lockError;
    const std::optional<platform::ReviewLock> lock = waitForLock(streams, lockError);
    stopped = !lock && !streams.stopReason().empty();
    if (!lock) {
        const std::string why = platform::heldElsewhere(lockError)
                                    ? "another review is moving files"
                                    : "the review lock cannot be taken: " + lockError.describe();
        streams.err("kormial-cli: " + why + " (" + escaped(platform::reviewLockPath(), Escape::Terminal) +
                    "); nothing was changed\n");
        return 1;
    }
    applyRule(review.mark, lists[review.list], review.list);

    const std::unique_ptr<ReviewAction> chosen = actionOf(review, trash);
    ReviewAction& action = *chosen;
    bool written = format != Format::Json ||
                   streams.out(std::string("{\n  \"dry_run\": ") + (review.dryRun ? "true" : "false") +
                               ",\n  \"files\": [");
    bool first = true;
    ReviewOptions options;
    options.dryRun = review.dryRun;
    options.allowLastCopies = review.allowAllCopies;
    options.stopRequested = [&] { return !written || !streams.stopReason().empty(); };
    options.report = [&](const ReviewedFile& f) {
        written = written && streams.out(fileText(f, action, review.dryRun, format, first));
        first = false;
    };
    const ReviewTotals totals = ReviewMarked(*lock, lists, review.list, action, options);
    stopped = totals.stopped;
    if (format == Format::Json && written) {
        streams.out(std::string(first ? "]" : "\n  ]") + ",\n  \"complete\": " + (stopped ? "false" : "true") +
                    "\n}\n");
    }
    if (stopped && written) {
        streams.err("Review stopped by " + streams.stopReason() + ": the marked files not reported stayed.\n");
    }
    streams.err(TotalsText(totals, action, review.dryRun, PlainBytes) + "\n");
    return totals.failed || totals.stayed > 0 ? 1 : 0;
}

}  // namespace kormial::cli
