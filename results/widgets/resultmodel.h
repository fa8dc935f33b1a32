// A thin table model over a ResultList: the list keeps the rows, the model
// only shows them (their cell texts made as they are shown) and carries the
// check boxes back. On the lists of groups every other run of one group is
// shaded, and reference copies have a shade of their own, both from the
// palette so that themes work.
#pragma once

#include "results/resultlist.h"

#include <QAbstractTableModel>
#include <QPalette>

#include <vector>

namespace kormial {

class ResultTableModel final : public QAbstractTableModel, private ResultList::Observer {
    Q_OBJECT
public:
    static constexpr int kColumnCount = 6;

    explicit ResultTableModel(ResultList& list, QObject* parent = nullptr);
    ~ResultTableModel() override;

    ResultList& list() { return list_; }
    const ResultList& list() const { return list_; }

    // "Name", "In Folder", "#", "Size", "Date Modified" and the empty sixth.
    static QString columnCaption(int column);
    // Right for "#" and "Size", left for the others.
    static Qt::Alignment columnAlignment(int column);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // Shades alternate groups (rows in a run of one "#").
    void setGroupShading(bool on);
    // The colours the shades come from: the view's palette.
    void setPalette(const QPalette& palette);

private:
    // Whether row `row` lies in an odd-numbered run of one group.
    bool oddGroup(int row) const;

    void aboutToReset() override;
    void reset() override;
    void rowsAboutToBeInserted(std::int64_t first, std::int64_t last) override;
    void rowsInserted() override;
    void rowsAboutToBeRemoved(std::int64_t first, std::int64_t last) override;
    void rowsRemoved() override;
    void rowChanged(std::int64_t row) override;

    ResultList& list_;
    bool groupShading_ = false;
    QPalette palette_;
    mutable std::vector<bool> odd_;  // per row; rebuilt when empty
};

}  // namespace kormial
