// The search setup panel: the path rows it builds decide what is searched,
// and it refuses size bounds it cannot read or that exclude everything.
#include "tests/gui/guitest.h"

#include <QCheckBox>
#include <QTreeWidget>

namespace kormial::test {

using GuiSetup = GuiTest;

TEST_F(GuiSetup, PathRowsDecideWhatIsSearched)
{
    write("m/one.mp3", bytes(1, 6000));
    write("m/deep/one.mp3", bytes(1, 6000));
    write("m/one.txt", bytes(2, 6000));
    write("m/deep/one.txt", bytes(2, 6000));
    write("s/small1.bin", bytes(3, 1024));
    write("s/small2.bin", bytes(3, 1024));
    write("s/large1.bin", bytes(4, 10240));
    write("s/large2.bin", bytes(4, 10240));
    frmMain& w = open();
    addFolder(at("m"), "*.mp3");
    addFolder(at("m"), "*.mp3");  // listed once, or every file would be its own copy
    click(w.setup->chkSubDir);
    addFolder(at("m"), "*.txt");
    click(w.setup->chkSubDir);
    click(w.setup->cmdCriteria);
    retype(w.setup->txtMinSz, "5");  // KB
    addFolder(at("s"));

    QList<QStringList> rows;
    for (int i = 0; i < w.setup->lstPath->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* item = w.setup->lstPath->topLevelItem(i);
        rows << QStringList{item->text(0), item->text(1), item->text(2)};
    }
    const auto row = [&](const std::string& rel) { return QString::fromStdString(at(rel)); };
    EXPECT_EQ(rows, (QList<QStringList>{{row("m/*.mp3"), "Yes", ""}, {row("m/*.txt"), "No", ""},
                                        {row("s/*.*"), "Yes", "5"}}));
    click(w.setup->cmdSrch);
    waitForSearch();
    std::vector<std::string> found;
    for (const ResultRow& r : w.results->resultList(kListDuplicates).rows()) {
        found.push_back(r.path().substr(root.size() + 1));
    }
    std::sort(found.begin(), found.end());
    EXPECT_EQ(found, (std::vector<std::string>{"m/deep/one.mp3", "m/one.mp3", "s/large1.bin", "s/large2.bin"}));
}

TEST_F(GuiSetup, RefusesBadSizes)
{
    frmMain& w = open();
    w.setup->dirPath->setPath(root);
    click(w.setup->cmdCriteria);
    retype(w.setup->txtMinSz, "12kb");
    click(w.setup->txtMaxSz);  // the focus leaves the box: refused, and it comes back
    ASSERT_TRUE(QTest::qWaitFor([&] { return !dialogs.texts.isEmpty(); }, 2000));
    EXPECT_TRUE(w.setup->txtMinSz->hasFocus());
    click(w.setup->cmdAdd);
    retype(w.setup->txtMinSz, "100");
    retype(w.setup->txtMaxSz, "99");
    click(w.setup->cmdAdd);
    EXPECT_EQ(dialogs.texts, (QStringList{"Invalid file size.", "Invalid file size.",
                                          "Max File Size(99) must be greater than Min File Size(100)."}));
    EXPECT_EQ(w.setup->lstPath->topLevelItemCount(), 0);
    retype(w.setup->txtMaxSz, "0101");  // compared as numbers
    click(w.setup->cmdAdd);
    EXPECT_EQ(w.setup->lstPath->topLevelItemCount(), 1);
    EXPECT_EQ(dialogs.texts.size(), 3);
}

}  // namespace kormial::test
