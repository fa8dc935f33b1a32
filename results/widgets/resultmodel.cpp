#include "results/widgets/resultmodel.h"

#include "results/resultrows.h"

namespace kormial {

ResultTableModel::ResultTableModel(ResultList& list, QObject* parent)
    : QAbstractTableModel(parent), list_(list)
{
    list_.setObserver(this);
}

ResultTableModel::~ResultTableModel()
{
    list_.setObserver(nullptr);
}

QString ResultTableModel::columnCaption(int column)
{
    switch (column) {
    case kColName: return QStringLiteral("Name");
    case kColFolder: return QStringLiteral("In Folder");
    case kColGroup: return QStringLiteral("#");
    case kColSize: return QStringLiteral("Size");
    case kColDate: return QStringLiteral("Date Modified");
    default: return QString();
    }
}

Qt::Alignment ResultTableModel::columnAlignment(int column)
{
    return (column == kColGroup || column == kColSize ? Qt::AlignRight : Qt::AlignLeft) |
           Qt::AlignVCenter;
}

int ResultTableModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(list_.count());
}

int ResultTableModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : kColumnCount;
}

QVariant ResultTableModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= list_.count()) {
        return {};
    }
    const ResultRow& row = list_.row(index.row());
    switch (role) {
    case Qt::DisplayRole:
        // Cells are byte strings; what cannot be shown as UTF-8 is shown
        // replaced, while the row keeps its bytes.
        return QString::fromUtf8(CellText(row, index.column()));
    case Qt::CheckStateRole:
        if (index.column() == kColName) {
            return row.checked ? Qt::Checked : Qt::Unchecked;
        }
        return {};
    case Qt::TextAlignmentRole:
        return QVariant::fromValue(columnAlignment(index.column()));
    case Qt::BackgroundRole:
        if (row.reference) {
            // a tint of the highlight over the base, readable in any theme
            const QColor base = palette_.color(QPalette::Base);
            const QColor mark = palette_.color(QPalette::Highlight);
            return QColor::fromRgbF((base.redF() * 3 + mark.redF()) / 4, (base.greenF() * 3 + mark.greenF()) / 4,
                                    (base.blueF() * 3 + mark.blueF()) / 4);
        }
        if (groupShading_ && oddGroup(index.row())) {
            return palette_.alternateBase();
        }
        return {};
    default:
        return {};
    }
}

bool ResultTableModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (!index.isValid() || index.column() != kColName || role != Qt::CheckStateRole ||
        index.row() >= list_.count()) {
        return false;
    }
    const bool mark = value.value<Qt::CheckState>() == Qt::Checked;
    list_.setChecked(index.row(), mark);
    return list_.row(index.row()).checked == mark;  // a reference copy takes no mark
}

Qt::ItemFlags ResultTableModel::flags(const QModelIndex& index) const
{
    if (!index.isValid()) {
        return Qt::NoItemFlags;
    }
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
    // a reference copy shows its box, which takes no mark
    if (index.column() == kColName && index.row() < list_.count() && !list_.row(index.row()).reference) {
        f |= Qt::ItemIsUserCheckable;
    }
    return f;
}

QVariant ResultTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal) {
        return {};
    }
    if (role == Qt::DisplayRole) {
        return columnCaption(section);
    }
    if (role == Qt::TextAlignmentRole) {
        return QVariant::fromValue(columnAlignment(section));
    }
    return {};
}

void ResultTableModel::setGroupShading(bool on)
{
    groupShading_ = on;
}

void ResultTableModel::setPalette(const QPalette& palette)
{
    palette_ = palette;
}

bool ResultTableModel::oddGroup(int row) const
{
    const auto& rows = list_.rows();
    if (odd_.size() != rows.size()) {
        odd_.assign(rows.size(), false);
        for (std::size_t i = 1; i < rows.size(); ++i) {
            odd_[i] = odd_[i - 1] != (rows[i].group != rows[i - 1].group);
        }
    }
    return odd_[static_cast<std::size_t>(row)];
}

void ResultTableModel::aboutToReset()
{
    beginResetModel();
}

void ResultTableModel::reset()
{
    odd_.clear();
    endResetModel();
}

void ResultTableModel::rowsAboutToBeInserted(std::int64_t first, std::int64_t last)
{
    beginInsertRows(QModelIndex(), static_cast<int>(first), static_cast<int>(last));
}

void ResultTableModel::rowsInserted()
{
    odd_.clear();
    endInsertRows();
}

void ResultTableModel::rowsAboutToBeRemoved(std::int64_t first, std::int64_t last)
{
    beginRemoveRows(QModelIndex(), static_cast<int>(first), static_cast<int>(last));
}

void ResultTableModel::rowsRemoved()
{
    odd_.clear();
    endRemoveRows();
}

void ResultTableModel::rowChanged(std::int64_t row)
{
    const int r = static_cast<int>(row);
    emit dataChanged(index(r, 0), index(r, kColumnCount - 1));
}

}  // namespace kormial
