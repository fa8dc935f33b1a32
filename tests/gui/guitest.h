// Shared pieces of the window tests: answered dialogs, a clock the test
// drives, a drive list of temporary folders, real files in a temporary tree,
// and the user's hands (clicks, double-clicks, typing).
#pragma once

#include "mainwindow/frmmain.h"
#include "platform/gui/clock.h"
#include "platform/gui/dialogs.h"
#include "platform/gui/drives.h"
#include "platform/gui/shell.h"
#include "results/widgets/resultview.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QPoint>
#include <QString>
#include <QStringList>

#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QAbstractItemView;
class QTreeWidgetItem;
class QWidget;

namespace kormial::test {

struct ShownMessage {
    QString text;
    QString title;
    gui::MsgIcon icon;
    gui::MsgButtons buttons;
};

struct AskedInput {
    QString prompt;
    QString title;
    QString proposed;
};

class FakeDialogs final : public gui::Dialogs {
public:
    gui::MsgAnswer msgBox(QWidget* owner, const QString& text, const QString& title,
                          gui::MsgIcon icon, gui::MsgButtons buttons) override;
    QString inputBox(QWidget* owner, const QString& prompt, const QString& title,
                     const QString& proposed) override;

    std::vector<ShownMessage> shown;
    std::function<void(const ShownMessage&)> onShow;  // runs while the box is "open"
    // Answers to Yes/No questions, in turn; Yes when none is left.
    std::deque<gui::MsgAnswer> answers;
    // Texts the input box returns, in turn; when none is left, `onInput`
    // answers (the empty text, as a cancel, when there is none).
    std::deque<QString> inputs;
    std::function<QString(const AskedInput&)> onInput;
    std::vector<AskedInput> asked;
};

// Time moves by `step` at every reading and by the full amount of every idle
// wait; `onRead` runs after each reading.
class FakeClock final : public gui::Clock {
public:
    double now() override;
    void idle(double seconds) override { t += seconds; }

    double t = 5000.0;
    double step = 0.025;
    std::function<void()> onRead;
};

// Keeps what the window hands to the desktop, so that no test opens a file
// in another program.
class FakeShell final : public gui::Shell {
public:
    void openUrl(const QUrl& url, QWidget* owner) override { opened.push_back({url, owner}); }
    std::vector<std::pair<QUrl, QWidget*>> opened;
};

// Volumes are folders chosen by the test; a path belongs to the listed root
// that is its longest prefix, else to "/".
class FakeDrives final : public gui::DriveList {
public:
    std::vector<gui::Volume> volumes(const std::string& currentFolder) override;
    std::string volumeOf(const std::string& path) override;

    std::vector<std::string> roots{"/"};
};

class TempTree {
public:
    TempTree();
    ~TempTree();
    TempTree(const TempTree&) = delete;
    TempTree& operator=(const TempTree&) = delete;

    // The folder, without a trailing "/".
    const std::string& path() const { return path_; }
    std::string operator/(const std::string& rel) const { return path_ + "/" + rel; }
    // Writes `content` to `rel`, creating the folders on the way.
    void write(const std::string& rel, const std::string& content) const;
    void mkdir(const std::string& rel) const;

private:
    std::string path_;
};

// Deterministic pseudo-random bytes.
std::string bytes(unsigned seed, std::size_t n);

class GuiTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Opens the main window, shown and active.
    frmMain& open();

    // The user's hands.
    static void click(QWidget* w);
    static void clickAt(QWidget* w, QPoint pos);
    static void doubleClickItem(QAbstractItemView* view, const QModelIndex& index);
    static void clickItem(QAbstractItemView* view, const QModelIndex& index);
    static void type(QWidget* w, const QString& text);
    // Selects everything in a text box and types over it.
    static void retype(QWidget* box, const QString& text);
    static void clickTab(frmMain& w, int index);
    static void clickHeader(QAbstractItemView* view, int column);

    // Opens `folder` in the folder list and adds it with `pattern`.
    void addFolder(const std::string& folder, const QString& pattern = QStringLiteral("*.*"));
    // The rows of the path list: text and its three cells.
    QList<QStringList> pathRows() const;
    // Cells of a result list: row text and its sub-items, by row.
    std::vector<std::vector<std::string>> rows(int list) const;
    // Every text the status panel showed, in order.
    QStringList statuses;
    // Message texts shown so far.
    QStringList messageTexts() const;

    FakeDialogs dialogs;
    FakeClock clock;
    FakeDrives drives;
    FakeShell shell;
    TempTree tmp;
    std::unique_ptr<frmMain> window;
};

}  // namespace kormial::test
