// The search setup panel: its controls, building the list of search entries,
// the size boxes, the drive and folder lists, the criteria toggle, the checks
// before a search and the request the search reads.
#include "mainwindow/setuppanel.h"

#include "mainwindow/drivecombo.h"
#include "mainwindow/folderlist.h"
#include "mainwindow/pathentry.h"
#include "platform/gui/dialogs.h"
#include "platform/gui/drives.h"
#include "mainwindow/sizetext.h"

#include <QApplication>
#include <QCheckBox>
#include <QEvent>
#include <QFile>
#include <QFocusEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTreeWidget>

#include <algorithm>

namespace kormial {

namespace {

const QString kSearchCaption = QStringLiteral("&Search");
const QString kCancelCaption = QStringLiteral("&Cancel");

std::string toBytes(const QString& text)
{
    return QFile::encodeName(text).toStdString();
}

}  // namespace

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

void SetupPanel::openTypedFolder()
{
    const std::string folder = txtFolder->folder(dirPath->path());
    if (const auto error = gui::folderReadError(folder)) {
        gui::MsgBox(this, txtFolder->text() + QStringLiteral(":\n") + QString::fromLocal8Bit(error->c_str()),
                    gui::MsgIcon::Exclamation);
        txtFolder->setFocus();
        return;
    }
    dirPath->setPath(folder);
}

// The path entry and the drive list follow the folder list.
void SetupPanel::dirPath_Change()
{
    const std::string& folder = dirPath->path();
    txtFolder->showFolder(folder);
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
    for (const QString& pattern : txtExclude->text().split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        if (!pattern.trimmed().isEmpty()) {
            request.exclude.push_back(toBytes(pattern.trimmed()));
        }
    }
    return request;
}

// ---------------------------------------------------------------------------
// The Search button, the panel while a search runs, and the flash that points
// at a missing input

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
    endFlash();
    flashed_ = Ctrl;
    flashSteps_ = 0;
    if (auto* button = qobject_cast<QPushButton*>(Ctrl)) {
        flashCaption_ = button->text();
    } else {
        flashPalette_ = Ctrl->palette();
        flashFill_ = Ctrl->autoFillBackground();
    }
    flashStep();
    flashTimer_.start();
}

// Steps 0 and 2 show the flash, 1 and 3 the control as it was.
void SetupPanel::flashStep()
{
    if (flashed_.isNull() || flashSteps_ >= 4) {
        endFlash();
        return;
    }
    const bool on = flashSteps_++ % 2 == 0;
    if (auto* button = qobject_cast<QPushButton*>(flashed_.data())) {
        button->setText(on ? QString() : flashCaption_);
        return;
    }
    QPalette shown = flashPalette_;
    if (on) {
        for (const auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
            shown.setColor(group, QPalette::Base, desktopColour());
            shown.setColor(group, QPalette::Window, desktopColour());
        }
    }
    flashed_->setAutoFillBackground(on || flashFill_);
    flashed_->setPalette(shown);
}

void SetupPanel::endFlash()
{
    flashTimer_.stop();
    if (!flashed_.isNull()) {
        if (auto* button = qobject_cast<QPushButton*>(flashed_.data())) {
            button->setText(flashCaption_);
        } else {
            flashed_->setPalette(flashPalette_);
            flashed_->setAutoFillBackground(flashFill_);
        }
    }
    flashed_.clear();
}

QColor SetupPanel::desktopColour()
{
    return QApplication::palette().color(QPalette::Active, QPalette::Highlight);
}

}  // namespace kormial
