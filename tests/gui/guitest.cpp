#include "tests/gui/guitest.h"

#include "mainwindow/folderlist.h"

#include <QApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTreeWidget>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>

namespace kormial::test {

namespace fs = std::filesystem;

gui::MsgAnswer FakeDialogs::msgBox(QWidget*, const QString& text, const QString& title,
                                   gui::MsgIcon icon, gui::MsgButtons buttons)
{
    shown.push_back({text, title, icon, buttons});
    if (onShow) {
        onShow(shown.back());
    }
    if (buttons != gui::MsgButtons::YesNo) {
        return gui::MsgAnswer::Ok;
    }
    if (answers.empty()) {
        return gui::MsgAnswer::Yes;
    }
    const gui::MsgAnswer a = answers.front();
    answers.pop_front();
    return a;
}

QString FakeDialogs::inputBox(QWidget*, const QString& prompt, const QString& title,
                              const QString& proposed)
{
    asked.push_back({prompt, title, proposed});
    if (inputs.empty()) {
        return onInput ? onInput(asked.back()) : QString();
    }
    QString s = inputs.front();
    inputs.pop_front();
    return s;
}

double FakeClock::now()
{
    const double v = t;
    t += step;
    if (onRead) {
        onRead();
    }
    return v;
}

std::vector<gui::Volume> FakeDrives::volumes(const std::string&)
{
    std::vector<gui::Volume> out;
    for (const auto& r : roots) {
        out.push_back({r, QString()});
    }
    return out;
}

std::string FakeDrives::volumeOf(const std::string& path)
{
    std::string best = "/";
    for (const auto& r : roots) {
        if ((path == r || path.rfind(r + "/", 0) == 0) && r.size() > best.size()) {
            best = r;
        }
    }
    return best;
}

TempTree::TempTree()
{
    const char* base = std::getenv("TMPDIR");
    std::string templ = std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/kormial-gui-XXXXXX";
    if (::mkdtemp(templ.data()) == nullptr) {
        throw std::runtime_error("mkdtemp failed");
    }
    path_ = fs::canonical(templ).string();
}

TempTree::~TempTree()
{
    std::error_code ec;
    fs::remove_all(path_, ec);
}

void TempTree::write(const std::string& rel, const std::string& content) const
{
    const fs::path p = fs::path(path_) / rel;
    fs::create_directories(p.parent_path());
    std::ofstream out(p, std::ios::binary);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
}

void TempTree::mkdir(const std::string& rel) const
{
    fs::create_directories(fs::path(path_) / rel);
}

std::string bytes(unsigned seed, std::size_t n)
{
    std::mt19937 gen(seed);
    std::string s(n, '\0');
    for (char& c : s) {
        c = static_cast<char>(gen() & 0xff);
    }
    return s;
}

void GuiTest::SetUp()
{
    gui::setDialogs(&dialogs);
    gui::setClock(&clock);
    gui::setDrives(&drives);
    gui::setShell(&shell);
}

void GuiTest::TearDown()
{
    window.reset();
    gui::setDialogs(nullptr);
    gui::setClock(nullptr);
    gui::setDrives(nullptr);
    gui::setShell(nullptr);
}

frmMain& GuiTest::open()
{
    window = std::make_unique<frmMain>();
    QObject::connect(window.get(), &frmMain::statusChanged,
                     [this](const QString& s) { statuses << s; });
    window->show();
    window->activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(window.get()));
    return *window;
}

void GuiTest::click(QWidget* w)
{
    QTest::mouseClick(w, Qt::LeftButton, {}, w->rect().center());
}

void GuiTest::clickAt(QWidget* w, QPoint pos)
{
    QTest::mouseClick(w, Qt::LeftButton, {}, pos);
}

void GuiTest::clickItem(QAbstractItemView* view, const QModelIndex& index)
{
    view->scrollTo(index);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(index).center());
}

void GuiTest::doubleClickItem(QAbstractItemView* view, const QModelIndex& index)
{
    view->scrollTo(index);
    const QPoint at = view->visualRect(index).center();
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, at);
}

void GuiTest::type(QWidget* w, const QString& text)
{
    QTest::keyClicks(w, text);
}

void GuiTest::retype(QWidget* box, const QString& text)
{
    click(box);
    QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(box, Qt::Key_Delete);
    QTest::keyClicks(box, text);
}

void GuiTest::clickTab(frmMain& w, int index)
{
    auto* bar = w.tabMain->findChild<QTabBar*>();
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(index).center());
}

void GuiTest::clickHeader(QAbstractItemView* view, int column)
{
    auto* tree = qobject_cast<QTreeView*>(view);
    QHeaderView* h = tree->header();
    const QPoint at(h->sectionViewportPosition(column) + h->sectionSize(column) / 2, h->height() / 2);
    QTest::mouseClick(h->viewport(), Qt::LeftButton, {}, at);
}

void GuiTest::addFolder(const std::string& folder, const QString& pattern)
{
    frmMain& w = *window;
    w.dirPath->setPath(folder);
    if (w.txtExt->text() != pattern) {
        retype(w.txtExt, pattern);
    }
    click(w.cmdAdd);
}

QList<QStringList> GuiTest::pathRows() const
{
    QList<QStringList> out;
    for (int i = 0; i < window->lstPath->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* item = window->lstPath->topLevelItem(i);
        out << QStringList{item->text(0), item->text(1), item->text(2), item->text(3)};
    }
    return out;
}

std::vector<std::vector<std::string>> GuiTest::rows(int list) const
{
    std::vector<std::vector<std::string>> out;
    const ResultList& l = window->resultList(list);
    for (const ResultRow& r : l.rows()) {
        std::vector<std::string> cells{r.text};
        cells.insert(cells.end(), r.subItems.begin(), r.subItems.end());
        out.push_back(cells);
    }
    return out;
}

QStringList GuiTest::messageTexts() const
{
    QStringList out;
    for (const auto& m : dialogs.shown) {
        out << m.text;
    }
    return out;
}

}  // namespace kormial::test
