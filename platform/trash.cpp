#include "platform/trash.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <map>
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

bool hasNul(const std::string& s)
{
    return s.find('\0') != std::string::npos;
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

// Makes the folder `path` unless it is there; it must be a real folder (not
// a link to one) and, with `mustOwn`, belong to the user.
bool ensureFolder(const std::string& path, bool mustOwn, Error* err)
{
    if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) {
        setError(err, errno);
        return false;
    }
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) {
        setError(err, errno);
        return false;
    }
    if (S_ISLNK(st.st_mode)) {
        setError(err, ELOOP);
        return false;
    }
    if (!S_ISDIR(st.st_mode)) {
        setError(err, ENOTDIR);
        return false;
    }
    if (mustOwn && st.st_uid != ::geteuid()) {
        setError(err, EPERM);
        return false;
    }
    return true;
}

// One trash folder with its "files" and "info" folders.
struct TrashPlace {
    std::string folder;  // holds files/ and info/
    std::string top;     // top folder of the file system; empty for the home trash
    dev_t dev = 0;       // device of files/
};

bool finishPlace(TrashPlace& place, Error* err)
{
    if (!ensureFolder(joinPath(place.folder, "files"), false, err) ||
        !ensureFolder(joinPath(place.folder, "info"), false, err)) {
        return false;
    }
    // Both must take new entries.
    for (const char* sub : {"files", "info"}) {
        if (::access(joinPath(place.folder, sub).c_str(), W_OK | X_OK) != 0) {
            setError(err, errno);
            return false;
        }
    }
    struct stat st {};
    if (::stat(joinPath(place.folder, "files").c_str(), &st) != 0) {
        setError(err, errno);
        return false;
    }
    place.dev = st.st_dev;
    if (!isAbsolute(place.folder)) {
        // Never a trash relative to the working folder.
        setError(err, ENOENT);
        return false;
    }
    return true;
}

// The home trash, made when missing.
bool makeHomeTrash(TrashPlace& place, Error* err)
{
    const std::string data = dataHome();
    if (data.empty()) {
        setError(err, ENOENT);
        return false;
    }
    place.folder = joinPath(data, "Trash");
    place.top.clear();
    // The data folder itself is created first: the trash must never be
    // looked for relative to the working folder.
    if (!makeFolders(data, err) || !ensureFolder(place.folder, false, err)) {
        return false;
    }
    return finishPlace(place, err);
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

// The top folder of the file system that holds the folder `realFolder`
// (a path without links) on device `dev`.
std::string topFolder(const std::string& realFolder, dev_t dev)
{
    std::string dir = realFolder;
    while (dir != "/") {
        const std::string parent = parentOf(dir);
        struct stat st {};
        if (::stat(parent.c_str(), &st) != 0 || st.st_dev != dev) {
            break;
        }
        dir = parent;
    }
    return dir;
}

// The trash of the file system whose top folder is `top`: the user's folder
// in an administrator's sticky ".Trash" when there is one, else the user's
// own ".Trash-UID", made when missing.
bool makeTopTrash(const std::string& top, TrashPlace& place, Error* err)
{
    const std::string uid = std::to_string(::geteuid());
    place.top = top;
    const std::string shared = joinPath(top, ".Trash");
    struct stat st {};
    if (::lstat(shared.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && (st.st_mode & S_ISVTX) != 0) {
        place.folder = joinPath(shared, uid);
        Error ignored;
        if (ensureFolder(place.folder, true, &ignored) && finishPlace(place, &ignored)) {
            return true;
        }
    }
    place.folder = joinPath(top, ".Trash-" + uid);
    return ensureFolder(place.folder, true, err) && finishPlace(place, err);
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

// One file of a request, checked and ready to move.
struct Planned {
    std::string given;  // the path as the caller gave it
    std::string real;   // the same file by a path without links in its folders
    std::string name;
    const TrashPlace* place = nullptr;
};

struct Moved {
    std::string real;
    std::string trashed;  // its path in files/
    std::string info;     // its record in info/
};

// Checks one file and finds its trash (made when missing).
bool plan(const std::string& path, Planned& out, std::map<dev_t, TrashPlace>& places,
          Error* err)
{
    out.given = path;
    if (path.empty() || hasNul(path)) {
        setError(err, EINVAL);
        return false;
    }
    const auto slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string(".")
                               : slash == 0               ? std::string("/")
                                                          : path.substr(0, slash);
    out.name = slash == std::string::npos ? path : path.substr(slash + 1);
    if (out.name.empty() || out.name == "." || out.name == "..") {
        setError(err, EINVAL);
        return false;
    }
    struct stat fileSt {};
    if (::lstat(path.c_str(), &fileSt) != 0) {
        setError(err, errno);
        return false;
    }
    if (S_ISDIR(fileSt.st_mode)) {
        setError(err, EISDIR);
        return false;
    }
    char* resolved = ::realpath(folder.c_str(), nullptr);
    if (resolved == nullptr) {
        setError(err, errno);
        return false;
    }
    const std::string realFolder = resolved;
    std::free(resolved);
    out.real = joinPath(realFolder, out.name);

    // Removing a name needs write access to its folder (and, in a sticky
    // folder, owning the file or the folder).
    struct stat folderSt {};
    if (::stat(realFolder.c_str(), &folderSt) != 0) {
        setError(err, errno);
        return false;
    }
    if (::access(realFolder.c_str(), W_OK | X_OK) != 0) {
        setError(err, errno);
        return false;
    }
    const uid_t me = ::geteuid();
    if ((folderSt.st_mode & S_ISVTX) != 0 && me != 0 && fileSt.st_uid != me &&
        folderSt.st_uid != me) {
        setError(err, EPERM);
        return false;
    }

    auto known = places.find(fileSt.st_dev);
    if (known == places.end()) {
        TrashPlace place;
        dev_t homeDev = 0;
        if (!homeTrashDevice(homeDev)) {
            // No data folder: no trash to tell files apart by.
            setError(err, ENOENT);
            return false;
        }
        const bool home = homeDev == fileSt.st_dev;
        if (home ? !makeHomeTrash(place, err)
                 : !makeTopTrash(topFolder(realFolder, fileSt.st_dev), place, err)) {
            return false;
        }
        known = places.emplace(fileSt.st_dev, place).first;
    }
    const TrashPlace& place = known->second;
    if (place.dev != fileSt.st_dev) {
        // Never copied across file systems.
        setError(err, EXDEV);
        return false;
    }
    out.place = &place;
    return true;
}

// Writes the record and moves the file under the first free name.
bool moveOne(const Planned& p, const std::string& date, Moved& moved, Error* err)
{
    const TrashPlace& place = *p.place;
    std::string recorded = p.real;
    if (!place.top.empty()) {
        // Trashes at the top of a file system record paths relative to it.
        recorded = place.top == "/" ? p.real.substr(1) : p.real.substr(place.top.size() + 1);
    }
    const std::string record =
        "[Trash Info]\nPath=" + percentEncode(recorded) + "\nDeletionDate=" + date + "\n";
    const std::string filesDir = joinPath(place.folder, "files");
    const std::string infoDir = joinPath(place.folder, "info");
    for (int n = 1; n <= kMaxNameTries; ++n) {
        const std::string name = trashName(p.name, n);
        const std::string info = joinPath(infoDir, name + kInfoSuffix);
        const int fd = ::open(info.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
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
            ::unlink(info.c_str());
            setError(err, e);
            return false;
        }
        const std::string target = joinPath(filesDir, name);
        Error moveErr;
        if (renameNoReplace(p.real, target, &moveErr)) {
            moved = {p.real, target, info};
            return true;
        }
        ::unlink(info.c_str());
        if (moveErr.code != EEXIST) {
            setError(err, moveErr.code);
            return false;
        }
        // A stray entry of files/ without a record: take the next name.
    }
    setError(err, EEXIST);
    return false;
}

}  // namespace

std::string homeTrashFolder()
{
    const std::string data = dataHome();
    return data.empty() ? std::string() : joinPath(data, "Trash");
}

TrashResult DesktopTrash::moveToTrash(const std::vector<std::string>& paths)
{
    TrashResult result;
    std::map<dev_t, TrashPlace> places;
    std::vector<Planned> planned;
    planned.reserve(paths.size());
    std::map<std::string, bool> seen;
    for (const std::string& path : paths) {
        Planned p;
        if (!plan(path, p, places, &result.error)) {
            result.path = path;
            return result;
        }
        // One file named twice in a request goes to the trash once.
        if (seen.emplace(p.real, true).second) {
            planned.push_back(std::move(p));
        }
    }

    const std::string date = deletionDate();
    std::vector<Moved> done;
    done.reserve(planned.size());
    for (const Planned& p : planned) {
        Moved m;
        if (moveOne(p, date, m, &result.error)) {
            done.push_back(std::move(m));
            continue;
        }
        result.path = p.given;
        // Put back what already went, newest first.
        for (auto it = done.rbegin(); it != done.rend(); ++it) {
            if (renameNoReplace(it->trashed, it->real)) {
                ::unlink(it->info.c_str());
            } else {
                const auto idx = static_cast<std::size_t>(done.rend() - it) - 1;
                result.leftInTrash.push_back(planned[idx].given);
            }
        }
        return result;
    }
    result.ok = true;
    return result;
}

bool renameNoReplaceByLink(const std::string& from, const std::string& to, Error* err)
{
    if (hasNul(from) || hasNul(to)) {
        setError(err, EINVAL);
        return false;
    }
    if (::link(from.c_str(), to.c_str()) != 0) {
        setError(err, errno);
        return false;
    }
    if (::unlink(from.c_str()) != 0) {
        const int e = errno;
        ::unlink(to.c_str());
        setError(err, e);
        return false;
    }
    return true;
}

bool renameNoReplace(const std::string& from, const std::string& to, Error* err)
{
    if (hasNul(from) || hasNul(to)) {
        setError(err, EINVAL);
        return false;
    }
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
        return true;
    }
    const int e = errno;
    if (e != EINVAL && e != ENOSYS && e != EOPNOTSUPP) {
        setError(err, e);
        return false;
    }
    // The file system cannot refuse to replace in one step; a hard link
    // refuses an existing name just as well.
    return renameNoReplaceByLink(from, to, err);
}

}  // namespace kormial::platform
