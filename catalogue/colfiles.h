// The catalogue: the full paths of the files a search examines, in the order
// they were found.
#pragma once

#include "platform/fs.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_set>
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
    // twice) is passed over. Returns the catalogue's count after the call.
    std::int64_t LoadFiles(std::string_view sFileSpec, std::int32_t minSz, std::int32_t maxSz,
                           bool bRecursive, const YieldFn& yield = {});

    void Clear();
    // A copy of the entries, in order.
    std::vector<std::string> Items() const;
    // Hands the entries over in order, one path at a time, releasing the
    // catalogue's storage as it goes: the catalogue and the records built
    // from it never hold every path twice. The catalogue is empty afterwards.
    void TakeItems(const std::function<void(std::string&& path, const platform::FileId& id)>& take);

    // An entry added by name takes part in no identity check.
    void Add(std::string_view sFileName);
    // Positions count from 1.
    std::string Item(std::int64_t index) const;
    std::int64_t Count() const { return static_cast<std::int64_t>(entries_.size()); }
    void Remove(std::int64_t index);

private:
    struct Walk;  // the folder walk (in the source file)
    friend struct Walk;
    // Keeps the first entry of every file identity and drops later ones.
    void dropRepeatedFiles();
    // Appends folder + name as one entry.
    void append(std::string_view folder, std::string_view name, const platform::FileId& id,
                bool linked = false);
    std::string_view text(std::size_t entry) const;

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
    // The identity of each entry, side by side with it: hard links and
    // folders covered twice are found by sorting once per LoadFiles call,
    // which costs far less memory than a hash set of every file.
    std::vector<platform::FileId> ids_;
    // A file of one name can be listed twice only through a folder listed
    // twice (overlapping entries, a folder mounted in two places): until
    // that happens only the entries of files with several names are checked.
    std::vector<std::uint32_t> linked_;
    std::unordered_set<platform::FileId, platform::FileIdHash> folders_;
    bool folderListedTwice_ = false;
    std::uint64_t addedByName_ = 0;
};

}  // namespace kormial
