// Reading a file once from its start to its end, whatever it is: a regular
// file, a pipe, a terminal or a device, or standard input.
#pragma once

#include "platform/fs.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace kormial::platform {

class InputStream {
public:
    InputStream() = default;
    ~InputStream();
    InputStream(const InputStream&) = delete;
    InputStream& operator=(const InputStream&) = delete;

    // Opens `path` for reading, following links as any program would;
    // "-" is standard input (left open at the end).
    bool open(const std::string& path, Error* err = nullptr);
    // Up to `len` bytes, as many as are there now: the count, 0 at the end,
    // -1 on a failure.
    std::int64_t read(char* buf, std::size_t len, Error* err = nullptr);

private:
    int fd_ = -1;
    bool owned_ = false;
};

}  // namespace kormial::platform
