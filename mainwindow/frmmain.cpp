// The main window: it builds the setup panel, the result pane, the menus, the
// status bar and the search controller and wires them; start-up and
// shut-down, the first size and the Enter key.
#include "mainwindow/frmmain.h"
#include "mainwindow/searchcontroller.h"

#include "mainwindow/drivecombo.h"
#include "mainwindow/folderlist.h"
#include "mainwindow/fontunits.h"
#include "mainwindow/frmtip.h"
#include "mainwindow/menus_help.h"
#include "mainwindow/pathentry.h"
#include "mainwindow/remembered.h"
#include "mainwindow/statusbar.h"
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
#include <QSplitter>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace kormial {

namespace {

// The window's smallest first size, in lines of its font: what the window
// always had, a setup panel and a dozen result rows.
constexpr double kFirstWidthLines = 47;
constexpr double kFirstHeightLines = 36;

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
    splitMain = named(new QSplitter(Qt::Vertical, client), "splitMain");
    splitMain->setChildrenCollapsible(false);
    setup = new SetupPanel(splitMain);
    connect(setup, &SetupPanel::searchClicked, this, &frmMain::startOrStopSearch);
    connect(setup, &SetupPanel::newSearchClicked, this, &frmMain::Init);
    results = new ResultPane(splitMain);
    splitMain->addWidget(setup);
    splitMain->addWidget(results);
    // Height the window gains goes in part to the setup panel (its folder
    // list and path list), most of it to the result lists.
    splitMain->setStretchFactor(0, 1);
    splitMain->setStretchFactor(1, 3);
    auto* area = new QVBoxLayout(client);
    const int margin = chars(this, 1);
    area->setContentsMargins(margin, 0, margin, lines(this, 0.3));
    area->addWidget(splitMain);
    // Keep applies to the lists shown as soon as it is ticked or unticked.
    connect(setup, &SetupPanel::keepChanged, this, [this] { results->setKeepFolders(setup->searchRequest().entries); });
    connect(results, &ResultPane::statusText, this, &frmMain::setStatusText);
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
    if (!RestoreWindowSetup(*this)) {
        placeAtFirstStart();
    }
    // Beside the window, without waiting for it; it never stops the start.
    tipWindow_ = ShowTipOfTheDay(this);
}

// A new search: a fresh setup panel, empty result lists.
void frmMain::Init()
{
    setup->Init();
    for (int i = kListZeroSize; i <= kListPortions; ++i) {
        results->resultList(i).clear();
    }
    results->clearPreview();
    results->UpdateCount();
}

void frmMain::placeAtFirstStart()
{
    const QScreen* where = screen();
    if (where == nullptr) {
        return;
    }
    const QRect room = where->availableGeometry();
    // Each side shrunk by the square root of 2/3 keeps two thirds of the area.
    const double side = std::sqrt(2.0 / 3.0);
    QSize size(static_cast<int>(room.width() * side), static_cast<int>(room.height() * side));
    size = size.expandedTo(QSize(lines(this, kFirstWidthLines), lines(this, kFirstHeightLines)))
               .expandedTo(minimumSizeHint())
               .boundedTo(room.size());
    resize(size);
    // The setup panel at the height it asks for; the result lists take the rest.
    const int top = setup->sizeHint().height();
    splitMain->setSizes({top, std::max(results->minimumSizeHint().height(), size.height() - top)});
    QRect place(QPoint(), size);
    place.moveCenter(room.center());
    move(place.topLeft());
}

frmTip* frmMain::tipWindow() const
{
    return tipWindow_.data();
}

void frmMain::DockProgressBar()
{
    PutCtrlInPanel(pbMain, StatusBar1, 1);
}

// The status bar keeps the control inside the panel as it resizes.
void frmMain::PutCtrlInPanel(QWidget* ctl, PanelStatusBar* bar, int panel)
{
    if (pbDocked_) {
        return;
    }
    pbDocked_ = true;
    bar->dock(ctl, panel);
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
// Keyboard

// Enter presses the Search button, the window's default button, unless a
// button has the focus (it is pressed instead), or the folder list or the
// path entry has it (the folder is opened).
void frmMain::onEnterKey()
{
    QWidget* focus = QApplication::focusWidget();
    if (focus == setup->txtFolder) {
        setup->openTypedFolder();
        return;
    }
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
