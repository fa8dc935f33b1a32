#include "results/widgets/resultview.h"

#include <QHeaderView>
#include <QMouseEvent>

#include <algorithm>

namespace kormial {

int ResultListView::designWidth(int column, bool showGroup)
{
    switch (column) {
    case kColName: return 96;
    case kColFolder: return 200;
    case kColGroup: return showGroup ? 60 : 0;
    case kColSize: return 60;
    case kColDate: return 96;
    default: return 96;
    }
}

ResultListView::ResultListView(ResultList& list, bool showGroup, QWidget* parent)
    : QTreeView(parent), model_(new ResultTableModel(list, this))
{
    setModel(model_);
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setAlternatingRowColors(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setAllColumnsShowFocus(true);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSortingEnabled(false);  // the list sorts itself on a header click
    setTextElideMode(Qt::ElideRight);

    QHeaderView* h = header();
    h->setSectionsClickable(true);
    h->setSectionsMovable(false);
    h->setStretchLastSection(true);
    h->setSortIndicatorShown(false);
    h->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);

    // Design widths, widened where this font needs more room to show a whole
    // size of ten digits or a whole date.
    const QFontMetrics fm(font());
    const int cellPad = 2 * style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 8;
    for (int c = 0; c < ResultTableModel::kColumnCount; ++c) {
        int w = designWidth(c, showGroup);
        if (c == kColSize) {
            w = std::max(w, fm.horizontalAdvance(QStringLiteral("0000000000")) + cellPad);
        } else if (c == kColDate) {
            w = std::max(w, fm.horizontalAdvance(QStringLiteral("0000/00/00 00:00:00")) + cellPad);
        }
        if (w == 0) {
            setColumnHidden(c, true);
        } else {
            setColumnWidth(c, w);
        }
    }

    connect(h, &QHeaderView::sectionClicked, this, [this](int section) {
        emit headerClicked(section);
        showSortState();
    });
    // The header flips its arrow on a second click; the list does not.
    connect(h, &QHeaderView::sortIndicatorChanged, this, [this] { showSortState(); });
    connect(model_, &QAbstractItemModel::modelReset, this, [this] {
        showSortState();
        const std::int64_t sel = model_->list().selectedRow();
        if (sel >= 0) {
            setCurrentIndex(model_->index(static_cast<int>(sel), 0));
        }
    });
    connect(selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) {
                model_->list().select(current.isValid() ? current.row() : -1);
            });
    connect(this, &QAbstractItemView::clicked, this,
            [this](const QModelIndex& index) { emit rowClicked(index.row()); });
    connect(this, &QAbstractItemView::doubleClicked, this,
            [this](const QModelIndex& index) { emit rowDoubleClicked(index.row()); });
}

void ResultListView::showSortState()
{
    QHeaderView* h = header();
    const ResultList& l = model_->list();
    const bool shown = l.sorted();
    const int key = l.sortKey();
    const Qt::SortOrder order = l.sortOrder() == 0 ? Qt::AscendingOrder : Qt::DescendingOrder;
    if (h->isSortIndicatorShown() != shown) {
        h->setSortIndicatorShown(shown);
    }
    if (shown && (h->sortIndicatorSection() != key || h->sortIndicatorOrder() != order)) {
        h->setSortIndicator(key, order);
    }
}

bool ResultListView::viewportEvent(QEvent* event)
{
    if (event->type() == QEvent::MouseButtonRelease) {
        auto* me = static_cast<QMouseEvent*>(event);
        if (me->button() == Qt::RightButton) {
            emit rightButtonReleased(me->globalPosition().toPoint());
        }
    }
    return QTreeView::viewportEvent(event);
}

}  // namespace kormial
