// The main window: its controls, start-up and shut-down, and the resize rules.
#include "mainwindow/frmmain.h"
#include "mainwindow/searchcontroller.h"

#include "mainwindow/drivecombo.h"
#include "mainwindow/folderlist.h"
#include "mainwindow/framebox.h"
#include "mainwindow/frmtip.h"
#include "mainwindow/menus_help.h"
#include "mainwindow/statusbar.h"
#include "mainwindow/twips.h"
#include "platform/gui/drives.h"
#include "platform/gui/process.h"
#include "platform/trash.h"
#include "results/widgets/resultview.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QCursor>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPainterPath>
#include <QProxyStyle>
#include <QProgressBar>
#include <QPushButton>
#include <QShortcut>
#include <QStyledItemDelegate>
#include <QTimer>
#include <QTabBar>
#include <QTabWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace kormial {

namespace {

// Design geometry, in twips.
constexpr int kDesignClientWidth = 9855;
constexpr int kDesignClientHeight = 7215;
constexpr int kSideMargin = 320;       // two margins of 160
constexpr int kGap = 160;
constexpr int kSpareHeight = 160;      // below the path panel when compact
constexpr int kResultBottomGap = 120;  // between the result tabs and the status bar
constexpr int kMinWindowWidth = 10000;
constexpr int kSearchHeight = 8000;    // window height while a search runs
constexpr int kProgressMargin = 40;

const char* const kCaption = "Kormial - Find duplicates, Free memory, File better";
const char* const kTabCaptions[kResultListCount] = {"Zero Size", "Duplicates", "Same Name",
                                                    "Portions", "Report - read errors"};
const char* const kSearchTypes[] = {"Zero Size", "Duplicates", "Same File Name", "Portions"};

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

// A label or check box keeps its design box, widened to show its whole text
// as far as `limit` (the left edge of whatever follows it).
void fitText(QWidget* w, int limit)
{
    const int need = w->sizeHint().width();
    if (need > w->width()) {
        w->resize(std::max(w->width(), std::min(need, limit - w->x())), w->height());
    }
}

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

template <typename W>
W* named(W* w, const char* name)
{
    w->setObjectName(QString::fromLatin1(name));
    return w;
}

}  // namespace

frmMain::frmMain(QWidget* parent)
    : QMainWindow(parent),
      imgMore(arrowPicture(true)),
      imgLess(arrowPicture(false))
{
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QString::fromLatin1(kCaption));

    buildMenus();
    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("frmMainClient"));
    setCentralWidget(client);
    buildSetupPanel(client);
    buildResultArea(client);
    buildFileMenu();
    desktopTrash_ = std::make_unique<platform::DesktopTrash>();
    trash_ = desktopTrash_.get();

    // The search runs on its controller's thread and reports back here.
    search_ = new SearchController(this);
    connect(search_, &SearchController::statusChanged, this, &frmMain::setStatusText);
    connect(search_, &SearchController::progressChanged, this, [this](int percent) { pbMain->setValue(percent); });
    connect(search_, &SearchController::entryStarted, this, [this](qint64 index) {
        if (QTreeWidgetItem* item = lstPath->topLevelItem(static_cast<int>(index))) {
            lstPath->setCurrentItem(item);
        }
    });
    // failures are gathered and told in one notice when the search ends
    connect(search_, &SearchController::failed, this, [this](const QString& text) { searchFailures_ << text; });
    connect(search_, &SearchController::finished, this, &frmMain::searchEnded);

    // Help numbers for F1: the part with the focus, or the nearest part
    // around it that has one.
    SetHelpContextID(this, kHelpMainWindow);
    SetHelpContextID(frmPath, kHelpSearchPaths);
    for (auto* list : lstResult) {
        SetHelpContextID(list, kHelpResults);
    }
    SetHelpContextID(lstSrchType, kHelpSearchTypes);
    SetHelpContextID(chkTolerant, kHelpSearchTypes);

    StatusBar1 = named(new PanelStatusBar(this), "StatusBar1");
    setStatusBar(StatusBar1);
    // The progress bar starts on the window and is docked into the status bar
    // at load.
    pbMain = named(new QProgressBar(client), "pbMain");
    pbMain->setRange(0, 100);
    pbMain->setValue(0);
    pbMain->setTextVisible(false);
    // Flat and borderless: only the filled part shows.
    pbMain->setStyleSheet(QStringLiteral(
        "QProgressBar { border: none; background: transparent; }"
        "QProgressBar::chunk { background: palette(highlight); border-radius: 2px; }"));
    pbMain->hide();

    auto* enter = new QShortcut(QKeySequence(Qt::Key_Return), this);
    auto* keypadEnter = new QShortcut(QKeySequence(Qt::Key_Enter), this);
    connect(enter, &QShortcut::activated, this, &frmMain::onEnterKey);
    connect(keypadEnter, &QShortcut::activated, this, &frmMain::onEnterKey);

    setMinimumSize(tw(kMinWindowWidth), compactHeight());
    resize(tw(kDesignClientWidth), menuBarHeight() + tw(kDesignClientHeight));
    Form_Load();
}

frmMain::~frmMain()
{
    // The views go before the lists they show.
    for (auto* view : lstResult) {
        delete view;
    }
}

// "&Menu" and "&Help"; the "&File" menu joins between them once the result
// lists exist.
void frmMain::buildMenus()
{
    // "&Quit" ends the program at once, also during a search.
    const MainMenuActions m = AddMainMenu(menuBar(), this);
    MnuMain = m.MnuMain;
    mnuOptions = m.mnuOptions;
    mnuSeperator2 = m.mnuSeperator2;
    MnuQuit = m.MnuQuit;

    const HelpMenuActions h = AddHelpMenu(menuBar(), this);
    mnuMainHelp = h.mnuMainHelp;
    mnuHelp = h.mnuHelp;
    mnuAbout = h.mnuAbout;
    mnuWebSite = h.mnuWebSite;
    mnuEmail = h.mnuEmail;
}

void frmMain::buildSetupPanel(QWidget* client)
{
    frmPath = named(new FrameBox(QStringLiteral("Select one or more path:"), client), "frmPath");
    frmPath->setGeometry(twRect(120, 0, 9495, 3375));

    frmSelectPath = named(new QWidget(frmPath), "frmSelectPath");
    frmSelectPath->setGeometry(twRect(120, 240, 7215, 3015));
    fraSrch = named(new QWidget(frmPath), "fraSrch");
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
    cmdAdd = named(new QPushButton(QStringLiteral("&>"), frmSelectPath), "cmdAdd");
    cmdAdd->setGeometry(twRect(3000, 960, 375, 375));
    cmdAdd->setFont(bold);
    cmdAdd->setToolTip(QStringLiteral("Add selected folder"));
    cmdRemove = named(new QPushButton(QStringLiteral("&<"), frmSelectPath), "cmdRemove");
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
    lstPath->setColumnCount(4);
    lstPath->setHeaderLabels({QStringLiteral("Path"), QStringLiteral("Sub-folder"),
                              QStringLiteral("Min. Size"), QStringLiteral("Max. Size")});
    lstPath->setRootIsDecorated(false);
    lstPath->setItemsExpandable(false);
    lstPath->setUniformRowHeights(true);
    lstPath->setSelectionMode(QAbstractItemView::SingleSelection);
    lstPath->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lstPath->setAllColumnsShowFocus(true);
    lstPath->header()->setStretchLastSection(false);
    for (int c = 1; c < 4; ++c) {
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

    connect(cmdAdd, &QPushButton::clicked, this, [this] { cmdAdd_Click(); });
    connect(cmdRemove, &QPushButton::clicked, this, [this] { cmdRemove_Click(); });
    connect(cmdCriteria, &QPushButton::clicked, this, [this] { cmdCriteria_Click(); });
    connect(lstPath, &QTreeWidget::itemDoubleClicked, this, [this] { lstPath_DblClick(); });
    connect(drvPath, &QComboBox::activated, this, [this] { drvPath_Change(); });
    connect(dirPath, &FolderList::pathChanged, this, [this] { dirPath_Change(); });
}

void frmMain::buildSearchFrame()
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

    connect(cmdSrch, &QPushButton::clicked, this, [this] { cmdSrch_Click(); });
    connect(cmdNewSrch, &QPushButton::clicked, this, [this] { cmdNewSrch_Click(); });
}

void frmMain::buildResultArea(QWidget* client)
{
    tabMain = named(new QTabWidget(client), "tabMain");
    tabMain->setGeometry(twRect(120, 3600, 6015, 975));
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
        tabMain->addTab(frame, QString::fromLatin1(kTabCaptions[i]));

        connect(list, &ResultListView::headerClicked, this,
                [this, i](int column) { lstResult_ColumnClick(i, column); });
        connect(list, &ResultListView::rightButtonReleased, this,
                [this, i](const QPoint& pos) { lstResult_MouseUp(i, pos); });
        connect(list, &ResultListView::rowClicked, this,
                [this, i](int row) { emit resultRowClicked(i, row); });
        connect(list, &ResultListView::rowDoubleClicked, this,
                [this, i](int row) { emit resultRowDoubleClicked(i, row); });
    }
    connect(this, &frmMain::resultRowClicked, this, [this](int list, int) { lstResult_Click(list); });
    connect(this, &frmMain::resultRowDoubleClicked, this,
            [this](int list, int) { lstResult_DblClick(list); });
    connect(tabMain, &QTabWidget::currentChanged, this, [this](int index) { tabMain_Click(index); });

    frmFileOp = named(new QWidget(client), "frmFileOp");
    frmFileOp->setGeometry(twRect(6960, 3600, 1815, 3255));
    cmdTask = named(new QPushButton(QStringLiteral("&Task"), frmFileOp), "cmdTask");
    cmdTask->setGeometry(twRect(240, 120, 1215, 375));
    cmdTask->setToolTip(QStringLiteral("Click here to open, mark, delete and rename."));
    cmdTask->setEnabled(false);  // until the File menu is attached
    imgPreview = named(new QLabel(frmFileOp), "imgPreview");
    imgPreview->setGeometry(twRect(120, 600, 1575, 1935));
    imgPreview->setToolTip(QStringLiteral("Preview for Jpeg, Gif, Bmp, Ico, Wmf, Emf"));
    imgPreview->setFrameShape(QFrame::StyledPanel);
    imgPreview->setFrameShadow(QFrame::Sunken);
    imgPreview->setAlignment(Qt::AlignCenter);
    imgPreview->setScaledContents(true);  // the picture fills the box
    chkPreview = named(new QCheckBox(QStringLiteral("Pre&view"), frmFileOp), "chkPreview");
    chkPreview->setGeometry(twRect(240, 2640, 1095, 255));
    chkPreview->setChecked(true);
    fitText(chkPreview, frmFileOp->width());
}

// ---------------------------------------------------------------------------
// Start-up and shut-down

void frmMain::Form_Load()
{
    // The help pages shipped beside the program stand for the help file.
    helpFile_ = QCoreApplication::applicationDirPath() + QStringLiteral("/help");
    StatusPanel = StatusBar1->textPanel();
    StatusPanel->setObjectName(QStringLiteral("StatusPanel"));
    DockProgressBar();

    const std::string here = gui::currentFolder();
    drvPath->setVolumes(gui::drives().volumes(here), gui::drives().volumeOf(here));
    dirPath->setPath(here);

    Init();
    // Beside the window, without waiting for it; it never stops the start.
    tipWindow_ = ShowTipOfTheDay(this);
}

frmTip* frmMain::tipWindow() const
{
    return tipWindow_.data();
}

void frmMain::DockProgressBar()
{
    PutCtrlInPanel(pbMain, StatusBar1, 1, kProgressMargin);
}

void frmMain::PutCtrlInPanel(QWidget* ctl, PanelStatusBar* bar, int panel, int marginTwips)
{
    if (pbDocked_) {
        return;
    }
    pbDocked_ = true;
    const int m = tw(marginTwips);
    const QRect p = bar->panelRect(panel);
    ctl->hide();
    ctl->setParent(bar);
    // In from the panel's sides and the bar's top by the margin, down to the
    // bar's bottom edge.
    ctl->setGeometry(p.left() + m, m, p.width() - 2 * m, bar->height() - m);
    ctl->show();
    ctl->raise();
}

void frmMain::showEvent(QShowEvent* event)
{
    closing_ = false;
    QMainWindow::showEvent(event);
    // The tip window came up before this window did: keep it in front.
    if (!tipRaised_ && !tipWindow_.isNull()) {
        tipRaised_ = true;
        QTimer::singleShot(0, tipWindow_.data(), [tip = tipWindow_] {
            if (!tip.isNull() && tip->isVisible()) {
                tip->raise();
                tip->activateWindow();
            }
        });
    }
}

void frmMain::closeEvent(QCloseEvent* event)
{
    // A running search is asked to stop; when it ends, the lists stay as
    // they are.
    if (searchRunning()) {
        searchState_ = SearchState::Stopping;
        search_->requestStop();
    }
    closing_ = true;
    event->accept();
}

void frmMain::MnuQuit_Click()
{
    gui::endProgramNow();
}

// ---------------------------------------------------------------------------
// Layout

bool frmMain::isNormalState() const
{
    return (windowState() & (Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen)) == 0;
}

int frmMain::menuBarHeight() const
{
    const QMenuBar* bar = menuBar();
    if (bar->isNativeMenuBar() || bar->isHidden()) {
        return 0;
    }
    const int hfw = bar->heightForWidth(width());
    return hfw > 0 ? hfw : bar->sizeHint().height();
}

int frmMain::clientAreaHeight() const
{
    return height() - menuBarHeight() - StatusBar1->height();
}

int frmMain::compactHeight() const
{
    return menuBarHeight() + frmPath->height() + tw(kSpareHeight) + StatusBar1->height();
}

void frmMain::setOuterHeight(int pixels)
{
    const int frame = frameGeometry().height() - geometry().height();
    resize(width(), pixels - std::max(0, frame));
}

void frmMain::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    Form_Resize();
}

void frmMain::changeEvent(QEvent* event)
{
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange) {
        Form_Resize();
    }
}

// The resize rules, in the window's client area: the path panel across the
// top, the result tabs below it, the file-operation frame at the right of the
// tabs, each at its margins.
void frmMain::Form_Resize()
{
    if (tabMain == nullptr || StatusBar1 == nullptr) {
        return;  // still being built
    }
    // 1. The tab strip spans to 40 twips short of the file-operation frame.
    tabMain->resize(std::max(0, width() - frmFileOp->width() - tw(kSideMargin)), tabMain->height());
    // 2. A minimised window is left alone.
    if (isMinimized()) {
        return;
    }
    // 3. Never lower than the compact height.
    const int compactClient = frmPath->height() + tw(kSpareHeight);
    if (clientAreaHeight() < compactClient) {
        resize(width(), compactHeight());
    }
    // 4. The result area takes the height below the path panel.
    const int h = clientAreaHeight() - tabMain->y() - tw(kResultBottomGap);
    if (h > 0) {
        tabMain->resize(tabMain->width(), h);
    }
    // 5. Minimum width.
    if (width() < tw(kMinWindowWidth)) {
        resize(tw(kMinWindowWidth), height());
    }
    // 6.-9. The path panel, its path list and the search frame at its right end.
    frmPath->resize(width() - tw(kSideMargin), frmPath->height());
    lstPath->resize(std::max(0, frmPath->width() - fraSrch->width() - lstPath->x() - tw(kSideMargin)),
                    lstPath->height());
    fitPathColumn();
    frmSelectPath->resize(std::max(0, frmPath->width() - fraSrch->width() - tw(kSideMargin)),
                          frmSelectPath->height());
    fraSrch->move(frmPath->width() - fraSrch->width() - tw(kGap), fraSrch->y());
    // 10. The file-operation frame keeps to the right edge.
    frmFileOp->move(width() - frmFileOp->width() - tw(kGap), frmFileOp->y());
}

// The "Path" column takes what the list's width leaves beside the other three
// columns, and never less than room for a short path.
void frmMain::fitPathColumn()
{
    int others = 0;
    for (int c = 1; c < lstPath->columnCount(); ++c) {
        others += lstPath->columnWidth(c);
    }
    const int room = lstPath->width() - 2 * lstPath->frameWidth() - others;
    lstPath->setColumnWidth(0, std::max(160, room));
}

// ---------------------------------------------------------------------------
// Keyboard

// Enter presses the Search button, the window's default button, unless a
// button has the focus (it is pressed instead) or the folder list has it (the
// highlighted folder is opened).
void frmMain::onEnterKey()
{
    QWidget* focus = QApplication::focusWidget();
    if (focus == dirPath) {
        dirPath->openEntry(dirPath->currentItem());
        return;
    }
    if (auto* button = qobject_cast<QPushButton*>(focus); button != nullptr && button->isEnabled()) {
        button->click();
        return;
    }
    cmdSrch->click();
}

// ---------------------------------------------------------------------------
// The File menu

void frmMain::setFileMenu(QMenu* menu)
{
    if (mnuFile_ != nullptr || menu == nullptr) {
        return;
    }
    mnuFile_ = menu;
    const QList<QAction*> bar = menuBar()->actions();
    const int at = static_cast<int>(bar.indexOf(MnuMain->menuAction()));
    if (at >= 0 && at + 1 < bar.size()) {
        menuBar()->insertMenu(bar.at(at + 1), menu);
    } else {
        menuBar()->addMenu(menu);
    }
    cmdTask->setEnabled(true);
    connect(cmdTask, &QPushButton::clicked, this, [this] { mnuFile_->popup(QCursor::pos()); });
}

QColor frmMain::desktopColour()
{
    return QApplication::palette().color(QPalette::Active, QPalette::Highlight);
}

}  // namespace kormial
