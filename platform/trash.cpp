#include "platform/trash.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kormial::platform {

namespace {

constexpr const char* kInfoSuffix = ".trashinfo";
// Longest name of an entry of the trash: the ".trashinfo" record must still
// fit the usual limit of 255 bytes per name.
constexpr std::size_t kMaxTrashName = 255 - 10;
constexpr int kMaxNameTries = 100000;

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

std::string joinPath(const std::string& folder, const std::string& name)
{
    if (!folder.empty() && folder.back() == '/') {
        return folder + name;
    }
    return folder + "/" + name;
}

std::string parentOf(const std::string& path)
{
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? std::string("/") : path.substr(0, slash);
}

// The user's data folder: $XDG_DATA_HOME when absolute, else
// $HOME/.local/share (the password database when HOME is not set).
std::string dataHome()
{
    const char* xdg = std::getenv("XDG_DATA_HOME");
    if (xdg != nullptr && isAbsolute(xdg)) {
        return withoutTrailingSlashes(xdg);
    }
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
    if (!isAbsolute(home)) {
        return {};
    }
    return joinPath(withoutTrailingSlashes(home), ".local/share");
}

// Creates `path` and every missing folder above it (mode 0700).
bool makeFolders(const std::string& path, Error* err)
{
    std::size_t pos = 1;
    while (true) {
        const std::size_t next = path.find('/', pos);
        const std::string part = path.substr(0, next);
        if (!part.empty() && part.back() != '/' && ::mkdir(part.c_str(), 0700) != 0 &&
            errno != EEXIST) {
            const int e = errno;
            struct stat st {};
            if (::stat(part.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
                setError(err, e);
                return false;
            }
        }
        if (next == std::string::npos) {
            break;
        }
        pos = next + 1;
    }
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        setError(err, errno);
        return false;
    }
    if (!S_ISDIR(st.st_mode)) {
        setError(err, ENOTDIR);
        return false;
    }
    return true;
}

constexpr int kTrashFolderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

// Folder `name` of the open folder `parent`, made (mode 0700) when missing;
// never a link. With `mustOwn`, it must belong to the user.
UniqueFd openOrMake(int parent, const std::string& name, bool mustOwn, Error* err)
{
    if (::mkdirat(parent, name.c_str(), 0700) != 0 && errno != EEXIST) {
        setError(err, errno);
        return {};
    }
    UniqueFd fd(::openat(parent, name.c_str(), kTrashFolderFlags));
    struct stat st {};
    if (!fd || ::fstat(fd.get(), &st) != 0) {
        const int e = errno;
        // a link in the way is told as one
        const bool link = ::fstatat(parent, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode);
        setError(err, link ? ELOOP : e);
        return {};
    }
    if (mustOwn && st.st_uid != ::geteuid()) {
        setError(err, EPERM);
        return {};
    }
    return fd;
}

// One trash folder, open: its "files" and "info" folders.
struct TrashPlace {
    UniqueFd files;
    UniqueFd info;
    std::string top;  // top folder of the file system, ending in "/"; empty for the home trash
};

bool finishPlace(int trashFd, TrashPlace& place, const FileId& id, Error* err)
{
    place.files = openOrMake(trashFd, "files", false, err);
    place.info = place.files ? openOrMake(trashFd, "info", false, err) : UniqueFd();
    struct stat st {};
    if (!place.info || ::fstat(place.files.get(), &st) != 0) {
        return false;
    }
    if (st.st_dev != id.dev) {
        // never copied across file systems
        setError(err, EXDEV);
        return false;
    }
    return true;
}

// The home trash, made when missing.
bool openHomeTrash(TrashPlace& place, const FileId& id, Error* err)
{
    const std::string data = dataHome();
    if (data.empty()) {
        setError(err, ENOENT);
        return false;
    }
    // The data folder itself is created first: the trash must never be
    // looked for relative to the working folder.
    if (!makeFolders(data, err)) {
        return false;
    }
    const UniqueFd dataFd(::open(data.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!dataFd) {
        setError(err, errno);
        return false;
    }
    const UniqueFd trash = openOrMake(dataFd.get(), "Trash", false, err);
    return trash && finishPlace(trash.get(), place, id, err);
}

// The device the home trash is (or would be, once made) on: that of its
// nearest existing folder.
bool homeTrashDevice(dev_t& dev)
{
    const std::string data = dataHome();
    if (data.empty()) {
        return false;
    }
    std::string p = joinPath(data, "Trash/files");
    while (true) {
        struct stat st {};
        if (::stat(p.c_str(), &st) == 0) {
            dev = st.st_dev;
            return true;
        }
        if (p == "/") {
            return false;
        }
        p = parentOf(p);
    }
}

// The trash at the top of the folder's file system: the user's own folder
// (mode 0700) in an administrator's sticky ".Trash" when there is one, else
// the user's own ".Trash-UID", made when missing.
bool openTopTrash(const AnchoredFolder& folder, TrashPlace& place, const FileId& id, Error* err)
{
    const std::string uid = std::to_string(::geteuid());
    place.top = folder.topPath;
    const UniqueFd shared(::openat(folder.top.get(), ".Trash", kTrashFolderFlags));
    struct stat st {};
    if (shared && ::fstat(shared.get(), &st) == 0 && (st.st_mode & S_ISVTX) != 0) {
        Error ignored;
        const UniqueFd mine = openOrMake(shared.get(), uid, true, &ignored);
        if (mine && ::fstat(mine.get(), &st) == 0 && (st.st_mode & 07777) == 0700 &&
            finishPlace(mine.get(), place, id, &ignored)) {
            return true;
        }
    }
    const UniqueFd own = openOrMake(folder.top.get(), ".Trash-" + uid, true, err);
    return own && finishPlace(own.get(), place, id, err);
}

// Path texts in a ".trashinfo" record are percent-encoded bytes.
std::string percentEncode(const std::string& path)
{
    static const char* const kHex = "0123456789ABCDEF";
    std::string out;
    out.reserve(path.size());
    for (const char ch : path) {
        const auto c = static_cast<unsigned char>(ch);
        const bool keep = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                          (c >= '0' && c <= '9') || c == '-' || c == '.' || c == '_' ||
                          c == '~' || c == '/';
        if (keep) {
            out += ch;
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 0x0F];
        }
    }
    return out;
}

std::string deletionDate()
{
    const std::time_t now = std::time(nullptr);
    std::tm tm {};
    ::localtime_r(&now, &tm);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%S", &tm);
    return buf;
}

// The name of try `n` (1, 2, ...) for `name` in the trash: "photo.jpg",
// "photo (2).jpg", ..., shortened to leave room for ".trashinfo".
std::string trashName(const std::string& name, int n)
{
    const std::string counter = n > 1 ? " (" + std::to_string(n) + ")" : std::string();
    std::string stem = name;
    std::string ext;
    const auto dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0 && name.size() - dot <= 16) {
        stem = name.substr(0, dot);
        ext = name.substr(dot);
    }
    const std::size_t room = kMaxTrashName - counter.size() - ext.size();
    if (stem.size() > room) {
        std::size_t cut = room;
        // Never cut a UTF-8 sequence apart.
        while (cut > 0 && (static_cast<unsigned char>(stem[cut]) & 0xC0) == 0x80) {
            --cut;
        }
        stem.resize(cut);
    }
    return stem + counter + ext;
}

bool writeAll(int fd, const std::string& text)
{
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

bool DesktopTrash::moveToTrash(const AnchoredFolder& folder, const std::string& name, const FileId& id,
                               Error* err)
{
    if (name.empty() || name == "." || name == ".." || name.find_first_of(std::string("/\0", 2)) != std::string::npos) {
        setError(err, EINVAL);
        return false;
    }
    struct stat st {};
    if (::fstatat(folder.fd.get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        setError(err, errno);
        return false;
    }
    if (st.st_dev != id.dev || st.st_ino != id.ino) {
        setError(err, kChangedDuringSearch);
        return false;
    }
    TrashPlace place;
    dev_t homeDev = 0;
    if (!homeTrashDevice(homeDev)) {
        // no data folder: no trash to tell files apart by
        setError(err, ENOENT);
        return false;
    }
    if (homeDev == id.dev ? !openHomeTrash(place, id, err) : !openTopTrash(folder, place, id, err)) {
        return false;
    }

    // Trashes at the top of a file system record paths relative to it.
    const std::string original = folder.path + name;
    const std::string recorded = place.top.empty() ? original : original.substr(place.top.size());
    const std::string record =
        "[Trash Info]\nPath=" + percentEncode(recorded) + "\nDeletionDate=" + deletionDate() + "\n";
    for (int n = 1; n <= kMaxNameTries; ++n) {
        const std::string entry = trashName(name, n);
        const std::string info = entry + kInfoSuffix;
        const int fd = ::openat(place.info.get(), info.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                                0600);
        if (fd < 0) {
            if (errno == EEXIST) {
                continue;
            }
            setError(err, errno);
            return false;
        }
        const bool written = writeAll(fd, record);
        const int writeErr = errno;
        if (::close(fd) != 0 || !written) {
            const int e = written ? errno : writeErr;
            ::unlinkat(place.info.get(), info.c_str(), 0);
            setError(err, e);
            return false;
        }
        Error moveErr;
        if (!renameNoReplaceAt(folder.fd.get(), name, place.files.get(), entry, &moveErr)) {
            ::unlinkat(place.info.get(), info.c_str(), 0);
            if (moveErr.code != EEXIST) {
                setError(err, moveErr.code);
                return false;
            }
            continue;  // a stray entry of files/ without a record: the next name
        }
        // Swapped between the look and the move: put back, record dropped.
        if (::fstatat(place.files.get(), entry.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || st.st_dev != id.dev ||
            st.st_ino != id.ino) {
            if (renameNoReplaceAt(place.files.get(), entry, folder.fd.get(), name)) {
                ::unlinkat(place.info.get(), info.c_str(), 0);
            }
            setError(err, kChangedDuringSearch);
            return false;
        }
        return true;
    }
    setError(err, EEXIST);
    return false;
}

std::string homeTrashFolder()
{
    const std::string data = dataHome();
    return data.empty() ? std::string() : joinPath(data, "Trash");
}

}  // namespace kormial::platform
