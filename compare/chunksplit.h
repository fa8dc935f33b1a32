// One step of the exact grouping: the files of a class split by the bytes of
// one chunk, in order of their first members. Internal to compare/.
#pragma once

#include "compare/runfiles.h"

#include <cstdint>
#include <memory>
#include <unordered_map>
#include <vector>

namespace kormial {

class ChunkSplitter {
public:
    // Files whose chunk equals the first member's; `bytes` points at that
    // chunk: in a buffer still being read, in a copy of its own, or nowhere
    // (beyond the memory allowance: the first member is read again).
    struct Part {
        std::vector<std::size_t> members;  // slots, ascending
        const std::uint8_t* bytes = nullptr;
        std::unique_ptr<std::uint8_t[]> own;
        bool inBatch = false;
        std::uint64_t hash = 0;
    };

    // A chunk as read: its bytes, or the failure; `hole` when the range
    // lies wholly in a hole of a sparse file (all zeros, nothing read).
    struct Outcome {
        bool ok = false;
        bool hole = false;
        platform::Error err;
    };

    // What the grouping that splits is told, and asked.
    class Owner {
    public:
        virtual ~Owner() = default;
        // The file in `slot` could not be read or changed: it leaves.
        virtual void fail(std::size_t slot, const platform::Error& err) = 0;
        // One more chunk of `len` bytes taken; false at a stop request.
        virtual bool account(std::size_t len) = 0;
        virtual bool stopRequested() = 0;
    };

    ChunkSplitter(RunFiles& files, Owner& owner) : files_(files), owner_(owner) {}

    // Splits `members` (ascending slots) by their `len` bytes at `offset`,
    // read now, into `parts`. False at a stop request.
    bool split(const std::vector<std::size_t>& members, std::int64_t offset, std::size_t len,
               std::vector<Part>& parts);

    // The same for the first chunk, read before: `chunk(slot)` gives a
    // member's outcome and bytes, which stay where they are while the parts
    // are used.
    template <typename Chunk>
    bool splitRead(const std::vector<std::size_t>& members, std::size_t len, Chunk chunk, std::vector<Part>& parts)
    {
        Splitting sp;
        sp.len = len;
        for (const std::size_t slot : members) {
            const auto [outcome, bytes] = chunk(slot);
            if (!place(sp, slot, outcome, bytes)) {
                return false;
            }
        }
        parts = std::move(sp.parts);
        return true;
    }

private:
    // How the chunks of one split are matched: the first few parts are
    // compared with every chunk directly (a few files, or large chunks, cost
    // no hashing); beyond them parts are found by the hash of their chunk.
    struct Splitting {
        std::int64_t offset = 0;
        std::size_t len = 0;
        std::vector<Part> parts;
        std::unordered_map<std::uint64_t, std::vector<std::size_t>> byHash;
        std::unique_ptr<std::uint8_t[]> again;  // a first member's chunk, read once more
        std::size_t kept = 0;
        std::size_t zeroPart = SIZE_MAX;  // the part of all-zero chunks, if any
    };
    static constexpr std::size_t kDirect = 8;

    bool splitAgainstFirst(Splitting& sp, const std::vector<std::size_t>& members, std::vector<std::size_t>& others);
    bool placeAll(Splitting& sp, const std::vector<std::size_t>& members);
    static void keepBeyondBatch(Splitting& sp);
    bool matches(Splitting& sp, Part& part, const std::uint8_t* chunk);
    bool place(Splitting& sp, std::size_t slot, const Outcome& got, std::uint8_t* chunk);

    RunFiles& files_;
    Owner& owner_;
};

// True when the `n` bytes at `p` are all zero (n > 0).
bool allZero(const std::uint8_t* p, std::size_t n);

}  // namespace kormial
