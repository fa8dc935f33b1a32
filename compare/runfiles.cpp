#include "compare/runfiles.h"

#include "compare/compare.h"
#include "platform/memory.h"
#include "platform/parallel.h"

#include <cstring>
#include <memory>

namespace kormial {

namespace {

// Each thread's read buffer (see batchBuffer), and the read-ahead buffer.
thread_local platform::ReadBuffer t_buffer;
thread_local platform::ReadBuffer t_ahead;

// A buffer that grows at least twofold, so that runs of growing sizes map
// a new one only a few times.
std::uint8_t* keptBuffer(platform::ReadBuffer& buffer, std::size_t bytes)
{
    if (buffer.size() < bytes) {
        const std::size_t grown = std::max(bytes, 2 * buffer.size());
        buffer = platform::ReadBuffer();  // the old one goes first
        buffer = platform::ReadBuffer(grown);
    }
    return buffer.data();
}

}  // namespace

std::int64_t GetBufferSz(std::int64_t Sz)
{
    return Sz < 1000000 ? Sz : 50000;
}

// Four independent lanes keep the hash close to the speed of memory.
std::uint64_t chunkHash(const std::uint8_t* p, std::size_t n)
{
    constexpr std::uint64_t kMul = 0x9E3779B97F4A7C15ull;
    std::uint64_t lane[4] = {n, n ^ 0x5bd1e995u, ~n, n * kMul};
    std::size_t i = 0;
    for (; i + 32 <= n; i += 32) {
        for (int l = 0; l < 4; ++l) {
            std::uint64_t w;
            std::memcpy(&w, p + i + 8 * static_cast<std::size_t>(l), 8);
            lane[l] = (lane[l] ^ w) * kMul;
            lane[l] ^= lane[l] >> 31;
        }
    }
    std::uint64_t h = lane[0] ^ (lane[1] * 3) ^ (lane[2] * 5) ^ (lane[3] * 7);
    for (; i < n; ++i) {
        h = (h ^ p[i]) * kMul;
    }
    h *= kMul;
    return h ^ (h >> 32);
}

bool openRecord(platform::ReadFile& f, const FileRec& r, platform::HeldFolders* folders, platform::Error* err,
                platform::ReadFile::Look look)
{
    if (folders == nullptr || !r.Folder) {
        return f.openChecked(r.path(), r.state(), err, look);
    }
    platform::Error reached;
    const platform::Folder* folder = folders->at(r.Folder.get(), r.Folder->path, &reached);
    if (reached.code != 0) {
        f.close();
        if (err != nullptr) {
            *err = reached;
        }
        return false;
    }
    return folder != nullptr ? f.openChecked(*folder, r.Name, r.state(), err, look)
                             : f.openChecked(r.path(), r.state(), err, look);
}

RunFiles::RunFiles(FileArray& arr, std::vector<std::int64_t> records, platform::HeldFolders* folders)
    : arr_(arr), records_(std::move(records)), files_(records_.size()), folders_(folders)
{
    // each reading thread may hold the files of a run of its own
    const std::size_t threads = parallelHelpers(JobKind::Reading) + 1;
    budget_ = std::max<std::size_t>(8, platform::openFileBudget() / threads);
    if (records_.size() > 256) {
        platform::reserveDescriptors(std::min(records_.size(), budget_) * threads + 64);
    }
}

void RunFiles::reserve(const std::size_t* slots, std::size_t n)
{
    std::size_t need = 0;
    for (std::size_t k = 0; k < n; ++k) {
        need += files_[slots[k]].isOpen() ? 0 : 1;
    }
    if (open_ + need <= budget_) {
        return;
    }
    std::vector<bool> wanted(files_.size(), false);
    for (std::size_t k = 0; k < n; ++k) {
        wanted[slots[k]] = true;
    }
    for (std::size_t tries = 0; open_ + need > budget_ && tries < files_.size(); ++tries) {
        victim_ = (victim_ + 1) % files_.size();
        if (!wanted[victim_] && files_[victim_].isOpen()) {
            close(victim_);
        }
    }
}

bool RunFiles::read(std::size_t slot, std::int64_t offset, void* dest, std::size_t len, platform::Error& err,
                    bool* hole)
{
    platform::ReadFile& f = files_[slot];
    if (!f.isOpen()) {
        if (!openRecord(f, rec(slot), folders_, &err)) {
            return false;
        }
        opened_.fetch_add(1, std::memory_order_relaxed);
    }
    if (f.sparse() && len >= 65536 && f.dataFrom(offset) >= offset + static_cast<std::int64_t>(len)) {
        if (hole != nullptr) {
            *hole = true;
        } else {
            std::memset(dest, 0, len);
        }
        return true;
    }
    const std::int64_t got = f.readAt(offset, dest, len, &err);
    if (got == static_cast<std::int64_t>(len)) {
        return true;
    }
    if (got >= 0) {
        err.code = platform::kChangedDuringSearch;  // shorter than when sized
    }
    return false;
}

bool RunFiles::stillSame(std::size_t slot, platform::Error& err)
{
    platform::ReadFile& f = files_[slot];
    if (f.isOpen()) {
        return f.unchanged(rec(slot).state(), &err);
    }
    platform::ReadFile again;
    return openRecord(again, rec(slot), folders_, &err);
}

void RunFiles::close(std::size_t slot)
{
    countOpened();
    if (files_[slot].isOpen()) {
        files_[slot].close();
        --open_;
    }
}

std::uint8_t* batchBuffer(std::size_t bytes)
{
    return keptBuffer(t_buffer, bytes);
}

std::uint8_t* aheadBuffer(std::size_t bytes)
{
    // room for the largest batch at once: pages never touched cost nothing
    return keptBuffer(t_ahead, std::max<std::size_t>(bytes, kReadAheadBytes));
}

void trimBatchBuffer()
{
    constexpr std::size_t kKeptByHelpers = 16 << 20;
    if (inParallelJob() && t_buffer.size() > kKeptByHelpers) {
        t_buffer = platform::ReadBuffer();
    }
}

void ReleaseCompareBuffers()
{
    t_buffer = platform::ReadBuffer();
    t_ahead = platform::ReadBuffer();
}

}  // namespace kormial
