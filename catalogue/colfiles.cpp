// The catalogue's store: the entries in chunks, and the check that lists
// each file once.
#include "catalogue/colfiles.h"

#include <algorithm>
#include <utility>

namespace kormial {

std::int64_t RoundedKb(std::int64_t bytes)
{
    std::int64_t kb = bytes / 1024;
    const std::int64_t rest = bytes % 1024;
    if (rest > 512 || (rest == 512 && (kb % 2) != 0)) {
        ++kb;
    }
    return kb;
}

void colFiles::Clear()
{
    std::vector<std::unique_ptr<Entry[]>>().swap(chunks_);
    count_ = 0;
    std::vector<std::uint32_t>().swap(linked_);
    std::vector<std::vector<std::uint32_t>>().swap(runs_);
    checked_ = 0;
    folders_ = {};
    namesMayRepeat_ = false;
    allInRuns_ = false;
    walked_ = {};
    std::vector<std::pair<FolderWalk, std::uint8_t>>().swap(walkedNow_);
    walkNumbers_.clear();
    std::vector<WalkFailure>().swap(failures_);
}

void colFiles::append(Entry&& entry, bool linked)
{
    if (count_ == chunks_.size() * kChunk) {
        chunks_.emplace_back(new Entry[kChunk]);
    }
    at(count_) = std::move(entry);
    if (linked) {
        linked_.push_back(static_cast<std::uint32_t>(count_));
    }
    ++count_;
}

void colFiles::truncate(std::size_t count)
{
    for (std::size_t i = count; i < count_; ++i) {
        at(i) = Entry{};
    }
    count_ = count;
    chunks_.resize((count + kChunk - 1) / kChunk);
}

void colFiles::TakeItems(FileArray& into, const std::function<void()>& each)
{
    std::vector<std::vector<std::uint32_t>>().swap(runs_);
    walked_ = {};
    folders_ = {};
    into.reserve(into.size() + count_);
    for (std::size_t i = 0; i < count_; ++i) {
        Entry& e = at(i);
        const platform::FileState& st = e.state;
        into.push_back({std::move(e.folder), std::move(e.name), st.size, st.id, st.mtimeNs, st.ctimeNs, {}, kNoGroup});
        if ((i + 1) % kChunk == 0) {
            chunks_[i / kChunk].reset();
        }
        if (each) {
            each();
        }
    }
    Clear();
}

std::uint32_t colFiles::walkNumber(const std::string& pattern, std::int32_t minSz, std::int32_t maxSz)
{
    const auto next = static_cast<std::uint32_t>(walkNumbers_.size());
    return walkNumbers_.try_emplace({pattern, minSz, maxSz}, next).first->second;
}

void colFiles::dropRepeatedFiles()
{
    const auto before = [this](std::uint32_t a, std::uint32_t b) {
        const platform::FileId& x = at(a).state.id;
        const platform::FileId& y = at(b).state.id;
        return x.dev != y.dev ? x.dev < y.dev : x.ino < y.ino;
    };
    const auto same = [this](std::uint32_t a, std::uint32_t b) { return at(a).state.id == at(b).state.id; };
    if (namesMayRepeat_ && !allInRuns_) {
        // from now on every file is checked: the entries so far (no file
        // twice among them) become one run
        std::vector<std::uint32_t> all(checked_);
        for (std::size_t i = 0; i < all.size(); ++i) {
            all[i] = static_cast<std::uint32_t>(i);
        }
        std::sort(all.begin(), all.end(), before);
        runs_.clear();
        runs_.push_back(std::move(all));
        allInRuns_ = true;
    }
    const std::size_t from = checked_;
    std::vector<std::uint32_t> fresh;
    if (allInRuns_) {
        fresh.resize(count_ - from);
        for (std::size_t i = 0; i < fresh.size(); ++i) {
            fresh[i] = static_cast<std::uint32_t>(from + i);
        }
    } else {
        fresh.swap(linked_);
    }
    linked_.clear();
    std::sort(fresh.begin(), fresh.end(), [&](std::uint32_t a, std::uint32_t b) {
        return before(a, b) || (!before(b, a) && a < b);
    });
    // the first entry of each identity stays unless a run holds it already
    std::vector<bool> drop;
    std::vector<std::uint32_t> kept;
    bool repeated = false;
    for (std::size_t k = 0; k < fresh.size(); ++k) {
        const std::uint32_t i = fresh[k];
        if (k == 0 || !same(i, fresh[k - 1])) {
            repeated = std::any_of(runs_.begin(), runs_.end(), [&](const std::vector<std::uint32_t>& run) {
                const auto found = std::lower_bound(run.begin(), run.end(), i, before);
                return found != run.end() && same(*found, i);
            });
            if (!repeated) {
                kept.push_back(i);
                continue;
            }
        }
        if (drop.empty()) {
            drop.resize(count_ - from);
        }
        drop[i - from] = true;  // a later name of a file already listed
    }
    if (!drop.empty()) {
        std::vector<std::uint32_t> moved(drop.size());
        std::size_t out = from;
        for (std::size_t i = from; i < count_; ++i) {
            if (!drop[i - from]) {
                moved[i - from] = static_cast<std::uint32_t>(out);
                if (out != i) {
                    at(out) = std::move(at(i));
                }
                ++out;
            }
        }
        truncate(out);
        for (std::uint32_t& i : kept) {
            i = moved[i - from];
        }
    }
    checked_ = count_;
    if (kept.empty()) {
        return;
    }
    // merged with the runs before it until each run is more than twice as
    // long as the next
    runs_.push_back(std::move(kept));
    while (runs_.size() > 1 && runs_[runs_.size() - 2].size() <= 2 * runs_.back().size()) {
        std::vector<std::uint32_t>& left = runs_[runs_.size() - 2];
        std::vector<std::uint32_t> merged(left.size() + runs_.back().size());
        std::merge(left.begin(), left.end(), runs_.back().begin(), runs_.back().end(), merged.begin(), before);
        left.swap(merged);
        runs_.pop_back();
    }
}

}  // namespace kormial
