// Acting on the marked files of a result list, the same way for every list,
// every front end and every action (moving to the trash, replacing by a hard
// link, sharing blocks):
// each marked file, in row order, is acted on only when, now,
//  - its folder, reached from "/" without following a link, is still the
//    folder the search walked, and the file is still the file it listed
//    (device, inode, length, last-write and change times);
//  - a copy of its bytes stays: on Duplicates an unmarked member of its
//    group, on Portions an unmarked member of its group at least as large,
//    that is another file (another device and inode), lies in no trash
//    folder, is still the file listed and holds its bytes (the whole file,
//    or on Portions beginning with them), compared now; a copy seen through
//    an overlay file system counts only for a file on that same mount. On
//    Zero Size nothing needs to stay. On Same Name and the read-errors list
//    no copy is known: every marked file there is a last copy, and so is a
//    file no listed copy could keep. A last copy is acted on only when the
//    user allowed it, and never by an action that links to the kept copy;
//  - the action's own checks pass.
// Right after an action that may take the file's own bytes away the kept
// copy is checked again (still there, still that file, unchanged); when it
// is not, the action is undone and the file reported as staying. A dry run makes every check, the action's included,
// and changes nothing. Reference copies are never acted on. A file acted on
// leaves every list when its own bytes may have gone (its name no longer
// shows the file listed), else the list acted on.
#pragma once

#include "platform/reviewlock.h"
#include "platform/trash.h"
#include "results/resultlist.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kormial {

// Why a last copy stays, and the heart of the warning about last copies.
inline constexpr std::string_view kNoCopyStays = "no copy of its bytes stays";

// A marked file that passed the checks, and the copy of its bytes that stays.
struct ReviewTarget {
    const ResultRow& row;
    const platform::AnchoredFolder& folder;  // the file's folder, open
    const ResultRow* kept = nullptr;         // null for a last copy, and on Zero Size
    const platform::AnchoredFolder* keptFolder = nullptr;
};

// What a review does to a file that passed every check.
class ReviewAction {
public:
    virtual ~ReviewAction() = default;
    // One file's word in a report: "trashed", "would trash".
    virtual std::string_view fileWord(bool dryRun) const = 0;
    // The totals' words: "moved to the trash", "would go to the trash".
    virtual std::string_view totalsWords(bool dryRun) const = 0;
    // Why the action refused a file.
    virtual std::string failureText(const platform::Error& e) const = 0;
    // Every check of act(), nothing written.
    virtual bool check(const ReviewTarget& target, platform::Error* err) = 0;
    virtual bool act(const ReviewTarget& target, platform::Error* err) = 0;
    // Undoes the last act() on `target`: the file is back as it was.
    virtual bool undo(const ReviewTarget& target, platform::Error* err) = 0;
    // False when the file keeps its own bytes whatever happens: the kept
    // copy is then not looked at again after act().
    virtual bool bytesMayGo() const { return true; }
    // True when the action works with the kept copy: a file without one
    // stays, even where last copies may go.
    virtual bool needsKeptCopy() const { return false; }
    // The kept copy's state after the last act(), when act() changed it (a
    // new name changes its change time), whether act() succeeded or not:
    // its rows take it.
    virtual std::optional<platform::FileState> keptCopyNow() const { return std::nullopt; }
};

// Moving to the trash: "Deletion failed. Error Code: N (...)" when it cannot.
class TrashAction final : public ReviewAction {
public:
    explicit TrashAction(platform::Trash& trash) : trash_(trash) {}
    std::string_view fileWord(bool dryRun) const override { return dryRun ? "would trash" : "trashed"; }
    std::string_view totalsWords(bool dryRun) const override
    {
        return dryRun ? "would go to the trash" : "moved to the trash";
    }
    std::string failureText(const platform::Error& e) const override;
    bool check(const ReviewTarget& target, platform::Error* err) override;
    bool act(const ReviewTarget& target, platform::Error* err) override;
    bool undo(const ReviewTarget& target, platform::Error* err) override;

private:
    platform::Trash& trash_;
    platform::TrashedEntry moved_;
};

// What became of one marked file.
struct ReviewedFile {
    std::string path;
    std::int64_t size = 0;
    bool done = false;  // acted on (in a dry run: would be)
    std::string note;   // why it stayed; when done, what went wrong after
};

struct ReviewTotals {
    std::int64_t files = 0;   // acted on (would be)
    std::int64_t bytes = 0;
    std::int64_t stayed = 0;  // the other marked files, reached or not
    bool stopped = false;     // a stop request ended the batch early
    bool failed = false;      // some file has a note
};

struct ReviewOptions {
    bool dryRun = false;
    bool allowLastCopies = false;
    // Asked before each file: true ends the batch there.
    std::function<bool()> stopRequested;
    // Told each file as soon as it is done.
    std::function<void(const ReviewedFile&)> report;
};

// Reviews the marked files of lists[tab] (`held` shows that this process
// holds the review lock). The files acted on leave every list of `lists`
// (kResultListCount of them), and so do the groups of Duplicates and
// Portions left with one file.
ReviewTotals ReviewMarked(const platform::ReviewLock& held, ResultList* lists, int tab, ReviewAction& action,
                          const ReviewOptions& options);

// The marked files of `list` (the list of tab `tab`) that no listed copy
// could keep: how many, and the paths of the first `named`.
struct LastCopies {
    std::int64_t count = 0;
    std::vector<std::string> first;
};
LastCopies FindLastCopies(const ResultList& list, int tab, std::size_t named = 5);

// "2 files, 2000 bytes moved to the trash; 1 stayed", or in a dry run
// "... would go to the trash; 1 would stay", the bytes told by `size`.
std::string TotalsText(const ReviewTotals& totals, const ReviewAction& action, bool dryRun,
                       const std::function<std::string(std::int64_t)>& size);
// "2000 bytes", "1 byte".
std::string PlainBytes(std::int64_t bytes);

}  // namespace kormial
