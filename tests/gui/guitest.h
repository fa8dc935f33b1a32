// Shared pieces of the window tests: answered dialogs, a clock the test
// drives, a shell that opens nothing, real files in a temporary folder, and
// the user's hands on the window.
#pragma once

#include "mainwindow/folderlist.h"
#include "mainwindow/frmmain.h"
#include "platform/gui/clock.h"
#include "platform/gui/dialogs.h"
#include "platform/gui/shell.h"
#include "results/widgets/resultmodel.h"
#include "results/widgets/resultview.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QTimer>
#include <QMenu>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>

// Failure messages show texts as text.
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

namespace kormial::test {

// Records every message; Yes/No questions take `answers` in turn (Yes when
// none is left), the input box `inputs` in turn (a cancel when none is left).
class FakeDialogs final : public gui::Dialogs {
public:
    gui::MsgAnswer msgBox(QWidget*, const QString& text, const QString& title, gui::MsgIcon,
                          gui::MsgButtons buttons) override
    {
        texts << text;
        titles << title;
        if (buttons != gui::MsgButtons::YesNo) {
            return gui::MsgAnswer::Ok;
        }
        return answers.isEmpty() ? gui::MsgAnswer::Yes : answers.takeFirst();
    }
    QString inputBox(QWidget*, const QString&, const QString&, const QString&) override
    {
        return inputs.empty() ? QString() : inputs.takeFirst();
    }
    gui::FileChoice saveFileName(QWidget*, const QString&, const QString&, const QStringList&,
                                 int selected) override
    {
        offeredFilter = selected;
        return saveAs;
    }
    QString openFileName(QWidget*, const QString&, const QString&, const QString&) override { return openPath; }
    // Waiting records its text, lets `whileWaiting` act, then asks once.
    bool waitFor(QWidget*, const QString& text, const std::function<bool()>& ready) override
    {
        texts << text;
        if (whileWaiting) {
            whileWaiting();
        }
        return ready();
    }
    std::function<void()> whileWaiting;
    gui::FileChoice saveAs;  // the file the save dialog answers, and its filter
    int offeredFilter = -1;  // the filter the save dialog offered first
    QString openPath;
    QStringList texts, titles, inputs;
    QList<gui::MsgAnswer> answers;
};

// Time moves 25 ms at every reading.
class FakeClock final : public gui::Clock {
public:
    double now() override { return t += 0.025; }
    double t = 5000;
};

class FakeShell final : public gui::Shell {
public:
    bool openUrl(const QUrl& url, QWidget*) override
    {
        opened << url.toLocalFile().toStdString();
        return opens;
    }
    QList<std::string> opened;
    bool opens = true;  // false: no program is registered for anything
};

using Snapshot = std::map<std::string, std::string>;

class GuiTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        gui::installServices({.clock = &clock, .dialogs = &dialogs, .shell = &shell});
    }
    void TearDown() override
    {
        window.reset();
        gui::installServices({});
    }

    std::string at(const std::string& rel) const { return root + "/" + rel; }
    void write(const std::string& rel, const std::string& content) const
    {
        std::filesystem::create_directories(std::filesystem::path(at(rel)).parent_path());
        std::ofstream(at(rel), std::ios::binary) << content;
    }
    static std::string bytes(unsigned seed, std::size_t n)
    {
        std::mt19937 gen(seed);
        std::string s(n, '\0');
        std::generate(s.begin(), s.end(), [&] { return static_cast<char>(gen()); });
        return s;
    }
    // Every regular file below `folder`, by path below it, with its content.
    static Snapshot snapshot(const std::string& folder)
    {
        Snapshot out;
        for (const auto& e : std::filesystem::recursive_directory_iterator(folder)) {
            if (e.is_regular_file()) {
                std::ifstream in(e.path(), std::ios::binary);
                out[std::filesystem::relative(e.path(), folder).string()] = {std::istreambuf_iterator<char>(in), {}};
            }
        }
        return out;
    }

    frmMain& open()
    {
        window = std::make_unique<frmMain>();
        QObject::connect(window.get(), &frmMain::statusChanged, [this](const QString& s) { statuses << s; });
        window->show();
        window->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(window.get()));
        return *window;
    }
    static void click(QWidget* w) { QTest::mouseClick(w, Qt::LeftButton, {}, w->rect().center()); }
    static void retype(QWidget* box, const QString& text)
    {
        click(box);
        QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(box, Qt::Key_Delete);
        QTest::keyClicks(box, text);
    }
    void clickTab(int index)
    {
        auto* bar = window->results->tabMain->findChild<QTabBar*>();
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(index).center());
    }
    void addFolder(const std::string& folder, const QString& pattern = QStringLiteral("*.*"))
    {
        window->setup->dirPath->setPath(folder);
        if (window->setup->txtExt->text() != pattern) {
            retype(window->setup->txtExt, pattern);
        }
        click(window->setup->cmdAdd);
    }
    // Searches the whole temporary folder with the search types at the given
    // positions (0 "Zero Size" ... 3 "Portions") ticked.
    frmMain& search(std::initializer_list<int> types = {0, 1, 2})
    {
        frmMain& w = window ? *window : open();
        addFolder(root);
        for (int i = 0; i < w.setup->lstSrchType->count(); ++i) {
            const bool on = std::find(types.begin(), types.end(), i) != types.end();
            w.setup->lstSrchType->item(i)->setCheckState(on ? Qt::Checked : Qt::Unchecked);
        }
        click(w.setup->cmdSrch);
        waitForSearch();
        return w;
    }
    // Waits until the search started last has ended.
    void waitForSearch() const
    {
        EXPECT_TRUE(QTest::qWaitFor([&] { return !window->searchRunning(); }, 60000));
    }

    // The row of list `list` for the file `rel`; -1 when there is none.
    int rowOf(int list, const std::string& rel) const
    {
        const auto& rows = window->results->resultList(list).rows();
        for (std::size_t i = 0; i < rows.size(); ++i) {
            if (rows[i].path() == at(rel)) {
                return static_cast<int>(i);
            }
        }
        return -1;
    }
    // Shows tab `list` and clicks (or double-clicks) the row of `rel`.
    void clickRow(int list, const std::string& rel, bool twice = false)
    {
        clickTab(list);
        ResultListView* view = window->results->lstResult[static_cast<std::size_t>(list)];
        const int row = rowOf(list, rel);
        ASSERT_GE(row, 0) << rel;
        const QModelIndex index = view->resultModel()->index(row, 0);
        view->scrollTo(index);
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(index).center());
        if (twice) {
            QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(index).center());
        }
    }
    // The marked files of list `list`, sorted.
    std::vector<std::string> marked(int list) const
    {
        std::vector<std::string> out;
        for (const ResultRow& r : window->results->resultList(list).rows()) {
            if (r.checked) {
                out.push_back(r.path().substr(root.size() + 1));
            }
        }
        std::sort(out.begin(), out.end());
        return out;
    }
    // Pops the File menu up with the Task button, as the user does.
    void popUpFileMenu()
    {
        click(window->results->cmdTask);
        ASSERT_TRUE(QTest::qWaitFor([&] { return window->results->mnuFile->isVisible(); }, 2000));
    }
    // Pops the File menu up and clicks `entry` in it.
    void choose(QAction* entry)
    {
        popUpFileMenu();
        ASSERT_TRUE(entry->isEnabled()) << entry->text().toStdString();
        QMenu* menu = window->results->mnuFile;
        QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(entry).center());
        EXPECT_TRUE(QTest::qWaitFor([&] { return !menu->isVisible(); }, 2000));
    }

    FakeDialogs dialogs;
    FakeClock clock;
    FakeShell shell;
    QTemporaryDir dir;
    const std::string root = std::filesystem::canonical(dir.path().toStdString()).string();
    QStringList statuses;  // every text the status panel showed
    std::unique_ptr<frmMain> window;
};

}  // namespace kormial::test
