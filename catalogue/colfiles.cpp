#include "catalogue/colfiles.h"

#include "catalogue/parallel.h"
#include "catalogue/paths.h"

#include <algorithm>
#include <climits>
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
    std::deque<std::string>().swap(items_);
    std::vector<platform::FileId>().swap(ids_);
}

void colFiles::Add(std::string sFileName)
{
    items_.push_back(std::move(sFileName));
    // an identity no listed file has: no device number is all ones
    ids_.push_back({static_cast<dev_t>(-1), static_cast<ino_t>(addedByName_++)});
}

void colFiles::Remove(std::int64_t index)
{
    items_.erase(items_.begin() + (index - 1));
    ids_.erase(ids_.begin() + (index - 1));
}

void colFiles::dropRepeatedFiles()
{
    std::vector<std::uint32_t> order(ids_.size());
    for (std::size_t i = 0; i < order.size(); ++i) {
        order[i] = static_cast<std::uint32_t>(i);
    }
    const auto key = [this](std::uint32_t i) { return std::pair(ids_[i].dev, ids_[i].ino); };
    std::sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
        const auto ka = key(a);
        const auto kb = key(b);
        return ka != kb ? ka < kb : a < b;
    });
    std::vector<bool> drop;
    for (std::size_t k = 1; k < order.size(); ++k) {
        if (ids_[order[k]] == ids_[order[k - 1]]) {
            if (drop.empty()) {
                drop.resize(ids_.size());
            }
            drop[order[k]] = true;  // a later name of a file already listed
        }
    }
    if (drop.empty()) {
        return;
    }
    std::size_t out = 0;
    for (std::size_t i = 0; i < ids_.size(); ++i) {
        if (!drop[i]) {
            if (out != i) {
                items_[out] = std::move(items_[i]);
                ids_[out] = ids_[i];
            }
            ++out;
        }
    }
    items_.resize(out);
    ids_.resize(out);
}

std::int64_t colFiles::LoadFiles(std::string_view sFileSpec, std::int32_t minSz,
                                 std::int32_t maxSz, bool bRecursive, const YieldFn& yield)
{
    // The pattern is used unchanged at every depth: rebuilding it from its
    // base name and extension would turn "*" into "*." below the first folder.
    const std::string folder = GetFolderPart(sFileSpec);
    const std::string pattern = GetFileNamePart(sFileSpec);
    const std::size_t before = items_.size();
    loadFolder(folder, pattern, minSz, maxSz, bRecursive, yield);
    if (items_.size() > before) {
        dropRepeatedFiles();
    }
    return Count();
}

void colFiles::loadFolder(const std::string& folder, const std::string& pattern,
                          std::int32_t minSz, std::int32_t maxSz, bool bRecursive,
                          const YieldFn& yield)
{
    platform::Folder listing;
    if (!listing.open(folder)) {
        return;  // nothing to add from a folder that cannot be listed
    }

    // The facts of this folder's own files are taken now, while the folder
    // is open; the files are appended after the sub-folders, and the folder's
    // descriptor is released before the descent.
    std::vector<std::optional<platform::Folder::Stat>> stats(listing.entries().size());
    std::vector<std::size_t> wanted;
    for (std::size_t i = 0; i < listing.entries().size(); ++i) {
        const auto& e = listing.entries()[i];
        if (e.kind == platform::EntryKind::File && platform::wildcardMatch(pattern, e.name)) {
            wanted.push_back(i);
        }
    }
    // a folder of many files is examined on every core, in shares
    constexpr std::size_t kShare = 64;
    const auto statShare = [&](std::size_t s) {
        for (std::size_t w = s * kShare; w < std::min(wanted.size(), (s + 1) * kShare); ++w) {
            stats[wanted[w]] = listing.statFile(listing.entries()[wanted[w]].name);
        }
    };
    parallelFor((wanted.size() + kShare - 1) / kShare, statShare);
    const std::vector<platform::FolderEntry> entries = listing.takeEntries();
    listing.close();

    if (bRecursive) {
        for (const auto& e : entries) {
            if (e.kind == platform::EntryKind::Folder) {
                loadFolder(folder + e.name + "/", pattern, minSz, maxSz, bRecursive, yield);
            }
        }
    }

    for (std::size_t i = 0; i < entries.size(); ++i) {
        const auto& e = entries[i];
        if (e.kind == platform::EntryKind::File) {
            if (!stats[i]) {
                continue;  // not matching, or gone since the listing
            }
            if (folder.size() + e.name.size() >= PATH_MAX) {
                continue;  // a path too long to open, size, compare or trash
            }
            const std::int64_t kb = RoundedKb(stats[i]->size);
            if (kb > minSz && (maxSz == -1 || kb < maxSz)) {
                // sized exactly: `folder + e.name` would leave room to spare
                std::string path;
                path.reserve(folder.size() + e.name.size());
                path.append(folder).append(e.name);
                items_.push_back(std::move(path));
                ids_.push_back(stats[i]->id);
            }
        } else if (!platform::wildcardMatch(pattern, e.name)) {
            continue;
        }
        if (yield) {
            yield();
        }
    }
}

}  // namespace kormial
