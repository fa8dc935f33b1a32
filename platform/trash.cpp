#include "platform/trash.h"

#include "platform/pathopen.h"
#include "platform/statstate.h"
#include "platform/trashplace.h"

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kormial::platform {

namespace {

constexpr const char* kInfoSuffix = ".trashinfo";
// Longest name of an entry of the trash: the ".trashinfo" record must still
// fit the usual limit of 255 bytes per name.
constexpr std::size_t kMaxTrashName = 255 - 10;
constexpr int kMaxNameTries = 100000;

bool fail(Error* err, int code)
{
    setError(err, code);
    return false;
}

// The entry `name` of the folder, when it is a name that stays in its folder
// and shows the file `state` records.
bool lookAtFile(const AnchoredFolder& folder, const std::string& name, const FileState& state, struct stat& st,
                Error* err)
{
    if (!isPlainName(name)) {
        return fail(err, EINVAL);
    }
    if (::fstatat(folder.fd.get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        return fail(err, errno);
    }
    return statMatches(st, state, true, err);
}

bool allDigits(const std::string& s, std::size_t from)
{
    return s.size() > from && s.find_first_not_of("0123456789", from) == std::string::npos;
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

bool DesktopTrash::moveToTrash(const AnchoredFolder& folder, const std::string& name, const FileState& state,
                               TrashedEntry& moved, Error* err)
{
    struct stat st {};
    TrashPlace place;
    if (!lookAtFile(folder, name, state, st, err) || !openTrashPlace(folder, state.id.dev, true, place, err)) {
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
            return fail(err, errno);
        }
        const bool written = writeAll(fd, record);
        const int writeErr = errno;
        if (::close(fd) != 0 || !written) {
            const int e = written ? errno : writeErr;
            ::unlinkat(place.info.get(), info.c_str(), 0);
            return fail(err, e);
        }
        beforeRename(folder, name);
        Error moveErr;
        if (!renameNoReplaceAt(folder.fd.get(), name, place.files.get(), entry, &moveErr)) {
            ::unlinkat(place.info.get(), info.c_str(), 0);
            if (moveErr.code != EEXIST) {
                return fail(err, moveErr.code);
            }
            continue;  // a stray entry of files/ without a record: the next name
        }
        moved.files = std::move(place.files);
        moved.info = std::move(place.info);
        moved.name = entry;
        // Swapped or written between the look and the move: put back, record
        // dropped. (The move itself may give the file a new change time.)
        if (::fstatat(moved.files.get(), entry.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 ||
            !statMatches(st, state, false, nullptr)) {
            putBack(moved, folder, name, nullptr);
            return fail(err, kChangedDuringSearch);
        }
        return true;
    }
    return fail(err, EEXIST);
}

bool DesktopTrash::canMoveToTrash(const AnchoredFolder& folder, const std::string& name, const FileState& state,
                                  Error* err)
{
    struct stat st {};
    TrashPlace place;
    if (!lookAtFile(folder, name, state, st, err) || !openTrashPlace(folder, state.id.dev, false, place, err)) {
        return false;
    }
    // the rename takes the entry out of its folder
    return mayTakeOut(folder, {st.st_uid}, err);
}

bool Trash::putBack(TrashedEntry& moved, const AnchoredFolder& folder, const std::string& name, Error* err)
{
    if (!renameNoReplaceAt(moved.files.get(), moved.name, folder.fd.get(), name, err)) {
        return false;  // left in the trash with its record, where it can be found
    }
    ::unlinkat(moved.info.get(), (moved.name + kInfoSuffix).c_str(), 0);
    return true;
}

TrashFolders::TrashFolders()
{
    const std::string data = dataHome();
    if (!data.empty()) {
        home_ = lexicallyNormal(folderWithoutLinks(data + "/Trash/"));
        home_ += home_ == "/" ? "" : "/";
    }
}

bool TrashFolders::holds(const std::string& folder) const
{
    std::string path = lexicallyNormal(folder);
    path += path == "/" ? "" : "/";
    if (!home_.empty() && path.starts_with(home_)) {
        return true;
    }
    std::string previous;
    for (std::size_t pos = 1; pos < path.size();) {
        const std::size_t end = path.find('/', pos);
        const std::string part = path.substr(pos, end - pos);
        if ((part.starts_with(".Trash-") && allDigits(part, 7)) || (previous == ".Trash" && allDigits(part, 0))) {
            return true;
        }
        previous = part;
        pos = end + 1;
    }
    return false;
}

std::string homeTrashFolder()
{
    const std::string data = dataHome();
    return data.empty() ? std::string() : data + "/Trash";
}

}  // namespace kormial::platform
