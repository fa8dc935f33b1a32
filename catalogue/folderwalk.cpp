// The folder walk behind LoadFiles: every folder reached from its parent's
// descriptor, depth first without recursion, on every core, in one fixed
// order.
#include "catalogue/colfiles.h"

#include "catalogue/parallel.h"
#include "catalogue/paths.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <deque>
#include <optional>
#include <utility>

namespace kormial {

namespace {

std::atomic<EnterHook> g_enterHook{nullptr};

// How many folders on its way down one walk keeps open at most; the ones
// above them are opened again through ".." on the way back up.
constexpr std::size_t kOpenOnTheWay = 64;
// How many folders the cut of a tree into pieces keeps open for the pieces
// below them.
constexpr std::size_t kOpenForPieces = 64;

}  // namespace

void setEnterHook(EnterHook hook)
{
    g_enterHook.store(hook);
}

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
        std::vector<WalkFailure> failures;
        bool namesMayRepeat = false;            // a file mounted onto another name was met
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
        platform::TrashFolders trash;

        // True when an earlier call walked the folder so (with the same
        // pattern and bounds).
        bool walkedBefore(const platform::FileId& folder, std::uint8_t what) const
        {
            const auto it = c.walked_.find({folder, number});
            return it != c.walked_.end() && (it->second & what) != 0;
        }
    };

    // One folder of a walk: its listing, with the facts of the files that
    // match the pattern (taken while it was open), and its descriptor while
    // the walk may still need it.
    struct Frame {
        platform::Folder folder;
        platform::FileId id;
        std::size_t pathEnd = 0;  // its path is the walk's path up to here
        bool trashAbove = false;  // ".Trash" at the top of a file system
        bool ownFiles = true;     // false: they are in the catalogue already
        std::vector<platform::SubFolder> subs;
        std::size_t nextSub = 0;
        std::vector<std::string> files;
        std::vector<std::optional<platform::Folder::Stat>> stats;
        FolderPath shared;  // made when first needed
    };

    // Lists the open folder of `f`. A folder whose entries cannot be looked
    // at fails as a whole.
    static bool list(Frame& f, const Spec& spec, platform::Error& err)
    {
        f.id = f.folder.identity();
        f.ownFiles = !spec.walkedBefore(f.id, kFilesListed);
        if (!f.folder.listApart(f.files, spec.recursive ? &f.subs : nullptr, &err)) {
            return false;
        }
        std::erase_if(f.files, [&](const std::string& name) {
            return !f.ownFiles || !platform::wildcardMatch(spec.pattern, name);
        });
        f.stats.resize(f.files.size());
        std::atomic<int> failure{0};
        // a folder of many files is examined on every core, in shares
        constexpr std::size_t kShare = 64;
        parallelFor((f.files.size() + kShare - 1) / kShare, [&](std::size_t s) {
            for (std::size_t i = s * kShare; i < std::min(f.files.size(), (s + 1) * kShare); ++i) {
                platform::Error e;
                f.stats[i] = f.folder.statFile(f.files[i], &e);
                // gone, or no regular file any more, since the listing: passed over
                if (!f.stats[i] && e.code != ENOENT && e.code != EINVAL) {
                    int none = 0;
                    failure.compare_exchange_strong(none, e.code);
                }
            }
        });
        if (failure.load() != 0) {
            err.code = failure.load();
            return false;
        }
        if (spec.counts != nullptr) {
            spec.counts->folders.fetch_add(1, std::memory_order_relaxed);
        }
        return true;
    }

    enum class Entered { Yes, PassedOver, Failed };

    // Opens and lists sub-folder `sub` of `parent` (at `parentPath`) into
    // `child`, unless the walk passes over it: on a virtual file system, a
    // trash folder of the user's, walked before, or gone since the listing.
    static Entered enter(const Frame& parent, const std::string& parentPath, const platform::SubFolder& sub,
                         Frame& child, const Spec& spec, platform::Error& err)
    {
        const platform::TrashFolders& trash = spec.trash;
        const bool fsTop = parent.folder.fsTop();
        if (sub.onVirtualFs || (trash.home && *trash.home == sub.id) || (fsTop && sub.name == trash.perUser) ||
            (parent.trashAbove && sub.name == trash.uid) || spec.walkedBefore(sub.id, kTreeWalked)) {
            return Entered::PassedOver;
        }
        if (!parent.folder.isOpen()) {
            err.code = platform::kChangedDuringSearch;  // the way back to it was lost
            return Entered::Failed;
        }
        if (const EnterHook hook = g_enterHook.load(std::memory_order_relaxed)) {
            hook(parentPath + sub.name + "/");
        }
        if (!child.folder.openSub(parent.folder, sub, &err)) {
            return err.code == ENOENT ? Entered::PassedOver : Entered::Failed;
        }
        child.trashAbove = fsTop && sub.name == ".Trash";
        return list(child, spec, err) ? Entered::Yes : Entered::Failed;
    }

    static WalkFailure failure(const FolderPath& in, const platform::SubFolder& sub, const platform::Error& err)
    {
        return {in, sub.name + "/", sub.id, sub.mtimeNs, true, err};
    }

    // The names of the files taken are moved out of `f`.
    template <typename Sink>
    static void ownFiles(Sink& sink, Frame& f, const FolderPath& folder, const Spec& spec)
    {
        if (!f.ownFiles) {
            return;
        }
        sink.filesListed(f.id);
        std::int64_t taken = 0;
        for (std::size_t i = 0; i < f.files.size(); ++i) {
            if (!f.stats[i]) {
                continue;  // gone since the listing
            }
            const std::int64_t kb = RoundedKb(f.stats[i]->state.size);
            if (kb > spec.minSz && (spec.maxSz == -1 || kb < spec.maxSz)) {
                sink.add(folder, std::move(f.files[i]), *f.stats[i]);
                ++taken;
            }
        }
        if (spec.counts != nullptr) {
            spec.counts->files.fetch_add(taken, std::memory_order_relaxed);
        }
    }

    // One walk down a tree, without recursion: the folders on the way down
    // are a stack, each holding its descriptor only while it is among the
    // lowest few, and the path is one text that grows and shrinks with the
    // stack, copied only for the folders whose files or failures are taken.
    template <typename Sink>
    class Walker {
    public:
        Walker(Sink& sink, const Spec& spec) : sink_(sink), spec_(spec) {}

        // Walks the tree of the listed folder `top` at `path`.
        void walk(Frame&& top, std::string path)
        {
            path_ = std::move(path);
            top.pathEnd = path_.size();
            stack_.push_back(std::move(top));
            while (!stack_.empty()) {
                if (spec_.stop.stop_requested()) {
                    return;  // a folder cut short is never taken as walked
                }
                Frame& f = stack_.back();
                if (f.nextSub < f.subs.size()) {
                    down(f);
                    continue;
                }
                ownFiles(sink_, f, folderOf(f), spec_);
                if (spec_.recursive) {
                    sink_.treeWalked(f.id);
                }
                sink_.folderDone(spec_);
                up();
            }
        }

    private:
        const FolderPath& folderOf(Frame& f)
        {
            if (!f.shared) {
                f.shared = std::make_shared<const SearchedFolder>(SearchedFolder{path_.substr(0, f.pathEnd), f.id});
            }
            return f.shared;
        }

        // Into the next sub-folder of `f`, the lowest folder.
        void down(Frame& f)
        {
            const platform::SubFolder& sub = f.subs[f.nextSub++];
            Frame child;
            platform::Error err;
            switch (enter(f, path_, sub, child, spec_, err)) {
            case Entered::PassedOver:
                return;
            case Entered::Failed:
                sink_.failed(failure(folderOf(f), sub, err));
                return;
            case Entered::Yes:
                break;
            }
            path_ += sub.name;
            path_ += '/';
            child.pathEnd = path_.size();
            stack_.push_back(std::move(child));
            if (stack_.size() - firstOpen_ > kOpenOnTheWay) {
                stack_[firstOpen_++].folder.close();
            }
        }

        // Back to the folder above, opened again through ".." when its
        // descriptor was given back. When that is no longer the folder (the
        // lower one was moved away), the way back is lost: the sub-folders
        // left there fail, and so on upwards.
        void up()
        {
            Frame done = std::move(stack_.back());
            stack_.pop_back();
            if (stack_.empty()) {
                return;
            }
            Frame& f = stack_.back();
            path_.resize(f.pathEnd);
            if (firstOpen_ >= stack_.size()) {
                firstOpen_ = stack_.size() - 1;
                if (!done.folder.isOpen() || !f.folder.openAbove(done.folder, f.id)) {
                    f.folder.close();
                }
            }
        }

        Sink& sink_;
        const Spec& spec_;
        std::vector<Frame> stack_;
        std::size_t firstOpen_ = 0;  // the stack's folders from here on are open
        std::string path_;
    };

    struct ToCatalogue {
        colFiles& c;
        std::uint32_t number;  // of the walk's pattern and bounds
        void filesListed(const platform::FileId& id)
        {
            if (!c.folders_.insert(id).second) {
                c.namesMayRepeat_ = true;
            }
            c.walkedNow_.push_back({{id, number}, kFilesListed});
        }
        void treeWalked(const platform::FileId& id) { c.walkedNow_.push_back({{id, number}, kTreeWalked}); }
        void add(const FolderPath& folder, std::string&& name, const platform::Folder::Stat& st)
        {
            c.namesMayRepeat_ = c.namesMayRepeat_ || st.mountRoot;
            c.append({folder, std::move(name), st.state}, st.linked);
        }
        void failed(WalkFailure&& failure) { c.failures_.push_back(std::move(failure)); }
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
            f.namesMayRepeat = f.namesMayRepeat || st.mountRoot;
            f.entries.push_back({folder, std::move(name), st.state});
            f.linked.push_back(st.linked);
        }
        void failed(WalkFailure&& failure) { f.failures.push_back(std::move(failure)); }
        void folderDone(const Spec&) {}  // on a helper thread: told by the calling one
    };

    // What a piece of a tree walked on its own found, added to the catalogue.
    static void addFound(colFiles& c, Found& found, std::uint32_t number)
    {
        ToCatalogue sink{c, number};
        for (const auto& id : found.folders) {
            sink.filesListed(id);
        }
        for (const auto& id : found.trees) {
            sink.treeWalked(id);
        }
        for (std::size_t k = 0; k < found.entries.size(); ++k) {
            c.append(std::move(found.entries[k]), found.linked[k]);
        }
        std::move(found.failures.begin(), found.failures.end(), std::back_inserter(c.failures_));
        c.namesMayRepeat_ = c.namesMayRepeat_ || found.namesMayRepeat;
        found = Found{};
    }

    static void walkSideBySide(colFiles& c, Frame&& top, const std::string& path, const Spec& spec);
};

// The tree is cut into pieces in walk order: the top folder and its
// sub-folders are listed here, and the sub-trees below them are walked side
// by side on every core; each piece is added to the catalogue as soon as
// every piece before it is in, so the order is exactly that of the walk.
// The folders listed here stay open for the pieces below them, at most a
// few: past those, a sub-folder of the top is a piece of its own.
void colFiles::Walk::walkSideBySide(colFiles& c, Frame&& topFrame, const std::string& path, const Spec& spec)
{
    struct Piece {
        std::shared_ptr<Frame> own;            // a listed folder's own files
        std::optional<WalkFailure> failure;    // or a sub-folder it could not enter
        std::shared_ptr<const Frame> parent;   // or the sub-tree of a sub-folder of it
        const platform::SubFolder* sub = nullptr;
        Found found;
        std::atomic<bool> done{false};
    };
    const auto listed = [](Frame&& f, std::string folderPath) {
        auto shared = std::make_shared<Frame>(std::move(f));
        shared->shared = std::make_shared<const SearchedFolder>(SearchedFolder{std::move(folderPath), shared->id});
        return shared;
    };
    const std::shared_ptr<Frame> top = listed(std::move(topFrame), path);
    std::deque<Piece> pieces;
    std::vector<std::size_t> subTrees;
    const auto subTree = [&](const std::shared_ptr<Frame>& parent, const platform::SubFolder& sub) {
        subTrees.push_back(pieces.size());
        Piece& p = pieces.emplace_back();
        p.parent = parent;
        p.sub = &sub;
    };
    std::size_t heldOpen = 0;
    for (const platform::SubFolder& sub : top->subs) {
        if (spec.stop.stop_requested()) {
            return;
        }
        if (heldOpen >= kOpenForPieces) {
            subTree(top, sub);
            continue;
        }
        Frame child;
        platform::Error err;
        const Entered entered = enter(*top, path, sub, child, spec, err);
        if (entered == Entered::Failed) {
            pieces.emplace_back().failure = failure(top->shared, sub, err);
        }
        if (entered != Entered::Yes) {
            continue;
        }
        const std::shared_ptr<Frame> folder = listed(std::move(child), path + sub.name + "/");
        for (const platform::SubFolder& below : folder->subs) {
            subTree(folder, below);
        }
        if (folder->subs.empty()) {
            folder->folder.close();
        } else {
            ++heldOpen;
        }
        pieces.emplace_back().own = folder;
    }
    pieces.emplace_back().own = top;

    std::size_t added = 0;
    const auto addFinished = [&] {
        for (; added < pieces.size(); ++added) {
            Piece& p = pieces[added];
            ToCatalogue sink{c, spec.number};
            if (p.own) {
                // everything below the folder is in: so is the folder
                ownFiles(sink, *p.own, p.own->shared, spec);
                if (!spec.stop.stop_requested()) {
                    sink.treeWalked(p.own->id);
                }
                p.own.reset();
            } else if (p.failure) {
                sink.failed(std::move(*p.failure));
            } else if (p.done.load(std::memory_order_acquire)) {
                addFound(c, p.found, spec.number);
            } else {
                break;
            }
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
            Frame child;
            platform::Error err;
            const std::string& parentPath = p.parent->shared->path;
            switch (enter(*p.parent, parentPath, *p.sub, child, spec, err)) {
            case Entered::Failed:
                sink.failed(failure(p.parent->shared, *p.sub, err));
                break;
            case Entered::Yes:
                Walker<ToFound>(sink, spec).walk(std::move(child), parentPath + p.sub->name + "/");
                break;
            case Entered::PassedOver:
                break;
            }
            p.done.store(true, std::memory_order_release);
        },
        addFinished);
    addFinished();
}

std::int64_t colFiles::LoadFiles(const std::string& folder, const std::string& pattern, std::int32_t minSz,
                                 std::int32_t maxSz, bool bRecursive, std::stop_token stop, WalkCounts* counts)
{
    // The pattern is used unchanged at every depth: rebuilding it from its
    // base name and extension would turn "*" into "*." below the first folder.
    const std::uint32_t number = walkNumber(pattern, minSz, maxSz);
    const Walk::Spec spec{pattern,  minSz,         maxSz, bRecursive, number, *this, std::move(stop),
                          counts,   platform::userTrashFolders()};
    walkedNow_.clear();
    Walk::Frame top;
    platform::Error err;
    const bool opened = top.folder.openFromRoot(folder, &err);
    if (opened && (top.folder.onVirtualFs() || spec.walkedBefore(top.folder.identity(), kTreeWalked))) {
        return Count();  // never searched, or nothing left to find there
    }
    if (!opened || !Walk::list(top, spec, err)) {
        // the folder named for the search: in the folder that holds it
        const std::string_view bare(folder.data(), folder.size() > 1 && folder.back() == '/' ? folder.size() - 1
                                                                                               : folder.size());
        const auto in = std::make_shared<const SearchedFolder>(SearchedFolder{GetFolderPart(bare), {}});
        failures_.push_back({in, GetFileNamePart(bare) + "/", top.folder.identity(), 0, false, err});
    } else if (bRecursive && parallelHelpers() > 0) {
        Walk::walkSideBySide(*this, std::move(top), folder, spec);
    } else {
        Walk::ToCatalogue sink{*this, number};
        Walk::Walker<Walk::ToCatalogue>(sink, spec).walk(std::move(top), folder);
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
