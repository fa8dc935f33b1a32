#include "platform/links.h"

#include "platform/statstate.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <linux/fs.h>
#include <string>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kormial::platform {

namespace {

bool fail(Error* err, int code)
{
    setError(err, code);
    return false;
}

// A refusal of the kernel to share blocks, in this program's terms.
int sharingError(int e)
{
    return e == EOPNOTSUPP || e == ENOTTY || e == ENOSYS ? kCannotShareBlocks : e;
}

// Asks the kernel to share `length` bytes at `pos` of `dst` with the same
// bytes of `src`; `done` tells how many it took.
bool sharePiece(int src, int dst, std::int64_t pos, std::int64_t length, std::int64_t& done, Error* err)
{
    alignas(file_dedupe_range) unsigned char request[sizeof(file_dedupe_range) + sizeof(file_dedupe_range_info)]{};
    auto* range = reinterpret_cast<file_dedupe_range*>(request);
    range->src_offset = static_cast<__u64>(pos);
    range->src_length = static_cast<__u64>(length);
    range->dest_count = 1;
    file_dedupe_range_info& info = range->info[0];
    info.dest_fd = dst;
    info.dest_offset = static_cast<__u64>(pos);
    if (::ioctl(src, FIDEDUPERANGE, range) != 0) {
        return fail(err, sharingError(errno));
    }
    if (info.status == FILE_DEDUPE_RANGE_DIFFERS) {
        return fail(err, kChangedDuringSearch);
    }
    if (info.status < 0) {
        return fail(err, sharingError(-info.status));
    }
    done = static_cast<std::int64_t>(info.bytes_deduped);
    return true;
}

// Both files open and still as listed.
bool openBoth(const ListedFile& file, const ListedFile& kept, UniqueFd& fileFd, UniqueFd& keptFd, Error* err)
{
    keptFd = openCheckedAt(kept.folder.fd.get(), kept.name, kept.state, err);
    fileFd = keptFd ? openCheckedAt(file.folder.fd.get(), file.name, file.state, err) : UniqueFd();
    return static_cast<bool>(fileFd);
}

// True when the two open folders lie on one mount: a link never crosses
// from one to another, even of one file system. True where the system
// cannot tell.
bool sameMount(int folderA, int folderB)
{
    struct statx a {};
    struct statx b {};
    if (::statx(folderA, "", AT_EMPTY_PATH, STATX_MNT_ID, &a) != 0 ||
        ::statx(folderB, "", AT_EMPTY_PATH, STATX_MNT_ID, &b) != 0 || (a.stx_mask & b.stx_mask & STATX_MNT_ID) == 0) {
        return true;
    }
    return a.stx_mnt_id == b.stx_mnt_id;
}

// The temporary name of a link in `folder`: a name of its own, never one
// that is there already.
bool linkUnderNewName(const ListedFile& kept, const AnchoredFolder& folder, std::string& name, Error* err)
{
    for (int n = 0; n < 1000; ++n) {
        name = ".kormial-link-" + std::to_string(::getpid()) + "-" + std::to_string(n);
        if (::linkat(kept.folder.fd.get(), kept.name.c_str(), folder.fd.get(), name.c_str(), 0) == 0) {
            return true;
        }
        if (errno != EEXIST) {
            return fail(err, errno);
        }
    }
    return fail(err, EEXIST);
}

// The entry `name` of `folder` is the file open as `fd`, which still holds
// what `state` recorded (its change time aside: a new name changes it).
bool showsUnchanged(const AnchoredFolder& folder, const std::string& name, int fd, const FileState& state)
{
    struct stat entry {};
    struct stat open {};
    return ::fstatat(folder.fd.get(), name.c_str(), &entry, AT_SYMLINK_NOFOLLOW) == 0 && ::fstat(fd, &open) == 0 &&
           entry.st_dev == open.st_dev && entry.st_ino == open.st_ino && statMatches(open, state, false, nullptr);
}

}  // namespace

bool shareBlocks(const ListedFile& file, const ListedFile& kept, Error* err)
{
    UniqueFd fileFd;
    UniqueFd keptFd;
    if (!openBoth(file, kept, fileFd, keptFd, err)) {
        return false;
    }
    const std::int64_t size = file.state.size;
    for (std::int64_t pos = 0; pos < size;) {
        std::int64_t done = 0;
        if (!sharePiece(keptFd.get(), fileFd.get(), pos, std::min(kSharePiece, size - pos), done, err)) {
            return false;
        }
        if (done <= 0) {
            return fail(err, kChangedDuringSearch);
        }
        pos += done;
    }
    struct stat st {};
    return ::fstat(fileFd.get(), &st) == 0 ? statMatches(st, file.state, true, err) : fail(err, errno);
}

bool canShareBlocks(const ListedFile& file, const ListedFile& kept, Error* err)
{
    UniqueFd fileFd;
    UniqueFd keptFd;
    std::int64_t done = 0;
    // Asked for its first byte of a file of two or more, the kernel shortens
    // the request to whole blocks, that is to nothing, after every check of
    // its own; a file system that cannot share refuses even that.
    return openBoth(file, kept, fileFd, keptFd, err) &&
           sharePiece(keptFd.get(), fileFd.get(), 0, file.state.size >= 2 ? 1 : 0, done, err);
}

bool HardLinker::canReplace(const ListedFile& file, const ListedFile& kept, Error* err)
{
    if (file.state.id.dev != kept.state.id.dev || !sameMount(file.folder.fd.get(), kept.folder.fd.get())) {
        return fail(err, EXDEV);
    }
    struct stat mine {};
    struct stat theirs {};
    if (::fstatat(file.folder.fd.get(), file.name.c_str(), &mine, AT_SYMLINK_NOFOLLOW) != 0 ||
        ::fstatat(kept.folder.fd.get(), kept.name.c_str(), &theirs, AT_SYMLINK_NOFOLLOW) != 0) {
        return fail(err, errno);
    }
    if (!statMatches(mine, file.state, true, err) || !statMatches(theirs, kept.state, true, err)) {
        return false;
    }
    // A file of someone else's takes a new name only from a user who may
    // read and write it (the kernel's guard of hard links).
    const uid_t me = ::geteuid();
    if (me != 0 && theirs.st_uid != me &&
        ::faccessat(kept.folder.fd.get(), kept.name.c_str(), R_OK | W_OK, AT_EACCESS) != 0) {
        return fail(err, EPERM);
    }
    // both names are taken out of the folder by the exchange
    return mayTakeOut(file.folder, {mine.st_uid, theirs.st_uid}, err);
}

bool HardLinker::replace(const ListedFile& file, const ListedFile& kept, std::optional<FileState>& keptNow,
                         Error* err)
{
    keptNow.reset();
    if (!canReplace(file, kept, err)) {
        return false;
    }
    const UniqueFd keptFd = openCheckedAt(kept.folder.fd.get(), kept.name, kept.state, err);
    std::string temporary;
    if (!keptFd || !linkUnderNewName(kept, file.folder, temporary, err)) {
        return false;
    }
    const auto settled = [&](bool replaced) {
        struct stat st {};
        if (::fstat(keptFd.get(), &st) == 0 && statMatches(st, kept.state, false, nullptr)) {
            keptNow = stateOfStat(st);
        }
        return replaced;
    };
    const int folder = file.folder.fd.get();
    const auto dropLink = [&](int code) {
        ::unlinkat(folder, temporary.c_str(), 0);
        return settled(fail(err, code));
    };
    if (!showsUnchanged(file.folder, temporary, keptFd.get(), kept.state)) {
        return dropLink(kChangedDuringSearch);
    }
    if (!sameFileAt(folder, file.name, file.state, err)) {
        return dropLink(err != nullptr ? err->code : kChangedDuringSearch);
    }
    beforeExchange(file.folder, file.name);
    if (::renameat2(folder, temporary.c_str(), folder, file.name.c_str(), RENAME_EXCHANGE) != 0) {
        return dropLink(errno);
    }
    // The file must be what now stands under the temporary name, and the
    // kept copy unchanged under its name, before the file's last name goes.
    struct stat moved {};
    const bool asListed = ::fstatat(folder, temporary.c_str(), &moved, AT_SYMLINK_NOFOLLOW) == 0 &&
                          statMatches(moved, file.state, false, nullptr);
    int code = kChangedDuringSearch;
    if (asListed && showsUnchanged(file.folder, file.name, keptFd.get(), kept.state)) {
        if (::unlinkat(folder, temporary.c_str(), 0) == 0) {
            return settled(true);
        }
        code = errno;
    }
    if (::renameat2(folder, temporary.c_str(), folder, file.name.c_str(), RENAME_EXCHANGE) != 0) {
        return settled(fail(err, errno));  // both names stay: nothing is lost
    }
    return dropLink(code);
}

}  // namespace kormial::platform
