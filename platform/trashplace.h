// Between the trash's own files: finding the trash folder that a file goes
// to, made when missing for a move, or only looked at for a dry run.
#pragma once

#include "platform/anchored.h"

#include <string>

namespace kormial::platform {

// The user's home folder ($HOME, else the password database's), without a
// trailing "/"; empty when it is not an absolute path.
std::string homeFolder();

// The user's data folder: $XDG_DATA_HOME when absolute, else
// $HOME/.local/share; empty when neither can be told.
std::string dataHome();

// One trash folder, open: its "files" and "info" folders. Looked at only,
// a folder that is missing but could be made stays closed.
struct TrashPlace {
    UniqueFd files;
    UniqueFd info;
    std::string top;  // top folder of the file system, ending in "/"; empty for the home trash
};

// The trash that a file of `folder` on device `dev` goes to: the home trash
// when the user's data folder is on that device, else the trash at the top
// of its file system. With `make` its missing folders are made; without,
// nothing is written, and the folders that exist are checked as the move
// would use them (writable, room for a record) and the first missing one
// must be one the user may make.
bool openTrashPlace(const AnchoredFolder& folder, dev_t dev, bool make, TrashPlace& place, Error* err);

}  // namespace kormial::platform
