// The main window: it builds the setup panel, the result pane, the menus, the
// status bar and the search controller and wires them; start-up and
// shut-down, the resize rules and the Enter key.
#include "mainwindow/frmmain.h"
#include "mainwindow/searchcontroller.h"

#include "mainwindow/drivecombo.h"
#include "mainwindow/folderlist.h"
#include "mainwindow/frmtip.h"
#include "mainwindow/menus_help.h"
#include "mainwindow/remembered.h"
#include "mainwindow/statusbar.h"
#include "mainwindow/twips.h"
#include "platform/gui/drives.h"
#include "platform/gui/process.h"

#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QTimer>
#include <QTabWidget>
#include <QTreeWidget>

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

}  // namespace

frmMain::frmMain(QWidget* parent)
    : QMainWindow(parent)
{
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QString::fromLatin1(kCaption));

    buildMenus();
    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("frmMainClient"));
    setCentralWidget(client);
    setup = new SetupPanel(client);
    connect(setup, &SetupPanel::searchClicked, this, &frmMain::startOrStopSearch);
    connect(setup, &SetupPanel::newSearchClicked, this, &frmMain::Init);
    results = new ResultPane(client);
    // Keep applies to the lists shown as soon as it is ticked or unticked.
    connect(setup, &SetupPanel::keepChanged, this, [this] { results->setKeepFolders(setup->searchRequest().entries); });
    connect(results, &ResultPane::statusText, this, &frmMain::setStatusText);
    connect(results, &ResultPane::tabChanged, this, [this] { Form_Resize(); });
    // The File menu joins the menu bar after "&Menu".
    menuBar()->insertMenu(mnuMainHelp->menuAction(), results->mnuFile);

    // The search runs on its controller's thread and reports back here.
    search_ = new SearchController(this);
    connect(search_, &SearchController::statusChanged, this, &frmMain::setStatusText);
    connect(search_, &SearchController::progressChanged, this, [this](int percent) { pbMain->setValue(percent); });
    connect(search_, &SearchController::countsChanged, this, &frmMain::showCounts);
    connect(search_, &SearchController::entryStarted, this, [this](qint64 index) {
        if (QTreeWidgetItem* item = setup->lstPath->topLevelItem(static_cast<int>(index))) {
            setup->lstPath->setCurrentItem(item);
        }
    });
    // failures are gathered and told in one notice when the search ends
    connect(search_, &SearchController::failed, this, [this](const QString& text) { searchFailures_ << text; });
    connect(search_, &SearchController::finished, this, &frmMain::searchEnded);

    // Help numbers for F1: the part with the focus, or the nearest part
    // around it that has one.
    SetHelpContextID(this, kHelpMainWindow);

    StatusBar1 = named(new PanelStatusBar(this), "StatusBar1");
    setStatusBar(StatusBar1);
    connect(results, &ResultPane::countsChanged, StatusBar1, &PanelStatusBar::setCounts);
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
    keepOnScreen();
    Form_Load();
}

frmMain::~frmMain() = default;

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
    // Quit keeps the setup for the next start before the program ends.
    disconnect(MnuQuit, &QAction::triggered, nullptr, nullptr);
    connect(MnuQuit, &QAction::triggered, this, &frmMain::MnuQuit_Click);

    const HelpMenuActions h = AddHelpMenu(menuBar(), this);
    mnuMainHelp = h.mnuMainHelp;
    mnuHelp = h.mnuHelp;
    mnuAbout = h.mnuAbout;
    mnuWebSite = h.mnuWebSite;
    mnuEmail = h.mnuEmail;
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
    setup->drvPath->setVolumes(gui::drives().volumes(here), gui::drives().volumeOf(here));
    setup->dirPath->setPath(here);

    Init();
    RestoreWindowSetup(*this);
    // Beside the window, without waiting for it; it never stops the start.
    tipWindow_ = ShowTipOfTheDay(this);
}

// A new search: a fresh setup panel, empty result lists, the compact window.
void frmMain::Init()
{
    setup->Init();
    for (int i = kListZeroSize; i <= kListPortions; ++i) {
        results->resultList(i).clear();
    }
    results->clearPreview();
    if (isNormalState()) {
        resize(width(), compactHeight());
    }
    results->UpdateCount();
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
    setup->windowClosing(false);
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
    setup->windowClosing(true);
    SaveWindowSetup(*this);
    event->accept();
}

void frmMain::MnuQuit_Click()
{
    SaveWindowSetup(*this);
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
    return menuBarHeight() + setup->height() + tw(kSpareHeight) + StatusBar1->height();
}

void frmMain::setOuterHeight(int pixels)
{
    const int frame = std::max(0, frameGeometry().height() - geometry().height());
    resize(width(), pixels - frame);
    keepOnScreen();
}

// Never beyond the screen's available area: no higher or wider than it, and
// moved up or left when an edge would pass the screen's.
void frmMain::keepOnScreen()
{
    const QScreen* where = screen();
    if (where == nullptr || !isNormalState()) {
        return;
    }
    const QRect room = where->availableGeometry();
    const QSize frame = frameGeometry().size() - size();
    const QSize fits = size().boundedTo(room.size() - frame).expandedTo(minimumSize());
    if (fits != size()) {
        resize(fits);
    }
    QRect place = frameGeometry();
    place.moveRight(std::min(place.right(), room.right()));
    place.moveBottom(std::min(place.bottom(), room.bottom()));
    place.moveLeft(std::max(place.left(), room.left()));
    place.moveTop(std::max(place.top(), room.top()));
    if (place.topLeft() != frameGeometry().topLeft()) {
        move(place.topLeft());
    }
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
    if (results == nullptr || StatusBar1 == nullptr) {
        return;  // still being built
    }
    QTabWidget* tabMain = results->tabMain;
    QWidget* frmFileOp = results->frmFileOp;
    // 1. The tab strip spans to 40 twips short of the file-operation frame.
    results->resize(width(), results->height());
    tabMain->resize(std::max(0, width() - frmFileOp->width() - tw(kSideMargin)), tabMain->height());
    // 2. A minimised window is left alone.
    if (isMinimized()) {
        return;
    }
    // 3. Never lower than the compact height.
    const int compactClient = setup->height() + tw(kSpareHeight);
    if (clientAreaHeight() < compactClient) {
        resize(width(), compactHeight());
    }
    // 4. The result area takes the height below the path panel.
    results->resize(results->width(), std::max(0, clientAreaHeight() - results->y()));
    const int h = results->height() - tabMain->y() - tw(kResultBottomGap);
    if (h > 0) {
        tabMain->resize(tabMain->width(), h);
    }
    // 5. Minimum width.
    if (width() < tw(kMinWindowWidth)) {
        resize(tw(kMinWindowWidth), height());
    }
    // 6.-9. The path panel, its path list and the search frame at its right end.
    setup->fitWidth(width() - tw(kSideMargin));
    // 10. The file-operation frame keeps to the right edge.
    frmFileOp->move(width() - frmFileOp->width() - tw(kGap), frmFileOp->y());
}

// ---------------------------------------------------------------------------
// Keyboard

// Enter presses the Search button, the window's default button, unless a
// button has the focus (it is pressed instead) or the folder list has it (the
// highlighted folder is opened).
void frmMain::onEnterKey()
{
    QWidget* focus = QApplication::focusWidget();
    if (focus == setup->dirPath) {
        setup->dirPath->openEntry(setup->dirPath->currentItem());
        return;
    }
    if (auto* button = qobject_cast<QPushButton*>(focus); button != nullptr && button->isEnabled()) {
        button->click();
        return;
    }
    setup->cmdSrch->click();
}

}  // namespace kormial
