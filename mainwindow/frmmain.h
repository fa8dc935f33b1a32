// The main window: the search setup panel across the top, the result tabs
// with the file-operation frame below it, and the status bar. The window owns
// its controls, the record array of the search and every event handler; the
// search itself runs on the search controller's thread.
#pragma once

#include "catalogue/filerec.h"
#include "mainwindow/setuppanel.h"
#include "results/resultlist.h"
#include "search/execsrch.h"

#include <QMainWindow>
#include <QPointer>
#include <QStringList>

#include <array>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

class QAction;
class QFrame;
class QImage;
class QLabel;
class QMenu;
class QProgressBar;
class QPushButton;
class QTabWidget;

namespace kormial {

namespace platform {
class Trash;
}

class frmTip;
class PanelStatusBar;
class ResultListView;
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

    QMenu* mnuFile = nullptr;          // "&File", also popped up over the lists
    QAction* mnuOpen = nullptr;
    QAction* mnuDelete = nullptr;
    QAction* mnuRen = nullptr;
    QAction* mnuSeparator = nullptr;
    QAction* mnuMarkAll = nullptr;
    QAction* mnuMarkOld = nullptr;
    QAction* mnuMarkNewer = nullptr;
    QAction* mnuMarkSmaller = nullptr;
    QAction* mnuMarkLarger = nullptr;
    QAction* mnuClearMarks = nullptr;

    QMenu* mnuMainHelp = nullptr;      // "&Help"
    QAction* mnuHelp = nullptr;
    QAction* mnuAbout = nullptr;
    QAction* mnuWebSite = nullptr;
    QAction* mnuEmail = nullptr;

    SetupPanel* setup = nullptr;  // "Select one or more path:"

    QTabWidget* tabMain = nullptr;
    std::array<QFrame*, kResultListCount> frmResult{};
    std::array<ResultListView*, kResultListCount> lstResult{};

    QWidget* frmFileOp = nullptr;
    QPushButton* cmdTask = nullptr;
    QLabel* imgPreview = nullptr;
    QCheckBox* chkPreview = nullptr;

    PanelStatusBar* StatusBar1 = nullptr;
    QLabel* StatusPanel = nullptr;  // panel 2, set at load
    QProgressBar* pbMain = nullptr;

    // --- Form-level state --------------------------------------------------
    int CurTab = 0;      // the result list shown
    FileArray arrFiles;  // records of the last search

    // --- Routines ----------------------------------------------------------
    void Form_Load();
    void Form_Resize();
    void Init();
    void UpdateCount();
    void DockProgressBar();
    void PutCtrlInPanel(QWidget* ctl, PanelStatusBar* bar, int panel, int marginTwips);

    // --- Reviewing the current result list ---------------------------------
    // Marks or clears every row.
    void Marks(bool isAllMarks);
    // One member of each neighbouring pair of a group: CompType "Date" the
    // older (MarkOld) or newer one, "Size" the larger (MarkOld) or smaller.
    void MarkDel(bool MarkOld, std::string_view CompType);
    void OpenFile();
    void DelFile();
    void RenFile();
    void Preview();
    // The picture shown for a file with a picture extension that cannot be
    // loaded: err_read.bmp beside the program.
    static QString substitutePicturePath();

    // --- Event handlers ----------------------------------------------------
    void tabMain_Click(int index);
    void lstResult_ColumnClick(int index, int column);
    void lstResult_MouseUp(int index, const QPoint& globalPos);
    void lstResult_Click(int index);
    void lstResult_DblClick(int index);
    void mnuFile_Popup();  // the entries' enabling, each time the menu opens
    void mnuDelete_Click();
    [[noreturn]] void MnuQuit_Click();

    // --- Window facts ------------------------------------------------------
    bool searchRunning() const;
    // Height of the area between the menu bar and the status bar.
    int clientAreaHeight() const;
    // Window height that shows just the path panel and the status bar.
    int compactHeight() const;
    // Where the help pages lie, set at start-up.
    const QString& helpFile() const { return helpFile_; }

    // The File menu of the result lists, once it exists: it joins the menu bar
    // after "&Menu", the Task button pops it up, and so does the right mouse
    // button over a result list.
    void setFileMenu(QMenu* menu);
    QMenu* fileMenu() const { return mnuFile_; }

    // Where deleted files go: the desktop trash unless a test put another
    // in place (nullptr puts the desktop trash back).
    void setTrash(platform::Trash* trash);
    // The tip window shown at start, while it is open.
    frmTip* tipWindow() const;

    // Writes the status panel.
    void setStatusText(const QString& text);

    // --- The search -------------------------------------------------------
    enum class SearchState { Idle, Running, Stopping };
    SearchState searchState() const { return searchState_; }
    ResultList& resultList(int index);

signals:
    void statusChanged(const QString& text);
    // A row of result list `list` clicked / double-clicked.
    void resultRowClicked(int list, int row);
    void resultRowDoubleClicked(int list, int row);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void buildMenus();
    void buildFileMenu();
    void setPreviewPicture(const QImage& picture);
    void buildResultArea(QWidget* client);
    void onEnterKey();
    bool isNormalState() const;
    int menuBarHeight() const;
    void setOuterHeight(int pixels);
    void startOrStopSearch();
    void lockForSearch(bool locked);
    void searchEnded();

    std::array<ResultList, kResultListCount> lists_;
    QMenu* mnuFile_ = nullptr;
    std::unique_ptr<platform::Trash> desktopTrash_;
    platform::Trash* trash_ = nullptr;
    QPointer<frmTip> tipWindow_;
    bool tipRaised_ = false;
    QString helpFile_;
    bool pbDocked_ = false;
    bool closing_ = false;
    SearchController* search_ = nullptr;
    SearchState searchState_ = SearchState::Idle;
    double searchStart_ = 0;
    QStringList searchFailures_;
    std::vector<std::pair<QAction*, bool>> fileActionsBeforeSearch_;
};

}  // namespace kormial
