// The search setup panel: building the list of search entries, the size
// boxes, the drive and folder lists, the criteria toggle and New Search.
#include "mainwindow/drivecombo.h"
#include "mainwindow/folderlist.h"
#include "mainwindow/frmmain.h"
#include "platform/gui/dialogs.h"
#include "platform/gui/drives.h"
#include "search/sizetext.h"

#include <QCheckBox>
#include <QEvent>
#include <QFile>
#include <QFocusEvent>
#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTreeWidget>

namespace kormial {

namespace {

constexpr int kRowPathRole = Qt::UserRole;

std::string toBytes(const QString& text)
{
    return QFile::encodeName(text).toStdString();
}

}  // namespace

std::string frmMain::rowPath(const QTreeWidgetItem* item)
{
    return item->data(0, kRowPathRole).toByteArray().toStdString();
}

void frmMain::Init()
{
    lstPath->clear();
    for (int i = kListZeroSize; i <= kListPortions; ++i) {
        lists_[static_cast<std::size_t>(i)].clear();
    }
    if (isNormalState()) {
        resize(width(), compactHeight());
    }
    for (int i = 0; i < lstSrchType->count(); ++i) {
        lstSrchType->item(i)->setCheckState(Qt::Checked);
    }
    lstSrchType->item(static_cast<int>(SearchType::Portions))->setCheckState(Qt::Unchecked);
    txtMinSz->clear();
    txtMaxSz->clear();
    UpdateCount();
}

void frmMain::cmdNewSrch_Click()
{
    Init();
}

void frmMain::cmdAdd_Click()
{
    const QString ext = txtExt->text();
    if (ext.isEmpty()) {
        gui::MsgBox(this, QStringLiteral("Please input file type."), gui::MsgIcon::Exclamation);
        FlashCtrl(txtExt);
        txtExt->setFocus();
        return;
    }

    // A folder with the same pattern is listed once.
    const std::string folder = dirPath->path();
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

    const std::string text = !folder.empty() && folder.back() == '/' ? direct : joined;
    auto* item = new QTreeWidgetItem(QStringList{
        QString::fromUtf8(text), chkSubDir->isChecked() ? QStringLiteral("Yes") : QStringLiteral("No"),
        minText, maxText});
    item->setData(0, kRowPathRole, QByteArray::fromStdString(text));
    item->setToolTip(0, QString::fromUtf8(text));
    lstPath->addTopLevelItem(item);
}

void frmMain::cmdRemove_Click()
{
    const QList<QTreeWidgetItem*> selected = lstPath->selectedItems();
    if (!selected.isEmpty()) {
        delete selected.front();
    }
}

void frmMain::lstPath_DblClick()
{
    cmdRemove_Click();
}

void frmMain::cmdCriteria_Click()
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
void frmMain::drvPath_Change()
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
void frmMain::dirPath_Change()
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

bool frmMain::eventFilter(QObject* watched, QEvent* event)
{
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
    return QMainWindow::eventFilter(watched, event);
}

void frmMain::txtSize_LostFocus(QLineEdit* box)
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

void frmMain::refocus(QLineEdit* box)
{
    refocusing_ = true;
    box->setFocus(Qt::OtherFocusReason);
    refocusing_ = false;
}

// ---------------------------------------------------------------------------
// The request as the search reads it.

SearchRequest frmMain::searchRequest() const
{
    SearchRequest request;
    for (int i = 0; i < lstPath->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* item = lstPath->topLevelItem(i);
        const std::string path = rowPath(item);
        const auto slash = path.rfind('/');
        request.entries.push_back({path.substr(0, slash + 1), path.substr(slash + 1), item->text(1) == QStringLiteral("Yes")});
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

}  // namespace kormial
