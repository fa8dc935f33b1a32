// One catalogued file, and the record array that the search works on.
#pragma once

#include "catalogue/groupmark.h"
#include "platform/fs.h"

#include <array>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace kormial {

constexpr std::size_t kHeadSize = 400;

// The first 400 bytes of a file, read only for the files that the portions
// search examines; all zero bytes until then (kept without storage).
class HeadBlock {
public:
    HeadBlock() = default;
    HeadBlock(const HeadBlock& other)
        : bytes_(other.bytes_ ? std::make_unique<Bytes>(*other.bytes_) : nullptr) {}
    HeadBlock& operator=(const HeadBlock& other)
    {
        if (this != &other) {
            bytes_ = other.bytes_ ? std::make_unique<Bytes>(*other.bytes_) : nullptr;
        }
        return *this;
    }
    HeadBlock(HeadBlock&&) noexcept = default;
    HeadBlock& operator=(HeadBlock&&) noexcept = default;

    // Writable storage for the 400 bytes (zero-filled when first asked for).
    std::uint8_t* data()
    {
        if (!bytes_) {
            bytes_ = std::make_unique<Bytes>();
            bytes_->fill(0);
        }
        return bytes_->data();
    }
    // The 400 bytes; a block never written reads as zeros.
    const std::uint8_t* bytes() const { return bytes_ ? bytes_->data() : zeros().data(); }

    // -1, 0 or 1, byte by byte as unsigned values.
    int compare(const HeadBlock& other) const
    {
        const int c = std::memcmp(bytes(), other.bytes(), kHeadSize);
        return c < 0 ? -1 : (c > 0 ? 1 : 0);
    }
    bool operator==(const HeadBlock& other) const { return compare(other) == 0; }

private:
    using Bytes = std::array<std::uint8_t, kHeadSize>;
    static const Bytes& zeros()
    {
        static const Bytes z{};
        return z;
    }
    std::unique_ptr<Bytes> bytes_;
};

// A searched folder as the walk saw it: its path, ending in "/", and its
// device and inode, by which the file operations tell that the folder at that
// path is still this one. Held once per folder and shared by the records and
// the result rows of its files. The files of a Keep folder are reference
// copies: no mark rule marks them.
struct SearchedFolder {
    std::string path;
    platform::FileId id;
    bool keep = false;  // reached by a path-list entry flagged Keep
};
using FolderPath = std::shared_ptr<const SearchedFolder>;

struct FileRec {
    FolderPath Folder;       // shared by the records of the folder's files
    std::string Name;
    std::int64_t Size = 0;   // bytes
    // The file the walk found and the state it was in then: a file read
    // later must still show both, or its bytes count for nothing.
    platform::FileId Id;
    std::int64_t MtimeNs = 0;
    std::int64_t CtimeNs = 0;
    HeadBlock Head;
    GroupMark Group;
    // The file's place in the order the walk met the files, folder by
    // folder: reading files in this order finds them close together.
    std::uint32_t WalkOrder = 0;

    std::string path() const { return Folder ? Folder->path + Name : Name; }
    platform::FileState state() const { return {Id, Size, MtimeNs, CtimeNs}; }
};

// arrFiles: owned by the main window (or the headless front end), rebuilt by
// every search and kept until the next.
using FileArray = std::vector<FileRec>;

}  // namespace kormial
