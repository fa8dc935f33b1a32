// Shared by the platform's own files: the state of a file as stat(2) tells
// it, and the test of a recorded state against it.
#pragma once

#include "platform/fs.h"

#include <sys/stat.h>

namespace kormial::platform {

// Device, inode, length, last-write and change times of `st`.
FileState stateOfStat(const struct stat& st);

// True when `st` is a regular file in the state recorded in `expected`:
// same device, inode, length and last-write time, and, `withChangeTime`
// and the change time known (not 0), the same change time. Otherwise false
// with kChangedDuringSearch.
bool statMatches(const struct stat& st, const FileState& expected, bool withChangeTime, Error* err);

}  // namespace kormial::platform
