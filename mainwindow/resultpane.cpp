// The result pane: the result tabs with their captions and counts, switching,
// sorting by a header and the File menu over a list, and the frame beside them.
#include "mainwindow/resultpane.h"

#include "mainwindow/fontunits.h"
#include "mainwindow/menus_help.h"
#include "platform/trash.h"
#include "results/widgets/resultview.h"

#include <QAction>
#include <QCheckBox>
#include <QEvent>
#include <QResizeEvent>
#include <QFrame>
#include <QItemSelectionModel>
#include <QLabel>
#include <QMenu>
#include <QHBoxLayout>
#include <QProxyStyle>
#include <QPushButton>
#include <QSplitter>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

namespace kormial {

namespace {

constexpr int kSizeUnit = 1000;  // splitter sizes are shares of this
constexpr int kPreviewWide = 105;  // the proportions of the preview box
constexpr int kPreviewHigh = 129;

const char* const kTabCaptions[kResultListCount] = {"Zero Size", "Duplicates", "Same Name",
                                                    "Portions", "Report - read errors"};

// Tabs with less padding beside their captions, so that the five captions with
// their counts fit the strip at the window's minimum width.
class TightTabs final : public QProxyStyle {
public:
    int pixelMetric(PixelMetric metric, const QStyleOption* option, const QWidget* widget) const override
    {
        const int value = QProxyStyle::pixelMetric(metric, option, widget);
        return metric == PM_TabBarTabHSpace ? std::min(value, 12) : value;
    }
};

}  // namespace

ResultPane::ResultPane(QWidget* parent) : QWidget(parent)
{
    splitResults = named(new QSplitter(Qt::Horizontal, this), "splitResults");
    splitResults->setChildrenCollapsible(false);
    tabMain = named(new QTabWidget(splitResults), "tabMain");
    tabMain->setToolTip(QStringLiteral("Search result"));
    tabMain->setUsesScrollButtons(true);
    auto* tabStyle = new TightTabs;
    tabStyle->setParent(tabMain);
    tabMain->findChild<QTabBar*>()->setStyle(tabStyle);
    for (int i = 0; i < kResultListCount; ++i) {
        auto* frame = new QFrame;
        frame->setObjectName(QStringLiteral("frmResult%1").arg(i));
        frame->setFrameShape(QFrame::NoFrame);
        auto* fill = new QVBoxLayout(frame);
        fill->setContentsMargins(0, 0, 0, 0);
        auto* list = new ResultListView(lists_[static_cast<std::size_t>(i)],
                                        i == kListDuplicates || i == kListPortions, frame);
        list->setObjectName(QStringLiteral("lstResult%1").arg(i));
        list->setToolTip(QStringLiteral(
            "Double-click to open file; Click to preview; Check the box to mark for deletion."));
        fill->addWidget(list);
        frmResult[static_cast<std::size_t>(i)] = frame;
        lstResult[static_cast<std::size_t>(i)] = list;
        SetHelpContextID(list, kHelpResults);
        tabMain->addTab(frame, QString::fromLatin1(kTabCaptions[i]));

        connect(list, &ResultListView::headerClicked, this,
                [this, i](int column) { lstResult_ColumnClick(i, column); });
        connect(list, &ResultListView::rightButtonReleased, this,
                [this, i](const QPoint& pos) { lstResult_MouseUp(i, pos); });
        connect(list, &ResultListView::rowClicked, this,
                [this, i](int row) { emit resultRowClicked(i, row); });
        connect(list, &ResultListView::rowDoubleClicked, this,
                [this, i](int row) { emit resultRowDoubleClicked(i, row); });
        const ResultTableModel* model = list->resultModel();
        const auto rowsChanged = [this, i] { countsMayHaveChanged(i, true); };
        connect(model, &QAbstractItemModel::modelReset, this, rowsChanged);
        connect(model, &QAbstractItemModel::rowsInserted, this, rowsChanged);
        connect(model, &QAbstractItemModel::rowsRemoved, this, rowsChanged);
        connect(model, &QAbstractItemModel::dataChanged, this, [this, i] { countsMayHaveChanged(i, false); });
        // The preview follows the current row, moved by the keys or the mouse.
        connect(list->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
                [this, i](const QModelIndex& current) {
                    if (i == CurTab && current.isValid()) {
                        Preview();
                    }
                });
    }
    connect(this, &ResultPane::tabChanged, this, [this](int index) { countsMayHaveChanged(index, false); });
    connect(this, &ResultPane::resultRowClicked, this, [this](int list, int) { lstResult_Click(list); });
    connect(this, &ResultPane::resultRowDoubleClicked, this,
            [this](int list, int) { lstResult_DblClick(list); });
    connect(tabMain, &QTabWidget::currentChanged, this, [this](int index) { tabMain_Click(index); });

    buildFileOpFrame();
    splitResults->addWidget(tabMain);
    splitResults->addWidget(frmFileOp);
    // The lists take six sevenths of the width, the preview the rest, until
    // the user drags the border.
    splitResults->setStretchFactor(0, 6);
    splitResults->setStretchFactor(1, 1);
    splitResults->setSizes({6 * kSizeUnit, kSizeUnit});
    auto* fill = new QHBoxLayout(this);
    fill->setContentsMargins(0, 0, 0, 0);
    fill->addWidget(splitResults);

    buildFileMenu();
    desktopTrash_ = std::make_unique<platform::DesktopTrash>();
    trash_ = desktopTrash_.get();
}

// The Task button over the preview box, the preview switch below it. The
// box takes the frame's room; the picture keeps its proportions inside it.
void ResultPane::buildFileOpFrame()
{
    frmFileOp = named(new QWidget(splitResults), "frmFileOp");
    cmdTask = named(new QPushButton(QStringLiteral("&Task"), frmFileOp), "cmdTask");
    cmdTask->setToolTip(QStringLiteral("Click here to open, mark, delete and rename."));
    cmdTask->setMinimumWidth(chars(this, 13));
    imgPreview = named(new QLabel(frmFileOp), "imgPreview");
    imgPreview->setToolTip(QStringLiteral("Preview for Jpeg, Gif, Bmp, Ico, Wmf, Emf"));
    imgPreview->setFrameShape(QFrame::StyledPanel);
    imgPreview->setFrameShadow(QFrame::Sunken);
    imgPreview->setAlignment(Qt::AlignCenter);
    // The picture shown never sets the box's size: the layout does.
    imgPreview->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
    imgPreview->setMinimumSize(chars(this, 15), lines(this, 8));
    imgPreview->installEventFilter(this);
    frmFileOp->installEventFilter(this);
    chkPreview = named(new QCheckBox(QStringLiteral("Pre&view"), frmFileOp), "chkPreview");
    chkPreview->setChecked(true);
    auto* column = new QVBoxLayout(frmFileOp);
    column->setContentsMargins(chars(this, 1), tabMain->tabBar()->sizeHint().height() / 4, 0, 0);
    column->setSpacing(lines(this, 0.5));
    column->addWidget(cmdTask, 0, Qt::AlignHCenter);
    column->addWidget(imgPreview, 1);
    column->addWidget(chkPreview, 0, Qt::AlignHCenter);
    column->addStretch(0);
    // The preview is read again for the new size once the box stops growing.
    previewAgain_.setSingleShot(true);
    previewAgain_.setInterval(150);
    connect(&previewAgain_, &QTimer::timeout, this, [this] { showPreview(previewPath_); });
}

bool ResultPane::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == frmFileOp && event->type() == QEvent::Resize) {
        // The box keeps about the proportions of a photo standing upright.
        const QMargins margins = frmFileOp->layout()->contentsMargins();
        const int width = static_cast<QResizeEvent*>(event)->size().width() - margins.left() - margins.right();
        imgPreview->setMaximumHeight(std::max(imgPreview->minimumHeight(), width * kPreviewHigh / kPreviewWide));
    }
    if (watched == imgPreview && event->type() == QEvent::Resize && !previewPath_.empty()) {
        previewAgain_.start();
    }
    return QWidget::eventFilter(watched, event);
}

ResultPane::~ResultPane()
{
    // The views go before the lists they show.
    for (auto* view : lstResult) {
        delete view;
    }
}

void ResultPane::UpdateCount()
{
    for (int i = 0; i < kResultListCount; ++i) {
        QString caption = tabMain->tabText(i);
        const auto open = caption.indexOf(QLatin1Char('('));
        if (open >= 0) {
            caption.truncate(open);
        }
        tabMain->setTabText(i, caption + QStringLiteral("(%1)").arg(lists_[static_cast<std::size_t>(i)].count()));
    }
}

void ResultPane::countsMayHaveChanged(int list, bool rowsChanged)
{
    if (rowsChanged) {
        stats_.at(static_cast<std::size_t>(list)).reset();
    }
    if (list != CurTab || countsPending_) {
        return;
    }
    countsPending_ = true;
    QTimer::singleShot(0, this, [this] {
        countsPending_ = false;
        const ResultList& shown = lists_.at(static_cast<std::size_t>(CurTab));
        std::optional<ListStats>& stats = stats_.at(static_cast<std::size_t>(CurTab));
        if (!stats) {
            stats = StatsOf(shown, CurTab);
        }
        emit countsChanged(QString::fromStdString(StatsText(*stats, CountMarked(shown), CurTab)));
    });
}

void ResultPane::tabMain_Click(int index)
{
    if (index < 0 || index == CurTab) {
        return;
    }
    // The tab strip has shown frame `index` and hidden the one of CurTab.
    CurTab = index;
    emit tabChanged(index);
}

void ResultPane::lstResult_ColumnClick(int index, int column)
{
    SortResultList(lists_.at(static_cast<std::size_t>(index)), column + 1, 0);
}

void ResultPane::lstResult_MouseUp(int /*index*/, const QPoint& globalPos)
{
    mnuFile->popup(globalPos);
}

ResultList& ResultPane::resultList(int index)
{
    return lists_.at(static_cast<std::size_t>(index));
}

void ResultPane::searchEnded(bool complete)
{
    listsComplete_ = complete;
    showFirstTabWithRows();
}

void ResultPane::showFirstTabWithRows()
{
    if (lists_.at(static_cast<std::size_t>(CurTab)).count() > 0) {
        return;
    }
    for (int i = 0; i < kResultListCount; ++i) {
        if (lists_[static_cast<std::size_t>(i)].count() > 0) {
            tabMain->setCurrentIndex(i);
            return;
        }
    }
}

void ResultPane::lock(bool locked)
{
    cmdTask->setEnabled(!locked);
    if (locked) {
        clearPreview();  // a new search: the picture of the last one goes
        fileActionsBeforeSearch_.clear();
        for (QAction* a : mnuFile->actions()) {
            fileActionsBeforeSearch_.emplace_back(a, a->isEnabled());
            a->setEnabled(false);
        }
    } else {
        for (const auto& [a, enabled] : fileActionsBeforeSearch_) {
            a->setEnabled(enabled);
        }
        fileActionsBeforeSearch_.clear();
    }
}

}  // namespace kormial
