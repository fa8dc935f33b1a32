#include "platform/pathopen.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <string_view>
#include <unistd.h>
#include <vector>

namespace kormial::platform {

namespace {

void closeKeepingErrno(int fd)
{
    if (fd >= 0 && fd != AT_FDCWD) {
        const int saved = errno;
        ::close(fd);
        errno = saved;
    }
}

}  // namespace

int openPath(const std::string& path, int flags)
{
    if (path.size() < PATH_MAX) {
        return ::open(path.c_str(), flags);
    }
    // the longest leading part that ends in "/" and that the kernel takes
    int folder = AT_FDCWD;
    std::size_t at = 0;
    const std::size_t cut = path.rfind('/', PATH_MAX - 2);
    if (cut != std::string::npos) {
        folder = ::open(path.substr(0, cut + 1).c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        if (folder < 0) {
            return -1;
        }
        at = cut + 1;
    }
    // then one folder at a time, never through a link
    for (;;) {
        while (at < path.size() && path[at] == '/') {
            ++at;
        }
        const std::size_t end = path.find('/', at);
        const std::size_t next = end == std::string::npos ? path.size() : path.find_first_not_of('/', end);
        if (next == std::string::npos || next == path.size()) {
            // the last name (nothing but slashes after it), or none at all
            const std::string last = at < path.size() ? path.substr(at) : std::string(".");
            const int fd = ::openat(folder, last.c_str(), flags);
            closeKeepingErrno(folder);
            return fd;
        }
        const int inner = ::openat(folder, path.substr(at, end - at).c_str(),
                                   O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        closeKeepingErrno(folder);
        if (inner < 0) {
            return -1;
        }
        folder = inner;
        at = next;
    }
}

std::string lexicallyNormal(const std::string& path)
{
    std::vector<std::string_view> parts;
    for (std::size_t at = 0; at < path.size();) {
        const std::size_t end = std::min(path.find('/', at), path.size());
        const std::string_view part(path.data() + at, end - at);
        if (part == "..") {
            if (!parts.empty()) {
                parts.pop_back();
            }
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        at = end + 1;
    }
    std::string out;
    for (const std::string_view part : parts) {
        out += '/';
        out += part;
    }
    return out.empty() ? "/" : out;
}

}  // namespace kormial::platform
