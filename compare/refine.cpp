// Grouping by refinement: the exact classes of equally sized files.
#include "compare/chunksplit.h"
#include "compare/firstreads.h"
#include "compare/grouping.h"

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
class ExactGrouper : ChunkSplitter::Owner {
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
        RunFiles files(run_.files(), std::move(candidates), run_.folders());
        files_ = &files;
        confirmed_.assign(files.count(), false);
        ChunkSplitter splitter(files, *this);
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
            std::vector<ChunkSplitter::Part> parts;
            const bool split = cls.step == 0 && run_.ahead() != nullptr && readAhead(files.rec(cls.members.front()))
                                   ? splitter.splitRead(cls.members, len, [&](std::size_t slot) { return readBefore(slot); },
                                                        parts)
                                   : splitter.split(cls.members, offset, len, parts);
            if (!split) {
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
    // The byte ranges in the order they are compared: the first 4 KB (small
    // files whole), the last 4 KB, then the rest front to back in chunks
    // that grow from 64 KB to 1 MB and, for large files, 4 MB.
    void plan()
    {
        constexpr std::int64_t kTail = 4096;
        const std::int64_t first = firstChunkBytes(size_);
        ranges_.emplace_back(0, static_cast<std::size_t>(first));
        if (first == size_) {
            return;
        }
        const std::int64_t tailStart = size_ - kTail;
        ranges_.emplace_back(tailStart, static_cast<std::size_t>(kTail));
        std::int64_t at = first;
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

    // The first chunk of the file in `slot`, read before with the chunks of
    // other runs. A file read whole there was also found unchanged after.
    std::pair<ChunkSplitter::Outcome, std::uint8_t*> readBefore(std::size_t slot)
    {
        const FirstReads::Chunk* c = run_.ahead()->find(files_->record(slot));
        confirmed_[slot] = c->ok && ranges_.size() == 1;
        return {{c->ok, false, c->err}, run_.ahead()->bytes(*c)};
    }

    // The splitter's side.
    void fail(std::size_t slot, const platform::Error& err) override
    {
        files_->close(slot);
        run_.fail(files_->record(slot), err);
    }

    bool account(std::size_t len) override
    {
        doneBytes_ += static_cast<double>(len);
        const double span = static_cast<double>(run_.last() - run_.first());
        run_.progressAt(static_cast<double>(run_.first()) + (totalBytes_ > 0 ? doneBytes_ / totalBytes_ : 1.0) * span);
        return !run_.stopRequested();
    }

    bool stopRequested() override { return run_.stopRequested(); }

    // Every byte of the class was read and found equal: it becomes a group
    // once each member shows the state it was read in; a member that
    // changed leaves it as unreadable.
    void commit(const std::vector<std::size_t>& members)
    {
        std::vector<std::size_t> same;
        for (const std::size_t slot : members) {
            platform::Error err;
            if (confirmed_[slot] || files_->stillSame(slot, err)) {
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
    std::vector<bool> confirmed_;  // by slot: unchanged after its last read
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
