// The drive list: the mounted volumes of real file systems.
#pragma once

#include "platform/gui/services.h"

#include <QString>

#include <optional>
#include <string>
#include <vector>

namespace kormial::gui {

struct Volume {
    std::string root;  // mount point, as bytes ("/", "/home", "/media/me/USB")
    QString label;     // what the drive list shows beside the mount point
};

class DriveList {
public:
    virtual ~DriveList() = default;
    // The volumes present now, the volume of `currentFolder` always among them.
    virtual std::vector<Volume> volumes(const std::string& currentFolder) = 0;
    // The mount point of the volume that holds `path`.
    virtual std::string volumeOf(const std::string& path) = 0;
};

// The system's mounted volumes (the window asks through drives(), services.h).
DriveList& systemDrives();

// Why the folder `path` cannot be listed, in the system's words; nothing when
// it can.
std::optional<std::string> folderReadError(const std::string& path);

// The process's current folder.
std::string currentFolder();

}  // namespace kormial::gui
