// The File menu's work on the current result list, without any window: the
// window asks its questions through the callbacks given here and shows the
// message that the result names. Paths are byte strings (a row's path is its
// folder followed by its name).
#pragma once

#include "platform/trash.h"
#include "results/resultlist.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kormial {

// Texts of the boxes. Boxes without a title of their own carry kAppTitle.
inline constexpr std::string_view kAppTitle = "Kormial";
inline constexpr std::string_view kMsgSelectFile = "Please select a file.";
inline constexpr std::string_view kTitleSelectFile = "Select file";
inline constexpr std::string_view kMsgMarkFirst = "Please mark files before deletion.";
inline constexpr std::string_view kMsgConfirmDelete = "Confirm to delete selected files?";
inline constexpr std::string_view kMsgDeletionFailed = "Deletion failed. Error Code: ";
inline constexpr std::string_view kMsgRenamePrompt = "Please type a new file name for ";
inline constexpr std::string_view kTitleRename = "Rename";
inline constexpr std::string_view kMsgCantRename = "File can't be renamed.";
inline constexpr std::string_view kTitleCantRename = "Can't rename";

// Which entries of the File menu are enabled for the list of tab `curTab`.
struct FileMenuState {
    bool open = false;
    bool del = false;
    bool ren = false;
    bool markAll = false;
    bool markOld = false;
    bool markNewer = false;
    bool markSmaller = false;
    bool markLarger = false;
    bool clearMarks = false;
};
FileMenuState FileMenuEnabling(const ResultList& list, int curTab);

// The full path of the selected row, or nothing when no row is selected
// (then the window shows kMsgSelectFile titled kTitleSelectFile).
std::optional<std::string> SelectedPath(const ResultList& list);

// The full paths of the marked rows, in row order.
std::vector<std::string> MarkedPaths(const ResultList& list);

// ---- Deleting the marked files ------------------------------------------

enum class DelOutcome {
    EmptyList,  // the list has no rows: nothing to show
    NoMarks,    // no row is marked: show `message` (kMsgMarkFirst)
    Declined,   // the user answered No: nothing to show
    Deleted,    // every marked file is in the trash and its row is gone
    Failed,     // show `message`; every row stays
};

struct DelResult {
    DelOutcome outcome = DelOutcome::EmptyList;
    // The text of the box to show afterwards (title kAppTitle), or empty.
    std::string message;
    // The marked paths handed to the trash, in row order.
    std::vector<std::string> paths;
    std::int64_t removedRows = 0;
    platform::TrashResult trash;  // what the trash said
};

// Deletes the marked files of `list` into `trash` after `confirm` (asked
// only when there are marked rows; true for Yes) and, when the trash took
// them all, removes exactly the marked rows. Rows and files that are not
// marked are never touched.
DelResult DelFile(ResultList& list, platform::Trash& trash, const std::function<bool()>& confirm);

// "Deletion failed. Error Code: <errno>\n\n<description>" for a failed
// request, naming the file and any file left in the trash.
std::string DeletionFailedText(const platform::TrashResult& failure);

// ---- Renaming the selected file ----------------------------------------

// What the input box shows.
struct RenamePrompt {
    std::string prompt;    // kMsgRenamePrompt, a line break, the old path
    std::string title;     // kTitleRename
    std::string proposed;  // the file name part of the old path
    std::string oldPath;
};

enum class RenOutcome {
    NoSelection,  // show kMsgSelectFile titled kTitleSelectFile
    Cancelled,    // the box returned the empty text: nothing to show
    Renamed,      // the file has its new name and the row shows it
    Failed,       // show kMsgCantRename titled kTitleCantRename; row unchanged
};

struct RenResult {
    RenOutcome outcome = RenOutcome::NoSelection;
    std::string message;  // the box to show afterwards, or empty
    std::string title;
    std::string oldPath;
    std::string newPath;
    platform::Error error;  // why the rename failed
};

// Renames the selected row's file to its folder followed by the text that
// `inputBox` returns (bytes, unchanged: not trimmed; a "/" names a sub-folder,
// which must exist). An existing file is never replaced. On success the
// row's name becomes the typed text (after the sub-folder part of its old
// name, when an earlier rename moved the file into a sub-folder), so that
// the row's path is always the file's new path.
RenResult RenFile(ResultList& list,
                  const std::function<std::string(const RenamePrompt&)>& inputBox);

}  // namespace kormial
