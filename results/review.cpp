#include "results/review.h"

#include "results/fileops.h"

#include <algorithm>
#include <map>
#include <unordered_map>

namespace kormial {

namespace {

// Which listed files may keep the bytes of a marked file: on Duplicates the
// unmarked members of its group, on Portions those at least as large; each
// another file than the marked one and in no trash folder. On Zero Size no
// copy is needed; on the other lists none is known.
class CopyRule {
public:
    CopyRule(const ResultList& list, int tab, const platform::TrashFolders& trash) : list_(list), tab_(tab)
    {
        if (tab != kListDuplicates && tab != kListPortions) {
            return;
        }
        for (std::int64_t i = 0; i < list.count(); ++i) {
            const ResultRow& r = list.row(i);
            if (!r.checked && r.folder && !trash.holds(r.folder->path)) {
                unmarked_[r.group].push_back(i);
            }
        }
    }

    bool needsCopy() const { return tab_ != kListZeroSize; }
    // The copy must hold the file whole (Duplicates) or begin with it.
    bool whole() const { return tab_ == kListDuplicates; }

    // On the marked file's own device first: a link reaches no other.
    std::vector<std::int64_t> candidates(const ResultRow& marked) const
    {
        std::vector<std::int64_t> out;
        const auto group = unmarked_.find(marked.group);
        if (group == unmarked_.end()) {
            return out;
        }
        for (const std::int64_t i : group->second) {
            const ResultRow& r = list_.row(i);
            if (r.state.id != marked.state.id && (whole() || r.size >= marked.size)) {
                out.push_back(i);
            }
        }
        std::ranges::stable_partition(out, [&](std::int64_t i) { return list_.row(i).state.id.dev == marked.state.id.dev; });
        return out;
    }

private:
    const ResultList& list_;
    int tab_;
    std::map<GroupMark, std::vector<std::int64_t>> unmarked_;
};

// Why a file that failed a check with `e` stays.
std::string reasonText(const platform::Error& e, const ReviewAction& action)
{
    const std::string known = CheckFailureText(e);
    return known.empty() ? action.failureText(e) : known;
}

// True when the file of `row` is still there, unchanged, reached through
// its folder opened from "/"; `folder` then holds that folder.
bool stillListed(const ResultRow& row, platform::AnchoredFolder& folder, platform::Error& e)
{
    return row.folder && platform::openAnchored(row.folder->path, row.folder->id, folder, &e) &&
           platform::sameFileAt(folder.fd.get(), row.name, row.state, &e);
}

// A listed copy that holds the marked file's bytes now.
struct KeptCopy {
    const ResultRow* row = nullptr;
    platform::AnchoredFolder folder;
};

// The first of `candidates` that is still the file listed and holds the
// bytes of `row` (compared now, from open descriptors). A copy seen through
// an overlay counts only on the mount of the marked file: there one file
// shows under two device numbers.
bool findKeptCopy(const ResultList& list, const CopyRule& rule, const std::vector<std::int64_t>& candidates,
                  const ResultRow& row, const platform::AnchoredFolder& folder, KeptCopy& kept)
{
    const platform::UniqueFd mine = platform::openCheckedAt(folder.fd.get(), row.name, row.state);
    for (std::size_t k = 0; mine && k < candidates.size(); ++k) {
        const ResultRow& other = list.row(candidates[k]);
        platform::Error e;
        if (!stillListed(other, kept.folder, e) ||
            (platform::onOverlay(kept.folder.fd.get()) && kept.folder.id.dev != folder.id.dev)) {
            continue;
        }
        const platform::UniqueFd copy = platform::openCheckedAt(kept.folder.fd.get(), other.name, other.state);
        if (copy && (rule.whole() ? platform::sameBytes(mine.get(), copy.get())
                                  : platform::beginsWithBytesOf(copy.get(), mine.get()))) {
            kept.row = &other;
            return true;
        }
    }
    return false;
}

// Where each file is listed, by path, found once for a batch and only when a
// kept copy's new state is to be told to its rows. Rows are neither removed
// nor reordered while a batch runs.
class ListedRows {
public:
    explicit ListedRows(ResultList* lists) : lists_(lists) {}

    // The rows of the file at `path`, on every list, take its state now.
    void restate(const std::string& path, const platform::FileState& state)
    {
        if (byPath_.empty()) {
            for (int l = 0; l < kResultListCount; ++l) {
                for (std::int64_t i = 0; i < lists_[l].count(); ++i) {
                    byPath_[lists_[l].row(i).path()].push_back({l, i});
                }
            }
        }
        if (const auto it = byPath_.find(path); it != byPath_.end()) {
            for (const auto& [l, i] : it->second) {
                lists_[l].setState(i, state);
            }
        }
    }

private:
    ResultList* lists_;
    std::unordered_map<std::string, std::vector<std::pair<int, std::int64_t>>> byPath_;
};

// One marked file of lists[tab] through every check and the action.
ReviewedFile reviewOne(ResultList* lists, int tab, const CopyRule& rule, const ResultRow& row, ReviewAction& action,
                       const ReviewOptions& options, ListedRows& listed)
{
    const ResultList& list = lists[tab];
    ReviewedFile f{row.path(), std::max<std::int64_t>(row.size, 0), false, {}};
    platform::AnchoredFolder folder;
    platform::Error e;
    if (!stillListed(row, folder, e)) {
        f.note = reasonText(e, action);
        return f;
    }
    const std::vector<std::int64_t> candidates = rule.candidates(row);
    KeptCopy kept;
    if (rule.needsCopy() && candidates.empty() && (action.needsKeptCopy() || !options.allowLastCopies)) {
        f.note = std::string(kNoCopyStays);
        return f;
    }
    if (!candidates.empty() && !findKeptCopy(list, rule, candidates, row, folder, kept)) {
        f.note = std::string(kNoCopyStays) + " (its unmarked copies are gone, changed, or differ now)";
        return f;
    }
    const ReviewTarget target{row, folder, kept.row, kept.row != nullptr ? &kept.folder : nullptr};
    const bool acted = options.dryRun ? action.check(target, &e) : action.act(target, &e);
    if (const std::optional<platform::FileState> now = action.keptCopyNow(); now && !options.dryRun && kept.row) {
        listed.restate(kept.row->path(), *now);
    }
    if (!acted) {
        f.note = e.code == platform::kChangedDuringSearch ? reasonText(e, action) : action.failureText(e);
        return f;
    }
    f.done = true;
    // The copy must have stayed while the file went: someone may have moved
    // or written it meanwhile.
    platform::AnchoredFolder again;
    if (options.dryRun || kept.row == nullptr || !action.bytesMayGo() || stillListed(*kept.row, again, e)) {
        return f;
    }
    if (action.undo(target, &e)) {
        f.done = false;
        f.note = std::string(kNoCopyStays) + " (its kept copy went or changed while it moved): put back";
    } else {
        f.note = "its kept copy went or changed while it moved, and it could not be put back: " + e.describe();
    }
    return f;
}

// The groups of Duplicates and Portions left with one file are no groups.
void dropLoneGroups(ResultList* lists)
{
    for (const int l : {kListDuplicates, kListPortions}) {
        std::map<GroupMark, int> members;
        for (const ResultRow& r : lists[l].rows()) {
            ++members[r.group];
        }
        lists[l].removeIf([&](const ResultRow& r) { return members[r.group] < 2; });
    }
}

}  // namespace

std::string TrashAction::failureText(const platform::Error& e) const
{
    return std::string(kMsgDeletionFailed) + std::to_string(e.code) + " (" + e.describe() + ")";
}

bool TrashAction::check(const ReviewTarget& target, platform::Error* err)
{
    return trash_.canMoveToTrash(target.folder, target.row.name, target.row.state, err);
}

bool TrashAction::act(const ReviewTarget& target, platform::Error* err)
{
    moved_ = platform::TrashedEntry();
    return trash_.moveToTrash(target.folder, target.row.name, target.row.state, moved_, err);
}

bool TrashAction::undo(const ReviewTarget& target, platform::Error* err)
{
    return trash_.putBack(moved_, target.folder, target.row.name, err);
}

ReviewTotals ReviewMarked(const platform::ReviewLock& /*held*/, ResultList* lists, int tab, ReviewAction& action,
                          const ReviewOptions& options)
{
    const ResultList& list = lists[tab];
    const CopyRule rule(list, tab, platform::TrashFolders());
    ReviewTotals totals;
    std::vector<std::string> leaving;
    ListedRows listed(lists);
    std::int64_t marked = 0;
    for (const ResultRow& row : list.rows()) {
        if (!row.checked || row.reference) {
            continue;
        }
        ++marked;
        if (totals.stopped || (options.stopRequested && options.stopRequested())) {
            totals.stopped = true;
            continue;
        }
        const ReviewedFile f = reviewOne(lists, tab, rule, row, action, options, listed);
        totals.failed = totals.failed || !f.note.empty();
        if (f.done) {
            ++totals.files;
            totals.bytes += f.size;
        }
        // a file acted on leaves, whatever else went wrong
        if (f.done && !options.dryRun) {
            leaving.push_back(f.path);
        }
        if (options.report) {
            options.report(f);
        }
    }
    totals.stayed = marked - totals.files;
    // a file that kept its own bytes stays on the other lists
    ForgetFiles(action.bytesMayGo() ? lists : lists + tab, leaving, action.bytesMayGo() ? kResultListCount : 1);
    if (!leaving.empty()) {
        dropLoneGroups(lists);
    }
    return totals;
}

LastCopies FindLastCopies(const ResultList& list, int tab, std::size_t named)
{
    LastCopies last;
    const CopyRule rule(list, tab, platform::TrashFolders());
    if (!rule.needsCopy()) {
        return last;
    }
    for (const ResultRow& row : list.rows()) {
        if (row.checked && !row.reference && rule.candidates(row).empty()) {
            if (last.first.size() < named) {
                last.first.push_back(row.path());
            }
            ++last.count;
        }
    }
    return last;
}

std::string PlainBytes(std::int64_t bytes)
{
    return std::to_string(bytes) + (bytes == 1 ? " byte" : " bytes");
}

std::string TotalsText(const ReviewTotals& totals, const ReviewAction& action, bool dryRun,
                       const std::function<std::string(std::int64_t)>& size)
{
    return std::to_string(totals.files) + (totals.files == 1 ? " file, " : " files, ") + size(totals.bytes) + " " +
           std::string(action.totalsWords(dryRun)) + "; " + std::to_string(totals.stayed) +
           (dryRun ? " would stay" : " stayed");
}

}  // namespace kormial
