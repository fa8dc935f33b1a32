// The catalogue: the full paths of the files a search examines, in the order
// they were found.
#pragma once

#include "platform/fs.h"

#include <cstdint>
#include <functional>
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
    const std::vector<std::string>& Items() const { return items_; }
    // Hands the entries over and leaves the catalogue empty (no copies of
    // the paths when the records are filled).
    std::vector<std::string> TakeItems()
    {
        seen_.clear();
        return std::move(items_);
    }

    void Add(std::string sFileName) { items_.push_back(std::move(sFileName)); }
    // Positions count from 1.
    const std::string& Item(std::int64_t index) const { return items_.at(static_cast<std::size_t>(index - 1)); }
    std::int64_t Count() const { return static_cast<std::int64_t>(items_.size()); }
    void Remove(std::int64_t index) { items_.erase(items_.begin() + (index - 1)); }

private:
    void loadFolder(const std::string& folder, const std::string& pattern, std::int32_t minSz,
                    std::int32_t maxSz, bool bRecursive, const YieldFn& yield);

    std::vector<std::string> items_;
    std::unordered_set<platform::FileId, platform::FileIdHash> seen_;
};

}  // namespace kormial
