#include "results/fileops.h"

#include "catalogue/paths.h"
#include "platform/anchored.h"

#include <algorithm>
#include <cerrno>
#include <map>
#include <unordered_set>

namespace kormial {

FileMenuState FileMenuEnabling(const ResultList& list, int curTab)
{
    const bool rows = list.count() > 0;
    FileMenuState s;
    s.open = s.del = s.ren = s.markAll = s.clearMarks = rows;
    s.markOld = s.markNewer =
        rows && (curTab == kListDuplicates || curTab == kListSameName || curTab == kListPortions);
    s.markSmaller = s.markLarger = rows && curTab == kListPortions;
    return s;
}

std::optional<std::string> SelectedPath(const ResultList& list)
{
    const std::int64_t sel = list.selectedRow();
    if (sel < 0) {
        return std::nullopt;
    }
    return list.row(sel).path();
}

std::vector<std::string> MarkedPaths(const ResultList& list)
{
    std::vector<std::string> paths;
    for (const ResultRow& r : list.rows()) {
        if (r.checked) {
            paths.push_back(r.path());
        }
    }
    return paths;
}

MarkedTotal CountMarked(const ResultList& list)
{
    MarkedTotal t;
    for (const ResultRow& r : list.rows()) {
        if (r.checked) {
            ++t.files;
            t.bytes += std::max<std::int64_t>(r.size, 0);
        }
    }
    return t;
}

namespace {

// The rows of each group of the Duplicates list, by "#".
std::map<GroupMark, std::vector<std::int64_t>> groupsOf(const ResultList& list)
{
    std::map<GroupMark, std::vector<std::int64_t>> groups;
    for (std::int64_t i = 0; i < list.count(); ++i) {
        groups[list.row(i).group].push_back(i);
    }
    return groups;
}

// Why the trash refused a file.
std::string trashFailure(const platform::Error& e)
{
    return std::string(kMsgDeletionFailed) + std::to_string(e.code) + " (" + e.describe() + ")";
}

// Why a file that failed a check with `e` stays.
std::string reasonText(const platform::Error& e)
{
    switch (e.code) {
    case platform::kFolderReplaced:
    case ELOOP:
    case ENOTDIR:
        return "its folder is no longer the folder searched (a link or another folder is in its place)";
    case ENOENT: return "it is no longer there";
    case platform::kChangedDuringSearch:
    case EINVAL: return "it changed since the search";
    default: return trashFailure(e);
    }
}

// True when the file of `row` is still there, unchanged, reached through
// its folder opened from "/"; `folder` then holds that folder.
bool stillListed(const ResultRow& row, platform::AnchoredFolder& folder, platform::Error& e)
{
    return row.folder && platform::openAnchored(row.folder->path, row.folder->id, folder, &e) &&
           platform::sameFileAt(folder.fd.get(), row.name, row.state, &e);
}

// True when some row of `kept` is still there, unchanged and byte for byte
// the file of `row` (both compared now, from open descriptors).
bool copyKept(const ResultList& list, const std::vector<std::int64_t>& kept, const ResultRow& row,
              const platform::AnchoredFolder& folder)
{
    const platform::UniqueFd mine = platform::openCheckedAt(folder.fd.get(), row.name, row.state);
    for (std::size_t k = 0; mine && k < kept.size(); ++k) {
        const ResultRow& other = list.row(kept[k]);
        platform::AnchoredFolder at;
        platform::Error e;
        if (!stillListed(other, at, e)) {
            continue;
        }
        const platform::UniqueFd copy = platform::openCheckedAt(at.fd.get(), other.name, other.state);
        if (copy && platform::sameBytes(mine.get(), copy.get())) {
            return true;
        }
    }
    return false;
}

}  // namespace

WholeGroups GroupsMarkedWhole(const ResultList& list, int tab, std::size_t named)
{
    WholeGroups whole;
    if (tab != kListDuplicates) {
        return whole;
    }
    for (const auto& [group, rows] : groupsOf(list)) {
        if (std::all_of(rows.begin(), rows.end(), [&](std::int64_t i) { return list.row(i).checked; })) {
            if (whole.first.size() < named) {
                whole.first.push_back(list.row(rows.front()).path());
            }
            ++whole.count;
        }
    }
    return whole;
}

std::vector<TrashedFile> TrashMarked(ResultList* lists, int tab, platform::Trash* trash, bool allCopies)
{
    const ResultList& list = lists[tab];
    // the unmarked members of each group, as the batch begins
    std::map<GroupMark, std::vector<std::int64_t>> kept;
    if (tab == kListDuplicates) {
        kept = groupsOf(list);
        for (auto& [group, rows] : kept) {
            std::erase_if(rows, [&](std::int64_t i) { return list.row(i).checked; });
        }
    }
    std::vector<TrashedFile> out;
    std::vector<std::string> moved;
    for (const ResultRow& row : list.rows()) {
        if (!row.checked) {
            continue;
        }
        TrashedFile& f = out.emplace_back(TrashedFile{row.path(), {}});
        platform::AnchoredFolder folder;
        platform::Error e;
        if (!stillListed(row, folder, e)) {
            f.skipped = reasonText(e);
        } else if (tab == kListDuplicates && kept[row.group].empty() && !allCopies) {
            f.skipped = "every copy of its group is marked";
        } else if (tab == kListDuplicates && !kept[row.group].empty() &&
                   !copyKept(list, kept[row.group], row, folder)) {
            f.skipped = "no unmarked copy of it is still there unchanged";
        } else if (trash != nullptr && !trash->moveToTrash(folder, row.name, row.state.id, &e)) {
            f.skipped = e.code == platform::kChangedDuringSearch ? reasonText(e) : trashFailure(e);
        } else if (trash != nullptr) {
            moved.push_back(f.path);
        }
    }
    ForgetFiles(lists, moved);
    return out;
}

void ForgetFiles(ResultList* lists, const std::vector<std::string>& paths)
{
    const std::unordered_set<std::string> gone(paths.begin(), paths.end());
    for (int l = 0; l < kResultListCount && !gone.empty(); ++l) {
        lists[l].removeIf([&](const ResultRow& r) { return gone.contains(r.path()); });
    }
}

RenResult RenFile(ResultList* lists, int tab, const std::function<std::string(const RenamePrompt&)>& inputBox)
{
    ResultList& list = lists[tab];
    RenResult result;
    const std::int64_t sel = list.selectedRow();
    if (sel < 0) {
        result.outcome = RenOutcome::NoSelection;
        result.message = std::string(kMsgSelectFile);
        result.title = std::string(kTitleSelectFile);
        return result;
    }
    const ResultRow row = list.row(sel);
    result.oldPath = row.path();

    RenamePrompt prompt;
    prompt.prompt = std::string(kMsgRenamePrompt) + "\n" + result.oldPath;
    prompt.title = std::string(kTitleRename);
    prompt.proposed = GetFileNamePart(result.oldPath);
    prompt.oldPath = result.oldPath;
    const std::string typed = inputBox ? inputBox(prompt) : std::string();
    if (typed.empty() || typed == prompt.proposed) {  // cancelled, or the name left as it was
        result.outcome = RenOutcome::Cancelled;
        return result;
    }

    auto fail = [&result](std::string_view why) {
        result.outcome = RenOutcome::Failed;
        result.message = std::string(kMsgCantRename);
        if (!why.empty()) {
            result.message += "\n\n" + std::string(why);
        }
        result.title = std::string(kTitleCantRename);
        return result;
    };
    if (typed == "." || typed == ".." || typed.find_first_of(std::string("/\0", 2)) != std::string::npos) {
        return fail(kMsgBadName);
    }
    // The box is modal, yet the row must still be the one it asked about.
    if (sel >= list.count() || list.row(sel).path() != result.oldPath) {
        return fail({});
    }
    result.newPath = row.folder->path + typed;
    platform::AnchoredFolder folder;
    platform::FileState now;
    if (!platform::openAnchored(row.folder->path, row.folder->id, folder, &result.error) ||
        !platform::statAt(folder.fd.get(), row.name, now, &result.error)) {
        return fail(reasonText(result.error));
    }
    if (now.id != row.state.id) {
        result.error.code = platform::kChangedDuringSearch;
        return fail(reasonText(result.error));
    }
    if (!platform::renameNoReplaceAt(folder.fd.get(), row.name, folder.fd.get(), typed, &result.error)) {
        return fail(result.error.code == EEXIST ? "A file with that name exists" : result.error.describe());
    }
    for (int l = 0; l < kResultListCount; ++l) {
        for (std::int64_t i = 0; i < lists[l].count(); ++i) {
            if (lists[l].row(i).path() == result.oldPath) {
                lists[l].setName(i, typed);
            }
        }
    }
    result.outcome = RenOutcome::Renamed;
    return result;
}

}  // namespace kormial
