// How the process takes memory from the system.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kormial::platform {

// Large blocks (the catalogue's path blocks, the record array, read buffers)
// are mapped on their own and go back to the system as soon as they are
// freed, instead of settling in the heap after a first large block has been
// freed. Called once, first thing in main.
void keepLargeBlocksApart();

// A block that files are read into, mapped on its own: in huge pages where
// the system grants them, so that a block of many megabytes is faulted in a
// few times rather than page by page. Its bytes start out as zeros.
class ReadBuffer {
public:
    ReadBuffer() = default;
    explicit ReadBuffer(std::size_t bytes);
    ~ReadBuffer();
    ReadBuffer(ReadBuffer&& other) noexcept;
    ReadBuffer& operator=(ReadBuffer&& other) noexcept;
    ReadBuffer(const ReadBuffer&) = delete;
    ReadBuffer& operator=(const ReadBuffer&) = delete;

    std::uint8_t* data() const { return data_; }
    std::size_t size() const { return size_; }

private:
    void release();
    std::uint8_t* data_ = nullptr;
    std::size_t size_ = 0;
    std::size_t mapped_ = 0;
};

}  // namespace kormial::platform
