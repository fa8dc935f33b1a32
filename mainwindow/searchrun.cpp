// The search run: the Search/Cancel button, its checks, the locking of the
// setup panel, the timing and the status texts; the responsive wait and the
// flashing of a control; the window's side of the search.
#include "mainwindow/drivecombo.h"
#include "mainwindow/frmmain.h"
#include "mainwindow/twips.h"
#include "platform/gui/clock.h"
#include "platform/gui/dialogs.h"

#include <QCoreApplication>
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

// Events are handled at most this often while a search runs (seconds).
constexpr double kYieldPace = 0.02;

// Thrown out of a yield when the window closed during a search: it unwinds the
// search back to the click handler that started it.
struct SearchAbandoned {};

}  // namespace

bool frmMain::searchRunning() const
{
    return cmdSrch->text() != kSearchCaption;
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
    if (cmdSrch->text() != kSearchCaption) {
        // A second click while the search runs: a stop request, nothing more.
        setStatusText(QStringLiteral("Stopping ..."));
        isStopSrch = true;
        return;
    }

    isStopSrch = false;
    for (ResultList& list : lists_) {
        list.clear();
    }
    UpdateCount();
    setStatusText(QStringLiteral("Start ..."));
    cmdSrch->setText(kCancelCaption);
    frmSelectPath->setEnabled(false);
    cmdNewSrch->setEnabled(false);
    lstSrchType->setEnabled(false);
    if (isNormalState()) {
        setOuterHeight(tw(8000));
    }

    gui::Clock& clock = gui::clock();
    const double start = clock.now();
    lastYield_ = -1;
    std::int64_t files = 0;
    bool abandoned = false;
    try {
        files = ExecSrch(*this);
    } catch (const SearchAbandoned&) {
        abandoned = true;
    }
    if (!abandoned) {
        pbMain->setValue(0);
        const auto seconds = static_cast<std::int64_t>(std::floor(std::max(0.0, clock.now() - start)));
        setStatusText(QString::fromStdString(CompletionText(seconds, files)));
        OrderResultsAfterSearch(lists_.data());
        UpdateCount();
    }
    cmdSrch->setText(kSearchCaption);
    frmSelectPath->setEnabled(true);
    cmdNewSrch->setEnabled(true);
    lstSrchType->setEnabled(true);
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

// ---------------------------------------------------------------------------
// The window's side of the search.

void frmMain::setStatusText(const QString& text)
{
    StatusPanel->setText(text);
    emit statusChanged(text);
}

void frmMain::setStatus(const std::string& text)
{
    setStatusText(QString::fromStdString(text));
}

bool frmMain::stopRequested()
{
    return isStopSrch;
}

void frmMain::setProgress(double percent)
{
    pbMain->setValue(std::clamp(static_cast<int>(std::nearbyint(percent)), 0, 100));
}

// Handles the window's events, at most every 20 ms, so that yielding after
// every file costs one clock read.
void frmMain::yield()
{
    const double now = gui::clock().now();
    if (lastYield_ < 0 || now - lastYield_ >= kYieldPace || now < lastYield_) {
        lastYield_ = now;
        QCoreApplication::processEvents();
    }
    if (closing_) {
        throw SearchAbandoned{};
    }
}

void frmMain::reportFailure(const std::string& text)
{
    gui::MsgBox(this, QString::fromStdString(text), gui::MsgIcon::Critical);
}

ResultList& frmMain::resultList(int index)
{
    return lists_.at(static_cast<std::size_t>(index));
}

}  // namespace kormial
