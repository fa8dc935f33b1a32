#include "catalogue/compare.h"

#include "catalogue/parallel.h"
#include "platform/fs.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <functional>
#include <memory>
#include <unordered_map>
#include <vector>

namespace kormial {

std::int64_t GetBufferSz(std::int64_t Sz)
{
    return Sz < 1000000 ? Sz : 50000;
}

namespace {

// Bytes that block `p` of a file of `size` bytes holds (the last one may be short).
std::size_t blockBytes(std::int64_t size, std::int64_t bs, std::int64_t p)
{
    return static_cast<std::size_t>(std::clamp<std::int64_t>(size - p * bs, 0, bs));
}

std::int32_t asGroup(std::int64_t index)
{
    return static_cast<std::int32_t>(index);
}

// Each thread's read buffer (see ExactGrouper::batchBuffer).
thread_local std::unique_ptr<std::uint8_t[]> t_buffer;
thread_local std::size_t t_bufferSize = 0;

// 64 bits of a chunk's bytes: only used to find the chunks that may be equal,
// which are then compared byte for byte. Four independent lanes keep it
// close to the speed of memory.
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

// The files of one comparison, each opened once and kept open while it can
// still matter: every open checks on the descriptor that the file is the
// catalogued one in its recorded state, and a file that must be closed to
// stay within the descriptor budget is checked again when it is reopened.
class RunFiles {
public:
    RunFiles(FileArray& arr, std::vector<std::int64_t> records)
        : arr_(arr), records_(std::move(records)), files_(records_.size())
    {
        budget_ = std::max<std::size_t>(8, platform::openFileBudget() / (parallelHelpers() + 1));
    }

    std::size_t count() const { return records_.size(); }
    // How many of the files may be open at once.
    std::size_t budget() const { return budget_; }
    std::int64_t record(std::size_t slot) const { return records_[slot]; }
    FileRec& rec(std::size_t slot) { return arr_[static_cast<std::size_t>(records_[slot])]; }

    // Makes room for `slots` to be open at once (on the calling thread,
    // before they are read side by side): other open files are closed.
    void reserve(const std::size_t* slots, std::size_t n)
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

    // Reads exactly `len` bytes at `offset` of the file in `slot`, opening
    // it first if need be. Safe side by side for different slots. A range
    // that lies wholly in a hole of a sparse file is all zeros: with `hole`
    // given, that is said there and nothing is read or written.
    bool read(std::size_t slot, std::int64_t offset, void* dest, std::size_t len, platform::Error& err,
              bool* hole = nullptr)
    {
        platform::ReadFile& f = files_[slot];
        if (!f.isOpen()) {
            if (!f.openChecked(rec(slot).path(), rec(slot).state(), &err)) {
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

    // After the last read of the file in `slot`: true when it still shows
    // its recorded state (reopened and checked when it was closed).
    bool stillSame(std::size_t slot, platform::Error& err)
    {
        platform::ReadFile& f = files_[slot];
        if (f.isOpen()) {
            return f.unchanged(rec(slot).state(), &err);
        }
        platform::ReadFile again;
        return again.openChecked(rec(slot).path(), rec(slot).state(), &err);
    }

    void close(std::size_t slot)
    {
        countOpened();
        if (files_[slot].isOpen()) {
            files_[slot].close();
            --open_;
        }
    }

    // Takes in the opens made side by side since the last call.
    void countOpened() { open_ += opened_.exchange(0, std::memory_order_relaxed); }

private:
    FileArray& arr_;
    std::vector<std::int64_t> records_;
    std::vector<platform::ReadFile> files_;
    std::size_t budget_ = 0;
    std::size_t open_ = 0;
    std::atomic<std::size_t> opened_{0};
    std::size_t victim_ = 0;
};

// Exact grouping of equally sized files by refinement: every candidate's
// first chunk is read, the candidates are split by its bytes, and only files
// that still have a partner read on: their last chunk next (files that
// differ only near their end part early), then the rest front to back in
// growing chunks. The result is the same as comparing block by block — the
// classes of byte-identical files, each led by its lowest index — but a file
// that differs early or late is read only as far as it must be, and long
// runs cost linear instead of quadratic reads. Each file is opened once.
// Chunks are read a batch at a time, the batch's files side by side on
// every core, and then taken in index order: each is compared byte for byte
// with the first member of the parts found so far (directly for the first
// few parts, through a hash of the chunk beyond them), so memory stays
// bounded however long the run. A file that cannot be read, or that is not
// (or no longer) in the state it was catalogued in, leaves the run as
// unreadable; a class is only formed after every member was found unchanged
// after its last read.
class ExactGrouper {
public:
    // Called for a file that could not be read or changed; it is marked
    // unreadable and the run goes on without it.
    std::function<void(std::int64_t index, const platform::Error& err)> onFailure;
    // Called after every chunk read; false ends the run (a stop request).
    std::function<bool(double fractionDone)> onRead;

    ExactGrouper(FileArray& arr, std::int64_t size) : arr_(arr), size_(size) { plan(); }

    // Groups `candidates` (ascending indexes). Classes confirmed before a stop
    // are kept; nothing unconfirmed is grouped.
    void run(std::vector<std::int64_t> candidates)
    {
        struct Pending {
            std::vector<std::size_t> members;  // slots, ascending
            std::size_t step;
        };
        totalBytes_ = static_cast<double>(candidates.size()) * static_cast<double>(size_);
        doneBytes_ = 0;
        RunFiles files(arr_, std::move(candidates));
        files_ = &files;
        std::vector<std::size_t> all(files.count());
        for (std::size_t k = 0; k < all.size(); ++k) {
            all[k] = k;
        }
        std::vector<Pending> stack;
        stack.push_back({std::move(all), 0});
        while (!stack.empty()) {
            Pending cls = std::move(stack.back());
            stack.pop_back();
            if (cls.members.size() < 2) {
                continue;
            }
            if (cls.step == ranges_.size()) {
                commit(cls.members);
                continue;
            }
            const auto [offset, len] = ranges_[cls.step];
            std::vector<Part> parts;
            if (!split(cls.members, offset, len, parts)) {
                return;
            }
            std::vector<Pending> further;
            for (auto& part : parts) {
                if (part.members.size() >= 2) {
                    further.push_back({std::move(part.members), cls.step + 1});
                } else if (!part.members.empty()) {
                    doneBytes_ += static_cast<double>(size_) - static_cast<double>(readSoFar(cls.step + 1));
                    files.close(part.members.front());  // no more reading for this file
                }
            }
            // the class of the lowest index is finished first
            std::sort(further.begin(), further.end(), [](const Pending& a, const Pending& b) {
                return a.members.front() > b.members.front();
            });
            for (auto& f : further) {
                stack.push_back(std::move(f));
            }
        }
    }

private:
    // Files whose chunk so far equals the first member's; `bytes` points at
    // that chunk: in the batch just read, in a copy of its own, or nowhere
    // (beyond the memory allowance: the first member is read again).
    struct Part {
        std::vector<std::size_t> members;
        const std::uint8_t* bytes = nullptr;
        std::unique_ptr<std::uint8_t[]> own;
        bool inBatch = false;
        std::uint64_t hash = 0;
    };

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

    // The byte ranges in the order they are compared: the first 4 KB (small
    // files whole), the last 4 KB, then the rest front to back in chunks
    // that grow from 64 KB to 1 MB and, for large files, 4 MB.
    void plan()
    {
        constexpr std::int64_t kFirst = 4096;
        constexpr std::int64_t kWhole = 65536;
        constexpr std::int64_t kTail = 4096;
        if (size_ <= kWhole) {
            ranges_.emplace_back(0, static_cast<std::size_t>(size_));
            return;
        }
        const std::int64_t tailStart = size_ - kTail;
        ranges_.emplace_back(0, static_cast<std::size_t>(kFirst));
        ranges_.emplace_back(tailStart, static_cast<std::size_t>(kTail));
        std::int64_t at = kFirst;
        std::int64_t chunk = 65536;
        while (at < tailStart) {
            const std::int64_t len = std::min(chunk, tailStart - at);
            ranges_.emplace_back(at, static_cast<std::size_t>(len));
            at += len;
            chunk = std::min<std::int64_t>(chunk * 16, 4 << 20);
        }
    }

    std::int64_t readSoFar(std::size_t steps) const
    {
        std::int64_t bytes = 0;
        for (std::size_t s = 0; s < steps; ++s) {
            bytes += static_cast<std::int64_t>(ranges_[s].second);
        }
        return bytes;
    }

    // Splits `members` by the `len` bytes at `offset` into `parts`, in order
    // of their first members. False at a stop request.
    bool split(const std::vector<std::size_t>& members, std::int64_t offset, std::size_t len,
               std::vector<Part>& parts)
    {
        constexpr std::size_t kBatchBytes = 1 << 20;  // chunks read at once (at least two)
        Splitting sp;
        sp.offset = offset;
        sp.len = len;
        // a class of large chunks (few files, by the chunk sizes) is read
        // whole, so no chunk has to be copied aside between batches
        constexpr std::size_t kWholeClassBytes = 16 << 20;
        std::size_t batch = std::min(std::max<std::size_t>(kBatchBytes / len, 2), members.size());
        if (len > 65536 && members.size() * len <= kWholeClassBytes) {
            batch = members.size();
        }
        batch = std::min(batch, files_->budget());
        std::uint8_t* const chunks = batchBuffer(batch * len);
        struct Outcome {
            bool ok = false;
            bool hole = false;  // all zeros, not read (see RunFiles::read)
            platform::Error err;
        };
        std::vector<Outcome> outcomes(batch);
        for (std::size_t from = 0; from < members.size(); from += batch) {
            // the batch's files are read side by side; what they hold is then
            // taken in index order, exactly as if read one after another
            const std::size_t n = std::min(batch, members.size() - from);
            files_->reserve(members.data() + from, n);
            const auto readOne = [&](std::size_t k) {
                outcomes[k] = {};
                outcomes[k].ok = files_->read(members[from + k], offset, chunks + k * len, len, outcomes[k].err,
                                              &outcomes[k].hole);
            };
            if (n >= 4 || (n >= 2 && len >= 65536)) {
                parallelFor(n, readOne);
            } else {
                for (std::size_t k = 0; k < n; ++k) {
                    readOne(k);
                }
            }
            files_->countOpened();
            for (std::size_t k = 0; k < n; ++k) {
                if (!place(sp, members[from + k], outcomes[k], chunks + k * len)) {
                    return false;
                }
            }
            if (from + n < members.size()) {
                keepBeyondBatch(sp);
            }
        }
        parts = std::move(sp.parts);
        trimBatchBuffer();
        return true;
    }

    // Before the batch buffer is read over: the parts that point into it get
    // a copy of their chunk while the allowance lasts (always for the parts
    // compared directly, and for parts of two or more, which are few).
    static void keepBeyondBatch(Splitting& sp)
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
    bool matches(Splitting& sp, Part& part, const std::uint8_t* chunk)
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
        const bool read = files_->read(first, sp.offset, sp.again.get(), sp.len, err);
        files_->countOpened();
        if (!read || chunkHash(sp.again.get(), sp.len) != part.hash) {
            // the first member changed or went since its read
            if (err.code == 0) {
                err.code = platform::kChangedDuringSearch;
            }
            part.members.clear();
            fail(first, err);
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
    template <typename Outcome>
    bool place(Splitting& sp, std::size_t slot, const Outcome& got, std::uint8_t* chunk)
    {
        doneBytes_ += static_cast<double>(sp.len);
        if (!got.ok) {
            fail(slot, got.err);
        }
        if (onRead && !onRead(totalBytes_ > 0 ? doneBytes_ / totalBytes_ : 1.0)) {
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

    static bool allZero(const std::uint8_t* p, std::size_t n)
    {
        return n > 0 && p[0] == 0 && std::memcmp(p, p + 1, n - 1) == 0;
    }

    void fail(std::size_t slot, const platform::Error& err)
    {
        files_->close(slot);
        files_->rec(slot).Group = kReadError;
        if (onFailure) {
            onFailure(files_->record(slot), err);
        }
    }

    // Every byte of the class was read and found equal: it becomes a group
    // once each member shows the state it was read in; a member that
    // changed leaves it as unreadable.
    void commit(const std::vector<std::size_t>& members)
    {
        std::vector<std::size_t> same;
        for (const std::size_t slot : members) {
            platform::Error err;
            if (files_->stillSame(slot, err)) {
                same.push_back(slot);
                files_->close(slot);
            } else {
                fail(slot, err);
            }
        }
        if (same.size() < 2) {
            return;
        }
        const std::int32_t leader = asGroup(files_->record(same.front()));
        for (const std::size_t slot : same) {
            files_->rec(slot).Group = leader;
        }
    }

    // The buffer a batch is read into, kept from run to run until the search
    // ends (ReleaseCompareBuffers): a search may hold thousands of runs, and
    // a fresh buffer would be faulted in page by page each time. Helper
    // threads keep theirs only while it is small.
    static std::uint8_t* batchBuffer(std::size_t bytes)
    {
        if (t_bufferSize < bytes) {
            t_buffer.reset();
            t_buffer.reset(new std::uint8_t[bytes]);
            t_bufferSize = bytes;
        }
        return t_buffer.get();
    }

    static void trimBatchBuffer()
    {
        constexpr std::size_t kKeptByHelpers = 2 << 20;
        if (inParallelJob() && t_bufferSize > kKeptByHelpers) {
            t_buffer.reset();
            t_bufferSize = 0;
        }
    }

    FileArray& arr_;
    std::int64_t size_;
    std::vector<std::pair<std::int64_t, std::size_t>> ranges_;
    RunFiles* files_ = nullptr;
    double totalBytes_ = 0;
    double doneBytes_ = 0;
};

// After the reads of a run compared block by block: a grouped file that no
// longer shows its recorded state becomes unreadable, and its group goes on
// without it (the lowest remaining member leading) or dissolves when fewer
// than two members remain.
void dropChanged(FileArray& arr, std::int64_t dupStart, std::int64_t dupEnd,
                 const std::function<bool(std::int64_t)>& unchanged)
{
    auto rec = [&](std::int64_t i) -> FileRec& { return arr[static_cast<std::size_t>(i)]; };
    bool any = false;
    std::vector<std::int32_t> oldGroup(static_cast<std::size_t>(dupEnd - dupStart + 1));
    for (std::int64_t i = dupStart; i <= dupEnd; ++i) {
        oldGroup[static_cast<std::size_t>(i - dupStart)] = rec(i).Group;
        if (rec(i).Group >= 0 && !unchanged(i)) {
            rec(i).Group = kReadError;
            any = true;
        }
    }
    if (!any) {
        return;
    }
    std::vector<bool> done(oldGroup.size(), false);
    for (std::int64_t i = dupStart; i <= dupEnd; ++i) {
        const std::int32_t g = oldGroup[static_cast<std::size_t>(i - dupStart)];
        if (g < 0 || rec(i).Group == kReadError || done[static_cast<std::size_t>(i - dupStart)]) {
            continue;
        }
        std::vector<std::int64_t> left;
        for (std::int64_t k = i; k <= dupEnd; ++k) {
            if (oldGroup[static_cast<std::size_t>(k - dupStart)] == g && rec(k).Group != kReadError) {
                left.push_back(k);
                done[static_cast<std::size_t>(k - dupStart)] = true;
            }
        }
        const std::int32_t lead = left.size() >= 2 ? asGroup(left.front()) : kNoGroup;
        for (const std::int64_t k : left) {
            rec(k).Group = lead;
        }
    }
}

// True when every record of the run has the same size as the first.
bool allSameSize(const FileArray& arr, std::int64_t dupStart, std::int64_t dupEnd)
{
    const std::int64_t size = arr[static_cast<std::size_t>(dupStart)].Size;
    for (std::int64_t i = dupStart + 1; i <= dupEnd; ++i) {
        if (arr[static_cast<std::size_t>(i)].Size != size) {
            return false;
        }
    }
    return true;
}

CompareCallWatcher g_watcher = nullptr;

// Tells the watcher, if any, that a CompFileCnt call runs while it lives.
class WatchedCall {
public:
    // a call on a helper thread is part of a batch, which its caller watches
    WatchedCall() : watched_(g_watcher != nullptr && !inParallelJob())
    {
        if (watched_) {
            g_watcher(true);
        }
    }
    ~WatchedCall()
    {
        if (watched_) {
            g_watcher(false);
        }
    }
    WatchedCall(const WatchedCall&) = delete;
    WatchedCall& operator=(const WatchedCall&) = delete;

private:
    bool watched_;
};

}  // namespace

void ReleaseCompareBuffers()
{
    t_buffer.reset();
    t_bufferSize = 0;
}

void SetCompareCallWatcher(CompareCallWatcher watcher)
{
    g_watcher = watcher;
}

float FuzzyMatch(std::span<const std::uint8_t> StrIn1, std::span<const std::uint8_t> StrIn2)
{
    const std::int64_t len1 = static_cast<std::int64_t>(StrIn1.size());
    const std::int64_t len2 = static_cast<std::int64_t>(StrIn2.size());
    if (len1 == 0) {
        return 0.0f;
    }
    const std::int64_t n = len1 < 100 ? len1 : 100;
    // segment length: len1 / n to the nearest whole number, halves to even
    std::int64_t s = len1 / n;
    const std::int64_t rest = len1 % n;
    if (2 * rest > n || (2 * rest == n && s % 2 != 0)) {
        ++s;
    }
    std::int64_t matches = 0;
    for (std::int64_t i = 1; i <= n; ++i) {
        const std::int64_t start = i * s - 1;  // 0-based
        const std::int64_t take1 = start >= len1 ? 0 : std::min(s, len1 - start);
        const std::int64_t take2 = start >= len2 ? 0 : std::min(s, len2 - start);
        if (take1 == take2 &&
            (take1 == 0 || std::memcmp(StrIn1.data() + start, StrIn2.data() + start,
                                       static_cast<std::size_t>(take1)) == 0)) {
            ++matches;
        }
    }
    return static_cast<float>(matches) / static_cast<float>(n);
}

void CompFileCnt(FileArray& arr, std::int64_t dupStart, std::int64_t dupEnd, bool isTolerant,
                 bool SameSizeOnly)
{
    if (dupStart >= dupEnd) {
        return;
    }
    const WatchedCall watched;
    auto rec = [&](std::int64_t i) -> FileRec& { return arr[static_cast<std::size_t>(i)]; };
    const std::int64_t firstSize = rec(dupStart).Size;
    if (firstSize > 0 && !isTolerant && SameSizeOnly && allSameSize(arr, dupStart, dupEnd)) {
        std::vector<std::int64_t> candidates;
        for (std::int64_t i = dupStart; i <= dupEnd; ++i) {
            if (rec(i).Group != kReadError) {
                candidates.push_back(i);
            }
        }
        ExactGrouper grouper(arr, firstSize);
        grouper.run(std::move(candidates));
        return;
    }
    CompFileCntBlocks(arr, dupStart, dupEnd, isTolerant, SameSizeOnly);
}

void CompFileCntExactRuns(FileArray& arr, std::span<const std::pair<std::int64_t, std::int64_t>> runs)
{
    const WatchedCall watched;
    parallelFor(runs.size(), [&](std::size_t k) { CompFileCnt(arr, runs[k].first, runs[k].second, false, true); });
}

void CompFileCntBlocks(FileArray& arr, std::int64_t dupStart, std::int64_t dupEnd, bool isTolerant,
                       bool SameSizeOnly)
{
    if (dupStart >= dupEnd) {
        return;
    }
    auto rec = [&](std::int64_t i) -> FileRec& { return arr[static_cast<std::size_t>(i)]; };
    const std::int64_t firstSize = rec(dupStart).Size;
    if (firstSize <= 0) {
        // No block can be read: files that were gone when sized count as
        // unreadable; empty files are not compared.
        if (firstSize < 0) {
            for (std::int64_t i = dupStart; i <= dupEnd; ++i) {
                rec(i).Group = kReadError;
            }
        }
        return;
    }
    const std::int64_t bs = SameSizeOnly ? GetBufferSz(firstSize) : kPortionBlock;
    const std::int64_t tail = SameSizeOnly ? 0 : bs;
    int allowance = static_cast<double>(firstSize) / static_cast<double>(bs) > 10.0 ? 5 : 1;

    const auto count = static_cast<std::size_t>(dupEnd - dupStart + 1);
    std::vector<platform::ReadFile> files(count);
    std::vector<std::vector<std::uint8_t>> blocks(count);
    // The group a dropped record left in this pass, and whether a record was
    // dropped in this pass (also when it has since led a new group).
    std::vector<std::int64_t> droppedFrom(count, -1);
    auto slot = [&](std::int64_t i) { return static_cast<std::size_t>(i - dupStart); };

    for (std::int64_t i = dupStart; i <= dupEnd; ++i) {
        if (rec(i).Group == kReadError) {
            continue;  // failed earlier in this search: stays unreadable
        }
        if (!files[slot(i)].openChecked(rec(i).path(), rec(i).state())) {
            rec(i).Group = kReadError;
            continue;
        }
        blocks[slot(i)].assign(static_cast<std::size_t>(bs), ' ');
        if (count == 2 || bs >= 50000) {
            files[slot(i)].adviseSequential();
        }
    }

    for (std::int64_t p = 0;; ++p) {
        if (p * bs + 1 + tail > firstSize) {
            break;
        }

        // Read the next block of every file that can still matter.
        int readCount = 0;
        for (std::int64_t i = dupStart; i <= dupEnd; ++i) {
            FileRec& r = rec(i);
            if (r.Group == kReadError || (p != 0 && r.Group == kNoGroup)) {
                continue;
            }
            ++readCount;
            // A file that delivers less than its recorded size implies has
            // changed since it was sized: that is a failed read.
            const std::size_t want = blockBytes(r.Size, bs, p);
            if (want == 0 || !files[slot(i)].readExact(p * bs, blocks[slot(i)].data(), want)) {
                r.Group = kReadError;
                files[slot(i)].close();
            }
        }
        if (readCount < 2) {
            break;
        }

        if (p > 0) {
            // Groups that read failures broke: a failed leader hands the group
            // to its lowest remaining member; a group left with one member
            // dissolves.
            std::vector<std::vector<std::int64_t>> members(count);
            std::vector<bool> leads(count, false);
            for (std::int64_t i = dupStart; i <= dupEnd; ++i) {
                const std::int32_t g = rec(i).Group;
                if (g == asGroup(i)) {
                    leads[slot(i)] = true;
                } else if (g >= 0 && g >= dupStart && g <= dupEnd) {
                    members[slot(g)].push_back(i);
                }
            }
            for (std::int64_t l = dupStart; l <= dupEnd; ++l) {
                auto& m = members[slot(l)];
                if (leads[slot(l)]) {
                    if (m.empty()) {
                        rec(l).Group = kNoGroup;
                    }
                } else if (!m.empty()) {
                    if (m.size() >= 2) {
                        for (const std::int64_t x : m) {
                            rec(x).Group = asGroup(m.front());
                        }
                    } else {
                        rec(m.front()).Group = kNoGroup;
                    }
                }
            }
        }

        for (std::int64_t j = dupStart; j < dupEnd; ++j) {
            const std::int32_t gj = rec(j).Group;
            if (gj == kReadError) {
                continue;
            }
            if (p == 0 ? gj != kNoGroup : gj == kNoGroup) {
                continue;
            }
            // A record dropped in this pass (still -2, or since leading a new
            // group of dropped records) pairs only with records dropped from
            // the same group.
            const bool jDropped = p > 0 && droppedFrom[slot(j)] >= 0;
            for (std::int64_t k = j + 1; k <= dupEnd; ++k) {
                const std::int32_t gk = rec(k).Group;
                if (p == 0) {
                    if (gk != kNoGroup) {
                        continue;
                    }
                } else if (gk == kDropped) {
                    if (!jDropped || droppedFrom[slot(k)] != droppedFrom[slot(j)]) {
                        continue;
                    }
                } else if (gk != asGroup(j)) {
                    continue;
                }
                if ((rec(k).Size == rec(j).Size) != SameSizeOnly) {
                    continue;
                }
                bool match;
                if (isTolerant) {
                    match = allowance > 0 && FuzzyMatch(blocks[slot(j)], blocks[slot(k)]) > 0.9f;
                } else {
                    match = blocks[slot(j)] == blocks[slot(k)];
                }
                if (match) {
                    rec(k).Group = asGroup(j);
                    rec(j).Group = asGroup(j);
                } else if (gk == asGroup(j)) {
                    --allowance;
                    if (isTolerant && allowance >= 0) {
                        continue;  // tolerated: k stays in the group
                    }
                    rec(k).Group = kDropped;
                    droppedFrom[slot(k)] = j;
                    int left = 0;
                    for (std::int64_t x = dupStart; x <= dupEnd; ++x) {
                        left += rec(x).Group == asGroup(j) ? 1 : 0;
                    }
                    if (left < 2) {
                        rec(j).Group = kNoGroup;
                    }
                }
            }
        }

        for (std::int64_t i = dupStart; i <= dupEnd; ++i) {
            if (rec(i).Group == kDropped) {
                rec(i).Group = kNoGroup;
            }
            droppedFrom[slot(i)] = -1;
        }
    }
    // the groups stand only for files that did not change while read
    dropChanged(arr, dupStart, dupEnd, [&](std::int64_t i) {
        return files[slot(i)].isOpen() && files[slot(i)].unchanged(rec(i).state());
    });
}

void CompFileCnt2(FileArray& arr, std::int64_t dupStart, std::int64_t dupEnd, bool SameSizeOnly,
                  CompareHost& host)
{
    auto rec = [&](std::int64_t i) -> FileRec& { return arr[static_cast<std::size_t>(i)]; };
    if (dupStart >= dupEnd) {
        return;
    }
    // A file that cannot be read leaves the run as unreadable and the others
    // are compared on; the first such failure of the run is reported.
    bool reported = false;
    const auto failed = [&](std::int64_t i, const platform::Error& err) {
        rec(i).Group = kReadError;
        if (!reported) {
            reported = true;
            host.reportFailure(rec(i).path() + ": " + err.describe());
        }
    };
    const double lastIndex = static_cast<double>(arr.size()) - 1.0;
    if (SameSizeOnly && rec(dupStart).Size > 0 && allSameSize(arr, dupStart, dupEnd)) {
        std::vector<std::int64_t> candidates;
        for (std::int64_t i = dupStart; i <= dupEnd; ++i) {
            if (rec(i).Group == kNoGroup) {
                candidates.push_back(i);
            }
        }
        ExactGrouper grouper(arr, rec(dupStart).Size);
        grouper.onFailure = failed;
        const double span = static_cast<double>(dupEnd - dupStart);
        grouper.onRead = [&](double fraction) {
            host.yield();
            if (host.stopRequested()) {
                return false;
            }
            if (lastIndex > 0) {
                host.setProgress((static_cast<double>(dupStart) + fraction * span) / lastIndex * 100.0);
            }
            return true;
        };
        grouper.run(std::move(candidates));
        return;
    }
    // Pair by pair, the lower file of each pair kept open while it is
    // compared with every later one.
    const std::int64_t bs = SameSizeOnly ? GetBufferSz(rec(dupStart).Size) : kPortionBlock;
    const std::int64_t tail = SameSizeOnly ? 0 : bs;
    if (bs <= 0) {
        return;
    }
    std::vector<std::uint8_t> block1(static_cast<std::size_t>(bs));
    std::vector<std::uint8_t> block2(static_cast<std::size_t>(bs));
    bool stopped = false;
    for (std::int64_t i = dupStart; i <= dupEnd && !stopped; ++i) {
        if (rec(i).Group == kNoGroup) {
            platform::ReadFile lower;
            platform::Error err;
            if (!lower.openChecked(rec(i).path(), rec(i).state(), &err)) {
                failed(i, err);
            }
            for (std::int64_t k = i + 1; k <= dupEnd && lower.isOpen(); ++k) {
                if (rec(k).Group != kNoGroup || (rec(k).Size == rec(i).Size) != SameSizeOnly) {
                    continue;
                }
                const std::int64_t sizeI = rec(i).Size;
                bool same = true;
                std::int64_t compared = 0;
                if (1 + tail <= sizeI) {
                    platform::ReadFile upper;
                    if (!upper.openChecked(rec(k).path(), rec(k).state(), &err)) {
                        failed(k, err);
                        continue;
                    }
                    // Every byte is compared: block p while p * bs + 1 + tail
                    // does not pass the lower file's size.
                    for (std::int64_t p = 0; same && p * bs + 1 + tail <= sizeI; ++p) {
                        const std::size_t want1 = SameSizeOnly ? blockBytes(rec(k).Size, bs, p) : static_cast<std::size_t>(bs);
                        const std::size_t want2 = SameSizeOnly ? blockBytes(sizeI, bs, p) : static_cast<std::size_t>(bs);
                        if (!upper.readExact(p * bs, block1.data(), want1, &err)) {
                            failed(k, err);
                            break;
                        }
                        if (!lower.readExact(p * bs, block2.data(), want2, &err)) {
                            failed(i, err);
                            break;
                        }
                        same = want1 == want2 && std::memcmp(block1.data(), block2.data(), want1) == 0;
                        ++compared;
                    }
                    if (rec(k).Group == kNoGroup && !upper.unchanged(rec(k).state(), &err)) {
                        failed(k, err);
                    }
                    if (rec(i).Group == kReadError) {
                        break;
                    }
                    if (rec(k).Group == kReadError) {
                        continue;
                    }
                }
                // A pair with no whole block to compare is not grouped.
                if (compared == 0) {
                    same = false;
                }
                host.yield();
                if (host.stopRequested()) {
                    stopped = true;
                    break;
                }
                if (same) {
                    rec(k).Group = asGroup(i);
                    rec(i).Group = asGroup(i);
                }
            }
            if (lower.isOpen() && rec(i).Group != kReadError && !lower.unchanged(rec(i).state(), &err)) {
                failed(i, err);
            }
            if (rec(i).Group == kReadError) {
                // its members go on without it, the lowest leading
                std::vector<std::int64_t> members;
                for (std::int64_t k = i + 1; k <= dupEnd; ++k) {
                    if (rec(k).Group == asGroup(i)) {
                        members.push_back(k);
                    }
                }
                const std::int32_t lead = members.size() >= 2 ? asGroup(members.front()) : kNoGroup;
                for (const std::int64_t k : members) {
                    rec(k).Group = lead;
                }
            }
        }
        host.setProgress(lastIndex > 0 ? static_cast<double>(i) / lastIndex * 100.0 : 0.0);
    }
}

}  // namespace kormial
