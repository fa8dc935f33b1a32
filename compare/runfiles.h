// How the comparisons read: the run of open files, the read buffer kept from
// run to run, and the blocks of a run read block by block. Internal to
// compare/.
#pragma once

#include "catalogue/filerec.h"
#include "compare/compare.h"
#include "platform/fs.h"
#include "platform/heldfolders.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

namespace kormial {

// Bytes that block `p` of a file of `size` bytes holds (the last one may be short).
inline std::size_t blockBytes(std::int64_t size, std::int64_t bs, std::int64_t p)
{
    return static_cast<std::size_t>(std::clamp<std::int64_t>(size - p * bs, 0, bs));
}

// Bytes per block for a duplicates run of files of `Sz` bytes: the whole file
// below 1000000 bytes, else 50000.
std::int64_t GetBufferSz(std::int64_t Sz);

// The blocks in which a run is read block by block (in step, or pair by
// pair), set by the run's first record: for duplicates GetBufferSz, every
// byte compared; for portions blocks of 50000 bytes, only the whole ones
// before the smaller file's last byte.
struct BlockPlan {
    BlockPlan(Pairing pairing, std::int64_t firstSize)
        : size(pairing == Pairing::EqualSizes ? GetBufferSz(firstSize) : kPortionBlock),
          tail(pairing == Pairing::EqualSizes ? 0 : size)
    {
    }
    // True when block `p` is compared between files of `bound` bytes or more.
    bool compares(std::int64_t p, std::int64_t bound) const { return p * size + 1 + tail <= bound; }
    // Bytes of block `p` of a file of `fileSize` bytes.
    std::size_t bytes(std::int64_t fileSize, std::int64_t p) const { return blockBytes(fileSize, size, p); }

    std::int64_t size;  // bytes per block
    std::int64_t tail;  // bytes past the last compared block that the bound must hold
};

// Opens the file of `r` for reading, checked on its descriptor against the
// state the walk recorded (when `look` says): relative to its folder when
// `folders` hold it, else by its path.
bool openRecord(platform::ReadFile& f, const FileRec& r, platform::HeldFolders* folders, platform::Error* err,
                platform::ReadFile::Look look = platform::ReadFile::Look::AtOpen);

// 64 bits of a chunk's bytes: only used to find the chunks that may be equal,
// which are then compared byte for byte.
std::uint64_t chunkHash(const std::uint8_t* p, std::size_t n);

// The files of one comparison, each opened once and kept open while it can
// still matter: every open checks on the descriptor that the file is the
// catalogued one in its recorded state, and a file that must be closed to
// stay within the descriptor budget is checked again when it is reopened.
class RunFiles {
public:
    RunFiles(FileArray& arr, std::vector<std::int64_t> records, platform::HeldFolders* folders = nullptr);

    std::size_t count() const { return records_.size(); }
    // How many of the files may be open at once.
    std::size_t budget() const { return budget_; }
    std::int64_t record(std::size_t slot) const { return records_[slot]; }
    FileRec& rec(std::size_t slot) { return arr_[static_cast<std::size_t>(records_[slot])]; }

    // Makes room for `slots` to be open at once (on the calling thread,
    // before they are read side by side): other open files are closed.
    void reserve(const std::size_t* slots, std::size_t n);

    // Reads exactly `len` bytes at `offset` of the file in `slot`, opening
    // it first if need be. Safe side by side for different slots. A range
    // that lies wholly in a hole of a sparse file is all zeros: with `hole`
    // given, that is said there and nothing is read or written.
    bool read(std::size_t slot, std::int64_t offset, void* dest, std::size_t len, platform::Error& err,
              bool* hole = nullptr);

    // After the last read of the file in `slot`: true when it still shows
    // its recorded state (reopened and checked when it was closed).
    bool stillSame(std::size_t slot, platform::Error& err);

    void close(std::size_t slot);

    // Takes in the opens made side by side since the last call.
    void countOpened() { open_ += opened_.exchange(0, std::memory_order_relaxed); }

private:
    FileArray& arr_;
    std::vector<std::int64_t> records_;
    std::vector<platform::ReadFile> files_;
    platform::HeldFolders* folders_;
    std::size_t budget_ = 0;
    std::size_t open_ = 0;
    std::atomic<std::size_t> opened_{0};
    std::size_t victim_ = 0;
};

// How a file's chunk compares with the first member's.
enum class Verdict { Same, Different, Failed, Unknown };

// The files in `slots` compared with `first`, the first member's `len`
// bytes at `offset`, on the reading threads, a round of files at a time:
// each thread takes a contiguous share of the round and compares slice by
// slice, a file read only up to its first slice that differs (Different) or
// fails (Failed, with its error). After each round `take` gets every
// file's verdict in order, by its place in `slots`, on the calling thread.
// False at a stop request (polled on the calling thread) or when `take`
// says so.
bool compareWithFirst(RunFiles& files, std::span<const std::size_t> slots, std::int64_t offset,
                      const std::uint8_t* first, std::size_t len, const std::function<bool()>& stopRequested,
                      const std::function<bool(std::size_t, Verdict, const platform::Error&)>& take);

// The buffer a batch is read into, kept from run to run until the search
// ends (ReleaseCompareBuffers): a search may hold thousands of runs, and
// a fresh buffer would be faulted in page by page each time. Helper
// threads keep theirs up to 16 MiB (trimBatchBuffer): enough for the
// batches of files of a few MiB, which are many on an ordinary tree.
std::uint8_t* batchBuffer(std::size_t bytes);
void trimBatchBuffer();
// The buffer the first chunks are read ahead into, kept in the same way
// (on the thread that groups the runs).
std::uint8_t* aheadBuffer(std::size_t bytes);

}  // namespace kormial
