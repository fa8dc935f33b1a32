// The walk of a tree on every core: cut into pieces, put together in walk
// order.
#include "catalogue/folderwalk.h"

#include "platform/parallel.h"

#include <deque>
#include <memory>

namespace kormial {

// One piece of a tree, in walk order: a listed folder's own files, a
// sub-folder that could not be entered, or the sub-tree of a sub-folder
// (walked on any core).
struct colFiles::Walk::Piece {
    std::shared_ptr<Frame> own;
    std::optional<WalkFailure> failure;
    std::shared_ptr<const Frame> parent;  // the sub-tree's folder is entered from here
    const platform::SubFolder* sub = nullptr;
    Found found;
    std::atomic<bool> done{false};
};

namespace {

// A listed folder shared by the pieces below it, with its path.
template <typename Frame>
std::shared_ptr<Frame> sharedFrame(Frame&& f, std::string path)
{
    auto shared = std::make_shared<Frame>(std::move(f));
    shared->shared = std::make_shared<const SearchedFolder>(SearchedFolder{std::move(path), shared->id});
    return shared;
}

}  // namespace

// The top folder's sub-folders are listed here, and the sub-trees below
// them become pieces. The folders listed here stay open for the pieces
// below them, at most a few: past those, a sub-folder of the top is a piece
// of its own. False when a stop came first.
bool colFiles::Walk::cut(const std::shared_ptr<Frame>& top, const Spec& spec, std::deque<Piece>& pieces,
                         std::vector<std::size_t>& subTrees)
{
    const auto subTree = [&](const std::shared_ptr<Frame>& parent, const platform::SubFolder& sub) {
        subTrees.push_back(pieces.size());
        Piece& p = pieces.emplace_back();
        p.parent = parent;
        p.sub = &sub;
    };
    const std::string& path = top->shared->path;
    std::size_t heldOpen = 0;
    for (const platform::SubFolder& sub : top->subs) {
        if (spec.stop.stop_requested()) {
            return false;
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
        const std::shared_ptr<Frame> folder = sharedFrame(std::move(child), path + sub.name + "/");
        for (const platform::SubFolder& below : folder->subs) {
            subTree(folder, below);
        }
        heldOpen += folder->subs.empty() ? 0 : 1;
        if (folder->subs.empty()) {
            folder->folder.close();
        }
        pieces.emplace_back().own = folder;
    }
    pieces.emplace_back().own = top;
    return true;
}

// Walks the sub-tree of piece `p`, on any core.
void colFiles::Walk::walkPiece(Piece& p, const Spec& spec)
{
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
}

// Adds the pieces from `added` on to the catalogue, up to the first one not
// done yet; returns where that one stands.
std::size_t colFiles::Walk::addDone(colFiles& c, std::deque<Piece>& pieces, std::size_t added, const Spec& spec)
{
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
    return added;
}

// The tree is cut into pieces in walk order, and the sub-trees are walked
// side by side on every core; each piece is added to the catalogue as soon
// as every piece before it is in, so the order is exactly that of the walk.
void colFiles::Walk::walkSideBySide(colFiles& c, Frame&& top, const std::string& path, const Spec& spec)
{
    std::deque<Piece> pieces;
    std::vector<std::size_t> subTrees;
    if (!cut(sharedFrame(std::move(top), path), spec, pieces, subTrees)) {
        return;
    }
    std::size_t added = 0;
    // the calling thread adds the pieces done while it waits
    parallelFor(
        subTrees.size(), [&](std::size_t k) { walkPiece(pieces[subTrees[k]], spec); },
        [&] { added = addDone(c, pieces, added, spec); });
    addDone(c, pieces, added, spec);
}

}  // namespace kormial
