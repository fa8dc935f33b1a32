// Reading a file: opened and checked against what the search recorded,
// read at given offsets, and looked at again after the reads.
#include "platform/fs.h"
#include "platform/pathopen.h"
#include "platform/statstate.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

namespace kormial::platform {

namespace {
std::atomic<ReadObserver> g_readObserver{nullptr};
}  // namespace

ReadFile::~ReadFile()
{
    close();
}

ReadFile::ReadFile(ReadFile&& other) noexcept : fd_(other.fd_), size_(other.size_), sparse_(other.sparse_)
{
    other.fd_ = -1;
}

ReadFile& ReadFile::operator=(ReadFile&& other) noexcept
{
    if (this != &other) {
        close();
        fd_ = other.fd_;
        size_ = other.size_;
        sparse_ = other.sparse_;
        other.fd_ = -1;
    }
    return *this;
}

bool ReadFile::open(const std::string& path, Error* err)
{
    close();
    const int fd = openPath(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY | O_NOFOLLOW);
    if (fd < 0) {
        setError(err, errno);
        return false;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        setError(err, errno);
        ::close(fd);
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        setError(err, S_ISDIR(st.st_mode) ? EISDIR : EINVAL);
        ::close(fd);
        return false;
    }
    fd_ = fd;
    size_ = static_cast<std::int64_t>(st.st_size);
    return true;
}

bool ReadFile::openChecked(const std::string& path, const FileState& expected, Error* err, Look look)
{
    close();
    return adoptChecked(openPath(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY | O_NOFOLLOW), expected, err,
                        look);
}

bool ReadFile::openChecked(const Folder& folder, const std::string& name, const FileState& expected, Error* err,
                           Look look)
{
    close();
    return adoptChecked(::openat(folder.fd_, name.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY | O_NOFOLLOW),
                        expected, err, look);
}

bool ReadFile::adoptChecked(int fd, const FileState& expected, Error* err, Look look)
{
    if (fd < 0) {
        setError(err, errno);
        return false;
    }
    fd_ = fd;
    size_ = expected.size;
    if (look == Look::AtOpen && !unchanged(expected, err)) {
        close();
        return false;
    }
    return true;
}

bool ReadFile::unchanged(const FileState& expected, Error* err)
{
    struct stat st {};
    if (::fstat(fd_, &st) != 0) {
        setError(err, errno);
        return false;
    }
    if (!S_ISREG(st.st_mode) || stateOfStat(st) != expected) {
        setError(err, kChangedDuringSearch);
        return false;
    }
    sparse_ = static_cast<std::int64_t>(st.st_blocks) * 512 < st.st_size;
    return true;
}

std::int64_t ReadFile::dataFrom(std::int64_t pos) const
{
    const off_t at = ::lseek(fd_, static_cast<off_t>(pos), SEEK_DATA);
    if (at < 0) {
        // ENXIO: nothing stored from `pos` on; anything else: assume data
        return errno == ENXIO ? std::max(pos, size_) : pos;
    }
    return static_cast<std::int64_t>(at);
}

void ReadFile::close()
{
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

std::int64_t ReadFile::readAt(std::int64_t pos, void* buf, std::size_t len, Error* err) const
{
    return readUpTo(pos, buf, len, len, err);
}

std::int64_t ReadFile::readUpTo(std::int64_t pos, void* buf, std::size_t len, std::size_t enough,
                                Error* err) const
{
    if (fd_ < 0) {
        setError(err, EBADF);
        return -1;
    }
    auto* out = static_cast<char*>(buf);
    std::size_t done = 0;
    while (done < len) {
        const ssize_t got = ::pread(fd_, out + done, len - done, static_cast<off_t>(pos) + static_cast<off_t>(done));
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            setError(err, errno);
            return -1;
        }
        done += static_cast<std::size_t>(got);
        if (const ReadObserver observer = g_readObserver.load(std::memory_order_relaxed)) {
            observer(fd_);
        }
        if (got == 0 || done >= enough) {
            break;
        }
    }
    return static_cast<std::int64_t>(done);
}

bool ReadFile::readExact(std::int64_t pos, void* buf, std::size_t len, Error* err) const
{
    const std::int64_t got = readAt(pos, buf, len, err);
    if (got < 0) {
        return false;
    }
    if (static_cast<std::size_t>(got) != len) {
        setError(err, EIO);
        return false;
    }
    return true;
}

void ReadFile::adviseSequential() const
{
    if (fd_ >= 0) {
        ::posix_fadvise(fd_, 0, 0, POSIX_FADV_SEQUENTIAL);
    }
}

std::int64_t ReadFile::readInMemory(std::int64_t pos, void* buf, std::size_t len, Error* err) const
{
    if (fd_ < 0 || len == 0) {
        return readAt(pos, buf, len, err);
    }
    iovec io{buf, len};
    ssize_t got;
    do {
        got = ::preadv2(fd_, &io, 1, static_cast<off_t>(pos), RWF_NOWAIT);
    } while (got < 0 && errno == EINTR);
    if (got < 0) {
        if (errno == EAGAIN) {
            return 0;
        }
        // a file system that cannot tell: an ordinary read
        return errno == EOPNOTSUPP || errno == EINVAL ? readAt(pos, buf, len, err) : (setError(err, errno), -1);
    }
    if (const ReadObserver observer = g_readObserver.load(std::memory_order_relaxed); observer && got > 0) {
        observer(fd_);
    }
    return static_cast<std::int64_t>(got);
}

void ReadFile::willNeed(std::int64_t pos, std::int64_t len) const
{
    if (fd_ >= 0) {
        ::posix_fadvise(fd_, static_cast<off_t>(pos), static_cast<off_t>(len), POSIX_FADV_WILLNEED);
    }
}

void setReadObserver(ReadObserver observer)
{
    g_readObserver.store(observer);
}

}  // namespace kormial::platform
