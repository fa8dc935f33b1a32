#include "testutil.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <sys/stat.h>
#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

namespace kormial::test {

namespace fs = std::filesystem;

TempDir::TempDir(const std::string& under)
{
    const char* base = std::getenv("TMPDIR");
    std::string tmpl = (!under.empty() ? under : base != nullptr && *base != '\0' ? base : "/tmp") + "/kormial-test-XXXXXX";
    std::vector<char> buf(tmpl.begin(), tmpl.end());
    buf.push_back('\0');
    if (::mkdtemp(buf.data()) == nullptr) {
        throw std::runtime_error(std::string("mkdtemp: ") + std::strerror(errno));
    }
    path_ = std::string(buf.data()) + "/";
}

namespace {

// The names in the open folder `fd`.
std::vector<std::string> namesIn(int fd)
{
    std::vector<std::string> out;
    std::error_code ec;
    for (auto it = fs::directory_iterator("/proc/self/fd/" + std::to_string(fd), ec);
         !ec && it != fs::directory_iterator(); it.increment(ec)) {
        out.push_back(it->path().filename());
    }
    return out;
}

}  // namespace

// Removes everything below the folder without long paths, at any depth and
// whatever the tests took away: the files of each folder below the top go,
// its folders are lifted into the top, then it goes itself.
TempDir::~TempDir()
{
    const int top = ::open(path_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    int lifted = 0;
    for (bool more = top >= 0; more;) {
        more = false;
        for (const std::string& name : namesIn(top)) {
            if (::unlinkat(top, name.c_str(), 0) == 0) {
                continue;
            }
            ::fchmodat(top, name.c_str(), 0700, 0);
            const int sub = ::openat(top, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            for (const std::string& inner : sub >= 0 ? namesIn(sub) : std::vector<std::string>()) {
                if (::unlinkat(sub, inner.c_str(), 0) != 0) {
                    more = ::renameat(sub, inner.c_str(), top, ("lifted" + std::to_string(++lifted)).c_str()) == 0 || more;
                }
            }
            ::close(sub);
            ::unlinkat(top, name.c_str(), AT_REMOVEDIR);
        }
    }
    ::close(top);
    ::rmdir(path_.c_str());
}

std::string randomBytes(std::uint64_t seed, std::size_t n)
{
    std::string out(n, '\0');
    std::uint64_t x = seed * 0x9E3779B97F4A7C15ull + 0x632BE59BD9B4E019ull;
    for (std::size_t i = 0; i < n; ++i) {
        x ^= x << 13;
        x ^= x >> 7;
        x ^= x << 17;
        out[i] = static_cast<char>(x >> 56);
    }
    return out;
}

void makeDirs(const std::string& path)
{
    fs::create_directories(path);
}

void writeFile(const std::string& path, const std::string& content)
{
    const auto slash = path.rfind('/');
    if (slash != std::string::npos && slash > 0) {
        fs::create_directories(path.substr(0, slash));
    }
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
    if (!out) {
        throw std::runtime_error("cannot write " + path);
    }
}

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string runUnprivileged(const std::function<std::string()>& body)
{
    if (::geteuid() != 0) {
        return body();
    }
    int fds[2];
    if (::pipe(fds) != 0) {
        throw std::runtime_error("pipe");
    }
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(fds[0]);
        // nobody:nogroup
        if (::setgroups(0, nullptr) != 0 || ::setresgid(65534, 65534, 65534) != 0 ||
            ::setresuid(65534, 65534, 65534) != 0) {
            ::_exit(3);
        }
        const std::string out = body();
        ::_exit(::write(fds[1], out.data(), out.size()) == static_cast<ssize_t>(out.size()) ? 0 : 4);
    }
    ::close(fds[1]);
    const std::string out = readFile("/proc/self/fd/" + std::to_string(fds[0]));
    ::close(fds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        throw std::runtime_error("unprivileged child failed");
    }
    return out;
}

CliRun runCli(const std::vector<std::string>& args, const std::string& cwd, unsigned timeoutSeconds)
{
    TempDir io;
    const std::string outPath = io / "out";
    const std::string errPath = io / "err";
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int o = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int e = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ::dup2(o, 1);
        ::dup2(e, 2);
        if (!cwd.empty() && ::chdir(cwd.c_str()) != 0) {
            ::_exit(126);
        }
        std::vector<char*> argv = {const_cast<char*>(KORMIAL_CLI_PATH)};
        for (const auto& a : args) {
            argv.push_back(const_cast<char*>(a.c_str()));
        }
        argv.push_back(nullptr);
        ::alarm(timeoutSeconds);  // survives exec: SIGALRM ends a hanging run
        ::execv(KORMIAL_CLI_PATH, argv.data());
        ::_exit(127);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    CliRun r;
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.timedOut = WIFSIGNALED(status) && WTERMSIG(status) == SIGALRM;
    r.out = readFile(outPath);
    r.err = readFile(errPath);
    return r;
}


void openToEveryone(const std::string& path)
{
    // folders 0755, files 0644, and the temporary folder itself passable
    std::error_code ec;
    ::chmod(path.c_str(), 0755);
    for (auto it = fs::recursive_directory_iterator(path, ec); it != fs::recursive_directory_iterator();
         it.increment(ec)) {
        if (!it->is_symlink(ec)) {  // never through a link to something else
            ::chmod(it->path().c_str(), it->is_directory(ec) ? 0755 : 0644);
        }
    }
}

}  // namespace kormial::test
