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
    h->setMinimumSectionSize(8);  // the empty last column gives its room up first

    // Each column at least as wide as its caption with the sort arrow and
    // its typical content: an 11-character name behind its check box, a
    // group number, a size of ten digits, a whole date.
    const QFontMetrics fm(font());
    const QFontMetrics hfm(h->font());
    const int textPad = 2 * (style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 1) + 4;
    const int headerPad = 3 * style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, h) +
                          style()->pixelMetric(QStyle::PM_HeaderMarkSize, nullptr, h) + 4;
    const QString sample[] = {QStringLiteral("img_0011.jpeg"), QString(), QStringLiteral("0000000"),
                              QStringLiteral("0000000000"), QStringLiteral("0000/00/00 00:00:00"), QString()};
    const int checkRoom = style()->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, this) + textPad;
    for (int c = 0; c < ResultTableModel::kColumnCount; ++c) {
        const int content = sample[c].isEmpty() ? 0 : fm.horizontalAdvance(sample[c]) + textPad;
        const int w = std::max(hfm.horizontalAdvance(ResultTableModel::columnCaption(c)) + headerPad,
                               content + (c == kColName ? checkRoom : 0));
        minWidth_[static_cast<std::size_t>(c)] = w;
        if (designWidth(c, showGroup) == 0) {
            setColumnHidden(c, true);
        } else if (c == ResultTableModel::kColumnCount - 1) {
            setColumnWidth(c, h->minimumSectionSize());  // the empty last column takes what is left
        } else {
            setColumnWidth(c, std::max(w, designWidth(c, showGroup)));
        }
    }
    // On the lists of groups, groups are shaded instead of rows.
    setAlternatingRowColors(!showGroup);
    model_->setGroupShading(showGroup);
    model_->setPalette(palette());

    connect(h, &QHeaderView::sectionResized, this, [this](int column) {
        if (!fitting_ && (column == kColName || column == kColFolder)) {
            const int both = columnWidth(kColName) + columnWidth(kColFolder);
            nameShare_ = both > 0 ? static_cast<double>(columnWidth(kColName)) / both : nameShare_;
        }
    });
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

void ResultListView::fitColumns()
{
    int others = header()->minimumSectionSize();  // the empty last column
    for (int c : {kColGroup, kColSize, kColDate}) {
        others += isColumnHidden(c) ? 0 : columnWidth(c);
    }
    const int spare = viewport()->width() - others;
    const int name = std::max(minWidth_[kColName], static_cast<int>(spare * nameShare_));
    const int folder = std::max(minWidth_[kColFolder], spare - name);
    fitting_ = true;
    setColumnWidth(kColName, name);
    setColumnWidth(kColFolder, folder);
    fitting_ = false;
}

void ResultListView::changeEvent(QEvent* event)
{
    QTreeView::changeEvent(event);
    if (event->type() == QEvent::PaletteChange) {
        model_->setPalette(palette());
        viewport()->update();
    }
}

bool ResultListView::viewportEvent(QEvent* event)
{
    if (event->type() == QEvent::Resize) {
        fitColumns();
    }
    if (event->type() == QEvent::MouseButtonRelease) {
        auto* me = static_cast<QMouseEvent*>(event);
        if (me->button() == Qt::RightButton) {
            emit rightButtonReleased(me->globalPosition().toPoint());
        }
    }
    return QTreeView::viewportEvent(event);
}

}  // namespace kormial
