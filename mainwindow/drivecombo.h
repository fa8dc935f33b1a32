// The drive list: the mounted volumes, by mount point.
#pragma once

#include "platform/gui/drives.h"

#include <QComboBox>

#include <string>
#include <vector>

namespace kormial {

class DriveCombo final : public QComboBox {
    Q_OBJECT
public:
    explicit DriveCombo(QWidget* parent = nullptr);

    // Fills the list anew and selects `selected`, without a change event.
    void setVolumes(const std::vector<gui::Volume>& volumes, const std::string& selected);
    // Selects the volume `root`, without a change event.
    void selectRoot(const std::string& root);
    // The mount point of the selected volume.
    std::string currentRoot() const;
};

}  // namespace kormial
