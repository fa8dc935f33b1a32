// The search setup panel, the frame "Select one or more path:" across the top
// of the window: the drive and folder lists, the pattern and sub-folder box,
// [>] and [<] with the path list, the size criteria, the search types, the
// tolerance box and the Search / New Search buttons. It builds the request the
// search reads, refuses one it cannot run, and is locked while a search runs.
#pragma once

#include "mainwindow/framebox.h"
#include "search/searchrequest.h"

#include <QIcon>
#include <QPalette>
#include <QPointer>
#include <QTimer>

#include <map>
#include <string>

class QCheckBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QSplitter;
class QTreeWidget;
class QTreeWidgetItem;

namespace kormial {

class DriveCombo;
class FolderList;
class PathEntry;

class SetupPanel final : public FrameBox {
    Q_OBJECT
public:
    explicit SetupPanel(QWidget* parent);

    // --- Controls, by name -------------------------------------------------
    QWidget* frmSelectPath = nullptr;
    DriveCombo* drvPath = nullptr;
    QPushButton* cmdNetwork = nullptr;
    PathEntry* txtFolder = nullptr;  // a folder typed or pasted; Enter opens it
    FolderList* dirPath = nullptr;
    QLabel* lblExt = nullptr;
    QLineEdit* txtExt = nullptr;
    QCheckBox* chkSubDir = nullptr;
    // Names and paths every folder's walk leaves out, separated by ";".
    QLabel* lblExclude = nullptr;
    QLineEdit* txtExclude = nullptr;
    QPushButton* cmdAdd = nullptr;
    QPushButton* cmdRemove = nullptr;
    QPushButton* cmdCriteria = nullptr;
    QTreeWidget* lstPath = nullptr;
    QSplitter* splitFolders = nullptr;  // the folder side | the path list
    QGroupBox* FrmMoreCriteria = nullptr;
    QLabel* lblMinSz = nullptr;
    QLineEdit* txtMinSz = nullptr;
    QLabel* lblMinKB = nullptr;
    QLabel* lblMaxSz = nullptr;
    QLineEdit* txtMaxSz = nullptr;
    QLabel* lblMaxKB = nullptr;

    QWidget* fraSrch = nullptr;
    QPushButton* cmdSrch = nullptr;
    QPushButton* cmdNewSrch = nullptr;
    QLabel* lblSrchType = nullptr;
    QListWidget* lstSrchType = nullptr;
    QCheckBox* chkTolerant = nullptr;

    // The path-list column of the Keep boxes: the files found under a row
    // ticked there are reference copies, never marked.
    static constexpr int kKeepColumn = 4;

    // A fresh panel: no paths, every search type but "Portions", no sizes.
    void Init();
    // Adds `folder` to the path list as [>] does, with the pattern, the
    // sub-folder box and the size boxes as they stand.
    void addFolder(const std::string& folder);
    // Appends a path-list row for `text` ("folder/pattern").
    void addPathRow(const std::string& text, bool subFolders, const QString& minText, const QString& maxText,
                    bool keep);
    // The "folder/pattern" bytes of a path-list row.
    static std::string rowPath(const QTreeWidgetItem* item);
    // The request the panel describes.
    SearchRequest searchRequest() const;
    // Search becomes Cancel and everything else waits while a search runs.
    void lock(bool locked);
    // Opens the folder typed in the path entry in the folder list; a
    // message tells why when it cannot be listed.
    void openTypedFolder();
    // The window is closing (or shown again): the size boxes are no longer
    // checked.
    void windowClosing(bool closing) { closing_ = closing; }

signals:
    // Search pressed with a request that can run (or Cancel pressed).
    void searchClicked();
    void newSearchClicked();
    // A path-list row came or went, or its Keep box was ticked or unticked.
    void keepChanged();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* buildFolderSide();
    QWidget* buildPathSide();
    void buildCriteria();
    void buildSearchFrame();
    // Folders dragged from a file manager onto the path list; true when
    // `event` was one of that drag's.
    bool pathListDrop(QEvent* event);

    void cmdSrch_Click();
    void cmdAdd_Click();
    void cmdRemove_Click();
    void lstPath_DblClick();
    void drvPath_Change();
    void dirPath_Change();
    void cmdCriteria_Click();
    void cmdNewSrch_Click();
    void txtSize_LostFocus(QLineEdit* box);
    void refocus(QLineEdit* box);

    static bool AtLeast1Chk(const QListWidget* obj);
    // Blinks a control twice, half a second on and off, on a timer: a
    // button loses its caption, anything else takes the desktop's accent
    // colour.
    void FlashCtrl(QWidget* Ctrl);
    void flashStep();
    void endFlash();
    static QColor desktopColour();

    std::map<std::string, std::string> driveFolders_;  // last folder per volume
    QIcon imgMore;
    QIcon imgLess;
    bool closing_ = false;
    bool refocusing_ = false;
    // The control blinking now and what it looked like before.
    QTimer flashTimer_;
    QPointer<QWidget> flashed_;
    int flashSteps_ = 0;
    QString flashCaption_;
    QPalette flashPalette_;
    bool flashFill_ = false;
};

}  // namespace kormial
