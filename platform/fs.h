// File services: folder listing, wildcard matching, file facts and block reads.
// Everything that touches POSIX for the catalogue and the comparisons is here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

namespace kormial::platform {

// The result of an operation that can fail: errno is kept for messages.
struct Error {
    int code = 0;  // errno value, 0 when there was no failure
    std::string describe() const;  // the system's description of `code`
};

// Stores `code` in `*err` when `err` is given.
inline void setError(Error* err, int code)
{
    if (err != nullptr) {
        err->code = code;
    }
}

// Device and inode: one file, however many names lead to it.
struct FileId {
    dev_t dev = 0;
    ino_t ino = 0;
    bool operator==(const FileId&) const = default;
};
struct FileIdHash {
    std::size_t operator()(const FileId& id) const noexcept {
        return std::hash<std::uint64_t>()(static_cast<std::uint64_t>(id.ino) * 1000003u ^
                                          static_cast<std::uint64_t>(id.dev));
    }
};

// What the search recorded of a file: which file it is (device and inode)
// and the state it was in (length, last-write and change times to the
// nanosecond). A file whose state differs on its open descriptor was
// replaced or written since, and its bytes prove nothing.
struct FileState {
    FileId id;
    std::int64_t size = -1;
    std::int64_t mtimeNs = 0;
    std::int64_t ctimeNs = 0;
    bool operator==(const FileState&) const = default;
};

// Error::code of a file that is no longer the file, or no longer in the
// state, that the search recorded.
constexpr int kChangedDuringSearch = -1;
// Error::code of a folder that is no longer the folder the search walked.
constexpr int kFolderReplaced = -2;
// Error::code of a file on a file system that cannot share blocks between
// files.
constexpr int kCannotShareBlocks = -3;

enum class EntryKind : std::uint8_t { File, Folder };

struct FolderEntry {
    std::string name;
    EntryKind kind;
};

// What a listing saw of one of its sub-folders, without following a link.
struct SubFolder {
    std::string name;
    FileId id;
    std::int64_t mtimeNs = 0;
    bool fsTop = false;      // a file system (or a bind mount) begins there
    bool onVirtualFs = false;  // one of the kernel's virtual file systems
};

// An open folder. The entries come sorted by name as byte strings; "." and
// ".." are left out, and so are symbolic links and everything that is neither
// a regular file nor a folder (FIFOs, sockets, devices).
class Folder {
public:
    Folder() = default;
    ~Folder();
    Folder(Folder&& other) noexcept;
    Folder& operator=(Folder&& other) noexcept;
    Folder(const Folder&) = delete;
    Folder& operator=(const Folder&) = delete;

    // Opens and lists `path` as the system resolves it (also a path longer
    // than PATH_MAX): to show what lies there. Fails on a folder that cannot
    // be read, and on a folder that lies on one of the kernel's virtual file
    // systems (/proc, /sys, /dev and the like), which are never searched.
    bool open(const std::string& path);
    // open() in two steps: identity() is known after the first, the entries
    // after list().
    bool openUnlisted(const std::string& path);
    bool list();

    // Opens the folder at `path` as the system resolves it, only to open
    // files of it (ReadFile::openChecked, which checks each file it opens):
    // nothing is looked at, and identity() is not known.
    bool openToRead(const std::string& path);
    // The same for the folder `name` of the open folder `parent`, which
    // must not be a symbolic link.
    bool openToRead(const Folder& parent, const std::string& name);
    // Opens `path` from "/" one folder at a time, never through a symbolic
    // link (a relative path from the working folder), also a folder on a
    // virtual file system (onVirtualFs() says so).
    bool openFromRoot(const std::string& path, Error* err = nullptr);
    // Opens sub-folder `sub` of the open folder `parent` as its listing saw
    // it: a name that no longer leads to that folder (a link now, a file, or
    // another folder) fails with kChangedDuringSearch.
    bool openSub(const Folder& parent, const SubFolder& sub, Error* err = nullptr);
    // Opens the folder `levels` above the open folder `below` (which may be
    // this one), through "..": kChangedDuringSearch unless it is `expected`.
    bool openAbove(const Folder& below, std::size_t levels, const FileId& expected, Error* err = nullptr);
    // The names of the regular files, and with `folders` the sub-folders with
    // their facts, each in byte order. A sub-folder that cannot be looked at
    // fails the listing (one gone since it was listed is left out).
    bool listApart(std::vector<std::string>& files, std::vector<SubFolder>* folders, Error* err = nullptr);

    void close();
    bool isOpen() const { return fd_ >= 0; }
    const std::vector<FolderEntry>& entries() const { return entries_; }
    std::vector<FolderEntry> takeEntries() { return std::move(entries_); }

    struct Stat {
        FileState state;
        // The file may be reached under another name too: it has more than
        // one, or it is mounted onto this one (mountRoot).
        bool linked = false;
        bool mountRoot = false;
    };
    // The folder's own device and inode.
    const FileId& identity() const { return identity_; }
    // True for the top folder of a file system or a mount (known after
    // openFromRoot and openSub).
    bool fsTop() const { return fsTop_; }
    bool onVirtualFs() const { return virtual_; }
    // Facts of a regular file of this folder, without following links.
    std::optional<Stat> statFile(const std::string& name, Error* err = nullptr) const;

private:
    friend class ReadFile;  // opens the folder's files relative to it
    bool adopt(int fd, Error* err);
    int fd_ = -1;
    FileId identity_;
    bool fsTop_ = false;
    bool virtual_ = false;
    std::vector<FolderEntry> entries_;
};

// The trash folders of the user that a search passes over: the home trash
// (by its identity, when it exists) and, at the top of a file system,
// ".Trash-<uid>" and "<uid>" inside ".Trash".
struct UserTrash {
    std::optional<FileId> home;
    std::string perUser;  // ".Trash-<uid>"
    std::string uid;
};
UserTrash userTrashFolders();

// Wildcards: case-insensitive; '*' any run (also none), '?' one character.
// A pattern ending in ".*" also matches what the pattern without it matches.
bool wildcardMatch(std::string_view pattern, std::string_view name);

// A wildcard pattern folded once, for matching many names: matches(n) is
// wildcardMatch(pattern, n), and matchesFolded takes a name already folded
// by foldedText, so one name is folded once for many patterns.
class WildcardPattern {
public:
    explicit WildcardPattern(std::string_view pattern);
    bool matches(std::string_view name) const { return any_ || matchesFolded(foldedText(name)); }
    bool matchesFolded(std::u32string_view name) const;
    static std::u32string foldedText(std::string_view text);

private:
    bool any_ = false;  // "*" or "*.*"
    std::u32string folded_;
};

// Length of the regular file at `path` in bytes. std::nullopt with err->code
// set on failure: ENOENT when nothing is there, EINVAL when something else
// is (a folder, a FIFO, or a symbolic link put in the file's place).
std::optional<std::int64_t> fileLength(const std::string& path, Error* err = nullptr);

// The whole content of the regular file at `path` (links followed);
// nothing when something else is there (a FIFO is never waited on), or when
// it cannot be read.
std::optional<std::string> readRegularFile(const std::string& path);

// "yyyy/mm/dd hh:mm:ss" of a time in seconds since 1970, in UTC; nothing
// when the calendar cannot hold it.
std::optional<std::string> utcDateTime(std::int64_t seconds);

// A file opened for binary reading. Only regular files open: anything else
// (a FIFO put in a file's place, say) is refused instead of hanging a read,
// and a symbolic link put in its place is not followed (ELOOP).
class ReadFile {
public:
    ReadFile() = default;
    ~ReadFile();
    ReadFile(ReadFile&& other) noexcept;
    ReadFile& operator=(ReadFile&& other) noexcept;
    ReadFile(const ReadFile&) = delete;
    ReadFile& operator=(const ReadFile&) = delete;

    bool open(const std::string& path, Error* err = nullptr);
    // When a catalogued file is looked at on its descriptor: as it is
    // opened (and again after the reads), or only after it was read whole
    // at once, when unchanged() shows both that it is the catalogued file
    // and that it kept the recorded state from the walk to the end of the
    // read. Until then it may be anything put in the file's place: a read
    // of a FIFO fails at once (ESPIPE), and what was read counts for
    // nothing unless unchanged() says so.
    enum class Look { AtOpen, AfterRead };
    // Opens a catalogued file: succeeds only when the open descriptor shows
    // the file and state that the search recorded (kChangedDuringSearch
    // otherwise). The open cannot hang on a FIFO or follow a link put in
    // the file's place.
    bool openChecked(const std::string& path, const FileState& expected, Error* err = nullptr,
                     Look look = Look::AtOpen);
    // The same for the file `name` of the open `folder`: no path is looked
    // up on the way.
    bool openChecked(const Folder& folder, const std::string& name, const FileState& expected, Error* err = nullptr,
                     Look look = Look::AtOpen);
    // After the reads: true while the open file still shows `expected`.
    bool unchanged(const FileState& expected, Error* err = nullptr);
    void close();
    bool isOpen() const { return fd_ >= 0; }

    // Reads up to `len` bytes at byte offset `pos` (0 = first byte); returns
    // the count delivered, short only at the end of the file, or -1 on error.
    std::int64_t readAt(std::int64_t pos, void* buf, std::size_t len, Error* err = nullptr) const;
    // Reads exactly `len` bytes at `pos`; a short read is a failure (EIO when
    // the file ended early).
    bool readExact(std::int64_t pos, void* buf, std::size_t len, Error* err = nullptr) const;
    // Reads up to `len` bytes at `pos`, but stops at the first short read
    // once `enough` bytes are in (a regular file reads short only at its
    // end): the count delivered, or -1 on error.
    std::int64_t readUpTo(std::int64_t pos, void* buf, std::size_t len, std::size_t enough,
                          Error* err = nullptr) const;
    // Hint that the whole file will be read from the start.
    void adviseSequential() const;
    // readAt, but only as far as the bytes are in memory already: nothing is
    // waited for from the disk (0 when the first byte is not in memory).
    std::int64_t readInMemory(std::int64_t pos, void* buf, std::size_t len, Error* err = nullptr) const;
    // Asks the system to start reading `len` bytes at `pos` from the disk
    // now, for reads of them soon after: many such reads in flight at once
    // make a cold disk faster.
    void willNeed(std::int64_t pos, std::int64_t len) const;

    // True when the file opened with openChecked has holes (fewer bytes
    // stored than it holds).
    bool sparse() const { return sparse_; }
    // Where the next stored data begins at or after `pos`: reading from
    // `pos` up to there gives zeros. The file's end when nothing follows.
    std::int64_t dataFrom(std::int64_t pos) const;

private:
    bool adoptChecked(int fd, const FileState& expected, Error* err, Look look);
    int fd_ = -1;
    std::int64_t size_ = 0;
    bool sparse_ = false;
};

// For tests: called after every read of a ReadFile with its descriptor, so a
// test can change a file between two reads of it. Null: nothing is called.
using ReadObserver = void (*)(int fd);
void setReadObserver(ReadObserver observer);

// Raises the soft limit of open files to the hard limit (once), and returns
// how many files the comparisons may keep open at once: about half of it.
std::size_t openFileBudget();

// Makes room for `count` open descriptors at once. The kernel grows its
// table of descriptors step by step as files are opened, and in a process
// with threads each step waits for every core to pass a quiet point: one
// step up front instead of many.
void reserveDescriptors(std::size_t count);

// Seconds on a clock that never goes back (for elapsed times).
double monotonicSeconds();

}  // namespace kormial::platform
