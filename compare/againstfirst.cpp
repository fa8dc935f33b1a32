// A large class of files compared with its first member where the bytes are:
// each reader compares its files slice by slice with the first member's
// chunk while the slice it just read is still in the processor's cache.
#include "compare/chunksplit.h"
#include "platform/parallel.h"

#include <atomic>
#include <cstring>
#include <memory>

namespace kormial {

namespace {

constexpr std::size_t kSlice = 256 << 10;

// Each reading thread's slice buffer.
thread_local std::unique_ptr<std::uint8_t[]> t_slice;

// One file against the first member's chunk `first`, slice by slice; a
// file stops being read at its first slice that differs.
Verdict compareOne(RunFiles& files, std::size_t slot, std::int64_t offset, const std::uint8_t* first,
                     std::size_t len, platform::Error& err, const std::atomic<bool>& stop)
{
    if (!t_slice) {
        t_slice.reset(new std::uint8_t[kSlice]);
    }
    for (std::size_t at = 0; at < len; at += kSlice) {
        if (stop.load(std::memory_order_relaxed)) {
            return Verdict::Unknown;
        }
        const std::size_t n = std::min(kSlice, len - at);
        bool hole = false;
        if (!files.read(slot, offset + static_cast<std::int64_t>(at), t_slice.get(), n, err, &hole)) {
            return Verdict::Failed;
        }
        if (hole ? !allZero(first + at, n) : std::memcmp(first + at, t_slice.get(), n) != 0) {
            return Verdict::Different;
        }
    }
    return Verdict::Same;
}

}  // namespace

bool compareWithFirst(RunFiles& files, std::span<const std::size_t> slots, std::int64_t offset,
                      const std::uint8_t* first, std::size_t len, const std::function<bool()>& stopRequested,
                      const std::function<bool(std::size_t, Verdict, const platform::Error&)>& take)
{
    // a round at a time: its files open at once, and their verdicts taken
    // before the next round is read
    constexpr std::size_t kRoundBytes = 64 << 20;
    const std::size_t round = std::clamp<std::size_t>(kRoundBytes / len, 1, files.budget());
    std::vector<Verdict> verdicts(round);
    std::vector<platform::Error> errors(round);
    for (std::size_t from = 0; from < slots.size(); from += round) {
        const std::span<const std::size_t> these = slots.subspan(from, std::min(round, slots.size() - from));
        files.reserve(these.data(), these.size());
        const std::size_t readers = std::min(these.size(), parallelHelpers(JobKind::Reading) + 1);
        std::atomic<bool> stop{false};
        // contiguous shares: neighbours in a run are often neighbours on the disk
        parallelFor(
            readers,
            [&](std::size_t r) {
                for (std::size_t k = these.size() * r / readers; k < these.size() * (r + 1) / readers; ++k) {
                    errors[k] = {};
                    verdicts[k] = compareOne(files, these[k], offset, first, len, errors[k], stop);
                }
            },
            [&] { stop.store(stop.load() || stopRequested()); }, JobKind::Reading);
        files.countOpened();
        if (stop.load()) {
            return false;
        }
        for (std::size_t k = 0; k < these.size(); ++k) {
            if (!take(from + k, verdicts[k], errors[k])) {
                return false;
            }
        }
    }
    return true;
}

}  // namespace kormial
