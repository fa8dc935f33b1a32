#include "platform/trashplace.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace kormial::platform {

namespace {

constexpr int kTrashFolderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

bool isAbsolute(const std::string& p)
{
    return !p.empty() && p.front() == '/';
}

std::string withoutTrailingSlashes(std::string p)
{
    while (p.size() > 1 && p.back() == '/') {
        p.pop_back();
    }
    return p;
}

std::string parentOf(const std::string& path)
{
    const auto slash = path.rfind('/');
    return slash == 0 || slash == std::string::npos ? std::string("/") : path.substr(0, slash);
}

bool fail(Error* err, int code)
{
    setError(err, code);
    return false;
}

// The user may make entries in the open folder `fd`.
bool writable(int fd, Error* err)
{
    return ::faccessat(fd, ".", W_OK | X_OK, AT_EACCESS) == 0 || fail(err, errno);
}

// There is room for a record (an inode and a block) beside `fd`, as far as
// the file system tells.
bool roomFor(int fd, Error* err)
{
    struct statvfs vfs {};
    if (::fstatvfs(fd, &vfs) != 0) {
        return true;  // nothing told: the move finds out
    }
    const bool noInode = vfs.f_files > 0 && vfs.f_favail == 0;
    const bool noBlock = vfs.f_blocks > 0 && vfs.f_bavail == 0;
    return !(noInode || noBlock) || fail(err, ENOSPC);
}

// Folder `name` of the open folder `parent`, never a link; with `mustOwn`
// it must belong to the user. Missing, it is made (mode 0700) with `make`;
// without, `parent` must let the user make it, and `out` stays closed. A
// `parent` that is closed (missing itself, checked already) lets it be made.
bool openFolder(int parent, const std::string& name, bool mustOwn, bool make, UniqueFd& out, Error* err)
{
    if (parent < 0) {
        return true;
    }
    if (make && ::mkdirat(parent, name.c_str(), 0700) != 0 && errno != EEXIST) {
        return fail(err, errno);
    }
    struct stat st {};
    if (!make && ::fstatat(parent, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        return errno == ENOENT ? writable(parent, err) : fail(err, errno);
    }
    out = UniqueFd(::openat(parent, name.c_str(), kTrashFolderFlags));
    if (!out || ::fstat(out.get(), &st) != 0) {
        const int e = errno;
        // a link in the way is told as one
        const bool link = ::fstatat(parent, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode);
        out = UniqueFd();
        return fail(err, link ? ELOOP : e);
    }
    if (mustOwn && st.st_uid != ::geteuid()) {
        out = UniqueFd();
        return fail(err, EPERM);
    }
    return true;
}

// "files" and "info" of the trash folder `trashFd`; looked at only, each
// that exists must take new entries and the file system must have room.
bool finishPlace(int trashFd, TrashPlace& place, dev_t dev, bool make, Error* err)
{
    if (!openFolder(trashFd, "files", false, make, place.files, err) ||
        !openFolder(trashFd, "info", false, make, place.info, err)) {
        return false;
    }
    struct stat st {};
    if (place.files && ::fstat(place.files.get(), &st) == 0 && st.st_dev != dev) {
        return fail(err, EXDEV);  // never copied across file systems
    }
    if (!make) {
        for (const UniqueFd* fd : {&place.files, &place.info}) {
            if (*fd && !(writable(fd->get(), err) && roomFor(fd->get(), err))) {
                return false;
            }
        }
        if (trashFd >= 0 && !roomFor(trashFd, err)) {
            return false;
        }
    }
    return true;
}

// `path` and every missing folder above it (mode 0700), made; or, looked at
// only, its nearest existing folder must let the user make the rest. The
// folder itself, open, when it exists (or was made).
UniqueFd openDataFolder(const std::string& path, bool make, Error* err)
{
    std::string existing = path;
    struct stat st {};
    while (::stat(existing.c_str(), &st) != 0 && existing != "/") {
        existing = parentOf(existing);
    }
    if (!S_ISDIR(st.st_mode)) {
        fail(err, ENOTDIR);
        return {};
    }
    if (existing != path) {
        if (!make) {
            const UniqueFd at(::open(existing.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
            if (!at) {
                fail(err, errno);
            } else {
                writable(at.get(), err);
            }
            return {};
        }
        for (std::size_t pos = existing.size() + 1; pos <= path.size(); ++pos) {
            if ((pos == path.size() || path[pos] == '/') && ::mkdir(path.substr(0, pos).c_str(), 0700) != 0 &&
                errno != EEXIST) {
                fail(err, errno);
                return {};
            }
        }
    }
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!fd) {
        fail(err, errno);
    }
    return fd;
}

// The home trash, "<data folder>/Trash".
bool openHomeTrash(TrashPlace& place, dev_t dev, bool make, Error* err)
{
    const std::string data = dataHome();
    if (data.empty()) {
        return fail(err, ENOENT);
    }
    // The data folder itself comes first: the trash must never be looked
    // for relative to the working folder.
    Error e;
    const UniqueFd dataFd = openDataFolder(data, make, &e);
    if (e.code != 0) {
        return fail(err, e.code);
    }
    UniqueFd trash;
    return openFolder(dataFd.get(), "Trash", false, make, trash, err) &&
           finishPlace(trash.get(), place, dev, make, err);
}

// The device the home trash is (or would be, once made) on: that of its
// nearest existing folder.
bool homeTrashDevice(dev_t& dev)
{
    const std::string data = dataHome();
    if (data.empty()) {
        return false;
    }
    for (std::string p = data + "/Trash/files";; p = parentOf(p)) {
        struct stat st {};
        if (::stat(p.c_str(), &st) == 0) {
            dev = st.st_dev;
            return true;
        }
        if (p == "/") {
            return false;
        }
    }
}

// The trash at the top of the folder's file system: the user's own folder
// (mode 0700) in an administrator's sticky ".Trash" when there is one, else
// the user's own ".Trash-UID", made when missing.
bool openTopTrash(const AnchoredFolder& folder, TrashPlace& place, dev_t dev, bool make, Error* err)
{
    const std::string uid = std::to_string(::geteuid());
    place.top = folder.topPath;
    const UniqueFd shared(::openat(folder.top.get(), ".Trash", kTrashFolderFlags));
    struct stat st {};
    if (shared && ::fstat(shared.get(), &st) == 0 && (st.st_mode & S_ISVTX) != 0) {
        Error ignored;
        UniqueFd mine;
        const bool usable = openFolder(shared.get(), uid, true, make, mine, &ignored);
        if (usable && !mine) {
            return true;  // looked at only: the move would make it
        }
        if (usable && ::fstat(mine.get(), &st) == 0 && (st.st_mode & 07777) == 0700 &&
            finishPlace(mine.get(), place, dev, make, &ignored)) {
            return true;
        }
        place.files = UniqueFd();
        place.info = UniqueFd();
    }
    UniqueFd own;
    return openFolder(folder.top.get(), ".Trash-" + uid, true, make, own, err) &&
           finishPlace(own.get(), place, dev, make, err);
}

}  // namespace

std::string homeFolder()
{
    std::string home;
    const char* h = std::getenv("HOME");
    if (h != nullptr && *h != '\0') {
        home = h;
    } else {
        struct passwd pw {};
        struct passwd* found = nullptr;
        char buf[4096];
        if (::getpwuid_r(::geteuid(), &pw, buf, sizeof buf, &found) == 0 && found != nullptr &&
            found->pw_dir != nullptr) {
            home = found->pw_dir;
        }
    }
    return isAbsolute(home) ? withoutTrailingSlashes(home) : std::string();
}

std::string dataHome()
{
    const char* xdg = std::getenv("XDG_DATA_HOME");
    if (xdg != nullptr && isAbsolute(xdg)) {
        return withoutTrailingSlashes(xdg);
    }
    const std::string home = homeFolder();
    return home.empty() ? std::string() : (home == "/" ? "" : home) + "/.local/share";
}

bool openTrashPlace(const AnchoredFolder& folder, dev_t dev, bool make, TrashPlace& place, Error* err)
{
    dev_t homeDev = 0;
    if (!homeTrashDevice(homeDev)) {
        // no data folder: no trash to tell files apart by
        return fail(err, ENOENT);
    }
    return homeDev == dev ? openHomeTrash(place, dev, make, err) : openTopTrash(folder, place, dev, make, err);
}

}  // namespace kormial::platform
