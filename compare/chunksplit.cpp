// A class split by one chunk: read a batch at a time and placed in index
// order, or, for a large class of large chunks, compared with its first
// member where the bytes are.
#include "compare/chunksplit.h"

#include "platform/parallel.h"

#include <algorithm>
#include <cstring>

namespace kormial {

bool allZero(const std::uint8_t* p, std::size_t n)
{
    return n > 0 && p[0] == 0 && std::memcmp(p, p + 1, n - 1) == 0;
}

bool ChunkSplitter::split(const std::vector<std::size_t>& members, std::int64_t offset, std::size_t len,
                          std::vector<Part>& parts)
{
    Splitting sp;
    sp.offset = offset;
    sp.len = len;
    // a large class of large chunks is compared with its first member
    // where the bytes are; the files that differ are placed as usual
    constexpr std::size_t kAgainstFirstFiles = 8;
    std::vector<std::size_t> others;
    if (members.size() >= kAgainstFirstFiles && len >= 65536) {
        if (!splitAgainstFirst(sp, members, others)) {
            return false;
        }
    } else {
        others = members;
    }
    if (!placeAll(sp, others)) {
        return false;
    }
    parts = std::move(sp.parts);
    trimBatchBuffer();
    return true;
}

// The first member's chunk makes the first part, and each file that
// equals it joins there; the others are left in `others`. A first
// member that cannot be read leaves all of them to the usual placing.
bool ChunkSplitter::splitAgainstFirst(Splitting& sp, const std::vector<std::size_t>& members,
                                      std::vector<std::size_t>& others)
{
    Part part;
    part.own.reset(new std::uint8_t[sp.len]);
    platform::Error err;
    const bool read = files_.read(members.front(), sp.offset, part.own.get(), sp.len, err);
    files_.countOpened();
    if (!read) {
        others = members;
        return true;
    }
    part.bytes = part.own.get();
    part.members.push_back(members.front());
    if (allZero(part.bytes, sp.len)) {
        sp.zeroPart = 0;
    }
    sp.parts.push_back(std::move(part));
    if (!owner_.account(sp.len)) {
        return false;
    }
    const std::span<const std::size_t> rest(members.data() + 1, members.size() - 1);
    return compareWithFirst(
        files_, rest, sp.offset, sp.parts[0].bytes, sp.len, [this] { return owner_.stopRequested(); },
        [&](std::size_t k, Verdict verdict, const platform::Error& error) {
            if (verdict == Verdict::Different) {
                others.push_back(rest[k]);
                return true;
            }
            if (verdict == Verdict::Same) {
                sp.parts[0].members.push_back(rest[k]);
            } else {
                owner_.fail(rest[k], error);
            }
            return owner_.account(sp.len);
        });
}

// Reads the chunks of `members` a batch at a time and places each.
// False at a stop request.
bool ChunkSplitter::placeAll(Splitting& sp, const std::vector<std::size_t>& members)
{
    constexpr std::size_t kBatchBytes = 1 << 20;  // chunks read at once (at least two)
    const std::size_t len = sp.len;
    // a class of large chunks (few files, by the chunk sizes) is read
    // whole, so no chunk has to be copied aside between batches
    constexpr std::size_t kWholeClassBytes = 16 << 20;
    std::size_t batch = std::min(std::max<std::size_t>(kBatchBytes / len, 2), members.size());
    if (len > 65536 && members.size() * len <= kWholeClassBytes) {
        batch = members.size();
    }
    batch = std::min(batch, files_.budget());
    if (batch == 0) {
        return true;
    }
    std::uint8_t* const chunks = batchBuffer(batch * len);
    std::vector<Outcome> outcomes(batch);
    for (std::size_t from = 0; from < members.size(); from += batch) {
        // the batch's files are read side by side; what they hold is then
        // taken in index order, exactly as if read one after another
        const std::size_t n = std::min(batch, members.size() - from);
        files_.reserve(members.data() + from, n);
        const auto readOne = [&](std::size_t k) {
            outcomes[k] = {};
            outcomes[k].ok = files_.read(members[from + k], sp.offset, chunks + k * len, len, outcomes[k].err,
                                          &outcomes[k].hole);
        };
        if (n >= 4 || (n >= 2 && len >= 65536)) {
            parallelFor(n, readOne, {}, JobKind::Reading);
        } else {
            for (std::size_t k = 0; k < n; ++k) {
                readOne(k);
            }
        }
        files_.countOpened();
        for (std::size_t k = 0; k < n; ++k) {
            if (!place(sp, members[from + k], outcomes[k], chunks + k * len)) {
                return false;
            }
        }
        if (from + n < members.size()) {
            keepBeyondBatch(sp);
        }
    }
    return true;
}

// Before the batch buffer is read over: the parts that point into it get
// a copy of their chunk while the allowance lasts (always for the parts
// compared directly, and for parts of two or more, which are few).
void ChunkSplitter::keepBeyondBatch(Splitting& sp)
{
    constexpr std::size_t kKeptAllowance = 1 << 20;
    for (std::size_t p = 0; p < sp.parts.size(); ++p) {
        Part& part = sp.parts[p];
        if (!part.inBatch) {
            continue;
        }
        part.inBatch = false;
        if (p < kDirect || part.members.size() >= 2 || sp.kept + sp.len <= kKeptAllowance) {
            if (p >= kDirect && part.members.size() < 2) {
                sp.kept += sp.len;
            }
            part.own.reset(new std::uint8_t[sp.len]);
            std::memcpy(part.own.get(), part.bytes, sp.len);
            part.bytes = part.own.get();
        } else {
            part.bytes = nullptr;
        }
    }
}

// True when `part`'s chunk equals `chunk`. A part whose chunk is not in
// memory reads its first member again; if that fails or shows other
// bytes than before, the member is marked unreadable and the part emptied.
bool ChunkSplitter::matches(Splitting& sp, Part& part, const std::uint8_t* chunk)
{
    if (part.members.empty()) {
        return false;  // its only member failed when read again
    }
    if (part.bytes) {
        return std::memcmp(part.bytes, chunk, sp.len) == 0;
    }
    if (!sp.again) {
        sp.again.reset(new std::uint8_t[sp.len]);
    }
    const std::size_t first = part.members.front();
    platform::Error err;
    const bool read = files_.read(first, sp.offset, sp.again.get(), sp.len, err);
    files_.countOpened();
    if (!read || chunkHash(sp.again.get(), sp.len) != part.hash) {
        // the first member changed or went since its read
        if (err.code == 0) {
            err.code = platform::kChangedDuringSearch;
        }
        part.members.clear();
        owner_.fail(first, err);
        return false;
    }
    if (std::memcmp(sp.again.get(), chunk, sp.len) != 0) {
        return false;
    }
    part.own.reset(new std::uint8_t[sp.len]);
    std::memcpy(part.own.get(), chunk, sp.len);
    part.bytes = part.own.get();
    return true;
}

// Puts the file in `slot` into the part of equal chunks, or starts a new
// part. False at a stop request.
bool ChunkSplitter::place(Splitting& sp, std::size_t slot, const Outcome& got, std::uint8_t* chunk)
{
    if (!got.ok) {
        owner_.fail(slot, got.err);
    }
    if (!owner_.account(sp.len)) {
        return false;
    }
    if (!got.ok) {
        return true;
    }
    // holes of sparse files: zeros, matched without comparing bytes
    if (got.hole) {
        if (sp.zeroPart != SIZE_MAX) {
            sp.parts[sp.zeroPart].members.push_back(slot);
            return true;
        }
        std::memset(chunk, 0, sp.len);
    }
    const bool zeros = got.hole || (sp.zeroPart == SIZE_MAX && allZero(chunk, sp.len));
    if (zeros && sp.zeroPart != SIZE_MAX) {
        sp.parts[sp.zeroPart].members.push_back(slot);
        return true;
    }
    for (std::size_t p = 0; p < std::min(kDirect, sp.parts.size()); ++p) {
        if (matches(sp, sp.parts[p], chunk)) {
            sp.parts[p].members.push_back(slot);
            return true;
        }
    }
    std::uint64_t h = 0;
    if (sp.parts.size() >= kDirect) {
        h = chunkHash(chunk, sp.len);
        for (const std::size_t p : sp.byHash[h]) {
            if (matches(sp, sp.parts[p], chunk)) {
                sp.parts[p].members.push_back(slot);
                return true;
            }
        }
        sp.byHash[h].push_back(sp.parts.size());
    }
    Part part;
    part.members.push_back(slot);
    part.bytes = chunk;
    part.inBatch = true;
    part.hash = h;
    if (zeros) {
        sp.zeroPart = sp.parts.size();
    }
    sp.parts.push_back(std::move(part));
    return true;
}

}  // namespace kormial
