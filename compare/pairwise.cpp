// The pairwise comparison of long runs: two files open at a time.
#include "compare/compare.h"
#include "compare/runfiles.h"

#include <cstring>

namespace kormial {

void CompFileCnt2(FileArray& arr, std::int64_t dupStart, std::int64_t dupEnd, bool SameSizeOnly,
                  CompareHost& host)
{
    auto rec = [&](std::int64_t i) -> FileRec& { return arr[static_cast<std::size_t>(i)]; };
    if (dupStart >= dupEnd) {
        return;
    }
    // A file that cannot be read leaves the run as unreadable and the others
    // are compared on; the first such failure of the run is reported.
    bool reported = false;
    const auto failed = [&](std::int64_t i, const platform::Error& err) {
        rec(i).Group = kReadError;
        if (!reported) {
            reported = true;
            host.reportFailure(rec(i).path() + ": " + err.describe());
        }
    };
    const double lastIndex = static_cast<double>(arr.size()) - 1.0;
    if (SameSizeOnly && rec(dupStart).Size > 0 && allSameSize(arr, dupStart, dupEnd)) {
        std::vector<std::int64_t> candidates;
        for (std::int64_t i = dupStart; i <= dupEnd; ++i) {
            if (rec(i).Group == kNoGroup) {
                candidates.push_back(i);
            }
        }
        const double span = static_cast<double>(dupEnd - dupStart);
        groupExactly(arr, rec(dupStart).Size, std::move(candidates), failed, [&](double fraction) {
            if (host.stopRequested()) {
                return false;
            }
            if (lastIndex > 0) {
                host.setProgress((static_cast<double>(dupStart) + fraction * span) / lastIndex * 100.0);
            }
            return true;
        });
        return;
    }
    // Pair by pair, the lower file of each pair kept open while it is
    // compared with every later one.
    const std::int64_t bs = SameSizeOnly ? GetBufferSz(rec(dupStart).Size) : kPortionBlock;
    const std::int64_t tail = SameSizeOnly ? 0 : bs;
    if (bs <= 0) {
        return;
    }
    std::vector<std::uint8_t> block1(static_cast<std::size_t>(bs));
    std::vector<std::uint8_t> block2(static_cast<std::size_t>(bs));
    bool stopped = false;
    for (std::int64_t i = dupStart; i <= dupEnd && !stopped; ++i) {
        if (rec(i).Group == kNoGroup) {
            platform::ReadFile lower;
            platform::Error err;
            if (!lower.openChecked(rec(i).path(), rec(i).state(), &err)) {
                failed(i, err);
            }
            for (std::int64_t k = i + 1; k <= dupEnd && lower.isOpen(); ++k) {
                if (rec(k).Group != kNoGroup || (rec(k).Size == rec(i).Size) != SameSizeOnly) {
                    continue;
                }
                const std::int64_t sizeI = rec(i).Size;
                bool same = true;
                std::int64_t compared = 0;
                if (1 + tail <= sizeI) {
                    platform::ReadFile upper;
                    if (!upper.openChecked(rec(k).path(), rec(k).state(), &err)) {
                        failed(k, err);
                        continue;
                    }
                    // Every byte is compared: block p while p * bs + 1 + tail
                    // does not pass the lower file's size.
                    for (std::int64_t p = 0; same && p * bs + 1 + tail <= sizeI; ++p) {
                        const std::size_t want1 = SameSizeOnly ? blockBytes(rec(k).Size, bs, p) : static_cast<std::size_t>(bs);
                        const std::size_t want2 = SameSizeOnly ? blockBytes(sizeI, bs, p) : static_cast<std::size_t>(bs);
                        if (!upper.readExact(p * bs, block1.data(), want1, &err)) {
                            failed(k, err);
                            break;
                        }
                        if (!lower.readExact(p * bs, block2.data(), want2, &err)) {
                            failed(i, err);
                            break;
                        }
                        same = want1 == want2 && std::memcmp(block1.data(), block2.data(), want1) == 0;
                        ++compared;
                    }
                    if (rec(k).Group == kNoGroup && !upper.unchanged(rec(k).state(), &err)) {
                        failed(k, err);
                    }
                    if (rec(i).Group == kReadError) {
                        break;
                    }
                    if (rec(k).Group == kReadError) {
                        continue;
                    }
                }
                // A pair with no whole block to compare is not grouped.
                if (compared == 0) {
                    same = false;
                }
                    if (host.stopRequested()) {
                    stopped = true;
                    break;
                }
                if (same) {
                    rec(k).Group = asGroup(i);
                    rec(i).Group = asGroup(i);
                }
            }
            if (lower.isOpen() && rec(i).Group != kReadError && !lower.unchanged(rec(i).state(), &err)) {
                failed(i, err);
            }
            if (rec(i).Group == kReadError) {
                // its members go on without it, the lowest leading
                std::vector<std::int64_t> members;
                for (std::int64_t k = i + 1; k <= dupEnd; ++k) {
                    if (rec(k).Group == asGroup(i)) {
                        members.push_back(k);
                    }
                }
                const std::int32_t lead = members.size() >= 2 ? asGroup(members.front()) : kNoGroup;
                for (const std::int64_t k : members) {
                    rec(k).Group = lead;
                }
            }
        }
        host.setProgress(lastIndex > 0 ? static_cast<double>(i) / lastIndex * 100.0 : 0.0);
    }
}

}  // namespace kormial
