// Content comparisons: which files of a run of records have the same content.
#pragma once

#include "compare/comparehost.h"
#include "catalogue/filerec.h"

#include <cstdint>
#include <span>
#include <utility>

namespace kormial {

// Bytes per block in the portions search: a file takes part with the whole
// blocks it holds before its last byte.
constexpr std::int64_t kPortionBlock = 50000;

// Bytes per block for a file of `Sz` bytes: the whole file below 1000000
// bytes, else 50000.
std::int64_t GetBufferSz(std::int64_t Sz);

// Grouped block-by-block comparison of arrFiles[dupStart..dupEnd] (at most 250
// records): every record ends with kNoGroup, kReadError or the index of its
// group's leader. With `SameSizeOnly` only records of equal size are paired
// (duplicates), otherwise only records of different size (portions, compared
// over the whole blocks that the smallest file holds before its last byte).
// `isTolerant` lets blocks that are alike by FuzzyMatch count as equal, within
// an allowance of mismatches for the run.
void CompFileCnt(FileArray& arrFiles, std::int64_t dupStart, std::int64_t dupEnd,
                 bool isTolerant, bool SameSizeOnly);

// CompFileCnt in exact duplicate mode over several runs at once, the runs
// side by side on every core. Each run is grouped as if alone: the runs
// share no records.
void CompFileCntExactRuns(FileArray& arrFiles, std::span<const std::pair<std::int64_t, std::int64_t>> runs);

// The same grouping read strictly block by block, every file of the run in
// step (what CompFileCnt does in tolerant mode and for portions).
void CompFileCntBlocks(FileArray& arrFiles, std::int64_t dupStart, std::int64_t dupEnd,
                       bool isTolerant, bool SameSizeOnly);

// Pairwise comparison for long runs: two files open at a time, exact only,
// yields after every pair, ends at a stop request, moves the progress bar,
// and reports a file that cannot be read through the host, giving up the rest
// of the run.
void CompFileCnt2(FileArray& arrFiles, std::int64_t dupStart, std::int64_t dupEnd,
                  bool SameSizeOnly, CompareHost& host);

// Sampled likeness of two blocks, 0 to 1: at most 100 segments of
// round(len1 / n) bytes starting at positions s, 2s, ... (1-based) compared
// exactly. Only the first text's length sets the sampling. Empty first text: 0.
float FuzzyMatch(std::span<const std::uint8_t> StrIn1, std::span<const std::uint8_t> StrIn2);

// Frees the read buffer that the comparisons keep from run to run (the
// search calls it when it ends).
void ReleaseCompareBuffers();

}  // namespace kormial
