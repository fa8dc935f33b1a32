// Content comparisons: which files of a run of records have the same content,
// or, in the portions search, begin with the same bytes.
#pragma once

#include "catalogue/filerec.h"
#include "compare/comparehost.h"

#include <cstdint>
#include <span>

namespace kormial {

// Bytes per block in the portions search: a file takes part with the whole
// blocks it holds before its last byte.
constexpr std::int64_t kPortionBlock = 50000;

// A run with last - first of this or more (251 records or more) is long: it
// is read pair by pair (portions) or by refinement, never tolerantly, and
// moves the progress bar and hears a stop request while it is compared.
constexpr std::int64_t kLongRunSpan = 250;

// The first chunks of the files of exact duplicates runs are read ahead,
// many runs together in the order the walk met the files, up to this many
// bytes at a time: the search hands the runs over in batches of about that.
constexpr std::int64_t kReadAheadBytes = 16 << 20;

// Bytes of the first chunk the exact grouping compares of a file of `size`
// bytes (the part read ahead): a small file whole, else its first 4 KB.
std::int64_t firstChunkBytes(std::int64_t size);

// Which files of a run are paired: files of equal size, compared whole
// (duplicates), or files of different size, compared over the whole blocks
// that the smaller holds before its last byte (portions).
enum class Pairing { EqualSizes, Portions };

// Whether paired blocks must be equal byte for byte, or alike by FuzzyMatch
// (more than 90%) within an allowance of mismatches for the run.
enum class Likeness { Exact, Tolerant };

struct CompareMode {
    Pairing pairing = Pairing::EqualSizes;
    Likeness likeness = Likeness::Exact;
};

// Records first..last of the array: neighbours with an equal key after a
// sort (equal sizes for duplicates, equal leading blocks for portions).
struct Run {
    std::int64_t first = 0;
    std::int64_t last = 0;
};

// Groups the records of each run, in order, each run as if compared alone.
// On entry every record is in no group, or unreadable from an earlier
// comparison (it stays so and is not read again). On return a compared
// record is in no group, unreadable, or in the group of the files found
// alike, led by the lowest index among them.
//  - Duplicates: the runs hold records of one size; exactly, the groups are
//    the classes of byte-identical files. Empty files are not compared.
//  - Portions: the run (equal leading blocks) is reordered by size, ties
//    keeping their order; the files of one block or less take no part, and
//    the others are compared smallest first.
//  - A file that cannot be read, or that is not (or no longer) the file in
//    the state the walk recorded, becomes unreadable: its group goes on
//    without it, led by its lowest remaining member, or dissolves when fewer
//    than two remain. Each such file is told to `host` once, as
//    "path: reason", on the calling thread.
//  - A stop request is heard before each run and within a long run; the
//    runs not reached stay ungrouped, and a long run keeps only the groups
//    confirmed before the stop.
void groupRuns(FileArray& files, std::span<const Run> runs, CompareMode mode, CompareHost& host);

inline void groupRun(FileArray& files, Run run, CompareMode mode, CompareHost& host)
{
    groupRuns(files, std::span<const Run>(&run, 1), mode, host);
}

// The portions search's leading blocks: the first kHeadSize bytes of records
// from..to into their Head. A file that cannot be read becomes unreadable
// and is told to `host` (unless it already was).
void readHeads(FileArray& files, std::int64_t from, std::int64_t to, CompareHost& host);

// Sampled likeness of two blocks, 0 to 1: at most 100 segments of
// round(len1 / n) bytes starting at positions s, 2s, ... (1-based) compared
// exactly. Only the first text's length sets the sampling. Empty first text: 0.
float FuzzyMatch(std::span<const std::uint8_t> StrIn1, std::span<const std::uint8_t> StrIn2);

// Frees the read buffer that the comparisons keep from run to run (the
// search calls it when a comparing stage ends).
void ReleaseCompareBuffers();

}  // namespace kormial
