// The folder walk behind LoadFiles: every folder reached from its parent's
// descriptor, depth first without recursion, in one fixed order.
#include "catalogue/folderwalk.h"

#include "platform/parallel.h"
#include "catalogue/paths.h"

#include <algorithm>
#include <cerrno>
#include <iterator>

namespace kormial {

namespace {

std::atomic<EnterHook> g_enterHook{nullptr};

}  // namespace

void setEnterHook(EnterHook hook)
{
    g_enterHook.store(hook);
}

bool colFiles::Walk::list(Frame& f, std::string_view below, const Spec& spec, platform::Error& err)
{
    f.id = f.folder.identity();
    f.ownFiles = !spec.walkedBefore(f.id, kFilesListed);
    if (!f.folder.listApart(f.files, spec.recursive ? &f.subs : nullptr, &err)) {
        return false;
    }
    std::erase_if(f.files, [&](const std::string& name) {
        return !f.ownFiles || !platform::wildcardMatch(spec.pattern, name) ||
               spec.c.exclude_.leavesOut(below, name, false);
    });
    f.stats.resize(f.files.size());
    std::atomic<int> failure{0};
    // a folder of many files is examined on the reading threads, in shares
    constexpr std::size_t kShare = 64;
    const auto examine = [&](std::size_t s) {
        for (std::size_t i = s * kShare; i < std::min(f.files.size(), (s + 1) * kShare); ++i) {
            platform::Error e;
            f.stats[i] = f.folder.statFile(f.files[i], &e);
            // gone, or no regular file any more, since the listing: passed over
            if (!f.stats[i] && e.code != ENOENT && e.code != EINVAL) {
                int none = 0;
                failure.compare_exchange_strong(none, e.code);
            }
        }
    };
    parallelFor((f.files.size() + kShare - 1) / kShare, examine, {}, JobKind::Reading);
    if (failure.load() != 0) {
        err.code = failure.load();
        return false;
    }
    if (spec.counts != nullptr) {
        spec.counts->folders.fetch_add(1, std::memory_order_relaxed);
    }
    return true;
}

colFiles::Walk::Entered colFiles::Walk::enter(const Frame& parent, const std::string& parentPath,
                                              const platform::SubFolder& sub, Frame& child, const Spec& spec,
                                              platform::Error& err)
{
    const platform::UserTrash& trash = spec.trash;
    const bool fsTop = parent.folder.fsTop();
    const std::string_view parentBelow = std::string_view(parentPath).substr(std::min(spec.top, parentPath.size()));
    if (spec.c.exclude_.leavesOut(parentBelow, sub.name, true) || sub.onVirtualFs || (trash.home && *trash.home == sub.id) || (fsTop && sub.name == trash.perUser) ||
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
    const std::string below = spec.c.exclude_.empty() ? std::string() : std::string(parentBelow) + sub.name + "/";
    return list(child, below, spec, err) ? Entered::Yes : Entered::Failed;
}

WalkFailure colFiles::Walk::failure(const FolderPath& in, const platform::SubFolder& sub, const platform::Error& err)
{
    return {in, sub.name + "/", sub.id, sub.mtimeNs, true, err};
}

void colFiles::Walk::addFound(colFiles& c, Found& found, std::uint32_t number)
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

std::int64_t colFiles::LoadFiles(const std::string& folder, const std::string& pattern, std::int32_t minSz,
                                 std::int32_t maxSz, bool bRecursive, std::stop_token stop, WalkCounts* counts)
{
    // The pattern is used unchanged at every depth: rebuilding it from its
    // base name and extension would turn "*" into "*." below the first folder.
    const std::uint32_t number = walkNumber(pattern, minSz, maxSz);
    const Walk::Spec spec{pattern, minSz,  maxSz,   bRecursive, number, *this, std::move(stop), counts,
                          platform::userTrashFolders(), folder.size()};
    walkedNow_.clear();
    Walk::Frame top;
    platform::Error err;
    const bool opened = top.folder.openFromRoot(folder, &err);
    if (opened && (top.folder.onVirtualFs() || spec.walkedBefore(top.folder.identity(), kTreeWalked))) {
        return Count();  // never searched, or nothing left to find there
    }
    if (!opened || !Walk::list(top, "", spec, err)) {
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
