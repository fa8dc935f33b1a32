// Grouping by refinement: the exact classes of equally sized files.
#include "compare/grouping.h"
#include "compare/runfiles.h"
#include "platform/parallel.h"

#include <cstring>
#include <memory>
#include <unordered_map>

namespace kormial {

namespace {

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
// after its last read. In a long run every chunk read moves the progress
// bar, and a stop request ends the run: classes confirmed before it are
// kept, nothing unconfirmed is grouped.
class ExactGrouper {
public:
    ExactGrouper(RunGrouping& run, std::int64_t size) : run_(run), size_(size) { plan(); }

    // Groups `candidates` (ascending indexes). False at a stop request.
    bool run(std::vector<std::int64_t> candidates)
    {
        struct Pending {
            std::vector<std::size_t> members;  // slots, ascending
            std::size_t step;
        };
        totalBytes_ = static_cast<double>(candidates.size()) * static_cast<double>(size_);
        doneBytes_ = 0;
        RunFiles files(run_.files(), std::move(candidates));
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
                return false;
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
        return true;
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
        const double span = static_cast<double>(run_.last() - run_.first());
        run_.progressAt(static_cast<double>(run_.first()) + (totalBytes_ > 0 ? doneBytes_ / totalBytes_ : 1.0) * span);
        if (run_.stopRequested()) {
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
        run_.fail(files_->record(slot), err);
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
        const GroupMark leader = GroupMark::ledBy(files_->record(same.front()));
        for (const std::size_t slot : same) {
            files_->rec(slot).Group = leader;
        }
    }

    RunGrouping& run_;
    std::int64_t size_;
    std::vector<std::pair<std::int64_t, std::size_t>> ranges_;
    RunFiles* files_ = nullptr;
    double totalBytes_ = 0;
    double doneBytes_ = 0;
};

// The run's readable files of one byte or more, by size (ascending indexes
// in each): in a duplicates run that is one class of all of them.
std::vector<std::vector<std::int64_t>> sizeClasses(RunGrouping& run)
{
    std::vector<std::int64_t> readable;
    for (std::int64_t i = run.first(); i <= run.last(); ++i) {
        if (!run.rec(i).Group.isUnreadable() && run.rec(i).Size > 0) {
            readable.push_back(i);
        }
    }
    const auto bySize = [&](std::int64_t a, std::int64_t b) { return run.rec(a).Size < run.rec(b).Size; };
    if (!std::is_sorted(readable.begin(), readable.end(), bySize)) {
        std::stable_sort(readable.begin(), readable.end(), bySize);
    }
    std::vector<std::vector<std::int64_t>> classes;
    if (!readable.empty() && run.rec(readable.front()).Size == run.rec(readable.back()).Size) {
        classes.push_back(std::move(readable));
        return classes;
    }
    for (std::size_t k = 0; k < readable.size(); ++k) {
        if (k == 0 || run.rec(readable[k]).Size != run.rec(readable[k - 1]).Size) {
            classes.emplace_back();
        }
        classes.back().push_back(readable[k]);
    }
    return classes;
}

}  // namespace

void groupByRefinement(RunGrouping& run)
{
    for (std::vector<std::int64_t>& candidates : sizeClasses(run)) {
        const std::int64_t size = run.rec(candidates.front()).Size;
        if (candidates.size() >= 2 && !ExactGrouper(run, size).run(std::move(candidates))) {
            return;
        }
    }
}

}  // namespace kormial
