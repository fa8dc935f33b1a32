// The search setup panel: its controls, building the list of search entries,
// the size boxes, the drive and folder lists, the criteria toggle, the checks
// before a search and the request the search reads.
#include "mainwindow/setuppanel.h"

#include "mainwindow/drivecombo.h"
#include "mainwindow/folderlist.h"
#include "mainwindow/menus_help.h"
#include "mainwindow/twips.h"
#include "platform/gui/clock.h"
#include "platform/gui/dialogs.h"
#include "platform/gui/drives.h"
#include "search/sizetext.h"

#include <QApplication>
#include <QCheckBox>
#include <QCoreApplication>
#include <QEvent>
#include <QFile>
#include <QFocusEvent>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QTreeWidget>

#include <algorithm>
#include <cmath>

namespace kormial {

namespace {

constexpr int kSideMargin = 320;  // two margins of 160
constexpr int kGap = 160;

const char* const kSearchTypes[] = {"Zero Size", "Duplicates", "Same File Name", "Portions"};
const QString kSearchCaption = QStringLiteral("&Search");
const QString kCancelCaption = QStringLiteral("&Cancel");

std::string toBytes(const QString& text)
{
    return QFile::encodeName(text).toStdString();
}

// An 18 x 18 black arrow: up and to the right ("more"), or down and to the
// left ("less").
QIcon arrowPicture(bool more)
{
    QPixmap pm(18, 18);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(Qt::black, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::black);
    if (more) {
        p.drawLine(QPointF(4, 14), QPointF(12.5, 5.5));
        QPainterPath head;
        head.moveTo(14.5, 3.5);
        head.lineTo(14.5, 10.5);
        head.lineTo(7.5, 3.5);
        head.closeSubpath();
        p.drawPath(head);
    } else {
        p.drawLine(QPointF(14, 4), QPointF(5.5, 12.5));
        QPainterPath head;
        head.moveTo(3.5, 14.5);
        head.lineTo(3.5, 7.5);
        head.lineTo(10.5, 14.5);
        head.closeSubpath();
        p.drawPath(head);
    }
    p.end();
    return QIcon(pm);
}

// Rows of the search-type list, low enough for the four items to fit the
// design height of the list.
class CompactRows final : public QStyledItemDelegate {
public:
    CompactRows(int height, QObject* parent) : QStyledItemDelegate(parent), height_(height) {}
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        QSize s = QStyledItemDelegate::sizeHint(option, index);
        s.setHeight(height_);
        return s;
    }

private:
    int height_;
};

}  // namespace

SetupPanel::SetupPanel(QWidget* parent)
    : FrameBox(QStringLiteral("Select one or more path:"), parent),
      imgMore(arrowPicture(true)),
      imgLess(arrowPicture(false))
{
    setObjectName(QStringLiteral("frmPath"));
    setGeometry(twRect(120, 0, 9495, 3375));

    frmSelectPath = named(new QWidget(this), "frmSelectPath");
    frmSelectPath->setGeometry(twRect(120, 240, 7215, 3015));
    fraSrch = named(new QWidget(this), "fraSrch");
    fraSrch->setGeometry(twRect(7680, 240, 1695, 3015));

    drvPath = named(new DriveCombo(frmSelectPath), "drvPath");
    drvPath->setGeometry(twRect(0, 0, 2535, 315));
    // The desktop offers no dialog for mapping a network drive: the button
    // stays hidden and the drive list takes its room, as wide as the folder
    // list below it.
    cmdNetwork = named(new QPushButton(QStringLiteral("Net&work"), frmSelectPath), "cmdNetwork");
    cmdNetwork->setGeometry(twRect(2520, 0, 975, 330));
    cmdNetwork->setToolTip(QStringLiteral("Map network drive"));
    cmdNetwork->hide();
    drvPath->resize(tw(2895), drvPath->height());

    dirPath = named(new FolderList(frmSelectPath), "dirPath");
    dirPath->setGeometry(twRect(0, 360, 2895, 2115));
    dirPath->setToolTip(QStringLiteral("Double-click to select a path and click [>] to add."));

    lblExt = named(new QLabel(QStringLiteral("&File type:"), frmSelectPath), "lblExt");
    lblExt->setGeometry(twRect(0, 2760, 855, 255));
    txtExt = named(new QLineEdit(QStringLiteral("*.*"), frmSelectPath), "txtExt");
    txtExt->setGeometry(twRect(840, 2640, 735, 360));
    txtExt->setToolTip(QStringLiteral(
        "Type *.* for all file types, *.mp3 for MP3 files, *.mpg for MPEG movies, *.jpg for JPEG images"));
    lblExt->setBuddy(txtExt);
    chkSubDir = named(new QCheckBox(QStringLiteral("S&ub-Folder"), frmSelectPath), "chkSubDir");
    chkSubDir->setGeometry(twRect(1800, 2760, 1335, 255));
    chkSubDir->setChecked(true);
    fitText(lblExt, txtExt->x());

    QFont bold = font();
    bold.setBold(true);
    // Alt+> and Alt+< without an underline, which would read as >= and <=.
    cmdAdd = named(new QPushButton(QStringLiteral(">"), frmSelectPath), "cmdAdd");
    cmdAdd->setShortcut(QKeySequence(Qt::ALT | Qt::Key_Greater));
    cmdAdd->setGeometry(twRect(3000, 960, 375, 375));
    cmdAdd->setFont(bold);
    cmdAdd->setToolTip(QStringLiteral("Add selected folder"));
    cmdRemove = named(new QPushButton(QStringLiteral("<"), frmSelectPath), "cmdRemove");
    cmdRemove->setShortcut(QKeySequence(Qt::ALT | Qt::Key_Less));
    cmdRemove->setGeometry(twRect(3000, 1440, 375, 375));
    cmdRemove->setToolTip(QStringLiteral("Remove selected folder"));
    cmdCriteria = named(new QPushButton(frmSelectPath), "cmdCriteria");
    cmdCriteria->setGeometry(twRect(3000, 2520, 375, 495));
    cmdCriteria->setIcon(imgMore);
    cmdCriteria->setIconSize(QSize(18, 18));
    cmdCriteria->setToolTip(QStringLiteral("More Search Criteria"));

    // The sub-folder box may move left, up to the pattern box, so that its
    // caption stays clear of the criteria button.
    {
        const int room = cmdCriteria->x() - 2;
        const int need = chkSubDir->sizeHint().width();
        const int left = std::max(txtExt->geometry().right() + 7, std::min(chkSubDir->x(), room - need));
        chkSubDir->setGeometry(left, chkSubDir->y(), std::max(room - left, 0), chkSubDir->height());
    }

    lstPath = named(new QTreeWidget(frmSelectPath), "lstPath");
    lstPath->setGeometry(twRect(3600, 0, 2055, 3015));
    lstPath->setColumnCount(5);
    lstPath->setHeaderLabels({QStringLiteral("Path"), QStringLiteral("Sub-folder"), QStringLiteral("Min. Size"),
                              QStringLiteral("Max. Size"), QStringLiteral("Keep")});
    lstPath->headerItem()->setToolTip(kKeepColumn, QStringLiteral("Files found here are never marked"));
    lstPath->viewport()->setAcceptDrops(true);
    lstPath->viewport()->installEventFilter(this);
    lstPath->setRootIsDecorated(false);
    lstPath->setItemsExpandable(false);
    lstPath->setUniformRowHeights(true);
    lstPath->setSelectionMode(QAbstractItemView::SingleSelection);
    lstPath->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lstPath->setAllColumnsShowFocus(true);
    lstPath->header()->setStretchLastSection(false);
    for (int c = 1; c < lstPath->columnCount(); ++c) {
        lstPath->resizeColumnToContents(c);
        lstPath->setColumnWidth(c, std::max(lstPath->columnWidth(c), 56));
    }
    fitPathColumn();

    FrmMoreCriteria = named(new FrameBox(QStringLiteral("More Criteria"), frmSelectPath), "FrmMoreCriteria");
    FrmMoreCriteria->setGeometry(twRect(3480, 1440, 2775, 1215));
    lblMinSz = named(new QLabel(QStringLiteral("Min File Size:"), FrmMoreCriteria), "lblMinSz");
    lblMinSz->setGeometry(twRect(120, 360, 975, 255));
    txtMinSz = named(new QLineEdit(FrmMoreCriteria), "txtMinSz");
    txtMinSz->setGeometry(twRect(1320, 330, 855, 285));
    lblMinKB = named(new QLabel(QStringLiteral("KB"), FrmMoreCriteria), "lblMinKB");
    lblMinKB->setGeometry(twRect(2280, 360, 375, 255));
    lblMaxSz = named(new QLabel(QStringLiteral("Max File Size:"), FrmMoreCriteria), "lblMaxSz");
    lblMaxSz->setGeometry(twRect(120, 840, 975, 255));
    txtMaxSz = named(new QLineEdit(FrmMoreCriteria), "txtMaxSz");
    txtMaxSz->setGeometry(twRect(1320, 810, 855, 285));
    lblMaxKB = named(new QLabel(QStringLiteral("KB"), FrmMoreCriteria), "lblMaxKB");
    lblMaxKB->setGeometry(twRect(2280, 840, 375, 255));
    for (QLineEdit* box : {txtMinSz, txtMaxSz}) {
        box->setMaxLength(9);
        box->setAlignment(Qt::AlignRight);
        box->installEventFilter(this);
    }
    // Where this font needs more room for a caption than the design gives,
    // the boxes and their unit labels move right and the frame widens.
    const int captionNeed = std::max(lblMinSz->sizeHint().width(), lblMaxSz->sizeHint().width());
    const int shortfall = lblMinSz->x() + captionNeed + 2 - txtMinSz->x();
    if (shortfall > 0) {
        for (QWidget* c : {static_cast<QWidget*>(txtMinSz), static_cast<QWidget*>(txtMaxSz),
                           static_cast<QWidget*>(lblMinKB), static_cast<QWidget*>(lblMaxKB)}) {
            c->move(c->x() + shortfall, c->y());
        }
        FrmMoreCriteria->resize(FrmMoreCriteria->width() + shortfall, FrmMoreCriteria->height());
    }
    fitText(lblMinSz, txtMinSz->x() - 2);
    fitText(lblMaxSz, txtMaxSz->x() - 2);
    fitText(lblMinKB, FrmMoreCriteria->width() - 4);
    fitText(lblMaxKB, FrmMoreCriteria->width() - 4);
    FrmMoreCriteria->raise();  // drawn above the path list
    FrmMoreCriteria->hide();

    buildSearchFrame();
    SetHelpContextID(this, kHelpSearchPaths);

    connect(cmdAdd, &QPushButton::clicked, this, [this] { cmdAdd_Click(); });
    connect(cmdRemove, &QPushButton::clicked, this, [this] { cmdRemove_Click(); });
    connect(cmdCriteria, &QPushButton::clicked, this, [this] { cmdCriteria_Click(); });
    connect(lstPath, &QTreeWidget::itemDoubleClicked, this, [this] { lstPath_DblClick(); });
    connect(lstPath->model(), &QAbstractItemModel::rowsInserted, this, &SetupPanel::keepChanged);
    connect(lstPath->model(), &QAbstractItemModel::rowsRemoved, this, &SetupPanel::keepChanged);
    connect(lstPath, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem*, int column) {
        if (column == kKeepColumn) {
            emit keepChanged();
        }
    });
    connect(drvPath, &QComboBox::activated, this, [this] { drvPath_Change(); });
    connect(dirPath, &FolderList::pathChanged, this, [this] { dirPath_Change(); });
}

void SetupPanel::buildSearchFrame()
{
    QFont bold = font();
    bold.setBold(true);
    cmdSrch = named(new QPushButton(QStringLiteral("&Search"), fraSrch), "cmdSrch");
    cmdSrch->setGeometry(twRect(120, 0, 1215, 495));
    cmdSrch->setFont(bold);
    cmdSrch->setToolTip(QStringLiteral("Start the search"));
    cmdSrch->setDefault(true);
    cmdNewSrch = named(new QPushButton(QStringLiteral("&New Search"), fraSrch), "cmdNewSrch");
    cmdNewSrch->setGeometry(twRect(120, 600, 1215, 375));
    cmdNewSrch->setToolTip(QStringLiteral("Start a new search, clearing current settings"));

    lblSrchType = named(new QLabel(QStringLiteral("Search &type:"), fraSrch), "lblSrchType");
    lblSrchType->setGeometry(twRect(0, 1080, 1335, 255));
    lstSrchType = named(new QListWidget(fraSrch), "lstSrchType");
    lstSrchType->setGeometry(twRect(0, 1320, 1575, 960));
    lstSrchType->setToolTip(QStringLiteral(
        "Note: Searching file portions can be slow, be patient.\n"
        "Portions: a file whose leading 50,000-byte blocks begin a larger file with the same first "
        "400 bytes (files of more than 50,000 bytes)."));
    lstSrchType->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    lblSrchType->setBuddy(lstSrchType);
    for (const char* text : kSearchTypes) {
        auto* item = new QListWidgetItem(QString::fromLatin1(text), lstSrchType);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        item->setCheckState(Qt::Unchecked);
    }
    const int inner = lstSrchType->height() - 2 * lstSrchType->frameWidth();
    const int rowHeight = std::max(inner / lstSrchType->count(), fontMetrics().height());
    lstSrchType->setItemDelegate(new CompactRows(rowHeight, lstSrchType));
    lstSrchType->setUniformItemSizes(true);

    chkTolerant = named(new QCheckBox(QStringLiteral("To&lerate little diff."), fraSrch), "chkTolerant");
    chkTolerant->setGeometry(twRect(0, 2280, 1695, 255));
    chkTolerant->setToolTip(QStringLiteral(
        "Fuzzy matching in duplictes and portions search type. WARNING: This may not correctly "
        "duplicated files (especially for small file)"));

    // The frame keeps its design width unless this font needs more room for
    // the search types or the tolerance box; the resize rules follow it.
    const int listNeed = lstSrchType->sizeHintForColumn(0) + 2 * lstSrchType->frameWidth() + 2;
    const int need = std::max({tw(1695), chkTolerant->sizeHint().width(),
                               listNeed + tw(1695 - 1575)});
    if (need > fraSrch->width()) {
        fraSrch->resize(need, fraSrch->height());
        chkTolerant->resize(need, chkTolerant->height());
        lstSrchType->resize(need - tw(1695 - 1575), lstSrchType->height());
    }
    fitText(lblSrchType, fraSrch->width());
    SetHelpContextID(lstSrchType, kHelpSearchTypes);
    SetHelpContextID(chkTolerant, kHelpSearchTypes);

    connect(cmdSrch, &QPushButton::clicked, this, [this] { cmdSrch_Click(); });
    connect(cmdNewSrch, &QPushButton::clicked, this, [this] { cmdNewSrch_Click(); });
}

void SetupPanel::Init()
{
    lstPath->clear();
    for (int i = 0; i < lstSrchType->count(); ++i) {
        lstSrchType->item(i)->setCheckState(Qt::Checked);
    }
    lstSrchType->item(static_cast<int>(SearchType::Portions))->setCheckState(Qt::Unchecked);
    txtMinSz->clear();
    txtMaxSz->clear();
}

void SetupPanel::cmdNewSrch_Click()
{
    emit newSearchClicked();
}

void SetupPanel::cmdAdd_Click()
{
    addFolder(dirPath->path());
}

void SetupPanel::addFolder(const std::string& folder)
{
    const QString ext = txtExt->text();
    if (ext.isEmpty()) {
        gui::MsgBox(this, QStringLiteral("Please input file type."), gui::MsgIcon::Exclamation);
        FlashCtrl(txtExt);
        txtExt->setFocus();
        return;
    }

    // A folder with the same pattern is listed once.
    const std::string pattern = toBytes(ext);
    const std::string joined = folder + "/" + pattern;
    const std::string direct = folder + pattern;
    for (int i = 0; i < lstPath->topLevelItemCount(); ++i) {
        const std::string row = rowPath(lstPath->topLevelItem(i));
        if (row == joined || row == direct) {
            return;
        }
    }

    // A size box still holding the focus has not been checked yet.
    for (QLineEdit* box : {txtMinSz, txtMaxSz}) {
        if (!box->text().isEmpty() && !ConvertSizeText(toBytes(box->text()))) {
            gui::MsgBox(this, QStringLiteral("Invalid file size."), gui::MsgIcon::Exclamation);
            refocus(box);
            return;
        }
    }
    const QString minText = txtMinSz->text();
    const QString maxText = txtMaxSz->text();
    if (!minText.isEmpty() && !maxText.isEmpty()) {
        const auto minSz = ConvertSizeText(toBytes(minText));
        const auto maxSz = ConvertSizeText(toBytes(maxText));
        if (*maxSz <= *minSz) {
            gui::MsgBox(this,
                        QStringLiteral("Max File Size(%1) must be greater than Min File Size(%2).")
                            .arg(maxText, minText),
                        gui::MsgIcon::Exclamation, QStringLiteral("Wrong Size"));
            return;
        }
    }

    addPathRow(!folder.empty() && folder.back() == '/' ? direct : joined, chkSubDir->isChecked(), minText, maxText,
               false);
}

void SetupPanel::cmdRemove_Click()
{
    const QList<QTreeWidgetItem*> selected = lstPath->selectedItems();
    if (!selected.isEmpty()) {
        delete selected.front();
    }
}

void SetupPanel::lstPath_DblClick()
{
    cmdRemove_Click();
}

void SetupPanel::cmdCriteria_Click()
{
    if (FrmMoreCriteria->isVisible()) {
        cmdCriteria->setIcon(imgMore);
        FrmMoreCriteria->hide();
    } else {
        cmdCriteria->setIcon(imgLess);
        FrmMoreCriteria->show();
        FrmMoreCriteria->raise();
    }
}

// The folder list shows the chosen volume at the folder last opened on it. A
// volume that cannot be read leaves the folder list where it was; the drive
// list then goes back to the volume of that folder.
void SetupPanel::drvPath_Change()
{
    const std::string root = drvPath->currentRoot();
    const auto known = driveFolders_.find(root);
    std::string target = known != driveFolders_.end() ? known->second : root;
    if (known != driveFolders_.end() && gui::folderReadError(target)) {
        target = root;  // the folder last opened there has gone
    }
    if (const auto error = gui::folderReadError(target)) {
        gui::MsgBox(this, QString::fromLocal8Bit(error->c_str()), gui::MsgIcon::Critical);
        drvPath->selectRoot(gui::drives().volumeOf(dirPath->path()));
        return;
    }
    dirPath->setPath(target);
    drvPath->setVolumes(gui::drives().volumes(dirPath->path()), root);
}

// The drive list follows the folder list across volumes.
void SetupPanel::dirPath_Change()
{
    const std::string& folder = dirPath->path();
    const std::string root = gui::drives().volumeOf(folder);
    driveFolders_[root] = folder;
    if (drvPath->currentRoot() == root) {
        return;
    }
    drvPath->selectRoot(root);
    if (drvPath->currentRoot() != root) {
        drvPath->setVolumes(gui::drives().volumes(folder), root);
    }
}

// ---------------------------------------------------------------------------
// The size boxes: checked when they lose the focus within the window.

bool SetupPanel::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == lstPath->viewport() && pathListDrop(event)) {
        return true;
    }
    if (event->type() == QEvent::FocusOut && (watched == txtMinSz || watched == txtMaxSz)) {
        const auto reason = static_cast<QFocusEvent*>(event)->reason();
        // Focus that leaves with the window, for a menu or a pop-up, or
        // because the other box was just given it back, is not a leave.
        if (!refocusing_ && reason != Qt::ActiveWindowFocusReason &&
            reason != Qt::PopupFocusReason && reason != Qt::MenuBarFocusReason) {
            auto* box = static_cast<QLineEdit*>(watched);
            // Checked once the event that moved the focus is done, so that a
            // click on [>] is refused with one message, not two.
            QMetaObject::invokeMethod(this, [this, box] { txtSize_LostFocus(box); },
                                      Qt::QueuedConnection);
        }
    }
    return FrameBox::eventFilter(watched, event);
}

void SetupPanel::txtSize_LostFocus(QLineEdit* box)
{
    if (box->hasFocus() || closing_) {
        return;  // the focus is back in the box already
    }
    const QString text = box->text();
    if (!text.isEmpty() && !ConvertSizeText(toBytes(text))) {
        gui::MsgBox(this, QStringLiteral("Invalid file size."), gui::MsgIcon::Exclamation);
        refocus(box);
    }
}

void SetupPanel::refocus(QLineEdit* box)
{
    refocusing_ = true;
    box->setFocus(Qt::OtherFocusReason);
    refocusing_ = false;
}

// ---------------------------------------------------------------------------
// The request as the search reads it.

SearchRequest SetupPanel::searchRequest() const
{
    SearchRequest request;
    for (int i = 0; i < lstPath->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* item = lstPath->topLevelItem(i);
        const std::string path = rowPath(item);
        const auto slash = path.rfind('/');
        request.entries.push_back({path.substr(0, slash + 1), path.substr(slash + 1),
                                   item->text(1) == QStringLiteral("Yes"), item->checkState(kKeepColumn) == Qt::Checked});
    }
    request.minKb = SizeBound(toBytes(txtMinSz->text())).value_or(-1);
    request.maxKb = SizeBound(toBytes(txtMaxSz->text())).value_or(-1);
    for (const SearchType t : {SearchType::ZeroSize, SearchType::Duplicates, SearchType::SameName, SearchType::Portions}) {
        const QListWidgetItem* item = lstSrchType->item(static_cast<int>(t));
        request.types.set(t, item != nullptr && item->checkState() == Qt::Checked);
    }
    request.tolerant = chkTolerant->isChecked();
    return request;
}

// ---------------------------------------------------------------------------
// The Search button, the panel while a search runs, and the resize rules

void SetupPanel::cmdSrch_Click()
{
    if (lstPath->topLevelItemCount() == 0) {
        gui::MsgBox(this,
                    QStringLiteral("Please select path before search. Remember to click [>] to add path."),
                    gui::MsgIcon::Exclamation, QStringLiteral("Select Path"));
        FlashCtrl(cmdAdd);
        drvPath->setFocus();
        return;
    }
    if (!AtLeast1Chk(lstSrchType)) {
        gui::MsgBox(this, QStringLiteral("Please select at least one seach type."),
                    gui::MsgIcon::Exclamation, QStringLiteral("Select Search Type"));
        FlashCtrl(lstSrchType);
        return;
    }
    emit searchClicked();
}

void SetupPanel::lock(bool locked)
{
    cmdSrch->setText(locked ? kCancelCaption : kSearchCaption);
    frmSelectPath->setEnabled(!locked);
    cmdNewSrch->setEnabled(!locked);
    lstSrchType->setEnabled(!locked);
    chkTolerant->setEnabled(!locked);
}

// The path list and the search frame at the panel's right end follow its width.
void SetupPanel::fitWidth(int width)
{
    resize(width, height());
    lstPath->resize(std::max(0, this->width() - fraSrch->width() - lstPath->x() - tw(kSideMargin)),
                    lstPath->height());
    fitPathColumn();
    frmSelectPath->resize(std::max(0, this->width() - fraSrch->width() - tw(kSideMargin)),
                          frmSelectPath->height());
    fraSrch->move(this->width() - fraSrch->width() - tw(kGap), fraSrch->y());
}

// The "Path" column takes what the list's width leaves beside the other three
// columns, and never less than room for a short path.
void SetupPanel::fitPathColumn()
{
    int others = 0;
    for (int c = 1; c < lstPath->columnCount(); ++c) {
        others += lstPath->columnWidth(c);
    }
    const int room = lstPath->width() - 2 * lstPath->frameWidth() - others;
    lstPath->setColumnWidth(0, std::max(160, room));
}

bool SetupPanel::AtLeast1Chk(const QListWidget* obj)
{
    if (obj->count() == 0) {
        return false;
    }
    int i = 0;
    while (obj->item(i)->checkState() != Qt::Checked && i < obj->count() - 1) {
        ++i;
    }
    return obj->item(i)->checkState() == Qt::Checked;
}

void SetupPanel::FlashCtrl(QWidget* Ctrl)
{
    if (auto* button = qobject_cast<QPushButton*>(Ctrl)) {
        const QString caption = button->text();
        for (int i = 0; i < 2; ++i) {
            button->setText(QString());
            Delay(0.5);
            button->setText(caption);
            Delay(0.5);
        }
        return;
    }
    const QPalette saved = Ctrl->palette();
    const bool savedFill = Ctrl->autoFillBackground();
    QPalette flash = saved;
    for (const auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        flash.setColor(group, QPalette::Base, desktopColour());
        flash.setColor(group, QPalette::Window, desktopColour());
    }
    for (int i = 0; i < 2; ++i) {
        Ctrl->setAutoFillBackground(true);
        Ctrl->setPalette(flash);
        Delay(0.5);
        Ctrl->setPalette(saved);
        Ctrl->setAutoFillBackground(savedFill);
        Delay(0.5);
    }
}

void SetupPanel::Delay(double duration)
{
    gui::Clock& clock = gui::clock();
    const double start = clock.now();
    double gone = 0;
    do {
        QCoreApplication::processEvents();
        gone = std::fabs(clock.now() - start);
        if (gone <= duration && !closing_) {
            clock.idle(std::min(0.01, duration - gone + 0.001));
        }
    } while (gone <= duration && !closing_);
}

QColor SetupPanel::desktopColour()
{
    return QApplication::palette().color(QPalette::Active, QPalette::Highlight);
}

}  // namespace kormial
