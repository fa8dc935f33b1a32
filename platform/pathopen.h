// Opening by path, also where the path is longer than the kernel takes in
// one piece (PATH_MAX).
#pragma once

#include <string>
#include <string_view>

namespace kormial::platform {

// Opens `path` with open(2) `flags` (no O_CREAT or O_TMPFILE: there is no
// mode) and returns the descriptor, or -1 with errno set.
//
// A path shorter than PATH_MAX costs exactly one open(2), resolved as the
// kernel resolves any path. A longer one is opened in pieces: its longest
// leading part that ends in "/" and is shorter than PATH_MAX is resolved in
// one open as above; each further folder is then opened on its own with
// openat(2) and O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC, so a link
// met there (where the folder walk saw a folder) is refused, with ENOTDIR;
// the last name, with the slashes that follow it, is opened with `flags`,
// exactly as the last name of a short path would be. Only the returned
// descriptor stays open.
int openPath(const std::string& path, int flags);

// `path` read by its letters as a path from "/", with "." and empty parts
// dropped and ".." taking the part before it away: "/a/b/../c/" -> "/a/c",
// "" -> "/". What the path names when no symbolic link lies on its way.
std::string lexicallyNormal(const std::string& path);

// True for a name that stays in its folder: not empty, not "." or "..",
// without "/" or NUL.
inline bool isPlainName(std::string_view name)
{
    return !name.empty() && name != "." && name != ".." &&
           name.find_first_of(std::string_view("/\0", 2)) == std::string_view::npos;
}

}  // namespace kormial::platform
