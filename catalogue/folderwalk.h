// The folder walk behind colFiles::LoadFiles, shared by its sources.
#pragma once

#include "catalogue/colfiles.h"

#include <atomic>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace kormial {

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
        platform::UserTrash trash;
        std::size_t top;       // the length of the search folder's path

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

    // Lists the open folder of `f`, whose path below the search folder is
    // `below` ("" or ending in "/"). A folder whose entries cannot be looked
    // at fails as a whole.
    static bool list(Frame& f, std::string_view below, const Spec& spec, platform::Error& err);

    enum class Entered { Yes, PassedOver, Failed };
    // Opens and lists sub-folder `sub` of `parent` (at `parentPath`) into
    // `child`, unless the walk passes over it: left out by the user, on a
    // virtual file system, a trash folder of the user's, walked before, or
    // gone since the listing.
    static Entered enter(const Frame& parent, const std::string& parentPath, const platform::SubFolder& sub,
                         Frame& child, const Spec& spec, platform::Error& err);
    static WalkFailure failure(const FolderPath& in, const platform::SubFolder& sub, const platform::Error& err);

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

    // How many folders on its way down one walk keeps open at most; the
    // ones above them are opened again through ".." on the way back up.
    static constexpr std::size_t kOpenOnTheWay = 64;
    // How many folders the cut of a tree into pieces keeps open for the
    // pieces below them.
    static constexpr std::size_t kOpenForPieces = 64;
    // How far a walk carries a folder up before it opens the one above
    // (the path of ".." that reaches it stays well below PATH_MAX).
    static constexpr std::size_t kCarriedUpAtMost = 512;

    // One walk down a tree, without recursion: the folders on the way down
    // are a stack, each holding its descriptor only while sub-folders are
    // left to enter from it and it is among the lowest few that do; the path
    // is one text that grows and shrinks with the stack, copied only for the
    // folders whose files or failures are taken.
    template <typename Sink>
    class Walker {
    public:
        Walker(Sink& sink, const Spec& spec) : sink_(sink), spec_(spec) {}

        // Walks the tree of the listed folder `top` at `path`.
        void walk(Frame&& top, std::string path)
        {
            path_ = std::move(path);
            top.pathEnd = path_.size();
            open_ = top.folder.isOpen() ? 1 : 0;
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

        // Into the next sub-folder of `f`, the lowest folder. A folder is
        // given back as soon as nothing more is entered from it.
        void down(Frame& f)
        {
            const platform::SubFolder& sub = f.subs[f.nextSub++];
            Frame child;
            platform::Error err;
            const Entered entered = enter(f, path_, sub, child, spec_, err);
            if (f.nextSub == f.subs.size()) {
                release(f);
            }
            if (entered == Entered::Failed) {
                sink_.failed(failure(folderOf(f), sub, err));
            }
            if (entered != Entered::Yes) {
                return;
            }
            path_ += sub.name;
            path_ += '/';
            child.pathEnd = path_.size();
            stack_.push_back(std::move(child));
            if (++open_ > kOpenOnTheWay) {
                while (!stack_[firstOpen_].folder.isOpen()) {
                    ++firstOpen_;
                }
                release(stack_[firstOpen_++]);  // the highest one open
            }
        }

        void release(Frame& f)
        {
            if (f.folder.isOpen()) {
                f.folder.close();
                --open_;
            }
        }

        // Back to the folder above. The lowest folder given back is carried
        // up; a folder above that still has sub-folders to enter but gave
        // back its descriptor is opened again from it through "..". When that
        // is no longer the folder (one below was moved away), the way back
        // is lost: the sub-folders left there fail, and so on upwards.
        void up()
        {
            Frame done = std::move(stack_.back());
            stack_.pop_back();
            if (done.folder.isOpen()) {
                --open_;
                carried_ = std::move(done.folder);
                carriedUp_ = 0;
            }
            ++carriedUp_;
            if (stack_.empty()) {
                return;
            }
            Frame& f = stack_.back();
            path_.resize(f.pathEnd);
            firstOpen_ = std::min(firstOpen_, stack_.size());
            if (f.folder.isOpen() || !carried_.isOpen()) {
                carried_.close();
            } else if (f.nextSub < f.subs.size()) {
                if (f.folder.openAbove(carried_, carriedUp_, f.id)) {
                    ++open_;
                    firstOpen_ = stack_.size() - 1;
                }
                carried_.close();
            } else if (carriedUp_ >= kCarriedUpAtMost) {
                // the path of ".." is kept short: this folder is carried on
                if (carried_.openAbove(carried_, carriedUp_, f.id)) {
                    carriedUp_ = 0;
                } else {
                    carried_.close();
                }
            }
        }

        Sink& sink_;
        const Spec& spec_;
        std::vector<Frame> stack_;
        std::size_t open_ = 0;       // folders of the stack that hold their descriptor
        std::size_t firstOpen_ = 0;  // none below this one does
        platform::Folder carried_;   // the lowest folder given back on the way up
        std::size_t carriedUp_ = 0;  // how far below the lowest folder it lies
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
    static void addFound(colFiles& c, Found& found, std::uint32_t number);

    // The walk of a tree on every core (walkpieces.cpp).
    static void walkSideBySide(colFiles& c, Frame&& top, const std::string& path, const Spec& spec);
    struct Piece;
    static bool cut(const std::shared_ptr<Frame>& top, const Spec& spec, std::deque<Piece>& pieces,
                    std::vector<std::size_t>& subTrees);
    static void walkPiece(Piece& p, const Spec& spec);
    static std::size_t addDone(colFiles& c, std::deque<Piece>& pieces, std::size_t added, const Spec& spec);
};

}  // namespace kormial
