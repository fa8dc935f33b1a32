// A result list on screen: report view with a check box in front of each row
// and the six result columns. "#", "Size" and "Date Modified" keep their
// widths; Name and In Folder share the rest of the view's width, in the
// proportion the user last gave them.
#pragma once

#include "results/resultlist.h"
#include "results/widgets/resultmodel.h"

#include <QTreeView>

#include <array>

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
    void changeEvent(QEvent* event) override;

private:
    void showSortState();
    // Name and In Folder across the width the other columns leave.
    void fitColumns();

    ResultTableModel* model_;
    std::array<int, ResultTableModel::kColumnCount> minWidth_{};  // header and typical content
    double nameShare_ = 0.4;  // Name's part of the width of Name and In Folder
    bool fitting_ = false;
};

}  // namespace kormial
