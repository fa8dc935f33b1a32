#include "catalogue/colfiles.h"

#include "platform/parallel.h"
#include "catalogue/paths.h"

#include <algorithm>
#include <atomic>
#include <deque>
#include <exception>
#include <optional>
#include <thread>
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
    folderListedTwice_ = false;
    allInRuns_ = false;
    walked_ = {};
    std::vector<std::pair<FolderWalk, std::uint8_t>>().swap(walkedNow_);
    walkNumbers_.clear();
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
    if (folderListedTwice_ && !allInRuns_) {
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

namespace {

// One folder's entries, with the facts of the files that match the pattern
// (taken while the folder was open).
struct ListedFolder {
    FolderPath folder;  // its path, ending in "/"
    platform::FileId identity;
    bool ownFiles = true;  // false: they are in the catalogue already
    std::vector<platform::FolderEntry> entries;
    std::vector<std::optional<platform::Folder::Stat>> stats;
};

}  // namespace

// The walk: sub-folders first, each completely, in byte order of their
// names, then the folder's own files. `Sink` takes what is found: the
// catalogue itself, or a Found of a sub-tree walked on another thread.
struct colFiles::Walk {
    // What a sub-tree walked apart from the catalogue found, in order.
    struct Found {
        std::vector<Entry> entries;
        std::vector<bool> linked;
        std::vector<platform::FileId> folders;  // whose own files were listed
        std::vector<platform::FileId> trees;    // walked with all their sub-folders
    };

    struct Spec {
        std::string pattern;
        std::int32_t minSz;
        std::int32_t maxSz;
        bool recursive;
        std::uint32_t number;  // of the pattern and bounds
        const colFiles& c;     // read only while walking, also on the helper threads
        std::stop_token stop;  // ends the walk early
        WalkCounts* counts;    // or nullptr

        // True when an earlier call walked the folder so (with the same
        // pattern and bounds).
        bool walkedBefore(const platform::FileId& folder, std::uint8_t what) const
        {
            const auto it = c.walked_.find({folder, number});
            return it != c.walked_.end() && (it->second & what) != 0;
        }
    };

    // Opens and lists a folder, unless it cannot be listed or an earlier
    // call left nothing to find there.
    static std::optional<ListedFolder> listFolder(const std::string& folder, const Spec& spec)
    {
        platform::Folder listing;
        if (!listing.openUnlisted(folder) || spec.walkedBefore(listing.identity(), kTreeWalked)) {
            return std::nullopt;
        }
        ListedFolder out;
        out.folder = std::make_shared<const SearchedFolder>(SearchedFolder{folder, listing.identity()});
        out.identity = listing.identity();
        out.ownFiles = !spec.walkedBefore(out.identity, kFilesListed);
        if ((!out.ownFiles && !spec.recursive) || !listing.list()) {
            return std::nullopt;
        }
        std::vector<std::size_t> wanted;
        for (std::size_t i = 0; out.ownFiles && i < listing.entries().size(); ++i) {
            const auto& e = listing.entries()[i];
            if (e.kind == platform::EntryKind::File && platform::wildcardMatch(spec.pattern, e.name)) {
                wanted.push_back(i);
            }
        }
        out.stats.resize(listing.entries().size());
        // a folder of many files is examined on every core, in shares
        constexpr std::size_t kShare = 64;
        parallelFor((wanted.size() + kShare - 1) / kShare, [&](std::size_t s) {
            for (std::size_t w = s * kShare; w < std::min(wanted.size(), (s + 1) * kShare); ++w) {
                out.stats[wanted[w]] = listing.statFile(listing.entries()[wanted[w]].name);
            }
        });
        out.entries = listing.takeEntries();
        if (spec.counts != nullptr) {
            spec.counts->folders.fetch_add(1, std::memory_order_relaxed);
        }
        return out;
    }

    struct ToCatalogue {
        colFiles& c;
        std::uint32_t number;  // of the walk's pattern and bounds
        void filesListed(const platform::FileId& id)
        {
            if (!c.folders_.insert(id).second) {
                c.folderListedTwice_ = true;
            }
            c.walkedNow_.push_back({{id, number}, kFilesListed});
        }
        void treeWalked(const platform::FileId& id) { c.walkedNow_.push_back({{id, number}, kTreeWalked}); }
        void add(const FolderPath& folder, std::string&& name, const platform::Folder::Stat& st)
        {
            c.append({folder, std::move(name), st.state}, st.linked);
        }
        void folderDone(const Spec& spec)
        {
            if (spec.counts != nullptr && spec.counts->tick) {
                spec.counts->tick();
            }
        }
    };
    struct ToFound {
        Found& f;
        void filesListed(const platform::FileId& id) { f.folders.push_back(id); }
        void treeWalked(const platform::FileId& id) { f.trees.push_back(id); }
        void add(const FolderPath& folder, std::string&& name, const platform::Folder::Stat& st)
        {
            f.entries.push_back({folder, std::move(name), st.state});
            f.linked.push_back(st.linked);
        }
        void folderDone(const Spec&) {}  // on a helper thread: told by the calling one
    };

    template <typename Sink>
    static void walk(Sink& sink, const std::string& folder, const Spec& spec)
    {
        if (spec.stop.stop_requested()) {
            return;
        }
        std::optional<ListedFolder> listed = listFolder(folder, spec);
        if (!listed) {
            return;
        }
        if (spec.recursive) {
            for (const auto& e : listed->entries) {
                if (e.kind == platform::EntryKind::Folder) {
                    walk(sink, folder + e.name + "/", spec);
                }
            }
        }
        if (spec.stop.stop_requested()) {
            return;  // a folder cut short is never taken as walked
        }
        ownFiles(sink, *listed, spec);
        if (spec.recursive) {
            sink.treeWalked(listed->identity);
        }
        sink.folderDone(spec);
    }

    // The names of the files taken are moved out of `listed`.
    template <typename Sink>
    static void ownFiles(Sink& sink, ListedFolder& listed, const Spec& spec)
    {
        if (!listed.ownFiles) {
            return;
        }
        sink.filesListed(listed.identity);
        std::int64_t taken = 0;
        for (std::size_t i = 0; i < listed.entries.size(); ++i) {
            auto& e = listed.entries[i];
            if (e.kind == platform::EntryKind::File) {
                if (!listed.stats[i]) {
                    continue;  // not matching, or gone since the listing
                }
                const std::int64_t kb = RoundedKb(listed.stats[i]->state.size);
                if (kb > spec.minSz && (spec.maxSz == -1 || kb < spec.maxSz)) {
                    sink.add(listed.folder, std::move(e.name), *listed.stats[i]);
                    ++taken;
                }
            }
        }
        if (spec.counts != nullptr) {
            spec.counts->files.fetch_add(taken, std::memory_order_relaxed);
        }
    }

    // The tree is cut into pieces in walk order: the top folders (to
    // `depth` levels) are listed here, and the sub-trees below them are
    // walked side by side on every core; each piece is added to the
    // catalogue as soon as every piece before it is in, so the order is
    // exactly that of the walk.
    static void walkSideBySide(colFiles& c, const std::string& top, const Spec& spec)
    {
        struct Piece {
            std::optional<ListedFolder> own;  // a listed folder's own files
            std::string subTree;              // or a sub-tree to walk
            Found found;
            std::atomic<bool> done{false};
        };
        std::deque<Piece> pieces;
        std::vector<std::size_t> subTrees;
        const std::function<void(const std::string&, int)> cut = [&](const std::string& folder, int depth) {
            std::optional<ListedFolder> listed = listFolder(folder, spec);
            if (!listed) {
                return;
            }
            for (const auto& e : listed->entries) {
                if (e.kind != platform::EntryKind::Folder) {
                    continue;
                }
                if (depth > 0) {
                    cut(folder + e.name + "/", depth - 1);
                } else {
                    subTrees.push_back(pieces.size());
                    pieces.emplace_back().subTree = folder + e.name + "/";
                }
            }
            pieces.emplace_back().own = std::move(listed);
        };
        cut(top, 1);

        std::size_t added = 0;
        const auto addFinished = [&] {
            for (; added < pieces.size(); ++added) {
                Piece& p = pieces[added];
                ToCatalogue sink{c, spec.number};
                if (p.own) {
                    // everything below the folder is in: so is the folder
                    ownFiles(sink, *p.own, spec);
                    sink.treeWalked(p.own->identity);
                    p.own.reset();
                    continue;
                }
                if (!p.done.load(std::memory_order_acquire)) {
                    break;
                }
                for (const auto& id : p.found.folders) {
                    sink.filesListed(id);
                }
                for (const auto& id : p.found.trees) {
                    sink.treeWalked(id);
                }
                for (std::size_t k = 0; k < p.found.entries.size(); ++k) {
                    c.append(std::move(p.found.entries[k]), p.found.linked[k]);
                }
                p.found = Found{};
            }
            if (spec.counts != nullptr && spec.counts->tick) {
                spec.counts->tick();
            }
        };
        // the calling thread adds the pieces done while it waits
        parallelFor(
            subTrees.size(),
            [&](std::size_t k) {
                Piece& p = pieces[subTrees[k]];
                ToFound sink{p.found};
                walk(sink, p.subTree, spec);
                p.done.store(true, std::memory_order_release);
            },
            addFinished);
        addFinished();
    }
};

std::int64_t colFiles::LoadFiles(const std::string& folder, const std::string& pattern, std::int32_t minSz,
                                 std::int32_t maxSz, bool bRecursive, std::stop_token stop,
                                 WalkCounts* counts)
{
    // The pattern is used unchanged at every depth: rebuilding it from its
    // base name and extension would turn "*" into "*." below the first folder.
    const std::uint32_t number = walkNumber(pattern, minSz, maxSz);
    const Walk::Spec spec{pattern, minSz, maxSz, bRecursive, number, *this, std::move(stop), counts};
    walkedNow_.clear();
    if (bRecursive && parallelHelpers() > 0) {
        Walk::walkSideBySide(*this, folder, spec);
    } else {
        Walk::ToCatalogue sink{*this, number};
        Walk::walk(sink, folder, spec);
    }
    for (const auto& [folderWalk, what] : walkedNow_) {
        walked_[folderWalk] |= what;
    }
    std::vector<std::pair<FolderWalk, std::uint8_t>>().swap(walkedNow_);
    if (count_ > checked_) {
        dropRepeatedFiles();
    }
    return Count();
}

}  // namespace kormial
