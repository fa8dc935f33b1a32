#include "platform/anchored.h"

#include "platform/pathopen.h"
#include "platform/statstate.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>
#include <vector>

namespace kormial::platform {

UniqueFd::~UniqueFd()
{
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept
{
    if (this != &other) {
        if (fd_ >= 0) {
            ::close(fd_);
        }
        fd_ = other.release();
    }
    return *this;
}

namespace {

constexpr int kFolderFlags = O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

bool fail(Error* err, int code)
{
    setError(err, code);
    return false;
}

std::int64_t nanoseconds(const struct timespec& t)
{
    return static_cast<std::int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec;
}

}  // namespace

FileState stateOfStat(const struct stat& st)
{
    return {{st.st_dev, st.st_ino}, static_cast<std::int64_t>(st.st_size), nanoseconds(st.st_mtim),
            nanoseconds(st.st_ctim)};
}

bool statMatches(const struct stat& st, const FileState& expected, bool withChangeTime, Error* err)
{
    const FileState now = stateOfStat(st);
    const bool changeTimeAgrees = !withChangeTime || expected.ctimeNs == 0 || now.ctimeNs == expected.ctimeNs;
    if (!S_ISREG(st.st_mode) || now.id != expected.id || now.size != expected.size ||
        now.mtimeNs != expected.mtimeNs || !changeTimeAgrees) {
        return fail(err, kChangedDuringSearch);
    }
    return true;
}

namespace {

bool matches(const struct stat& st, const FileState& expected, Error* err)
{
    return statMatches(st, expected, true, err);
}

// `path` from "/": as it is when it begins there, else after the working
// folder. Nothing when the working folder cannot be told.
std::optional<std::string> fromRoot(const std::string& path)
{
    if (!path.empty() && path.front() == '/') {
        return path;
    }
    char* here = ::getcwd(nullptr, 0);
    if (here == nullptr) {
        return std::nullopt;
    }
    std::string absolute = std::string(here) + "/" + path;
    std::free(here);
    return absolute;
}

}  // namespace

std::string folderWithoutLinks(const std::string& folder)
{
    char* resolved = ::realpath(folder.c_str(), nullptr);
    if (resolved == nullptr) {
        return folder;
    }
    const std::string real(resolved);
    std::free(resolved);
    const std::optional<std::string> absolute = fromRoot(folder);
    if (!absolute || lexicallyNormal(*absolute) == real) {
        return folder;
    }
    return real == "/" ? real : real + "/";
}

bool openAnchored(const std::string& given, const FileId& expected, AnchoredFolder& out, Error* err)
{
    if (given.empty()) {
        return fail(err, EINVAL);
    }
    const std::optional<std::string> absolute = fromRoot(given);
    if (!absolute) {
        return fail(err, errno);
    }
    const std::string& path = *absolute;
    if (path.find('\0') != std::string::npos) {
        return fail(err, EINVAL);
    }
    UniqueFd cur(::open("/", kFolderFlags));
    struct stat st {};
    if (!cur || ::fstat(cur.get(), &st) != 0) {
        return fail(err, errno);
    }
    out.top = UniqueFd(::dup(cur.get()));
    std::string walked(1, '/');
    out.topPath = walked;
    std::size_t pos = 1;
    while (pos < path.size()) {
        std::size_t end = path.find('/', pos);
        if (end == std::string::npos) {
            end = path.size();
        }
        const std::string part = path.substr(pos, end - pos);
        pos = end + 1;
        if (part.empty()) {
            continue;
        }
        const dev_t parentDev = st.st_dev;
        UniqueFd next(::openat(cur.get(), part.c_str(), kFolderFlags));
        if (!next || ::fstat(next.get(), &st) != 0) {
            return fail(err, errno);
        }
        walked += part;
        walked += '/';
        if (st.st_dev != parentDev) {
            // a mount point: the top of the file system below it
            out.top = UniqueFd(::dup(next.get()));
            out.topPath = walked;
        }
        cur = std::move(next);
    }
    if (!out.top) {
        return fail(err, errno);
    }
    if (expected.ino != 0 && (st.st_dev != expected.dev || st.st_ino != expected.ino)) {
        return fail(err, kFolderReplaced);
    }
    out.fd = std::move(cur);
    out.id = {st.st_dev, st.st_ino};
    out.path = walked;
    return true;
}

bool statAt(int folderFd, const std::string& name, FileState& out, Error* err)
{
    struct stat st {};
    if (::fstatat(folderFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        return fail(err, errno);
    }
    if (!S_ISREG(st.st_mode)) {
        return fail(err, EINVAL);
    }
    out = stateOfStat(st);
    return true;
}

bool sameFileAt(int folderFd, const std::string& name, const FileState& expected, Error* err)
{
    struct stat st {};
    if (::fstatat(folderFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        return fail(err, errno);
    }
    return matches(st, expected, err);
}

UniqueFd openCheckedAt(int folderFd, const std::string& name, const FileState& expected, Error* err)
{
    UniqueFd fd(::openat(folderFd, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    struct stat st {};
    if (!fd || ::fstat(fd.get(), &st) != 0) {
        setError(err, errno == ELOOP ? kChangedDuringSearch : errno);
        return {};
    }
    if (!matches(st, expected, err)) {
        return {};
    }
    return fd;
}

namespace {

// True when `fdB` holds the bytes of `fdA` from the start, and, `whole`,
// nothing more.
bool holdsBytesOf(int fdA, int fdB, bool whole, Error* err)
{
    constexpr std::size_t kBlock = 1 << 16;
    static thread_local char a[kBlock];
    static thread_local char b[kBlock];
    for (off_t pos = 0;;) {
        const ssize_t na = ::pread(fdA, a, kBlock, pos);
        const ssize_t nb = na < 0 ? 0 : ::pread(fdB, b, static_cast<std::size_t>(na), pos);
        if (na < 0 || nb < 0) {
            return fail(err, errno);
        }
        if (nb != na || std::memcmp(a, b, static_cast<std::size_t>(na)) != 0) {
            return fail(err, kChangedDuringSearch);
        }
        if (na == 0) {
            // both ended here: the other must hold nothing more
            return !whole || ::pread(fdB, b, 1, pos) == 0 || fail(err, kChangedDuringSearch);
        }
        pos += na;
    }
}

}  // namespace

bool sameBytes(int fdA, int fdB, Error* err)
{
    return holdsBytesOf(fdA, fdB, true, err);
}

bool beginsWithBytesOf(int fdLonger, int fdFile, Error* err)
{
    return holdsBytesOf(fdFile, fdLonger, false, err);
}

bool onOverlay(int folderFd)
{
    constexpr long kOverlayMagic = 0x794c7630;
    struct statfs fs {};
    return ::fstatfs(folderFd, &fs) == 0 && static_cast<long>(fs.f_type) == kOverlayMagic;
}

bool mayTakeOut(const AnchoredFolder& folder, std::initializer_list<uid_t> owners, Error* err)
{
    struct stat at {};
    if (::faccessat(folder.fd.get(), ".", W_OK | X_OK, AT_EACCESS) != 0 || ::fstat(folder.fd.get(), &at) != 0) {
        return fail(err, errno);
    }
    const uid_t me = ::geteuid();
    for (const uid_t owner : owners) {
        if ((at.st_mode & S_ISVTX) != 0 && me != 0 && at.st_uid != me && owner != me) {
            return fail(err, EPERM);
        }
    }
    return true;
}

bool renameNoReplaceAt(int fromFd, const std::string& from, int toFd, const std::string& to, Error* err)
{
    if (::renameat2(fromFd, from.c_str(), toFd, to.c_str(), RENAME_NOREPLACE) == 0) {
        return true;
    }
    const int e = errno;
    if (e != EINVAL && e != ENOSYS && e != EOPNOTSUPP) {
        return fail(err, e);
    }
    if (::linkat(fromFd, from.c_str(), toFd, to.c_str(), 0) != 0) {
        return fail(err, errno);
    }
    if (::unlinkat(fromFd, from.c_str(), 0) != 0) {
        const int u = errno;
        ::unlinkat(toFd, to.c_str(), 0);
        return fail(err, u);
    }
    return true;
}

}  // namespace kormial::platform
