// A result list on screen: report view with a check box in front of each row
// and the six result columns.
#pragma once

#include "results/resultlist.h"
#include "results/widgets/resultmodel.h"

#include <QTreeView>

namespace kormial {

class ResultListView final : public QTreeView {
    Q_OBJECT
public:
    // `showGroup`: whether the "#" column is shown (the duplicates and the
    // portions lists) or hidden.
    ResultListView(ResultList& list, bool showGroup, QWidget* parent = nullptr);

    ResultList& list() { return model_->list(); }
    ResultTableModel* resultModel() const { return model_; }

    // Design width of a column in logical pixels (0 for a hidden column).
    static int designWidth(int column, bool showGroup);

signals:
    // A click on a column header (0-based column).
    void headerClicked(int column);
    void rowClicked(int row);
    void rowDoubleClicked(int row);
    // The right mouse button released over the list, at a screen position.
    void rightButtonReleased(const QPoint& globalPos);

protected:
    bool viewportEvent(QEvent* event) override;

private:
    void showSortState();

    ResultTableModel* model_;
};

}  // namespace kormial
