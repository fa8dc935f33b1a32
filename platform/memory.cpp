#include "platform/memory.h"

#include <malloc.h>
#include <new>
#include <sys/mman.h>
#include <utility>

namespace kormial::platform {

void keepLargeBlocksApart()
{
    // a fixed threshold also turns off the allocator's habit of raising it
    // after every large free
    ::mallopt(M_MMAP_THRESHOLD, 128 * 1024);
}

namespace {
constexpr std::size_t kHugePage = 2 << 20;
}  // namespace

ReadBuffer::ReadBuffer(std::size_t bytes)
{
    if (bytes == 0) {
        return;
    }
    const bool huge = bytes >= kHugePage;
    // a huge page needs an aligned start: map one more and trim around it
    const std::size_t rounded = huge ? (bytes + kHugePage - 1) / kHugePage * kHugePage : bytes;
    const std::size_t asked = huge ? rounded + kHugePage : rounded;
    void* p = ::mmap(nullptr, asked, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) {
        throw std::bad_alloc();
    }
    auto* start = static_cast<std::uint8_t*>(p);
    if (huge) {
        const auto at = reinterpret_cast<std::uintptr_t>(start);
        const std::size_t lead = (kHugePage - at % kHugePage) % kHugePage;
        if (lead > 0) {
            ::munmap(start, lead);
        }
        ::munmap(start + lead + rounded, kHugePage - lead);
        start += lead;
        ::madvise(start, rounded, MADV_HUGEPAGE);  // a hint: refused, the block still works
    }
    data_ = start;
    size_ = bytes;
    mapped_ = rounded;
}

ReadBuffer::~ReadBuffer()
{
    release();
}

ReadBuffer::ReadBuffer(ReadBuffer&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)), size_(std::exchange(other.size_, 0)),
      mapped_(std::exchange(other.mapped_, 0))
{
}

ReadBuffer& ReadBuffer::operator=(ReadBuffer&& other) noexcept
{
    if (this != &other) {
        release();
        data_ = std::exchange(other.data_, nullptr);
        size_ = std::exchange(other.size_, 0);
        mapped_ = std::exchange(other.mapped_, 0);
    }
    return *this;
}

void ReadBuffer::release()
{
    if (data_ != nullptr) {
        ::munmap(data_, mapped_);
        data_ = nullptr;
        size_ = mapped_ = 0;
    }
}

}  // namespace kormial::platform
