#include "platform/fs.h"

#include "platform/pathopen.h"
#include "platform/textfold.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <mutex>
#include <sstream>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <sys/sysmacros.h>
#include <unistd.h>
#include <unordered_map>

namespace kormial::platform {

namespace {
std::atomic<ReadObserver> g_readObserver{nullptr};
}  // namespace

std::string Error::describe() const
{
    if (code == kChangedDuringSearch) {
        return "changed during the search";
    }
    if (code == kFolderReplaced) {
        return "its folder is no longer the one searched";
    }
    if (code == kCannotShareBlocks) {
        return "this file system cannot share blocks";
    }
    return std::strerror(code);
}

namespace {

FileState stateOf(const struct stat& st)
{
    return FileState{FileId{st.st_dev, st.st_ino}, static_cast<std::int64_t>(st.st_size),
                     static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec,
                     static_cast<std::int64_t>(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec};
}

}  // namespace

namespace {

// Matches without the ".*" rule; folded code points on both sides.
bool matchFolded(std::u32string_view p, std::u32string_view n)
{
    std::size_t pi = 0;
    std::size_t ni = 0;
    std::size_t starP = std::u32string_view::npos;
    std::size_t starN = 0;
    while (ni < n.size()) {
        // a star is a star even where the name holds a "*" of its own
        if (pi < p.size() && p[pi] == U'*') {
            starP = pi++;
            starN = ni;
        } else if (pi < p.size() && (p[pi] == U'?' || p[pi] == n[ni])) {
            ++pi;
            ++ni;
        } else if (starP != std::u32string_view::npos) {
            pi = starP + 1;
            ni = ++starN;
        } else {
            return false;
        }
    }
    while (pi < p.size() && p[pi] == U'*') {
        ++pi;
    }
    return pi == p.size();
}

std::u32string folded(std::string_view s)
{
    std::u32string out;
    out.reserve(s.size());
    std::size_t pos = 0;
    while (pos < s.size()) {
        out.push_back(foldCase(nextCodePoint(s, pos)));
    }
    return out;
}

}  // namespace

bool wildcardMatch(std::string_view pattern, std::string_view name)
{
    return WildcardPattern(pattern).matches(name);
}

WildcardPattern::WildcardPattern(std::string_view pattern)
    : any_(pattern == "*.*" || pattern == "*"), folded_(any_ ? std::u32string() : folded(pattern))
{
}

bool WildcardPattern::matchesFolded(std::u32string_view n) const
{
    const std::u32string_view p = folded_;
    if (any_ || matchFolded(p, n)) {
        return true;
    }
    return p.size() >= 2 && p[p.size() - 2] == U'.' && p.back() == U'*' && matchFolded(p.substr(0, p.size() - 2), n);
}

std::u32string WildcardPattern::foldedText(std::string_view text)
{
    return folded(text);
}

namespace {

std::optional<std::int64_t> regularLength(int rc, const struct stat& st, Error* err)
{
    if (rc != 0) {
        setError(err, errno);
        return std::nullopt;
    }
    if (!S_ISREG(st.st_mode)) {
        setError(err, EINVAL);
        return std::nullopt;
    }
    return static_cast<std::int64_t>(st.st_size);
}

}  // namespace

std::optional<std::int64_t> fileLength(const std::string& path, Error* err)
{
    struct stat st {};
    const int rc = ::lstat(path.c_str(), &st);
    return regularLength(rc, st, err);
}

std::optional<std::string> readRegularFile(const std::string& path)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        return std::nullopt;
    }
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        return std::nullopt;
    }
    std::string text;
    char buf[8192];
    bool failed = false;
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n > 0) {
            text.append(buf, static_cast<std::size_t>(n));
        } else if (n == 0) {
            break;
        } else if (errno != EINTR) {
            failed = true;
            break;
        }
    }
    ::close(fd);
    if (failed) {
        return std::nullopt;
    }
    return text;
}

std::optional<std::string> utcDateTime(std::int64_t seconds)
{
    const auto t = static_cast<std::time_t>(seconds);
    std::tm tm {};
    if (::gmtime_r(&t, &tm) == nullptr) {
        return std::nullopt;
    }
    char buf[64];
    std::snprintf(buf, sizeof buf, "%04d/%02d/%02d %02d:%02d:%02d", tm.tm_year + 1900, tm.tm_mon + 1,
                  tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
    return buf;
}

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
    if (!S_ISREG(st.st_mode) || stateOf(st) != expected) {
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

std::size_t openFileBudget()
{
    static const std::size_t budget = [] {
        struct rlimit lim {};
        if (::getrlimit(RLIMIT_NOFILE, &lim) != 0) {
            return std::size_t{64};
        }
        if (lim.rlim_cur < lim.rlim_max) {
            rlimit raised = lim;
            raised.rlim_cur = lim.rlim_max;
            if (::setrlimit(RLIMIT_NOFILE, &raised) == 0) {
                lim = raised;
            }
        }
        const rlim_t usable = lim.rlim_cur == RLIM_INFINITY ? rlim_t{1} << 20 : lim.rlim_cur;
        return std::max<std::size_t>(16, static_cast<std::size_t>(usable / 2));
    }();
    return budget;
}

void reserveDescriptors(std::size_t count)
{
    static std::mutex lock;
    static std::size_t reserved = 0;
    const std::lock_guard guard(lock);
    if (count <= reserved || count > openFileBudget() * 2) {
        return;
    }
    // a descriptor at the top makes the kernel grow its table once
    const int anchor = ::open("/", O_PATH | O_CLOEXEC);
    if (anchor < 0) {
        return;
    }
    const int top = ::fcntl(anchor, F_DUPFD_CLOEXEC, static_cast<int>(count));
    if (top >= 0) {
        ::close(top);
        reserved = count;
    }
    ::close(anchor);
}

double monotonicSeconds()
{
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace kormial::platform
