// The result pane below the setup panel: the five result tabs with their
// lists and counts, and beside them the file-operation frame with the Task
// button and the picture preview. The File menu reviews the list in front:
// opening, deleting to the trash, renaming and marking its files.
#pragma once

#include "results/liststats.h"
#include "results/marking.h"
#include "results/resultlist.h"
#include "search/searchrequest.h"

#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <array>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

class QAction;
class QCheckBox;
class QFrame;
class QImage;
class QLabel;
class QMenu;
class QPushButton;
class QSplitter;
class QTabWidget;

namespace kormial {

namespace platform {
class Trash;
}

class ResultListView;
class ReviewAction;

class ResultPane final : public QWidget {
    Q_OBJECT
public:
    explicit ResultPane(QWidget* parent);
    ~ResultPane() override;

    // --- Controls, by name -------------------------------------------------
    QSplitter* splitResults = nullptr;  // the result tabs | the file-operation frame
    QTabWidget* tabMain = nullptr;
    std::array<QFrame*, kResultListCount> frmResult{};
    std::array<ResultListView*, kResultListCount> lstResult{};

    QWidget* frmFileOp = nullptr;
    QPushButton* cmdTask = nullptr;
    QLabel* imgPreview = nullptr;
    QCheckBox* chkPreview = nullptr;

    // "&File": it joins the window's menu bar; the Task button and the right
    // mouse button over a result list pop it up.
    QMenu* mnuFile = nullptr;
    QAction* mnuOpen = nullptr;
    QAction* mnuDelete = nullptr;
    QAction* mnuRen = nullptr;
    // On Duplicates: the marked files' names made hard links to their kept
    // copies, or their blocks shared with the kept copies'.
    QAction* mnuLinkHard = nullptr;
    QAction* mnuShareBlocks = nullptr;
    QAction* mnuSeparator = nullptr;
    QAction* mnuMarkAll = nullptr;
    QAction* mnuMarkOld = nullptr;
    QAction* mnuMarkNewer = nullptr;
    QAction* mnuMarkSmaller = nullptr;
    QAction* mnuMarkLarger = nullptr;
    // One copy of each group stays unmarked: the newest, the oldest or the
    // first in the list.
    QAction* mnuKeepNewest = nullptr;
    QAction* mnuKeepOldest = nullptr;
    QAction* mnuKeepFirst = nullptr;
    QAction* mnuClearMarks = nullptr;
    QAction* mnuExport = nullptr;      // "&Export...": the tab shown or all tabs, CSV or JSON
    QAction* mnuOpenResult = nullptr;  // "Open Res&ult...": a saved JSON result, for review

    ResultList& resultList(int index);
    // The tab captions with the lists' counts.
    void UpdateCount();
    // The Task button and the File menu wait while a search runs; the menu's
    // entries come back as they were.
    void lock(bool locked);
    // A search ended with these lists (`complete` false when it was
    // stopped): when the tab shown is empty, the first tab with rows comes
    // to the front.
    void searchEnded(bool complete);
    // An empty preview box.
    void clearPreview();
    // The export format chosen last (the index of its filter), offered
    // first at the next export.
    int exportFormat() const { return exportFilter_; }
    void setExportFormat(int format) { exportFilter_ = std::clamp(format, 0, 3); }
    // Where deleted files go: the desktop trash unless a test put another
    // in place (nullptr puts the desktop trash back).
    void setTrash(platform::Trash* trash);
    // The Keep rows of the path list as they stand now: the rows of the
    // lists below them become reference copies at once (shaded, their marks
    // cleared), the others stop being ones; a result opened later takes them
    // too.
    void setKeepFolders(const std::vector<SearchEntry>& entries);
    // The names and paths the search of the lists shown left out: an
    // export of the lists records them.
    void setLeftOut(std::vector<std::string> patterns) { leftOut_ = std::move(patterns); }

signals:
    // A row of result list `list` clicked / double-clicked.
    void resultRowClicked(int list, int row);
    void resultRowDoubleClicked(int list, int row);
    // Another tab came to the front.
    void tabChanged(int index);
    // What the list in front holds, for the status bar (StatsText); sent
    // once after a burst of changes.
    void countsChanged(const QString& text);
    // A text for the status panel: what a deletion did.
    void statusText(const QString& text);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildFileOpFrame();
    void buildFileMenu();
    // The picture shown for a file with a picture extension that cannot be
    // loaded: err_read.bmp beside the program.
    static QString substitutePicturePath();

    // Marks or clears every row.
    void Marks(bool isAllMarks);
    // One member of each neighbouring pair of a group: CompType "Date" the
    // older (MarkOld) or newer one, "Size" the larger (MarkOld) or smaller.
    void MarkDel(bool MarkOld, std::string_view CompType);
    void MarkAllButOne(Keep keep);
    void OpenFile();
    void DelFile();
    // Links the marked files to their kept copies: by sharing blocks, or
    // by hard links.
    void LinkMarked(bool sharedBlocks);
    struct ReviewTexts;
    // Confirms, then reviews the marked files of the list in front with
    // `action`, and tells what was done and what stayed.
    void reviewMarked(ReviewAction& action, const ReviewTexts& texts);
    void RenFile();
    void Preview();
    // Shows the picture of `path` in the preview box, sized to the box.
    void showPreview(const std::string& path);
    void ExportResults();
    void OpenResult();
    void showFirstTabWithRows();

    void tabMain_Click(int index);
    void lstResult_ColumnClick(int index, int column);
    void lstResult_MouseUp(int index, const QPoint& globalPos);
    void lstResult_Click(int index);
    void lstResult_DblClick(int index);
    void mnuFile_Popup();  // the entries' enabling, each time the menu opens
    void mnuDelete_Click();
    // The second question, about marked files of which no copy of their
    // bytes stays: true when there are none, or the user let them go.
    bool lastCopiesMayGo(const ResultList& list, bool& allowed);
    // List `list` changed (its rows, or only marks): the counts are told again.
    void countsMayHaveChanged(int list, bool rowsChanged);

    int CurTab = 0;  // the result list shown
    std::array<ResultList, kResultListCount> lists_;
    std::unique_ptr<platform::Trash> desktopTrash_;
    platform::Trash* trash_ = nullptr;
    std::vector<std::pair<QAction*, bool>> fileActionsBeforeSearch_;
    std::array<std::optional<ListStats>, kResultListCount> stats_;  // kept until the rows change
    bool countsPending_ = false;
    std::string previewPath_;     // the file the preview shows, if any
    QTimer previewAgain_;         // the box was resized: the picture is read again
    int exportFilter_ = 0;        // the export format chosen last
    bool listsComplete_ = true;   // false after a stopped search
    std::vector<SearchEntry> keepFolders_;  // the Keep rows of the path list
    std::vector<std::string> leftOut_;      // what the search of the lists left out

};

}  // namespace kormial
