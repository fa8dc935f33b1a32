// Giving back the space of a duplicate while every path stays: its blocks
// shared with those of the copy that is kept, or its name made a hard link
// to that copy. Both reach the two files through their folders opened from
// "/" and act only while each is still the file the search listed.
#pragma once

#include "platform/anchored.h"

#include <cstdint>
#include <optional>
#include <string>

namespace kormial::platform {

// A file as the search listed it, in its open folder.
struct ListedFile {
    const AnchoredFolder& folder;
    const std::string& name;
    const FileState& state;
};

// The most the kernel is asked to share in one request.
inline constexpr std::int64_t kSharePiece = std::int64_t{16} << 20;

// Asks the kernel to share the blocks of `file` with those of `kept`, piece
// by piece from the start (FIDEDUPERANGE). The kernel compares the bytes
// itself and shares only what is equal, so the file keeps its content, name,
// inode, owner, permissions and times whatever happens. Fails with
// kCannotShareBlocks where the file system has no shared blocks, EXDEV when
// the two lie on different file systems, and kChangedDuringSearch when
// either file is no longer the one listed or their bytes differ now (pieces
// shared before stay shared, which changes no byte).
bool shareBlocks(const ListedFile& file, const ListedFile& kept, Error* err = nullptr);
// The same checks and the same question asked for no bytes: nothing shared.
bool canShareBlocks(const ListedFile& file, const ListedFile& kept, Error* err = nullptr);

// Replaces the name of a file by a hard link to its kept copy, in steps that
// lose nothing whichever of them fails: a link to the kept copy is made
// under a new temporary name in the file's folder, that link and the file's
// name are exchanged in one step, the file now under the temporary name must
// still be the one listed and the kept copy still unchanged; only then is
// the temporary name removed. Otherwise the names are exchanged back and
// the temporary link removed, and the file's name holds the file as before.
class HardLinker {
public:
    virtual ~HardLinker() = default;

    // `keptNow` tells the kept copy's state afterwards, whether the file
    // was replaced or not, once a link to it was made (a new name, made or
    // removed, gives it a new change time) and when it is otherwise as
    // listed. EXDEV when the two lie on different file systems or mounts;
    // kChangedDuringSearch when either is no longer the file listed.
    bool replace(const ListedFile& file, const ListedFile& kept, std::optional<FileState>& keptNow,
                 Error* err = nullptr);
    // The checks of replace(), nothing written: the two on one mount, the
    // file still the one listed, its folder open to the user for a new
    // name and the exchange.
    bool canReplace(const ListedFile& file, const ListedFile& kept, Error* err = nullptr);

protected:
    // Called between the last look at the file and the exchange of names.
    // Nothing happens here; a test puts another file in its place, as
    // someone could at that moment, to see that nothing is lost.
    virtual void beforeExchange(const AnchoredFolder& /*folder*/, const std::string& /*name*/) {}
};

}  // namespace kormial::platform
