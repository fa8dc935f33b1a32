// Moving files into the desktop trash (the freedesktop.org trash: a home
// trash under the user's data folder, and a trash at the top of every other
// file system) without ever replacing another entry, and without a path
// being looked up again between the checks and the move; putting a file
// back; and telling the trash folders apart from the others.
// Paths are byte strings; any byte but "/" and NUL may appear in a name.
#pragma once

#include "platform/anchored.h"

#include <string>

namespace kormial::platform {

// Where a file moved to the trash lies: enough to put it back.
struct TrashedEntry {
    UniqueFd files;    // the "files" folder of the trash it went to
    UniqueFd info;     // the "info" folder beside it
    std::string name;  // its name in "files"; its record is this + ".trashinfo" in "info"
};

// Where deleted files go. The window holds one; tests put in one that fails.
class Trash {
public:
    virtual ~Trash() = default;

    // Moves entry `name` of the open folder `folder` to the trash; it must
    // be the file `state` records (device, inode, length, last-write time,
    // and the change time when known) up to the move, and still that file
    // (device, inode, length, last-write time) once moved. `moved` tells
    // where it went. On failure the file is where it was and no record is
    // left behind.
    virtual bool moveToTrash(const AnchoredFolder& folder, const std::string& name, const FileState& state,
                             TrashedEntry& moved, Error* err) = 0;

    // Every check that moveToTrash makes, its trash folder opened and looked
    // at (would it take the file and its record?), nothing written: false
    // with the error the move would most likely meet.
    virtual bool canMoveToTrash(const AnchoredFolder& folder, const std::string& name, const FileState& state,
                                Error* err) = 0;

    // Puts a file moved by moveToTrash back as entry `name` of `folder`
    // (never replacing an entry there) and removes its record.
    virtual bool putBack(TrashedEntry& moved, const AnchoredFolder& folder, const std::string& name, Error* err);
};

// The desktop trash of the user running the program.
//
// A file on the file system of the user's data folder goes to the home
// trash, "<data folder>/Trash" (the data folder is $XDG_DATA_HOME when that
// is an absolute path, else $HOME/.local/share; made when missing). A file
// elsewhere goes to the trash at the top of its own file system (files are
// never copied across file systems): "<top>/.Trash/<uid>" when ".Trash" is a
// real folder (not a link) with the sticky bit and "<uid>" in it is a real
// folder of the user's with mode 0700, else "<top>/.Trash-<uid>", made with
// mode 0700, which must be a real folder of the user's; otherwise the move is
// refused. Every folder of the trash is opened without following a link.
//
// The ".trashinfo" record (original path, percent-encoded, and the deletion
// date) is made first, exclusively, in the info folder; the file then moves
// by a rename that never replaces an entry, between the open folders; a file
// that turns out, once moved, not to be the one recorded is put back.
class DesktopTrash : public Trash {
public:
    bool moveToTrash(const AnchoredFolder& folder, const std::string& name, const FileState& state,
                     TrashedEntry& moved, Error* err) override;
    bool canMoveToTrash(const AnchoredFolder& folder, const std::string& name, const FileState& state,
                        Error* err) override;

protected:
    // Called between the last look at the file and the rename that moves
    // it. Nothing happens here; a test puts another file in its place, as
    // someone could at that moment, to see that it is put back.
    virtual void beforeRename(const AnchoredFolder& /*folder*/, const std::string& /*name*/) {}
};

// The trash folders of the desktop, told by a folder's path: the home trash
// (by its path without links), and every folder named ".Trash-<number>", or
// named by a number inside a ".Trash" folder, wherever it lies. A file in
// one of them, or below, is never a kept copy: the next "Empty trash" takes
// it.
class TrashFolders {
public:
    TrashFolders();
    // True when `folder` (from "/") is a trash folder or lies inside one.
    bool holds(const std::string& folder) const;

private:
    std::string home_;  // the home trash, ending in "/"; empty when there is none
};

// The folder that holds the home trash ("<data folder>/Trash"), or the
// empty text when there is no absolute data folder. Nothing is created.
std::string homeTrashFolder();

}  // namespace kormial::platform
