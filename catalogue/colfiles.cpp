#include "catalogue/colfiles.h"

#include "catalogue/parallel.h"
#include "catalogue/paths.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <stdexcept>
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
    std::vector<std::unique_ptr<char[]>>().swap(blocks_);
    std::vector<Entry>().swap(entries_);
    std::vector<platform::FileId>().swap(ids_);
    std::vector<std::uint32_t>().swap(linked_);
    folders_ = {};
    folderListedTwice_ = false;
    blockUsed_ = 0;
    blockSize_ = 0;
}

void colFiles::append(std::string_view folder, std::string_view name, const platform::FileId& id,
                      bool linked)
{
    constexpr std::size_t kBlock = 1 << 20;
    const std::size_t length = folder.size() + name.size();
    if (blocks_.empty() || blockUsed_ + length > blockSize_) {
        blockSize_ = std::max(kBlock, length);
        blocks_.emplace_back(new char[blockSize_]);
        blockUsed_ = 0;
    }
    char* at = blocks_.back().get() + blockUsed_;
    std::memcpy(at, folder.data(), folder.size());
    std::memcpy(at + folder.size(), name.data(), name.size());
    entries_.push_back({static_cast<std::uint32_t>(blocks_.size() - 1), static_cast<std::uint32_t>(blockUsed_),
                        static_cast<std::uint32_t>(length)});
    ids_.push_back(id);
    if (linked) {
        linked_.push_back(static_cast<std::uint32_t>(entries_.size() - 1));
    }
    blockUsed_ += length;
}

std::string_view colFiles::text(std::size_t entry) const
{
    const Entry& e = entries_[entry];
    return {blocks_[e.block].get() + e.offset, e.length};
}

std::vector<std::string> colFiles::Items() const
{
    std::vector<std::string> out;
    out.reserve(entries_.size());
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        out.emplace_back(text(i));
    }
    return out;
}

std::string colFiles::Item(std::int64_t index) const
{
    if (index < 1 || index > Count()) {
        throw std::out_of_range("colFiles::Item");
    }
    return std::string(text(static_cast<std::size_t>(index - 1)));
}

void colFiles::TakeItems(const std::function<void(std::string&&)>& take)
{
    // entries stand in the order of their blocks, so each block is released
    // as soon as the walk has passed it
    std::vector<platform::FileId>().swap(ids_);
    std::size_t block = 0;
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        while (block < entries_[i].block) {
            blocks_[block++].reset();
        }
        take(std::string(text(i)));
    }
    Clear();
}

void colFiles::Add(std::string_view sFileName)
{
    // an identity no listed file has: no device number is all ones
    append("", sFileName, {static_cast<dev_t>(-1), static_cast<ino_t>(addedByName_++)});
}

void colFiles::Remove(std::int64_t index)
{
    const auto at = static_cast<std::uint32_t>(index - 1);
    entries_.erase(entries_.begin() + at);
    ids_.erase(ids_.begin() + at);
    std::erase(linked_, at);
    for (std::uint32_t& i : linked_) {
        if (i > at) {
            --i;
        }
    }
}

void colFiles::dropRepeatedFiles()
{
    std::vector<std::uint32_t> order;
    if (folderListedTwice_) {
        order.resize(ids_.size());
        for (std::size_t i = 0; i < order.size(); ++i) {
            order[i] = static_cast<std::uint32_t>(i);
        }
    } else {
        order = linked_;
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
    std::vector<std::uint32_t> moved(ids_.size());
    std::size_t out = 0;
    for (std::size_t i = 0; i < ids_.size(); ++i) {
        if (!drop[i]) {
            moved[i] = static_cast<std::uint32_t>(out);
            entries_[out] = entries_[i];
            ids_[out] = ids_[i];
            ++out;
        }
    }
    entries_.resize(out);
    ids_.resize(out);
    std::vector<std::uint32_t> linked;
    for (const std::uint32_t i : linked_) {
        if (!drop[i]) {
            linked.push_back(moved[i]);
        }
    }
    linked_.swap(linked);
}

std::int64_t colFiles::LoadFiles(std::string_view sFileSpec, std::int32_t minSz,
                                 std::int32_t maxSz, bool bRecursive, const YieldFn& yield)
{
    // The pattern is used unchanged at every depth: rebuilding it from its
    // base name and extension would turn "*" into "*." below the first folder.
    const std::string folder = GetFolderPart(sFileSpec);
    const std::string pattern = GetFileNamePart(sFileSpec);
    const std::size_t before = entries_.size();
    loadFolder(folder, pattern, minSz, maxSz, bRecursive, yield);
    if (entries_.size() > before) {
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
    if (!folders_.insert(listing.identity()).second) {
        folderListedTwice_ = true;
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
                append(folder, e.name, stats[i]->id, stats[i]->linked);
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
