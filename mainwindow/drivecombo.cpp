#include "mainwindow/drivecombo.h"

#include <QSignalBlocker>
#include <QStyle>

namespace kormial {

DriveCombo::DriveCombo(QWidget* parent) : QComboBox(parent)
{
    setEditable(false);
}

void DriveCombo::setVolumes(const std::vector<gui::Volume>& volumes, const std::string& selected)
{
    const QSignalBlocker block(this);
    clear();
    const QIcon icon = style()->standardIcon(QStyle::SP_DriveHDIcon);
    for (const gui::Volume& v : volumes) {
        const QString root = QString::fromUtf8(v.root);
        const QString text = v.label.isEmpty() || v.label == root
                                 ? root
                                 : QStringLiteral("%1  [%2]").arg(root, v.label);
        addItem(icon, text, QByteArray::fromStdString(v.root));
    }
    selectRoot(selected);
}

void DriveCombo::selectRoot(const std::string& root)
{
    const QSignalBlocker block(this);
    const int i = findData(QByteArray::fromStdString(root));
    if (i >= 0) {
        setCurrentIndex(i);
    }
}

std::string DriveCombo::currentRoot() const
{
    return currentData().toByteArray().toStdString();
}

}  // namespace kormial
