// The result tabs and lists: switching, sorting by a header, the columns, the
// check boxes, and the table model that shows a result list.
#include "tests/gui/guitest.h"

#include "results/resultrows.h"
#include "results/widgets/resultmodel.h"
#include "results/widgets/resultview.h"

#include <QHeaderView>
#include <QPushButton>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QTabWidget>
#include <QTest>

#include <algorithm>
#include <cctype>

namespace kormial::test {

namespace {

using GuiResultTabs = GuiTest;

void makeTree(const TempTree& t)
{
    // Three pairs of copies, of sizes that sort differently as text and as numbers.
    t.write("a/Zeta.bin", bytes(1, 900));
    t.write("b/zeta.bin", bytes(1, 900));
    t.write("a/alpha.bin", bytes(2, 10000));
    t.write("b/Alpha.bin", bytes(2, 10000));
    t.write("a/mid.bin", bytes(3, 2000));
    t.write("b/mid2.bin", bytes(3, 2000));
    t.write("a/nothing.txt", "");
}

std::vector<std::string> names(const ResultList& l)
{
    std::vector<std::string> out;
    for (const auto& r : l.rows()) {
        out.push_back(r.text);
    }
    return out;
}

std::vector<long> sizes(const ResultList& l)
{
    std::vector<long> out;
    for (const auto& r : l.rows()) {
        out.push_back(std::stol(r.subItem(kColSize)));
    }
    return out;
}

}  // namespace

TEST_F(GuiResultTabs, TabClickShowsItsListFillingTheStrip)
{
    makeTree(tmp);
    frmMain& w = open();
    addFolder(tmp.path());
    click(w.cmdSrch);
    ASSERT_EQ(w.CurTab, 0);
    EXPECT_TRUE(w.frmResult[0]->isVisible());

    clickTab(w, 1);
    EXPECT_EQ(w.CurTab, 1);
    EXPECT_TRUE(w.frmResult[1]->isVisible());
    EXPECT_FALSE(w.frmResult[0]->isVisible());
    // The frame covers the strip's inner area, and the list its frame.
    auto* inner = w.tabMain->findChild<QStackedWidget*>();
    ASSERT_NE(inner, nullptr);
    EXPECT_EQ(w.frmResult[1]->geometry(), inner->rect());
    EXPECT_EQ(w.lstResult[1]->geometry(), w.frmResult[1]->rect());

    // After a resize the shown list still fills the strip.
    w.resize(1000, 700);
    EXPECT_EQ(w.frmResult[1]->geometry(), inner->rect());
    EXPECT_EQ(w.lstResult[1]->geometry(), w.frmResult[1]->rect());
    EXPECT_GT(w.lstResult[1]->height(), 300);

    // The tab already selected: nothing changes.
    clickTab(w, 1);
    EXPECT_EQ(w.CurTab, 1);
    clickTab(w, 4);
    EXPECT_EQ(w.CurTab, 4);
    EXPECT_TRUE(w.frmResult[4]->isVisible());
    EXPECT_EQ(w.lstResult[4]->geometry(), w.frmResult[4]->rect());
}

TEST_F(GuiResultTabs, HeaderClickSortsAscendingWithoutToggling)
{
    makeTree(tmp);
    frmMain& w = open();
    w.resize(1000, 700);
    addFolder(tmp.path());
    click(w.cmdSrch);
    clickTab(w, 1);
    ResultListView* view = w.lstResult[1];
    const ResultList& list = w.resultList(kListDuplicates);
    ASSERT_EQ(list.count(), 6);

    clickHeader(view, kColSize);
    EXPECT_EQ(sizes(list), (std::vector<long>{900, 900, 2000, 2000, 10000, 10000}));
    EXPECT_EQ(view->header()->sortIndicatorSection(), kColSize);
    EXPECT_EQ(view->header()->sortIndicatorOrder(), Qt::AscendingOrder);
    clickHeader(view, kColSize);
    EXPECT_EQ(sizes(list), (std::vector<long>{900, 900, 2000, 2000, 10000, 10000}));
    EXPECT_EQ(view->header()->sortIndicatorOrder(), Qt::AscendingOrder);

    // Names with case ignored; equal names keep the order they had.
    std::vector<std::string> before = names(list);
    clickHeader(view, kColName);
    const auto after = names(list);
    std::vector<std::string> folded;
    for (std::string n : after) {
        std::transform(n.begin(), n.end(), n.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        folded.push_back(n);
    }
    EXPECT_EQ(folded, (std::vector<std::string>{"alpha.bin", "alpha.bin", "mid.bin", "mid2.bin", "zeta.bin", "zeta.bin"}));
    auto pos = [&](const std::vector<std::string>& v, const std::string& n) {
        return std::find(v.begin(), v.end(), n) - v.begin();
    };
    EXPECT_EQ(pos(before, "Zeta.bin") < pos(before, "zeta.bin"), pos(after, "Zeta.bin") < pos(after, "zeta.bin"));
    EXPECT_EQ(view->header()->sortIndicatorSection(), kColName);
    // What the view shows follows the list.
    EXPECT_EQ(view->model()->index(0, kColName).data().toString().toLower(), "alpha.bin");
    EXPECT_EQ(view->model()->index(0, kColSize).data().toString().trimmed(), "10000");
}

TEST_F(GuiResultTabs, ColumnsAndTipsAsDesigned)
{
    frmMain& w = open();
    const char* tabs[] = {"Zero Size(0)", "Duplicates(0)", "Same Name(0)", "Portions(0)",
                          "Report - read errors(0)"};
    EXPECT_EQ(w.tabMain->count(), 5);
    EXPECT_EQ(w.tabMain->toolTip(), "Search result");
    for (int i = 0; i < 5; ++i) {
        ResultListView* v = w.lstResult[static_cast<std::size_t>(i)];
        EXPECT_EQ(w.tabMain->tabText(i), tabs[i]);
        EXPECT_EQ(w.tabMain->widget(i), w.frmResult[static_cast<std::size_t>(i)]);
        EXPECT_EQ(v->toolTip(),
                  "Double-click to open file; Click to preview; Check the box to mark for deletion.");
        const QStringList captions{"Name", "In Folder", "#", "Size", "Date Modified", ""};
        for (int c = 0; c < 6; ++c) {
            EXPECT_EQ(v->model()->headerData(c, Qt::Horizontal).toString(), captions[c]);
        }
        const bool groupShown = i == 1 || i == 3;
        EXPECT_EQ(v->isColumnHidden(kColGroup), !groupShown) << i;
        if (groupShown) {
            EXPECT_EQ(v->columnWidth(kColGroup), 60);
        }
        EXPECT_EQ(v->columnWidth(kColName), 96);
        EXPECT_EQ(v->columnWidth(kColFolder), 200);
        EXPECT_GE(v->columnWidth(kColSize), 60);
        EXPECT_GE(v->columnWidth(kColDate), 96);
        EXPECT_EQ(v->model()->headerData(kColSize, Qt::Horizontal, Qt::TextAlignmentRole)
                      .value<Qt::Alignment>() & Qt::AlignHorizontal_Mask, Qt::AlignRight);
        EXPECT_EQ(v->model()->headerData(kColFolder, Qt::Horizontal, Qt::TextAlignmentRole)
                      .value<Qt::Alignment>() & Qt::AlignHorizontal_Mask, Qt::AlignLeft);
    }
    // A whole date fits its column in this font.
    const QFontMetrics fm(w.lstResult[0]->font());
    EXPECT_GE(w.lstResult[0]->columnWidth(kColDate), fm.horizontalAdvance("2024/12/31 23:59:59"));
}

TEST_F(GuiResultTabs, CheckMarkStaysWithItsRowWhenSorted)
{
    makeTree(tmp);
    frmMain& w = open();
    w.resize(1000, 700);
    addFolder(tmp.path());
    click(w.cmdSrch);
    clickTab(w, 1);
    ResultListView* view = w.lstResult[1];
    const ResultList& list = w.resultList(kListDuplicates);

    // Tick the box of the row of "mid2.bin" with the mouse.
    int row = -1;
    for (int i = 0; i < list.count(); ++i) {
        if (list.row(i).text == "mid2.bin") {
            row = i;
        }
    }
    ASSERT_GE(row, 0);
    const QModelIndex idx = view->model()->index(row, 0);
    QStyleOptionViewItem opt;
    opt.initFrom(view);
    opt.rect = view->visualRect(idx);
    opt.features = QStyleOptionViewItem::HasCheckIndicator | QStyleOptionViewItem::HasDisplay;
    const QRect box = view->style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &opt, view);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, box.center());
    ASSERT_TRUE(list.row(row).checked);

    clickHeader(view, kColName);
    for (const auto& r : list.rows()) {
        EXPECT_EQ(r.checked, r.text == "mid2.bin") << r.text;
    }
    clickHeader(view, kColSize);
    for (int i = 0; i < list.count(); ++i) {
        EXPECT_EQ(view->model()->index(i, 0).data(Qt::CheckStateRole).value<Qt::CheckState>() == Qt::Checked,
                  list.row(i).text == "mid2.bin");
    }
}

TEST_F(GuiResultTabs, ModelFollowsTheListAndKeepsNamesAsBytes)
{
    ResultList list = makeResultList();
    ResultTableModel model(list);
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    QSignalSpy removed(&model, &QAbstractItemModel::rowsRemoved);
    QSignalSpy reset(&model, &QAbstractItemModel::modelReset);
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);

    const std::string odd = std::string("caf") + '\xe9' + ".txt";  // not UTF-8
    list.add(odd, {"/tmp/", "        -1", "         0", "1899/12/30 00:00:00", ""});
    list.add("b.txt", {"/tmp/", "         3", "        12", "2020/01/01 00:00:00", ""});
    EXPECT_EQ(inserted.count(), 2);
    EXPECT_EQ(model.rowCount(), 2);
    EXPECT_EQ(model.columnCount(), 6);
    EXPECT_TRUE(model.index(0, 0).data().toString().contains(QChar::ReplacementCharacter));
    EXPECT_EQ(list.row(0).text, odd);  // the list keeps the bytes
    EXPECT_EQ(RowPath(list.row(0)), "/tmp/" + odd);
    EXPECT_EQ(model.index(1, kColSize).data().toString(), "        12");

    EXPECT_TRUE(model.setData(model.index(1, 0), Qt::Checked, Qt::CheckStateRole));
    EXPECT_TRUE(list.row(1).checked);
    EXPECT_FALSE(model.setData(model.index(1, 1), Qt::Checked, Qt::CheckStateRole));
    EXPECT_GE(changed.count(), 1);
    EXPECT_TRUE(model.flags(model.index(0, 0)) & Qt::ItemIsUserCheckable);
    EXPECT_FALSE(model.flags(model.index(0, 2)) & Qt::ItemIsUserCheckable);
    EXPECT_FALSE(model.flags(model.index(0, 0)) & Qt::ItemIsEditable);

    SortResultList(list, kColSize + 1, 0);
    EXPECT_EQ(reset.count(), 1);
    EXPECT_EQ(model.index(0, 0).data(Qt::CheckStateRole).value<Qt::CheckState>(), Qt::Unchecked);
    list.remove(0);
    EXPECT_EQ(removed.count(), 1);
    EXPECT_EQ(model.rowCount(), 1);
    list.clear();
    EXPECT_EQ(model.rowCount(), 0);
}

TEST_F(GuiResultTabs, UpdateCountRewritesOnlyTheCount)
{
    frmMain& w = open();
    w.resultList(kListPortions).add("a", {});
    w.UpdateCount();
    w.UpdateCount();
    EXPECT_EQ(w.tabMain->tabText(3), "Portions(1)");
    EXPECT_EQ(w.tabMain->tabText(0), "Zero Size(0)");
}

}  // namespace kormial::test
