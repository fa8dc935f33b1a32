// Deleting the marked files of the list in front to the trash, or linking
// them to their kept copies, through the review that kormial-cli runs too,
// and the Keep folders applied to the lists shown.
#include "mainwindow/resultpane.h"

#include "mainwindow/qtext.h"
#include "platform/gui/dialogs.h"
#include "platform/reviewlock.h"
#include "platform/trash.h"
#include "results/fileops.h"
#include "results/keep.h"
#include "results/linking.h"
#include "results/liststats.h"
#include "results/review.h"

#include <QFile>
#include <QLocale>

#include <optional>

namespace kormial {

namespace {

// The review lock, waited for with a message while another review holds
// it; nothing when the user stopped waiting or it cannot be taken. `work`
// names what waits: "The deletion".
std::optional<platform::ReviewLock> takeReviewLock(QWidget* owner, const QString& work)
{
    platform::Error e;
    std::optional<platform::ReviewLock> lock = platform::ReviewLock::tryTake(&e);
    if (!lock && platform::heldElsewhere(e)) {
        const QString text = QStringLiteral("Another review (another Kormial window or kormial-cli) is moving "
                                            "files. %1 begins as soon as it has ended.")
                                 .arg(work);
        gui::dialogs().waitFor(owner, text, [&] {
            lock = platform::ReviewLock::tryTake(&e);
            return lock.has_value() || !platform::heldElsewhere(e);
        });
        if (!lock && platform::heldElsewhere(e)) {
            return std::nullopt;  // the user stopped waiting
        }
    }
    if (!lock) {
        gui::MsgBox(owner, QStringLiteral("Nothing was changed: the review lock %1 cannot be taken (%2).")
                               .arg(fromBytes(platform::reviewLockPath()), fromText(e.describe())),
                    gui::MsgIcon::Exclamation);
    }
    return lock;
}

}  // namespace

// What the window says around one kind of review.
struct ResultPane::ReviewTexts {
    QString markFirst;  // nothing is marked
    QString confirm;    // the question; %1 the files, %2 their bytes
    QString waiting;    // what waits for the review lock: "The deletion"
    QString stayed;     // the heading of the box that names the files that stayed
};

void ResultPane::mnuDelete_Click()
{
    DelFile();
    UpdateCount();
}

void ResultPane::setTrash(platform::Trash* trash)
{
    trash_ = trash != nullptr ? trash : desktopTrash_.get();
}

void ResultPane::setKeepFolders(const std::vector<SearchEntry>& entries)
{
    keepFolders_ = entries;
    ApplyKeep(lists_.data(), keepFolders_);
}

bool ResultPane::lastCopiesMayGo(const ResultList& list, bool& allowed)
{
    const LastCopies last = FindLastCopies(list, CurTab);
    allowed = false;
    if (last.count == 0) {
        return true;
    }
    QString text = QStringLiteral("For %1 marked file(s), %2:").arg(last.count).arg(fromText(kNoCopyStays));
    for (const std::string& path : last.first) {
        text += QLatin1Char('\n') + fromBytes(path);
    }
    if (last.count > static_cast<std::int64_t>(last.first.size())) {
        text += QStringLiteral("\n...");
    }
    text += QStringLiteral("\n\nMove them to the trash all the same?");
    allowed = gui::MsgBox(this, text, gui::MsgIcon::Exclamation, QString(), gui::MsgButtons::YesNoDefaultNo) ==
              gui::MsgAnswer::Yes;
    return allowed;
}

void ResultPane::DelFile()
{
    TrashAction action(*trash_);
    reviewMarked(action, {fromText(kMsgMarkFirst),
                          fromText(kMsgConfirmDelete) + QStringLiteral("\n\n%1 file(s), %2 bytes, go to the trash."),
                          QStringLiteral("The deletion"), fromText(kMsgNotDeleted)});
}

void ResultPane::LinkMarked(bool sharedBlocks)
{
    const QString markFirst = QStringLiteral("Please mark the files to link first.");
    if (sharedBlocks) {
        SharedBlocksAction action;
        reviewMarked(action, {markFirst,
                              QStringLiteral("Share the blocks of %1 marked file(s), %2 bytes, with their kept "
                                             "copies?\n\nEach file keeps its own name, permissions and times; the "
                                             "file system compares the bytes and shares only equal ones. Where it "
                                             "cannot share blocks, files are skipped."),
                              QStringLiteral("The sharing of blocks"),
                              QStringLiteral("These files do not share blocks with a kept copy:")});
        return;
    }
    HardLinkAction action;
    reviewMarked(action, {markFirst,
                          QStringLiteral("Replace %1 marked file(s), %2 bytes, with hard links to their kept "
                                         "copies?\n\nEvery path stays, but linked files share one content and one "
                                         "set of permissions and times from now on: editing one edits all."),
                          QStringLiteral("The linking"), QStringLiteral("These files were not linked:")});
}

// The confirmation names what the review acts on; marked files of which no
// copy of their bytes would stay are asked about once more, with No as the
// default answer (a link needs the copy: they stay). Each file is checked
// again as its turn comes; the status bar tells what was done and what
// stayed, and what stayed is told in one box.
void ResultPane::reviewMarked(ReviewAction& action, const ReviewTexts& texts)
{
    ResultList& list = lists_.at(static_cast<std::size_t>(CurTab));
    if (list.count() == 0) {
        return;
    }
    const MarkedTotal total = CountMarked(list);
    if (total.files == 0) {
        gui::MsgBox(this, texts.markFirst, gui::MsgIcon::Exclamation);
        return;
    }
    const QString confirm = texts.confirm.arg(total.files).arg(QLocale().toString(static_cast<qlonglong>(total.bytes)));
    bool allowLastCopies = false;
    if (gui::MsgBox(this, confirm, gui::MsgIcon::Question, QString(), gui::MsgButtons::YesNo) != gui::MsgAnswer::Yes ||
        (!action.needsKeptCopy() && !lastCopiesMayGo(list, allowLastCopies))) {
        return;
    }
    const std::optional<platform::ReviewLock> lock = takeReviewLock(this, texts.waiting);
    if (!lock) {
        return;
    }
    ReviewOptions options;
    options.allowLastCopies = allowLastCopies;
    constexpr int kShown = 20;
    std::string summary;
    int stayed = 0;
    options.report = [&](const ReviewedFile& f) {
        if (!f.note.empty() && ++stayed <= kShown) {
            summary += "\n" + f.path + ": " + f.note;
        }
    };
    const ReviewTotals totals = ReviewMarked(*lock, lists_.data(), CurTab, action, options);
    UpdateCount();
    emit statusText(fromText(TotalsText(totals, action, false, PeopleSize)));
    if (stayed > 0) {
        // The text names files, whose names are bytes.
        QString text = texts.stayed + fromBytes(summary);
        if (stayed > kShown) {
            text += QStringLiteral("\n... (%1 in all)").arg(stayed);
        }
        gui::MsgBox(this, text, gui::MsgIcon::Exclamation);
    }
}

}  // namespace kormial
