// Sorting the record array by one property, so that equal records meet.
#pragma once

#include "catalogue/filerec.h"

#include <cstdint>

namespace kormial {

enum CompFilePropType : std::int32_t { ByFileSize = 0, ByFileName = 1, ByHeadBlock = 2 };

// -1, 0 or 1. Names compare by their file-name parts, case ignored; heads byte
// by byte, equal heads by size. Any other property type: 0.
int CompareFileRec(const FileRec& a, const FileRec& b, std::int32_t t);

// Sorts arrFiles[L..r] ascending by property `t` (middle pivot, two scans).
// The order of equal records follows from the input order; group numbers are
// indexes after this sort, so it is kept exactly as it is.
void QuickSort(FileArray& arrFiles, std::int64_t L, std::int64_t r, std::int32_t t);

// (a + b) / 2 to the nearest whole number, exact halves to the even one.
std::int64_t MidpointHalfEven(std::int64_t a, std::int64_t b);

}  // namespace kormial
