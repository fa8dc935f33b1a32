#include "catalogue/colfiles.h"

#include "catalogue/paths.h"

#include <climits>

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
    items_.clear();
    seen_.clear();
}

std::int64_t colFiles::LoadFiles(std::string_view sFileSpec, std::int32_t minSz,
                                 std::int32_t maxSz, bool bRecursive, const YieldFn& yield)
{
    // The pattern is used unchanged at every depth: rebuilding it from its
    // base name and extension would turn "*" into "*." below the first folder.
    const std::string folder = GetFolderPart(sFileSpec);
    const std::string pattern = GetFileNamePart(sFileSpec);
    loadFolder(folder, pattern, minSz, maxSz, bRecursive, yield);
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
    for (std::size_t i = 0; i < listing.entries().size(); ++i) {
        const auto& e = listing.entries()[i];
        if (e.kind == platform::EntryKind::File && platform::wildcardMatch(pattern, e.name)) {
            stats[i] = listing.statFile(e.name);
        }
    }
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
            if (kb > minSz && (maxSz == -1 || kb < maxSz) && seen_.insert(stats[i]->id).second) {
                items_.push_back(folder + e.name);
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
