// The File menu's work on the current result list, without any window: the
// window asks its questions through the callbacks given here and shows the
// message that the result names. Paths are byte strings (a row's path is its
// folder followed by its name).
#pragma once

#include "platform/fs.h"
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
inline constexpr std::string_view kMsgNotDeleted = "These files were not moved to the trash:";
inline constexpr std::string_view kMsgRenamePrompt = "Please type a new file name for ";
inline constexpr std::string_view kTitleRename = "Rename";
inline constexpr std::string_view kMsgCantRename = "File can't be renamed.";
inline constexpr std::string_view kTitleCantRename = "Can't rename";

// Which entries of the File menu are enabled for the list of tab `curTab`.
struct FileMenuState {
    bool open = false;
    bool del = false;
    bool ren = false;
    bool link = false;  // replace by links, share blocks: Duplicates only
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

// ---- Marked files ----------------------------------------------------------

// How many files are marked on `list`, and their bytes.
struct MarkedTotal {
    std::int64_t files = 0;
    std::int64_t bytes = 0;
};
MarkedTotal CountMarked(const ResultList& list);

// Why a file that failed a check of its identity with `e` stays ("it
// changed since the search", ...); empty for any other failure.
std::string CheckFailureText(const platform::Error& e);

// Removes the rows of the files at `paths` from every list of `lists`.
void ForgetFiles(ResultList* lists, const std::vector<std::string>& paths, int listCount = kResultListCount);

// ---- Renaming the selected file ----------------------------------------

inline constexpr std::string_view kMsgBadName =
    "A new name must not be empty, \".\" or \"..\", and must not contain \"/\".";

// What the input box shows.
struct RenamePrompt {
    std::string prompt;    // kMsgRenamePrompt, a line break, the old path
    std::string title;     // kTitleRename
    std::string proposed;  // the file name part of the old path
    std::string oldPath;
};

enum class RenOutcome {
    NoSelection,  // show kMsgSelectFile titled kTitleSelectFile
    Cancelled,    // the box returned the empty text or the name unchanged: nothing to show
    Renamed,      // the file has its new name and its rows show it
    Failed,       // show `message` titled kTitleCantRename; rows unchanged
};

struct RenResult {
    RenOutcome outcome = RenOutcome::NoSelection;
    std::string message;  // the box to show afterwards, or empty
    std::string title;
    std::string oldPath;
    std::string newPath;
    platform::Error error;  // why the rename failed
};

// Renames the selected row's file of lists[tab] to the text that `inputBox`
// returns (bytes, unchanged: not trimmed), in its own folder: a name that is
// ".", ".." or holds "/" or NUL is refused (kMsgCantRename, kMsgBadName);
// a rename the system refuses names its reason ("File name too long", "A
// file with that name exists").
// The folder is reached as a review reaches it, the file must still be
// the one listed, and an existing entry is never replaced. Every row of the
// file, on every list, takes the new name.
RenResult RenFile(ResultList* lists, int tab,
                  const std::function<std::string(const RenamePrompt&)>& inputBox);

}  // namespace kormial
