// Moving files into the desktop trash (the freedesktop.org trash: a home
// trash under the user's data folder, and a trash at the top of every other
// file system) without ever replacing another entry, and without a path
// being looked up again between the checks and the move.
// Paths are byte strings; any byte but "/" and NUL may appear in a name.
#pragma once

#include "platform/anchored.h"

#include <string>

namespace kormial::platform {

// Where deleted files go. The window holds one; tests put in one that fails.
class Trash {
public:
    virtual ~Trash() = default;

    // Moves entry `name` of the open folder `folder`, which must be the file
    // `id`, to the trash. On failure the file is where it was and no record
    // is left behind.
    virtual bool moveToTrash(const AnchoredFolder& folder, const std::string& name, const FileId& id,
                             Error* err) = 0;
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
// that turns out not to be `id` is put back.
class DesktopTrash final : public Trash {
public:
    bool moveToTrash(const AnchoredFolder& folder, const std::string& name, const FileId& id,
                     Error* err) override;
};

// The folder that holds the home trash ("<data folder>/Trash"), or the
// empty text when there is no absolute data folder. Nothing is created.
std::string homeTrashFolder();

}  // namespace kormial::platform
