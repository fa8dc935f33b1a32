#include "platform/fs.h"

#include "platform/pathopen.h"
#include "platform/textfold.h"

#include <algorithm>
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
#include <sys/sysmacros.h>
#include <unistd.h>
#include <unordered_map>

namespace kormial::platform {

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
