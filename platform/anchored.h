// Reaching a catalogued file through descriptors: its folder is opened from
// "/" one component at a time without following a link, and must still be
// the folder the search walked (device and inode); the file is then looked
// at, opened and moved only relative to that open folder. A folder swapped
// for a link, or for another folder, after the search is never entered.
#pragma once

#include "platform/fs.h"

#include <initializer_list>
#include <string>

namespace kormial::platform {

// An owned descriptor.
class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd_(fd) {}
    ~UniqueFd();
    UniqueFd(UniqueFd&& other) noexcept : fd_(other.release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept;
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    int get() const { return fd_; }
    int release()
    {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }
    explicit operator bool() const { return fd_ >= 0; }

private:
    int fd_ = -1;
};

// A folder opened from "/", with the top folder of its file system (the
// highest folder on the way that lies on the same device).
struct AnchoredFolder {
    UniqueFd fd;
    FileId id;
    std::string path;     // from "/", ending in "/"
    UniqueFd top;
    std::string topPath;  // ending in "/"
};

// Opens the folder `path` from "/" (a relative path from the working
// folder, as the system names it): every component is opened with
// O_NOFOLLOW | O_DIRECTORY (a component that is a link fails with ELOOP or
// ENOTDIR). With `expected` given (inode not 0), a folder of another device
// or inode fails with kFolderReplaced.
bool openAnchored(const std::string& path, const FileId& expected, AnchoredFolder& out,
                  Error* err = nullptr);

// `folder` (ending in "/") as a search should walk it: as given when no
// symbolic link lies on its way from "/", else the same folder by its path
// without links, so that its files can be reached from "/" later without
// following one. As given when it cannot be resolved.
std::string folderWithoutLinks(const std::string& folder);

// The state of entry `name` of the open folder, not following a link.
// Fails with EINVAL when it is not a regular file.
bool statAt(int folderFd, const std::string& name, FileState& out, Error* err = nullptr);

// True when the entry shows the file and the state the search recorded:
// same device, inode, length, last-write time and, when it was recorded
// (not 0), change time (kChangedDuringSearch, or the errno of the look,
// otherwise). A file written in place with its old last-write time put
// back still shows a new change time.
bool sameFileAt(int folderFd, const std::string& name, const FileState& expected,
                Error* err = nullptr);

// Opens regular file `name` of the open folder for reading (never a link,
// never waiting on a FIFO) and checks it as sameFileAt does.
UniqueFd openCheckedAt(int folderFd, const std::string& name, const FileState& expected,
                       Error* err = nullptr);

// True when the two open files hold the same bytes (read now, from the start).
bool sameBytes(int fdA, int fdB, Error* err = nullptr);
// True when the open file `fdLonger` begins with every byte of `fdFile`
// (read now).
bool beginsWithBytesOf(int fdLonger, int fdFile, Error* err = nullptr);

// True when the open folder lies on an overlay file system: there one file
// shows under two device numbers (the merged view and the layer below), so
// device and inode cannot tell that two names lead to one file.
bool onOverlay(int folderFd);

// True when the user may take entries owned by `owners` out of the open
// folder (rename or remove them): the folder is written to and searched,
// and when it is sticky, it or each entry is the user's. Otherwise false
// with the errno the system would give.
bool mayTakeOut(const AnchoredFolder& folder, std::initializer_list<uid_t> owners, Error* err = nullptr);

// Renames entry `from` of folder `fromFd` to `to` of folder `toFd` only
// when `to` does not exist (EEXIST otherwise); where the file system cannot
// refuse in one step, by a hard link and an unlink.
bool renameNoReplaceAt(int fromFd, const std::string& from, int toFd, const std::string& to,
                       Error* err = nullptr);

}  // namespace kormial::platform
