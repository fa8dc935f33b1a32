#include "platform/reviewlock.h"

#include "platform/trashplace.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kormial::platform {

namespace {

std::string absoluteEnv(const char* name)
{
    const char* v = std::getenv(name);
    return v != nullptr && v[0] == '/' ? std::string(v) : std::string();
}

}  // namespace

std::string reviewLockPath()
{
    const std::string runtime = absoluteEnv("XDG_RUNTIME_DIR");
    if (!runtime.empty()) {
        return runtime + "/kormial-review.lock";
    }
    std::string config = absoluteEnv("XDG_CONFIG_HOME");
    if (config.empty() && !homeFolder().empty()) {
        config = (homeFolder() == "/" ? "" : homeFolder()) + "/.config";
    }
    return config.empty() ? std::string() : config + "/Kormial/review.lock";
}

bool heldElsewhere(const Error& e)
{
    return e.code == EWOULDBLOCK;
}

std::optional<ReviewLock> ReviewLock::tryTake(Error* err)
{
    const std::string path = reviewLockPath();
    if (path.empty()) {
        setError(err, ENOENT);
        return std::nullopt;
    }
    if (path.ends_with("/Kormial/review.lock")) {
        // the configuration folder and the program's folder in it, when missing
        const std::string folder = path.substr(0, path.rfind('/'));
        ::mkdir(folder.substr(0, folder.rfind('/')).c_str(), 0700);
        ::mkdir(folder.c_str(), 0700);
    }
    UniqueFd fd(::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY, 0600));
    if (!fd) {
        setError(err, errno);
        return std::nullopt;
    }
    if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
        setError(err, errno);
        return std::nullopt;
    }
    return ReviewLock(std::move(fd));
}

}  // namespace kormial::platform
