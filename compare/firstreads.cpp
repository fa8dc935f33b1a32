#include "compare/firstreads.h"

#include "compare/runfiles.h"
#include "platform/parallel.h"

#include <algorithm>
#include <atomic>
#include <numeric>

namespace kormial {

std::int64_t firstChunkBytes(std::int64_t size)
{
    constexpr std::int64_t kWhole = 65536;
    constexpr std::int64_t kFirst = 4096;
    return size <= kWhole ? size : kFirst;
}

bool readAhead(const FileRec& r)
{
    return !r.Group.isUnreadable() && r.Size > 0;
}

namespace {

// Reads one file's chunk, through `folder` when it is open.
void readChunk(const FileRec& r, const platform::Folder& folder, FirstReads::Chunk& c, std::uint8_t* into)
{
    platform::ReadFile f;
    const bool opened =
        folder.isOpen() ? f.openChecked(folder, r.Name, r.state(), &c.err) : f.openChecked(r.path(), r.state(), &c.err);
    if (!opened) {
        return;
    }
    const std::int64_t got = f.readAt(0, into, c.len, &c.err);
    if (got != static_cast<std::int64_t>(c.len)) {
        if (got >= 0) {
            c.err.code = platform::kChangedDuringSearch;  // shorter than when sized
        }
        return;
    }
    c.ok = true;
    // a file read whole needs no other look after its read
    platform::Error ignored;
    c.confirmed = static_cast<std::int64_t>(c.len) == r.Size && f.unchanged(r.state(), &ignored);
}

}  // namespace

bool FirstReads::read(const FileArray& files, std::span<const Run> runs, const std::function<bool()>& stopRequested)
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
            const std::size_t end = std::min(order.size(), (s + 1) * kStretch);
            platform::Folder folder;  // held while its files are read
            const SearchedFolder* in = nullptr;
            for (std::size_t k = s * kStretch; k < end && !stop.load(std::memory_order_relaxed); ++k) {
                const FileRec& r = rec(order[k]);
                if (r.Folder.get() != in) {
                    in = r.Folder.get();
                    folder.close();
                    // a folder is worth opening for a few files, not for one or two
                    constexpr std::size_t kFew = 3;
                    if (in != nullptr && k + kFew <= end && rec(order[k + kFew - 1]).Folder.get() == in) {
                        folder.openToRead(in->path);
                    }
                }
                readChunk(r, folder, chunks_[order[k]], bytes(chunks_[order[k]]));
            }
        },
        [&] { stop.store(stop.load() || stopRequested()); }, JobKind::Reading);
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
