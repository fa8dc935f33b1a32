// The catalogue: the full paths of the files a search examines, in the order
// they were found.
#pragma once

#include "platform/fs.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <tuple>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

namespace kormial {

// Called after every entry of a folder's file listing (the window handles its
// events there; the headless front end does nothing).
using YieldFn = std::function<void()>;

// Whole KB of a byte count: nearest, exact halves to the even neighbour.
std::int64_t RoundedKb(std::int64_t bytes);

class colFiles {
public:
    // Appends the files that `sFileSpec` (folder + "/" + pattern) selects and
    // whose size in whole KB lies strictly between `minSz` and `maxSz`
    // (`maxSz` -1: no upper bound). With `bRecursive` the sub-folders at any
    // depth come first, each completely, then the folder's own files. A file
    // already catalogued under another name (hard link, or a folder covered
    // twice) is passed over. A folder already walked with the same pattern
    // and bounds by an earlier call is not walked again, and one whose own
    // files are in already is not searched for them again. Returns the
    // catalogue's count after the call.
    std::int64_t LoadFiles(std::string_view sFileSpec, std::int32_t minSz, std::int32_t maxSz,
                           bool bRecursive, const YieldFn& yield = {});

    void Clear();
    // A copy of the entries, in order.
    std::vector<std::string> Items() const;
    // Hands the entries over in order, one path at a time with the file's
    // device and inode as the walk saw them, releasing the catalogue's
    // storage as it goes: the catalogue and the records built from it never
    // hold every path twice. The catalogue is empty afterwards.
    void TakeItems(const std::function<void(std::string&& path, const platform::FileId& id)>& take);

    // An entry added by name takes part in no identity check: its identity
    // is one no listed file has (device all ones).
    void Add(std::string_view sFileName);
    // Positions count from 1.
    std::string Item(std::int64_t index) const;
    std::int64_t Count() const { return static_cast<std::int64_t>(entries_.size()); }
    void Remove(std::int64_t index);

private:
    struct Walk;  // the folder walk (in the source file)
    friend struct Walk;
    // Drops the entries from `checked_` on that are later names of a file
    // listed before, and adds the rest to the checked identities.
    void dropRepeatedFiles();
    // Appends folder + name as one entry.
    void append(std::string_view folder, std::string_view name, const platform::FileId& id,
                bool linked = false);
    std::string_view text(std::size_t entry) const;
    // The number of the pattern and bounds of a walk, for the walk memory.
    std::uint32_t walkNumber(const std::string& pattern, std::int32_t minSz, std::int32_t maxSz);

    // The paths, back to back in large blocks: no allocation per file, and
    // 12 bytes of bookkeeping each.
    struct Entry {
        std::uint32_t block;
        std::uint32_t offset;
        std::uint32_t length;
    };
    std::vector<std::unique_ptr<char[]>> blocks_;
    std::size_t blockUsed_ = 0;
    std::size_t blockSize_ = 0;
    std::vector<Entry> entries_;
    // The identity of each entry, side by side with it.
    std::vector<platform::FileId> ids_;

    // The identities checked so far, as entry numbers in runs sorted by
    // identity. Each call sorts only its own new entries, looks each up in
    // every run, and adds those it keeps as a new run, merged with the runs
    // before it until each run is more than twice as long as the next: about
    // log2(n) runs at most, and O(n log n) merging overall. The entries
    // before `checked_` have been checked and are never dropped.
    std::vector<std::vector<std::uint32_t>> runs_;
    std::size_t checked_ = 0;
    // A file of one name can be listed twice only through a folder listed
    // twice (overlapping entries, a folder mounted in two places): until
    // that happens only the entries of files with several names are checked
    // (`linked_`, the new ones), and only they are in the runs.
    std::vector<std::uint32_t> linked_;
    std::unordered_set<platform::FileId, platform::FileIdHash> folders_;  // own files listed
    bool folderListedTwice_ = false;
    bool allInRuns_ = false;

    // What earlier calls walked, by folder and walk number: a folder walked
    // with all its sub-folders, or one whose own files were listed. What a
    // call walks is noted in `walkedNow_` and kept once the call is done
    // (the walk's helper threads read `walked_` meanwhile).
    enum : std::uint8_t { kTreeWalked = 1, kFilesListed = 2 };
    struct FolderWalk {
        platform::FileId id;
        std::uint32_t walk;
        bool operator==(const FolderWalk&) const = default;
    };
    struct FolderWalkHash {
        std::size_t operator()(const FolderWalk& w) const noexcept
        {
            return platform::FileIdHash()(w.id) ^ (static_cast<std::size_t>(w.walk) * 0x9E3779B97F4A7C15u);
        }
    };
    std::unordered_map<FolderWalk, std::uint8_t, FolderWalkHash> walked_;
    std::vector<std::pair<FolderWalk, std::uint8_t>> walkedNow_;
    std::map<std::tuple<std::string, std::int32_t, std::int32_t>, std::uint32_t> walkNumbers_;
    std::uint64_t addedByName_ = 0;
};

}  // namespace kormial
