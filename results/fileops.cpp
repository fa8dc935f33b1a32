#include "results/fileops.h"

#include "catalogue/paths.h"

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

std::string DeletionFailedText(const platform::TrashResult& failure)
{
    std::string text(kMsgDeletionFailed);
    text += std::to_string(failure.error.code);
    text += "\n\n";
    if (failure.error.code != 0) {
        text += failure.error.describe();
    }
    if (!failure.path.empty()) {
        text += "\n";
        text += failure.path;
    }
    if (!failure.leftInTrash.empty()) {
        text += "\n\nThese files were moved to the trash and could not be put back:";
        for (const std::string& p : failure.leftInTrash) {
            text += "\n";
            text += p;
        }
    }
    return text;
}

DelResult DelFile(ResultList& list, platform::Trash& trash, const std::function<bool()>& confirm)
{
    DelResult result;
    if (list.count() == 0) {
        result.outcome = DelOutcome::EmptyList;
        return result;
    }
    bool anyMarked = false;
    for (const ResultRow& r : list.rows()) {
        if (r.checked) {
            anyMarked = true;
            break;
        }
    }
    if (!anyMarked) {
        result.outcome = DelOutcome::NoMarks;
        result.message = std::string(kMsgMarkFirst);
        return result;
    }
    if (!confirm || !confirm()) {
        result.outcome = DelOutcome::Declined;
        return result;
    }

    // The request: the marked rows' paths in row order, taken after the
    // answer so that it matches the rows as they are now.
    std::vector<std::int64_t> marked;
    for (std::int64_t i = 0; i < list.count(); ++i) {
        if (list.row(i).checked) {
            marked.push_back(i);
            result.paths.push_back(list.row(i).path());
        }
    }
    if (marked.empty()) {
        result.outcome = DelOutcome::NoMarks;
        result.message = std::string(kMsgMarkFirst);
        return result;
    }

    result.trash = trash.moveToTrash(result.paths);
    if (!result.trash.ok) {
        result.outcome = DelOutcome::Failed;
        result.message = DeletionFailedText(result.trash);
        return result;
    }
    for (auto it = marked.rbegin(); it != marked.rend(); ++it) {
        list.remove(*it);
    }
    result.removedRows = static_cast<std::int64_t>(marked.size());
    result.outcome = DelOutcome::Deleted;
    return result;
}

RenResult RenFile(ResultList& list, const std::function<std::string(const RenamePrompt&)>& inputBox)
{
    RenResult result;
    const std::int64_t sel = list.selectedRow();
    if (sel < 0) {
        result.outcome = RenOutcome::NoSelection;
        result.message = std::string(kMsgSelectFile);
        result.title = std::string(kTitleSelectFile);
        return result;
    }
    const ResultRow& row = list.row(sel);
    result.oldPath = row.path();
    const std::string oldName = row.name;

    RenamePrompt prompt;
    prompt.prompt = std::string(kMsgRenamePrompt) + "\n" + result.oldPath;
    prompt.title = std::string(kTitleRename);
    prompt.proposed = GetFileNamePart(result.oldPath);
    prompt.oldPath = result.oldPath;
    const std::string typed = inputBox ? inputBox(prompt) : std::string();
    if (typed.empty()) {
        result.outcome = RenOutcome::Cancelled;
        return result;
    }

    auto fail = [&result] {
        result.outcome = RenOutcome::Failed;
        result.message = std::string(kMsgCantRename);
        result.title = std::string(kTitleCantRename);
        return result;
    };
    // The box is modal, yet the row must still be the one it asked about.
    if (sel >= list.count() || list.row(sel).path() != result.oldPath) {
        return fail();
    }

    result.newPath = GetFolderPart(result.oldPath) + typed;
    if (!platform::renameNoReplace(result.oldPath, result.newPath, &result.error)) {
        return fail();
    }
    // The row keeps its folder, so its name takes the part of the old name
    // before its last "/" (a file renamed into a sub-folder before) ahead of
    // the typed text: the row still names the file it stands for.
    list.setName(sel, GetFolderPart(oldName) + typed);
    result.outcome = RenOutcome::Renamed;
    return result;
}

}  // namespace kormial
