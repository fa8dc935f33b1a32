// Shared pieces of the tests of reviewing results: a search over the
// temporary tree, picking rows as the user does, choosing File menu entries
// from the popped-up menu, file dates and snapshots of the tree.
#pragma once

#include "tests/gui/guitest.h"

#include "results/widgets/resultmodel.h"
#include "results/widgets/resultview.h"

#include <QAction>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>

#include <fcntl.h>
#include <sys/stat.h>

#include <ctime>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <map>
#include <string>
#include <vector>

namespace kormial::test {

class ReviewTest : public GuiTest {
protected:
    // Sets the last-write time of `rel` to the given day at noon, UTC.
    void setDate(const std::string& rel, int year, int month, int day) const
    {
        std::tm t{};
        t.tm_year = year - 1900;
        t.tm_mon = month - 1;
        t.tm_mday = day;
        t.tm_hour = 12;
        const std::time_t when = ::timegm(&t);
        const struct timespec times[2] = {{when, 0}, {when, 0}};
        ASSERT_EQ(::utimensat(AT_FDCWD, (tmp / rel).c_str(), times, 0), 0) << rel;
    }

    // Opens the window and searches the whole temporary tree with the search
    // types at the given positions (0 "Zero Size" ... 3 "Portions") ticked.
    frmMain& searchAll(std::initializer_list<int> types = {0, 1, 2})
    {
        frmMain& w = window ? *window : open();
        addFolder(tmp.path());
        for (int i = 0; i < w.lstSrchType->count(); ++i) {
            w.lstSrchType->item(i)->setCheckState(Qt::Unchecked);
        }
        for (int i : types) {
            w.lstSrchType->item(i)->setCheckState(Qt::Checked);
        }
        click(w.cmdSrch);
        return w;
    }

    // The position of the row of list `list` whose path is tmp/rel; -1 when
    // there is none.
    std::int64_t rowOf(int list, const std::string& rel) const
    {
        const ResultList& l = window->resultList(list);
        for (std::int64_t i = 0; i < l.count(); ++i) {
            const ResultRow& r = l.row(i);
            if (r.subItem(kColFolder) + r.text == tmp / rel) {
                return i;
            }
        }
        return -1;
    }

    // Shows tab `list` and clicks the row of tmp/rel.
    void clickRow(int list, const std::string& rel)
    {
        frmMain& w = *window;
        if (w.CurTab != list) {
            clickTab(w, list);
        }
        const std::int64_t row = rowOf(list, rel);
        ASSERT_GE(row, 0) << rel;
        ResultListView* view = w.lstResult[static_cast<std::size_t>(list)];
        clickItem(view, view->resultModel()->index(static_cast<int>(row), 0));
    }

    // Shows tab `list` with its rows in folder order, so that the members of
    // a group stand in folder order once a marking entry sorts by group.
    void showInFolderOrder(int list)
    {
        if (window->CurTab != list) {
            clickTab(*window, list);
        }
        clickHeader(window->lstResult[static_cast<std::size_t>(list)], kColFolder);
    }

    // Pops the File menu up with the Task button, as the user does.
    void popUpFileMenu()
    {
        click(window->cmdTask);
        ASSERT_TRUE(QTest::qWaitFor([&] { return window->mnuFile->isVisible(); }, 2000));
    }

    // Pops the File menu up and clicks `entry` in it.
    void choose(QAction* entry)
    {
        popUpFileMenu();
        ASSERT_TRUE(entry->isEnabled()) << entry->text().toStdString();
        QMenu* menu = window->mnuFile;
        QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(entry).center());
        EXPECT_TRUE(QTest::qWaitFor([&] { return !menu->isVisible(); }, 2000));
    }

    // The enabled File menu entries as the menu shows them when popped up.
    std::vector<std::string> enabledEntries()
    {
        std::vector<std::string> out;
        popUpFileMenu();
        for (const QAction* a : window->mnuFile->actions()) {
            if (!a->isSeparator() && a->isEnabled()) {
                out.push_back(a->objectName().toStdString());
            }
        }
        window->mnuFile->close();
        return out;
    }

    // The files of list `list` that are marked, as paths below tmp.
    std::vector<std::string> marked(int list) const
    {
        std::vector<std::string> out;
        for (const ResultRow& r : window->resultList(list).rows()) {
            if (r.checked) {
                out.push_back((r.subItem(kColFolder) + r.text).substr(tmp.path().size() + 1));
            }
        }
        return out;
    }

    // Every regular file below `folder`, by path below it, with its content.
    static std::map<std::string, std::string> snapshot(const std::string& folder)
    {
        namespace fs = std::filesystem;
        std::map<std::string, std::string> out;
        if (!fs::exists(folder)) {
            return out;
        }
        for (const auto& e : fs::recursive_directory_iterator(folder)) {
            if (e.symlink_status().type() == fs::file_type::regular) {
                std::ifstream in(e.path(), std::ios::binary);
                out[fs::relative(e.path(), folder).string()] =
                    std::string(std::istreambuf_iterator<char>(in), {});
            }
        }
        return out;
    }

    static std::string readFile(const std::string& path)
    {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
};

}  // namespace kormial::test
