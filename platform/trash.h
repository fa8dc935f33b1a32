// Moving files without ever replacing another one: into the desktop trash
// (the freedesktop.org trash: a home trash under the user's data folder, and
// a ".Trash-UID" folder at the top of every other file system), and by name.
// Paths are byte strings; any byte but "/" and NUL may appear in a name.
#pragma once

#include "platform/fs.h"

#include <string>
#include <vector>

namespace kormial::platform {

// The outcome of one trash request.
struct TrashResult {
    bool ok = false;
    Error error;               // errno of the failure (0 when ok)
    std::string path;          // the file the failure concerns (may be empty)
    // Files that were moved to the trash before the failure and could not be
    // put back where they were; empty when the request left every file in
    // place. Always empty when ok.
    std::vector<std::string> leftInTrash;
};

// Where deleted files go. The window holds one; tests put in one that fails.
class Trash {
public:
    virtual ~Trash() = default;

    // Moves every file of `paths` to the trash, as one request: either all of
    // them end up in the trash, or the result is a failure, and then as far
    // as possible none of them has moved (see `leftInTrash`).
    virtual TrashResult moveToTrash(const std::vector<std::string>& paths) = 0;
};

// The desktop trash of the user running the program.
//
// Every file is checked before the first one moves: it must exist, must not
// be a folder, its folder must allow removing it, and the trash of its file
// system must exist or be made (the home trash for files on the file system
// of the user's data folder, else the file system's own trash at its top;
// files are never copied across file systems). Then the files move one by
// one, each by a rename that never replaces an entry of the trash, after its
// ".trashinfo" record (original path, percent-encoded, and the deletion
// date). If a move still fails, the files already moved are put back.
//
// The user's data folder is $XDG_DATA_HOME when that is an absolute path,
// else $HOME/.local/share; it is created when missing. A request fails when
// neither gives an absolute path.
class DesktopTrash final : public Trash {
public:
    TrashResult moveToTrash(const std::vector<std::string>& paths) override;
};

// The folder that holds the home trash ("<data folder>/Trash"), or the
// empty text when there is no absolute data folder. Nothing is created.
std::string homeTrashFolder();

// Renames `from` to `to` only when `to` does not exist; an existing file,
// folder or link at `to` makes it fail with EEXIST, with no window between a
// check and the rename. Where the file system cannot rename that way, the
// file gets its new name as a hard link first and loses the old one after.
bool renameNoReplace(const std::string& from, const std::string& to, Error* err = nullptr);

// The second way of renameNoReplace on its own: link `to`, then unlink
// `from` (undoing the link when that fails).
bool renameNoReplaceByLink(const std::string& from, const std::string& to, Error* err = nullptr);

}  // namespace kormial::platform
