// The search run: the Search/Cancel button, its checks, the locking of the
// setup panel, the timing and the status texts; the responsive wait and the
// flashing of a control.
#include "mainwindow/drivecombo.h"
#include "mainwindow/frmmain.h"
#include "mainwindow/searchcontroller.h"
#include "mainwindow/twips.h"
#include "platform/gui/clock.h"
#include "platform/gui/dialogs.h"

#include <QAction>
#include <QCheckBox>
#include <QCoreApplication>
#include <QMenu>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QTreeWidget>

#include <algorithm>
#include <cmath>

namespace kormial {

namespace {

const QString kSearchCaption = QStringLiteral("&Search");
const QString kCancelCaption = QStringLiteral("&Cancel");

}  // namespace

bool frmMain::searchRunning() const
{
    return searchState_ != SearchState::Idle;
}

void frmMain::cmdSrch_Click()
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
    if (searchState_ != SearchState::Idle) {
        // A second click while the search runs: a stop request, nothing more.
        setStatusText(QStringLiteral("Stopping ..."));
        searchState_ = SearchState::Stopping;
        search_->requestStop();
        return;
    }

    for (ResultList& list : lists_) {
        list.clear();
    }
    FileArray().swap(arrFiles);  // the last search's records go before the new ones come
    UpdateCount();
    setStatusText(QStringLiteral("Start ..."));
    lockForSearch(true);
    if (isNormalState()) {
        setOuterHeight(tw(8000));
    }
    searchFailures_.clear();
    searchStart_ = gui::clock().now();
    searchState_ = SearchState::Running;
    search_->start(searchRequest());
}

// The setup panel and everything that could change a list or a file wait
// while a search runs; the File menu's entries come back as they were.
void frmMain::lockForSearch(bool locked)
{
    cmdSrch->setText(locked ? kCancelCaption : kSearchCaption);
    frmSelectPath->setEnabled(!locked);
    cmdNewSrch->setEnabled(!locked);
    lstSrchType->setEnabled(!locked);
    chkTolerant->setEnabled(!locked);
    cmdTask->setEnabled(!locked);
    if (locked) {
        fileActionsBeforeSearch_.clear();
        for (QAction* a : mnuFile->actions()) {
            fileActionsBeforeSearch_.emplace_back(a, a->isEnabled());
            a->setEnabled(false);
        }
    } else {
        for (const auto& [a, enabled] : fileActionsBeforeSearch_) {
            a->setEnabled(enabled);
        }
        fileActionsBeforeSearch_.clear();
    }
}

void frmMain::searchEnded()
{
    SearchResults results = search_->takeResults();
    searchState_ = SearchState::Idle;
    pbMain->setValue(0);
    if (closing_) {
        // closed while it ran: the lists stay as they were at the start
        lockForSearch(false);
        return;
    }
    for (std::size_t i = 0; i < lists_.size(); ++i) {
        lists_[i].takeRows(std::move(results.lists[i]));
    }
    arrFiles = std::move(results.files);
    const auto seconds = static_cast<std::int64_t>(std::floor(std::max(0.0, gui::clock().now() - searchStart_)));
    setStatusText(QString::fromStdString(CompletionText(seconds, results.searched)));
    UpdateCount();
    lockForSearch(false);
    if (!searchFailures_.isEmpty()) {
        // one notice at the end, never a box that holds the search up
        constexpr int kShown = 5;
        QString text = QStringLiteral("Some files could not be read; they are listed on \"Report - read errors\".\n");
        for (const QString& failure : searchFailures_.mid(0, kShown)) {
            text += QStringLiteral("\n") + failure;
        }
        if (searchFailures_.size() > kShown) {
            text += QStringLiteral("\n... and %1 more.").arg(static_cast<int>(searchFailures_.size()) - kShown);
        }
        searchFailures_.clear();
        gui::MsgBox(this, text, gui::MsgIcon::Exclamation);
    }
}

bool frmMain::AtLeast1Chk(const QListWidget* obj)
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

void frmMain::FlashCtrl(QWidget* Ctrl)
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

void frmMain::Delay(double duration)
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

void frmMain::setStatusText(const QString& text)
{
    StatusPanel->setText(text);
    emit statusChanged(text);
}

ResultList& frmMain::resultList(int index)
{
    return lists_.at(static_cast<std::size_t>(index));
}

}  // namespace kormial
