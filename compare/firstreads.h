// The small files of many runs, each read whole in one chunk, ahead and in
// the order the walk met them rather than run by run. Internal to compare/.
#pragma once

#include "catalogue/filerec.h"
#include "compare/compare.h"
#include "compare/runfiles.h"
#include "platform/fs.h"

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

namespace kormial {

// The files of the runs that are read ahead: the readable ones of one byte
// or more that one chunk holds whole.
bool readAhead(const FileRec& r);

class FirstReads {
public:
    // One file's first chunk as it was read.
    struct Chunk {
        std::int64_t record = 0;
        std::size_t at = 0;  // where its bytes are
        std::size_t len = 0;
        // the whole file was read, and its descriptor showed the recorded
        // state after the read
        bool ok = false;
        platform::Error err;
    };

    // Reads every file of `runs` that is read ahead, on every core, in
    // walk order: each thread takes a stretch of neighbouring files, each
    // opened relative to its folder when `folders` hold it; on a cold disk
    // it asks for many files' bytes at once. False at a stop request
    // (polled on the calling thread), and nothing is kept.
    bool read(const FileArray& files, std::span<const Run> runs, platform::HeldFolders* folders,
              const std::function<bool()>& stopRequested);

    // Record `record`'s chunk; nullptr when it was not read ahead.
    const Chunk* find(std::int64_t record) const;
    std::uint8_t* bytes(const Chunk& c) const { return buffer_ + c.at; }

private:
    std::vector<Chunk> chunks_;  // by record
    std::uint8_t* buffer_ = nullptr;  // see aheadBuffer
};

}  // namespace kormial
