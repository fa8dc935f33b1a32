#include "platform/inputstream.h"

#include "platform/pathopen.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace kormial::platform {

InputStream::~InputStream()
{
    if (owned_) {
        ::close(fd_);
    }
}

bool InputStream::open(const std::string& path, Error* err)
{
    if (path == "-") {
        fd_ = STDIN_FILENO;
        return true;
    }
    fd_ = openPath(path, O_RDONLY | O_CLOEXEC | O_NOCTTY);
    owned_ = fd_ >= 0;
    if (!owned_) {
        setError(err, errno);
    }
    return owned_;
}

std::int64_t InputStream::read(char* buf, std::size_t len, Error* err)
{
    for (;;) {
        const ssize_t got = ::read(fd_, buf, len);
        if (got >= 0) {
            return got;
        }
        if (errno != EINTR) {
            setError(err, errno);
            return -1;
        }
    }
}

}  // namespace kormial::platform
