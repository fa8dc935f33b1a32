#include "results/fileops.h"

#include "catalogue/paths.h"
#include "platform/anchored.h"
#include "platform/pathopen.h"

#include <algorithm>
#include <cerrno>
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
    s.link = rows && curTab == kListDuplicates;
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

std::string CheckFailureText(const platform::Error& e)
{
    switch (e.code) {
    case platform::kFolderReplaced:
    case ELOOP:
    case ENOTDIR:
        return "its folder is no longer the folder searched (a link or another folder is in its place)";
    case ENOENT: return "it is no longer there";
    case platform::kChangedDuringSearch:
    case EINVAL: return "it changed since the search";
    default: return {};
    }
}

namespace {

// Why the rename could not begin.
std::string renameFailure(const platform::Error& e)
{
    const std::string known = CheckFailureText(e);
    return known.empty() ? e.describe() : known;
}

}  // namespace

void ForgetFiles(ResultList* lists, const std::vector<std::string>& paths, int listCount)
{
    const std::unordered_set<std::string> gone(paths.begin(), paths.end());
    for (int l = 0; l < listCount && !gone.empty(); ++l) {
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
    if (!platform::isPlainName(typed)) {
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
        return fail(renameFailure(result.error));
    }
    if (now.id != row.state.id) {
        result.error.code = platform::kChangedDuringSearch;
        return fail(renameFailure(result.error));
    }
    if (!platform::renameNoReplaceAt(folder.fd.get(), row.name, folder.fd.get(), typed, &result.error)) {
        return fail(result.error.code == EEXIST ? "A file with that name exists" : result.error.describe());
    }
    // A rename may give the file a new change time: the rows keep up, so
    // that it is still the file listed.
    platform::FileState renamed;
    const bool sameFile = platform::statAt(folder.fd.get(), typed, renamed) && renamed.id == row.state.id &&
                          renamed.size == row.state.size && renamed.mtimeNs == row.state.mtimeNs;
    for (int l = 0; l < kResultListCount; ++l) {
        for (std::int64_t i = 0; i < lists[l].count(); ++i) {
            if (lists[l].row(i).path() == result.oldPath) {
                if (sameFile && lists[l].row(i).state.ctimeNs != 0) {
                    lists[l].setState(i, renamed);
                }
                lists[l].setName(i, typed);
            }
        }
    }
    result.outcome = RenOutcome::Renamed;
    return result;
}

}  // namespace kormial
