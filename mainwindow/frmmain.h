// The main window: the search setup panel across the top, the result pane
// below it at a border the user can drag, the menus and the status bar. The
// window builds the panels and the search controller and wires them
// together; it owns the record array of the search, which runs on the
// controller's thread.
#pragma once

#include "catalogue/filerec.h"
#include "mainwindow/resultpane.h"
#include "mainwindow/setuppanel.h"

#include <QMainWindow>
#include <QPointer>
#include <QStringList>

class QAction;
class QLabel;
class QMenu;
class QProgressBar;
class QSplitter;

namespace kormial {

class frmTip;
class PanelStatusBar;
class SearchController;

class frmMain final : public QMainWindow {
    Q_OBJECT
public:
    explicit frmMain(QWidget* parent = nullptr);
    ~frmMain() override;

    // --- Controls, by name -------------------------------------------------
    QMenu* MnuMain = nullptr;          // "&Menu"
    QAction* mnuOptions = nullptr;     // "&Options"
    QAction* mnuSeperator2 = nullptr;
    QAction* MnuQuit = nullptr;        // "&Quit"

    QMenu* mnuMainHelp = nullptr;      // "&Help"
    QAction* mnuHelp = nullptr;
    QAction* mnuAbout = nullptr;
    QAction* mnuWebSite = nullptr;
    QAction* mnuEmail = nullptr;

    SetupPanel* setup = nullptr;    // "Select one or more path:"
    ResultPane* results = nullptr;  // the result tabs and the file-operation frame
    QSplitter* splitMain = nullptr; // the setup panel | the result pane

    PanelStatusBar* StatusBar1 = nullptr;
    QLabel* StatusPanel = nullptr;  // panel 2, set at load
    QProgressBar* pbMain = nullptr;

    FileArray arrFiles;  // records of the last search

    // --- The search -------------------------------------------------------
    enum class SearchState { Idle, Running, Stopping };
    SearchState searchState() const { return searchState_; }
    bool searchRunning() const;

    // The tip window shown at start, while it is open.
    frmTip* tipWindow() const;
    // Where the help pages lie, set at start-up.
    const QString& helpFile() const { return helpFile_; }

signals:
    void statusChanged(const QString& text);

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void Form_Load();
    // A new search: a fresh setup panel, empty result lists.
    void Init();
    void DockProgressBar();
    void PutCtrlInPanel(QWidget* ctl, PanelStatusBar* bar, int panel);
    [[noreturn]] void MnuQuit_Click();

    void buildMenus();
    void onEnterKey();
    // The size of a first start: about two thirds of the screen's area,
    // never less than the window needs, centred on the screen.
    void placeAtFirstStart();
    void startOrStopSearch();
    void lockForSearch(bool locked);
    void searchEnded();
    // Writes the status panel: the text, and while a search runs the
    // numbers after it.
    void setStatusText(const QString& text);
    void showCounts(const QString& counts);

    QPointer<frmTip> tipWindow_;
    bool tipRaised_ = false;
    QString helpFile_;
    bool pbDocked_ = false;
    bool closing_ = false;
    SearchController* search_ = nullptr;
    SearchState searchState_ = SearchState::Idle;
    double searchStart_ = 0;
    QStringList searchFailures_;
    QString statusText_;
    QString counts_;
};

}  // namespace kormial
