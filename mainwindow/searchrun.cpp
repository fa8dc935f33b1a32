// The search run: starting and stopping it, the locking of the window while it
// runs, the timing and the status texts, and the results when it ends.
#include "mainwindow/frmmain.h"
#include "mainwindow/searchcontroller.h"
#include "platform/gui/clock.h"
#include "platform/gui/dialogs.h"
#include "search/searchfolders.h"

#include <QLabel>
#include <QProgressBar>

#include <algorithm>
#include <cmath>

namespace kormial {

namespace {

// The folders that cannot be searched are named in one box before the search
// starts: the user searches the others (they are left out of `request`,
// `rows` keeps the path-list row of each entry left) or goes back (false).
bool leaveOutUnreachable(QWidget* owner, SearchRequest& request, std::vector<qint64>& rows)
{
    const std::vector<UnreachableFolder> unreachable = UnreachableFolders(request);
    if (unreachable.empty()) {
        return true;
    }
    QString text = QStringLiteral("These folders cannot be searched:\n");
    for (const UnreachableFolder& u : unreachable) {
        text += QStringLiteral("\n") + QString::fromStdString(u.folder + ": " + u.error.describe());
    }
    if (unreachable.size() == request.entries.size()) {
        gui::MsgBox(owner, text, gui::MsgIcon::Exclamation);
        return false;
    }
    text += QStringLiteral("\n\nSearch the other folders?");
    if (gui::MsgBox(owner, text, gui::MsgIcon::Exclamation, QString(), gui::MsgButtons::YesNo) != gui::MsgAnswer::Yes) {
        return false;
    }
    std::vector<SearchEntry> left;
    for (std::size_t i = 0, u = 0; i < request.entries.size(); ++i) {
        if (u < unreachable.size() && unreachable[u].entry == i) {
            ++u;
        } else {
            left.push_back(std::move(request.entries[i]));
            rows.push_back(static_cast<qint64>(i));
        }
    }
    request.entries = std::move(left);
    return true;
}

}  // namespace

bool frmMain::searchRunning() const
{
    return searchState_ != SearchState::Idle;
}

// Search pressed with a request that can run, or Cancel pressed.
void frmMain::startOrStopSearch()
{
    if (searchState_ != SearchState::Idle) {
        // A second click while the search runs: a stop request, nothing more.
        setStatusText(QStringLiteral("Stopping ..."));
        searchState_ = SearchState::Stopping;
        search_->requestStop();
        return;
    }
    SearchRequest request = setup->searchRequest();
    std::vector<qint64> rows;
    if (!leaveOutUnreachable(this, request, rows)) {
        return;
    }

    for (int i = 0; i < kResultListCount; ++i) {
        results->resultList(i).clear();
    }
    FileArray().swap(arrFiles);  // the last search's records go before the new ones come
    results->UpdateCount();
    results->setLeftOut(request.exclude);
    counts_.clear();
    setStatusText(QStringLiteral("Start ..."));
    lockForSearch(true);
    searchFailures_.clear();
    searchStart_ = gui::clock().now();
    searchState_ = SearchState::Running;
    search_->start(std::move(request), std::move(rows));
}

// The setup panel and everything that could change a list or a file wait
// while a search runs; the File menu's entries come back as they were.
void frmMain::lockForSearch(bool locked)
{
    setup->lock(locked);
    results->lock(locked);
}

void frmMain::searchEnded()
{
    SearchResults found = search_->takeResults();
    searchState_ = SearchState::Idle;
    counts_.clear();
    pbMain->setValue(0);
    if (closing_) {
        // closed while it ran: the lists stay as they were at the start
        lockForSearch(false);
        return;
    }
    for (int i = 0; i < kResultListCount; ++i) {
        results->resultList(i).takeRows(std::move(found.lists[static_cast<std::size_t>(i)]));
    }
    arrFiles = std::move(found.files);
    const auto seconds = static_cast<std::int64_t>(std::floor(std::max(0.0, gui::clock().now() - searchStart_)));
    setStatusText(QString::fromStdString(CompletionText(seconds, found.searched)));
    results->UpdateCount();
    results->searchEnded(!found.stopped);
    lockForSearch(false);
    if (!searchFailures_.isEmpty()) {
        // one notice at the end, never a box that holds the search up
        constexpr int kShown = 5;
        QString text = QStringLiteral(
            "Some files or folders could not be read; they are listed on \"Report - read errors\".\n");
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

void frmMain::setStatusText(const QString& text)
{
    statusText_ = text;
    StatusPanel->setText(counts_.isEmpty() ? text : text + QStringLiteral("  ") + counts_);
    emit statusChanged(text);
}

void frmMain::showCounts(const QString& counts)
{
    if (searchState_ != SearchState::Idle) {
        counts_ = counts;
        StatusPanel->setText(statusText_ + QStringLiteral("  ") + counts_);
    }
}

}  // namespace kormial
