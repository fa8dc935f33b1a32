// Folders: opened by path to be shown, or from "/" and from their parent's
// descriptor to be walked; listed straight from the descriptor.
#include "platform/fs.h"

#include "platform/anchored.h"
#include "platform/pathopen.h"
#include "platform/trash.h"

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <mutex>
#include <sstream>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>
#include <unordered_map>
#include <utility>

namespace kormial::platform {

namespace {

// The kernel's virtual file systems, by the device number of their mounts,
// read once from /proc/self/mountinfo.
const std::unordered_map<dev_t, bool>& virtualDevices()
{
    static std::unordered_map<dev_t, bool> devices;
    static std::once_flag once;
    std::call_once(once, [] {
        static const char* const kVirtual[] = {
            "proc", "sysfs", "devtmpfs", "devpts", "cgroup", "cgroup2", "debugfs", "tracefs",
            "securityfs", "pstore", "bpf", "configfs", "fusectl", "mqueue", "hugetlbfs",
            "binfmt_misc", "autofs", "efivarfs", "rpc_pipefs", "nsfs"};
        std::ifstream in("/proc/self/mountinfo");
        std::string line;
        while (std::getline(in, line)) {
            // id parent major:minor root mountpoint options [optional...] - fstype source super
            std::istringstream fields(line);
            std::string id, parent, majmin;
            fields >> id >> parent >> majmin;
            const auto sep = line.find(" - ");
            const auto colon = majmin.find(':');
            if (sep == std::string::npos || colon == std::string::npos) {
                continue;
            }
            std::istringstream rest(line.substr(sep + 3));
            std::string fstype;
            rest >> fstype;
            unsigned major = 0;
            unsigned minor = 0;
            try {
                major = static_cast<unsigned>(std::stoul(majmin.substr(0, colon)));
                minor = static_cast<unsigned>(std::stoul(majmin.substr(colon + 1)));
            } catch (...) {
                continue;
            }
            const bool isVirtual = std::find_if(std::begin(kVirtual), std::end(kVirtual),
                                                [&](const char* t) { return fstype == t; }) !=
                                   std::end(kVirtual);
            devices[makedev(major, minor)] = isVirtual;
        }
    });
    return devices;
}

bool isVirtualDevice(dev_t dev)
{
    const auto& devices = virtualDevices();
    const auto it = devices.find(dev);
    return it != devices.end() && it->second;
}

// What statx tells of an entry (or, with the empty name, of `dirFd` itself),
// never following a link or setting off an automount.
struct Facts {
    FileId id;
    mode_t mode = 0;
    std::uint32_t links = 0;
    FileState state;
    bool mountRoot = false;
};

bool factsAt(int dirFd, const char* name, Facts& out)
{
    struct statx sx {};
    const int flags = AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT | (name[0] == '\0' ? AT_EMPTY_PATH : 0);
    if (::statx(dirFd, name, flags, STATX_BASIC_STATS, &sx) != 0) {
        return false;
    }
    const auto ns = [](const statx_timestamp& t) {
        return static_cast<std::int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec;
    };
    out.id = {makedev(sx.stx_dev_major, sx.stx_dev_minor), static_cast<ino_t>(sx.stx_ino)};
    out.mode = sx.stx_mode;
    out.links = sx.stx_nlink;
    out.state = {out.id, static_cast<std::int64_t>(sx.stx_size), ns(sx.stx_mtime), ns(sx.stx_ctime)};
    out.mountRoot = (sx.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT) != 0 &&
                    (sx.stx_attributes & STATX_ATTR_MOUNT_ROOT) != 0;
    return true;
}

bool failed(Error* err, int code)
{
    setError(err, code);
    return false;
}

// Reads the names of the open folder `fd` straight from the descriptor,
// without the second descriptor and the stream that readdir would need, and
// hands each with its type (DT_UNKNOWN possible) to `each`, which returns
// false to end the listing as failed.
template <typename Each>
bool readNames(int fd, Each each, Error* err)
{
    alignas(8) char buffer[32768];
    for (;;) {
        const ssize_t got = ::getdents64(fd, buffer, sizeof buffer);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            return failed(err, errno);
        }
        if (got == 0) {
            return true;
        }
        for (ssize_t at = 0; at < got;) {
            const auto* e = reinterpret_cast<const dirent64*>(buffer + at);
            at += e->d_reclen;
            const char* name = e->d_name;
            if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'))) {
                continue;
            }
            if (!each(name, e->d_type)) {
                return false;
            }
        }
    }
}

// The type of an entry whose listing did not give it.
unsigned char typeOf(int fd, const char* name, unsigned char type)
{
    Facts f;
    if (type != DT_UNKNOWN || !factsAt(fd, name, f)) {
        return type;
    }
    return S_ISREG(f.mode) ? DT_REG : S_ISDIR(f.mode) ? DT_DIR : DT_LNK;
}

}  // namespace

Folder::~Folder()
{
    close();
}

Folder::Folder(Folder&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), identity_(other.identity_), fsTop_(other.fsTop_),
      virtual_(other.virtual_), entries_(std::move(other.entries_))
{
}

Folder& Folder::operator=(Folder&& other) noexcept
{
    if (this != &other) {
        close();
        fd_ = std::exchange(other.fd_, -1);
        identity_ = other.identity_;
        fsTop_ = other.fsTop_;
        virtual_ = other.virtual_;
        entries_ = std::move(other.entries_);
    }
    return *this;
}

void Folder::close()
{
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

bool Folder::adopt(int fd, Error* err)
{
    const int openErrno = errno;
    close();
    entries_.clear();
    if (fd < 0) {
        return failed(err, openErrno);
    }
    Facts f;
    if (!factsAt(fd, "", f)) {
        const int e = errno;
        ::close(fd);
        return failed(err, e);
    }
    fd_ = fd;
    identity_ = f.id;
    fsTop_ = f.mountRoot;
    virtual_ = isVirtualDevice(f.id.dev);
    return true;
}

bool Folder::open(const std::string& path)
{
    return openUnlisted(path) && list();
}

bool Folder::openUnlisted(const std::string& path)
{
    if (!adopt(openPath(path.empty() ? "." : path, O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NONBLOCK), nullptr)) {
        return false;
    }
    if (virtual_) {
        close();
        return false;
    }
    return true;
}

bool Folder::openToRead(const std::string& path)
{
    close();
    entries_.clear();
    fd_ = openPath(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NONBLOCK);
    identity_ = {};
    fsTop_ = virtual_ = false;
    return fd_ >= 0;
}

bool Folder::openToRead(const Folder& parent, const std::string& name)
{
    close();
    entries_.clear();
    fd_ = ::openat(parent.fd_, name.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    identity_ = {};
    fsTop_ = virtual_ = false;
    return fd_ >= 0;
}

bool Folder::openFromRoot(const std::string& path, Error* err)
{
    AnchoredFolder anchored;
    if (!openAnchored(path, {}, anchored, err)) {
        return false;
    }
    if (!adopt(::openat(anchored.fd.get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC), err)) {
        return false;
    }
    fsTop_ = fsTop_ || anchored.topPath == anchored.path;
    return true;
}

bool Folder::openSub(const Folder& parent, const SubFolder& sub, Error* err)
{
    const int fd = ::openat(parent.fd_, sub.name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        // a link or a file now where the listing saw a folder
        return failed(err, errno == ELOOP || errno == ENOTDIR ? kChangedDuringSearch : errno);
    }
    if (!adopt(fd, err)) {
        return false;
    }
    if (identity_ != sub.id) {
        close();
        return failed(err, kChangedDuringSearch);
    }
    fsTop_ = sub.fsTop;
    return true;
}

bool Folder::openAbove(const Folder& below, std::size_t levels, const FileId& expected, Error* err)
{
    std::string up = "..";
    for (std::size_t i = 1; i < levels; ++i) {
        up += "/..";
    }
    if (!adopt(::openat(below.fd_, up.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC), err)) {
        return false;
    }
    if (identity_ != expected) {
        close();
        return failed(err, kChangedDuringSearch);
    }
    return true;
}

bool Folder::list()
{
    entries_.clear();
    const bool listed = fd_ >= 0 && readNames(fd_, [&](const char* name, unsigned char type) {
        type = typeOf(fd_, name, type);
        if (type == DT_REG || type == DT_DIR) {
            entries_.push_back({name, type == DT_REG ? EntryKind::File : EntryKind::Folder});
        }
        return true;
    }, nullptr);
    if (!listed) {
        close();
        entries_.clear();
        return false;
    }
    std::sort(entries_.begin(), entries_.end(),
              [](const FolderEntry& a, const FolderEntry& b) { return a.name < b.name; });
    return true;
}

bool Folder::listApart(std::vector<std::string>& files, std::vector<SubFolder>* folders, Error* err)
{
    files.clear();
    if (folders != nullptr) {
        folders->clear();
    }
    const bool listed = readNames(fd_, [&](const char* name, unsigned char type) {
        type = typeOf(fd_, name, type);
        if (type == DT_REG) {
            files.emplace_back(name);
        } else if (type == DT_DIR && folders != nullptr) {
            Facts f;
            if (!factsAt(fd_, name, f)) {
                return errno == ENOENT || failed(err, errno);  // gone since: nothing missed
            }
            if (S_ISDIR(f.mode)) {  // else a link or a file by now: passed over
                folders->push_back({name, f.id, f.state.mtimeNs, f.mountRoot || f.id.dev != identity_.dev,
                                    isVirtualDevice(f.id.dev)});
            }
        }
        return true;
    }, err);
    if (!listed) {
        return false;
    }
    std::sort(files.begin(), files.end());
    if (folders != nullptr) {
        std::sort(folders->begin(), folders->end(),
                  [](const SubFolder& a, const SubFolder& b) { return a.name < b.name; });
    }
    return true;
}

std::optional<Folder::Stat> Folder::statFile(const std::string& name, Error* err) const
{
    Facts f;
    if (!factsAt(fd_, name.c_str(), f)) {
        setError(err, errno);
        return std::nullopt;
    }
    if (!S_ISREG(f.mode)) {
        setError(err, EINVAL);
        return std::nullopt;
    }
    return Stat{f.state, f.links > 1 || f.mountRoot, f.mountRoot};
}

UserTrash userTrashFolders()
{
    UserTrash out;
    out.uid = std::to_string(::geteuid());
    out.perUser = ".Trash-" + out.uid;
    const std::string home = homeTrashFolder();
    struct stat st {};
    if (!home.empty() && ::stat(home.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
        out.home = FileId{st.st_dev, st.st_ino};
    }
    return out;
}

}  // namespace kormial::platform
