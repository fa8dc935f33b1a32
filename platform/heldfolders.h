// The folders of a search's files held open while the files are compared,
// so that each file is opened relative to its folder rather than by its
// whole path. Each folder is opened from the one above it (held as well),
// from "/" down, never through a symbolic link.
#pragma once

#include "platform/fs.h"

#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <unordered_map>

namespace kormial::platform {

class HeldFolders {
public:
    // At most `most` folders are held open, "/" among them; 0: half the
    // descriptors the process may have open, less a share for the files
    // the comparisons open beside them. "/" is opened here, as the
    // calling thread sees it, and every folder is reached from it.
    explicit HeldFolders(std::size_t most = 0);

    // The folder at `path` (ending in "/"; relative to the working folder
    // unless it starts with "/"), opened now if need be; it stays open
    // while this lives. nullptr when no more folders may be held (its files
    // are then opened by their paths), or, with `err` set, when it cannot
    // be reached so: gone, or a link (kChangedDuringSearch) on the way.
    // Safe from several threads at once. `key` stands for `path` in later
    // calls (the caller's own record of the folder, alive while this is).
    const Folder* at(const void* key, const std::string& path, Error* err);

private:
    struct Reached {
        const Folder* folder = nullptr;
        int error = 0;  // when not reached
    };
    Reached lookUp(const std::string& path);
    Reached reach(const std::string& path);

    const std::uint64_t serial_;  // tells this apart from the ones before, in each thread's memo
    std::mutex lock_;
    std::string workingFolder_;  // ending in "/", or empty when unknown
    std::size_t most_;
    std::deque<Folder> folders_;
    std::unordered_map<std::string, Reached> byPath_;
};

}  // namespace kormial::platform
