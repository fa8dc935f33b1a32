// The catalogue: the files a search examines, in the order they were found,
// each with the state the walk saw.
#pragma once

#include "catalogue/exclusions.h"
#include "catalogue/filerec.h"
#include "platform/fs.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <stop_token>
#include <string_view>
#include <tuple>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

namespace kormial {


// Whole KB of a byte count: nearest, exact halves to the even neighbour.
std::int64_t RoundedKb(std::int64_t bytes);

// What the walks count as they go, on every thread: the folders listed and
// the files taken. `tick`, when set, is called on the calling thread from
// time to time (after each folder it walks, and while it waits for the
// helper threads), so that the counts can be told.
struct WalkCounts {
    std::atomic<std::int64_t> files{0};
    std::atomic<std::int64_t> folders{0};
    std::function<void()> tick;
};

// A folder (or file) the walk met but could not open or list: it lies in
// `in` and adds nothing to the catalogue.
struct WalkFailure {
    FolderPath in;
    std::string name;  // a folder's ends in "/"
    platform::FileId id;
    std::int64_t mtimeNs = 0;
    bool dated = false;  // mtimeNs is known
    platform::Error error;
};

// For tests: called with the path of each sub-folder (ending in "/") right
// before the walk enters it, after its listing saw it, so that a test can
// change it in between. Null: nothing is called.
using EnterHook = void (*)(const std::string& folder);
void setEnterHook(EnterHook hook);

class colFiles {
public:
    // Appends the files of `folder` (ending in "/") that `pattern` selects and
    // whose size in whole KB lies strictly between `minSz` and `maxSz`
    // (`maxSz` -1: no upper bound). With `bRecursive` the sub-folders at any
    // depth come first, each completely, then the folder's own files.
    //
    // `folder` is opened from "/" and every sub-folder from its parent's
    // descriptor, never through a symbolic link, and only while it is still
    // the folder its listing saw. A folder that cannot be opened or listed is
    // noted as a failure (in walk order); folders on the kernel's virtual
    // file systems and the user's trash folders below `folder` are passed
    // over. A file already catalogued under another name (hard link, bind
    // mount, or a folder covered twice) is passed over. A folder already
    // walked with the same pattern and bounds by an earlier call is not
    // walked again, and one whose own files are in already is not searched
    // for them again. A stop request ends the walk at once, with the files
    // found so far. `counts`, when given, counts what the walk finds.
    // Returns the catalogue's count after the call.
    std::int64_t LoadFiles(const std::string& folder, const std::string& pattern, std::int32_t minSz,
                           std::int32_t maxSz, bool bRecursive, std::stop_token stop = {},
                           WalkCounts* counts = nullptr);

    // What the walks of this catalogue leave out: set before the first.
    void Exclude(Exclusions exclusions) { exclude_ = std::move(exclusions); }

    void Clear();
    // The failures of the walks so far, in the order they were met; the
    // catalogue keeps none afterwards.
    std::vector<WalkFailure> TakeFailures() { return std::move(failures_); }
    // Appends the entries to `into` as records in order, each with no group,
    // calling `each` after each. A chunk of entries is released as soon as
    // it is handed over, so the catalogue and the records never both hold
    // every file. The catalogue is empty afterwards.
    void TakeItems(FileArray& into, const std::function<void()>& each = {});
    std::int64_t Count() const { return static_cast<std::int64_t>(count_); }

private:
    struct Walk;  // the folder walk (in the source file)
    friend struct Walk;
    // Drops the entries from `checked_` on that are later names of a file
    // listed before, and adds the rest to the checked identities.
    void dropRepeatedFiles();
    // One file: its folder (shared by the entries of its files), its name,
    // and what the walk saw of it.
    struct Entry {
        FolderPath folder;
        std::string name;
        platform::FileState state;
    };
    void append(Entry&& entry, bool linked);
    Entry& at(std::size_t i) { return chunks_[i / kChunk][i % kChunk]; }
    // Keeps the first `count` entries.
    void truncate(std::size_t count);
    // The number of the pattern and bounds of a walk, for the walk memory.
    std::uint32_t walkNumber(const std::string& pattern, std::int32_t minSz, std::int32_t maxSz);

    // The entries in chunks large enough to be mapped on their own: no
    // copying as the catalogue grows, and each chunk goes back to the
    // system once handed over.
    static constexpr std::size_t kChunk = 4096;
    std::vector<std::unique_ptr<Entry[]>> chunks_;
    std::size_t count_ = 0;

    // The identities checked so far, as entry numbers in runs sorted by
    // identity. Each call sorts only its own new entries, looks each up in
    // every run, and adds those it keeps as a new run, merged with the runs
    // before it until each run is more than twice as long as the next: about
    // log2(n) runs at most, and O(n log n) merging overall. The entries
    // before `checked_` have been checked and are never dropped.
    std::vector<std::vector<std::uint32_t>> runs_;
    std::size_t checked_ = 0;
    // A file of one name can be listed twice only through a folder listed
    // twice (overlapping entries, a folder mounted in two places) or a file
    // mounted onto another name: until either happens only the entries of
    // files with several names are checked (`linked_`, the new ones), and
    // only they are in the runs.
    std::vector<std::uint32_t> linked_;
    std::unordered_set<platform::FileId, platform::FileIdHash> folders_;  // own files listed
    bool namesMayRepeat_ = false;
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

    std::vector<WalkFailure> failures_;
    Exclusions exclude_;
};

}  // namespace kormial
