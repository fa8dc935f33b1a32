#include "compare/firstreads.h"

#include "compare/runfiles.h"
#include "platform/parallel.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <numeric>

namespace kormial {

namespace {
// Files up to this size are read whole at once. Only they are read ahead:
// a larger file is opened once, by its run, for all of its reads.
constexpr std::int64_t kWhole = 65536;
}  // namespace

std::int64_t firstChunkBytes(std::int64_t size)
{
    constexpr std::int64_t kFirst = 4096;
    return size <= kWhole ? size : kFirst;
}

bool readAhead(const FileRec& r)
{
    return !r.Group.isUnreadable() && r.Size > 0 && r.Size <= kWhole;
}

namespace {

using Chunk = FirstReads::Chunk;

// Files opened and read together: when the first one's bytes are not in
// memory, the disk is cold here, and every file's chunk is asked for at once
// before any is read, so that the disk has all of them in flight.
constexpr std::size_t kWindow = 32;

// Reads the rest of a file's chunk, the whole file, from byte `from` on
// (negative: a read failed, as c.err says). The file was opened without a
// look: only now does its descriptor show whether it is the catalogued
// file, unchanged since the walk, and only then do its bytes count.
void finishChunk(platform::ReadFile& f, const FileRec& r, Chunk& c, std::uint8_t* into, std::int64_t from)
{
    const auto len = static_cast<std::int64_t>(c.len);
    std::int64_t got = from;
    if (from >= 0 && from < len) {
        got = f.readAt(from, into + from, c.len - static_cast<std::size_t>(from), &c.err);
        got = got < 0 ? got : from + got;
    }
    platform::Error state;
    if (!f.unchanged(r.state(), &state)) {
        c.err = state;
    } else if (got == len) {
        c.ok = true;
    } else if (got >= 0) {
        c.err.code = platform::kChangedDuringSearch;  // shorter than when sized
    }
    f.close();
}

// One reader's stretch of files in walk order, a window at a time.
class StretchReader {
public:
    StretchReader(const FileArray& files, FirstReads& reads, std::vector<Chunk>& chunks,
                  const std::vector<std::size_t>& order, platform::HeldFolders* folders)
        : files_(files), reads_(reads), chunks_(chunks), order_(order), folders_(folders)
    {
    }

    void read(std::size_t from, std::size_t end, const std::atomic<bool>& stop)
    {
        for (std::size_t w = from; w < end && !stop.load(std::memory_order_relaxed); w += kWindow) {
            const std::size_t n = std::min(kWindow, end - w);
            for (std::size_t k = 0; k < n; ++k) {
                openRecord(open_[k], rec(w + k), folders_, &chunk(w + k).err, platform::ReadFile::Look::AfterRead);
            }
            std::size_t first = 0;
            while (first < n && !open_[first].isOpen()) {
                ++first;
            }
            if (first == n) {
                continue;
            }
            Chunk& c = chunk(w + first);
            const std::int64_t got = open_[first].readInMemory(0, reads_.bytes(c), c.len, &c.err);
            const bool cold = got >= 0 && got < static_cast<std::int64_t>(c.len);
            for (std::size_t k = first + 1; cold && k < n; ++k) {
                if (open_[k].isOpen()) {
                    open_[k].willNeed(0, static_cast<std::int64_t>(chunk(w + k).len));
                }
            }
            finishChunk(open_[first], rec(w + first), c, reads_.bytes(c), got);
            for (std::size_t k = first + 1; k < n; ++k) {
                if (open_[k].isOpen()) {
                    finishChunk(open_[k], rec(w + k), chunk(w + k), reads_.bytes(chunk(w + k)), 0);
                }
            }
        }
    }

private:
    Chunk& chunk(std::size_t k) { return chunks_[order_[k]]; }
    const FileRec& rec(std::size_t k) const { return files_[static_cast<std::size_t>(chunks_[order_[k]].record)]; }

    const FileArray& files_;
    FirstReads& reads_;
    std::vector<Chunk>& chunks_;
    const std::vector<std::size_t>& order_;
    platform::HeldFolders* folders_;
    std::array<platform::ReadFile, kWindow> open_;
};

}  // namespace

bool FirstReads::read(const FileArray& files, std::span<const Run> runs, platform::HeldFolders* folders,
                      const std::function<bool()>& stopRequested)
{
    chunks_.clear();
    std::size_t total = 0;
    for (const Run& run : runs) {
        for (std::int64_t i = run.first; i <= run.last; ++i) {
            const FileRec& r = files[static_cast<std::size_t>(i)];
            if (readAhead(r)) {
                Chunk& c = chunks_.emplace_back();
                c.record = i;
                c.at = total;
                c.len = static_cast<std::size_t>(firstChunkBytes(r.Size));
                total += chunks_.back().len;
            }
        }
    }
    buffer_ = aheadBuffer(total);
    const auto rec = [&](std::size_t k) -> const FileRec& {
        return files[static_cast<std::size_t>(chunks_[k].record)];
    };
    std::vector<std::size_t> order(chunks_.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        return rec(a).WalkOrder < rec(b).WalkOrder;
    });
    // stretches of neighbours in walk order, taken by the readers in turn
    constexpr std::size_t kStretch = 256;
    std::atomic<bool> stop{false};
    parallelFor(
        (order.size() + kStretch - 1) / kStretch,
        [&](std::size_t s) {
            StretchReader(files, *this, chunks_, order, folders)
                .read(s * kStretch, std::min(order.size(), (s + 1) * kStretch), stop);
        },
        [&] { stop.store(stop.load() || stopRequested()); });
    if (stop.load() || stopRequested()) {
        chunks_.clear();
        return false;
    }
    return true;
}

const FirstReads::Chunk* FirstReads::find(std::int64_t record) const
{
    const auto it = std::lower_bound(chunks_.begin(), chunks_.end(), record,
                                     [](const Chunk& c, std::int64_t r) { return c.record < r; });
    return it != chunks_.end() && it->record == record ? &*it : nullptr;
}

}  // namespace kormial
