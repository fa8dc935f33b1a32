#include "platform/gui/drives.h"

#include <QFile>
#include <QStorageInfo>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <unistd.h>

namespace kormial::gui {

namespace {

// Kernel and helper file systems that hold no user files, and the read-only
// images of packaged applications.
bool isPseudoFileSystem(const QByteArray& type)
{
    static const char* const kPseudo[] = {
        "proc", "sysfs", "devtmpfs", "devpts", "cgroup", "cgroup2", "debugfs", "tracefs",
        "securityfs", "pstore", "bpf", "configfs", "fusectl", "mqueue", "hugetlbfs",
        "binfmt_misc", "autofs", "efivarfs", "rpc_pipefs", "nsfs", "ramfs", "squashfs",
        "fuse.gvfsd-fuse", "fuse.portal", "fuse.lxcfs", "fuse.snapfuse", "selinuxfs"};
    return std::any_of(std::begin(kPseudo), std::end(kPseudo),
                       [&](const char* t) { return type == t; });
}

std::string toBytes(const QString& path)
{
    return QFile::encodeName(path).toStdString();
}

class SystemDrives final : public DriveList {
public:
    std::vector<Volume> volumes(const std::string& folder) override
    {
        const std::string current = volumeOf(folder);
        std::vector<Volume> out;
        for (const QStorageInfo& s : QStorageInfo::mountedVolumes()) {
            if (!s.isValid() || !s.isReady()) {
                continue;
            }
            const std::string root = toBytes(s.rootPath());
            const QByteArray type = s.fileSystemType();
            // Memory-backed mounts (/run, /dev/shm) are left out, except /tmp
            // and the volume of the current folder.
            const bool memory = type == "tmpfs";
            if (root != current && (isPseudoFileSystem(type) || (memory && root != "/tmp"))) {
                continue;
            }
            if (std::any_of(out.begin(), out.end(), [&](const Volume& v) { return v.root == root; })) {
                continue;  // mounted over: the list shows a mount point once
            }
            QString label = s.name();
            if (label.isEmpty()) {
                label = QString::fromLocal8Bit(s.device());
            }
            out.push_back({root, label});
        }
        if (std::none_of(out.begin(), out.end(), [&](const Volume& v) { return v.root == current; })) {
            out.push_back({current, QString()});
        }
        std::sort(out.begin(), out.end(), [](const Volume& a, const Volume& b) { return a.root < b.root; });
        return out;
    }

    std::string volumeOf(const std::string& path) override
    {
        const QStorageInfo s(QFile::decodeName(QByteArray::fromStdString(path)));
        if (!s.isValid()) {
            return "/";
        }
        return toBytes(s.rootPath());
    }
};

}  // namespace

DriveList& systemDrives()
{
    static SystemDrives d;
    return d;
}

std::optional<std::string> folderReadError(const std::string& path)
{
    DIR* dir = ::opendir(path.c_str());
    if (dir == nullptr) {
        return std::string(std::strerror(errno));
    }
    errno = 0;
    ::readdir(dir);  // a dead device fails here rather than at the open
    const int err = errno;
    ::closedir(dir);
    if (err != 0) {
        return std::string(std::strerror(err));
    }
    return std::nullopt;
}

std::string currentFolder()
{
    std::string buf(4096, '\0');
    while (::getcwd(buf.data(), buf.size()) == nullptr) {
        if (errno != ERANGE) {
            return "/";
        }
        buf.resize(buf.size() * 2);
    }
    buf.resize(std::strlen(buf.c_str()));
    return buf;
}

}  // namespace kormial::gui
