#include "catalogue/sort.h"

#include "catalogue/paths.h"
#include "platform/textfold.h"

#include <string_view>
#include <utility>

namespace kormial {

int CompareFileRec(const FileRec& a, const FileRec& b, std::int32_t t)
{
    switch (t) {
    case ByFileSize:
        return a.Size < b.Size ? -1 : (a.Size > b.Size ? 1 : 0);
    case ByFileName:
        return platform::compareFolded(a.Name, b.Name);
    case ByHeadBlock: {
        const int c = a.Head.compare(b.Head);
        return c != 0 ? c : CompareFileRec(a, b, ByFileSize);
    }
    default:
        return 0;
    }
}

std::int64_t MidpointHalfEven(std::int64_t a, std::int64_t b)
{
    const std::int64_t sum = a + b;
    std::int64_t m = sum / 2;
    if (sum % 2 != 0) {
        // an exact half: of m and its neighbour, take the even one
        const std::int64_t other = sum > 0 ? m + 1 : m - 1;
        if (m % 2 != 0) {
            m = other;
        }
    }
    return m;
}

void QuickSort(FileArray& arrFiles, std::int64_t L, std::int64_t r, std::int32_t t)
{
    // Recurse into the smaller part and loop over the larger: the same order
    // as recursing into both, with a bounded depth.
    while (L < r) {
        std::int64_t i = L;
        std::int64_t j = r;
        const FileRec pivot = arrFiles[static_cast<std::size_t>(MidpointHalfEven(L, r))];
        while (i <= j) {
            while (CompareFileRec(arrFiles[static_cast<std::size_t>(i)], pivot, t) == -1 && i < r) {
                ++i;
            }
            while (CompareFileRec(pivot, arrFiles[static_cast<std::size_t>(j)], t) == -1 && j > L) {
                --j;
            }
            if (i <= j) {
                std::swap(arrFiles[static_cast<std::size_t>(i)], arrFiles[static_cast<std::size_t>(j)]);
                ++i;
                --j;
            }
        }
        const bool leftPart = L < j;
        const bool rightPart = i < r;
        if (leftPart && rightPart) {
            if (j - L < r - i) {
                QuickSort(arrFiles, L, j, t);
                L = i;
            } else {
                QuickSort(arrFiles, i, r, t);
                r = j;
            }
        } else if (leftPart) {
            r = j;
        } else if (rightPart) {
            L = i;
        } else {
            return;
        }
    }
}

}  // namespace kormial
