// The File menu on real results: which entries each tab enables, the marking
// rules, deleting to the trash, renaming, opening, exporting and reviewing an
// exported result.
#include "tests/gui/guitest.h"

#include "mainwindow/setuppanel.h"
#include "mainwindow/statusbar.h"
#include "platform/reviewlock.h"

#include <QLabel>

namespace kormial::test {

class GuiReview : public GuiTest {
protected:
    // Two pairs of copies whose older member lies in different folders, a
    // portion of a larger file and two empty files.
    void makeTree()
    {
        write("a/p.bin", bytes(1, 700));
        write("b/p.bin", bytes(1, 700));
        write("a/q.bin", bytes(2, 800));
        write("b/q.bin", bytes(2, 800));
        setAge("a/p.bin", 60);
        setAge("b/p.bin", 30);
        setAge("a/q.bin", 10);
        setAge("b/q.bin", 90);
        const std::string big = bytes(9, 200000);
        write("c/big.bin", big);
        write("c/part.bin", big.substr(0, 120000));
        write("z/empty1.txt", "");
        write("z/empty2.txt", "");
    }
    // The tree searched for duplicates, the older file of each pair marked,
    // and the first confirmation answered No.
    frmMain& olderMarkedAnsweringNo()
    {
        makeTree();
        frmMain& w = search({1});
        clickTab(kListDuplicates);
        choose(w.results->mnuMarkOld);
        dialogs.answers = {gui::MsgAnswer::No};
        return w;
    }
    void setAge(const std::string& rel, int days) const
    {
        const auto now = std::filesystem::file_time_type::clock::now();
        std::filesystem::last_write_time(at(rel), now - std::chrono::hours(24 * days));
    }
    // The enabled File menu entries as the popped-up menu shows them.
    QString enabledEntries()
    {
        QStringList out;
        popUpFileMenu();
        for (const QAction* a : window->results->mnuFile->actions()) {
            if (!a->isSeparator() && a->isEnabled()) {
                out << a->objectName();
            }
        }
        window->results->mnuFile->close();
        return out.join(' ');
    }
};

TEST_F(GuiReview, EachTabEnablesWhatItsRowsAllow)
{
    makeTree();
    open();
    EXPECT_EQ(enabledEntries(), "mnuOpenResult");  // nothing listed yet
    search({0, 1, 2, 3});
    const QString keepOne = " mnuKeepNewest mnuKeepOldest mnuKeepFirst mnuClearMarks";
    const QString byDate = "mnuOpen mnuDelete mnuRen mnuMarkAll mnuMarkOld mnuMarkNewer" + keepOne;
    const QString linked = "mnuOpen mnuDelete mnuRen mnuLinkHard mnuShareBlocks mnuMarkAll mnuMarkOld mnuMarkNewer" +
                           keepOne;
    const QString expected[] = {"mnuOpen mnuDelete mnuRen mnuMarkAll mnuClearMarks", linked, byDate,
                                "mnuOpen mnuDelete mnuRen mnuMarkAll mnuMarkOld mnuMarkNewer "
                                "mnuMarkSmaller mnuMarkLarger" + keepOne,
                                ""};
    for (int tab = 0; tab < kResultListCount; ++tab) {
        clickTab(tab);
        EXPECT_EQ(enabledEntries(), (expected[tab] + " mnuExport mnuOpenResult").trimmed()) << tab;
    }
}

TEST_F(GuiReview, MarkingRules)
{
    makeTree();
    frmMain& w = search({1, 3});
    clickTab(kListDuplicates);
    choose(w.results->mnuMarkOld);
    EXPECT_EQ(marked(kListDuplicates), (std::vector<std::string>{"a/p.bin", "b/q.bin"}));
    choose(w.results->mnuMarkNewer);
    EXPECT_EQ(marked(kListDuplicates), (std::vector<std::string>{"a/q.bin", "b/p.bin"}));
    clickTab(kListPortions);
    choose(w.results->mnuMarkSmaller);
    EXPECT_EQ(marked(kListPortions), std::vector<std::string>{"c/part.bin"});
    choose(w.results->mnuMarkLarger);
    EXPECT_EQ(marked(kListPortions), std::vector<std::string>{"c/big.bin"});
    choose(w.results->mnuMarkAll);
    EXPECT_EQ(marked(kListPortions).size(), 2u);
    choose(w.results->mnuClearMarks);
    EXPECT_TRUE(marked(kListPortions).empty());
    // Only the list in front was touched.
    EXPECT_EQ(marked(kListDuplicates), (std::vector<std::string>{"a/q.bin", "b/p.bin"}));
}

// One copy of each group kept in one step; Keep ticked on a path-list row
// after the search makes its files reference copies at once (shaded, their
// marks cleared, never marked), and unticked they are ordinary again; the
// status bar counts groups, files and bytes.
TEST_F(GuiReview, KeepOneCopyOfEachGroup)
{
    makeTree();
    write("c/p.bin", bytes(1, 700));
    setAge("c/p.bin", 45);
    frmMain& w = search({1});
    clickTab(kListDuplicates);
    const auto counts = [&](const QString& expected) {
        EXPECT_TRUE(QTest::qWaitFor([&] { return w.StatusBar1->counts() == expected; }, 2000))
            << w.StatusBar1->counts().toStdString();
    };
    counts("2 groups, 5 files, 2.1 KB to free");
    choose(w.results->mnuKeepNewest);
    EXPECT_EQ(marked(kListDuplicates), (std::vector<std::string>{"a/p.bin", "b/q.bin", "c/p.bin"}));
    counts("2 groups, 5 files, 2.1 KB to free; 3 marked, 2.1 KB");

    addFolder(at("a"));
    QTreeWidgetItem* keep = w.setup->lstPath->topLevelItem(1);
    keep->setCheckState(SetupPanel::kKeepColumn, Qt::Checked);
    EXPECT_EQ(marked(kListDuplicates), (std::vector<std::string>{"b/q.bin", "c/p.bin"}));
    choose(w.results->mnuKeepOldest);
    EXPECT_EQ(marked(kListDuplicates), (std::vector<std::string>{"b/p.bin", "b/q.bin", "c/p.bin"}));
    choose(w.results->mnuMarkOld);  // a/p.bin, the oldest, is the older one of a pair
    const std::vector<std::string> pairs = marked(kListDuplicates);
    EXPECT_TRUE(std::ranges::count(pairs, "b/q.bin") == 1 && std::ranges::count(pairs, "a/p.bin") == 0);
    choose(w.results->mnuMarkAll);
    EXPECT_EQ(marked(kListDuplicates).size(), 3u);
    // groups shaded alternately, the reference copies apart
    const auto shade = [&](const std::string& rel) {
        return w.results->lstResult[kListDuplicates]->resultModel()->index(rowOf(kListDuplicates, rel), 1).data(
            Qt::BackgroundRole);
    };
    EXPECT_EQ(shade("b/p.bin"), shade("c/p.bin"));
    EXPECT_NE(shade("b/p.bin"), shade("b/q.bin"));
    EXPECT_NE(shade("a/p.bin"), shade("b/p.bin"));
    EXPECT_NE(shade("a/q.bin"), shade("b/q.bin"));
    keep->setCheckState(SetupPanel::kKeepColumn, Qt::Unchecked);
    choose(w.results->mnuMarkAll);
    EXPECT_EQ(marked(kListDuplicates).size(), 5u);
}

// The deletion waits while another review moves files; afterwards the status
// bar says what went and what stayed, and a group left with one file is no
// longer listed.
TEST_F(GuiReview, DeleteMovesTheMarkedFilesToTheTrash)
{
    frmMain& w = olderMarkedAnsweringNo();
    const Snapshot before = snapshot(root);
    choose(w.results->mnuDelete);
    EXPECT_EQ(snapshot(root), before);
    std::optional<platform::ReviewLock> other = platform::ReviewLock::tryTake();
    ASSERT_TRUE(other.has_value());
    dialogs.whileWaiting = [&] {
        EXPECT_EQ(snapshot(root), before);
        other.reset();
    };
    choose(w.results->mnuDelete);
    ASSERT_EQ(dialogs.texts.size(), 3);
    EXPECT_TRUE(dialogs.texts[1].startsWith("Confirm to delete selected files?\n\n2 file(s), 1") &&
                dialogs.texts[1].endsWith(" bytes, go to the trash."))
        << dialogs.texts[1].toStdString();
    EXPECT_TRUE(dialogs.texts[2].startsWith("Another review")) << dialogs.texts[2].toStdString();
    Snapshot left = before;
    left.erase("a/p.bin");
    left.erase("b/q.bin");
    EXPECT_EQ(snapshot(root), left);
    EXPECT_EQ(snapshot(qgetenv("XDG_DATA_HOME").toStdString() + "/Trash/files"),
              (Snapshot{{"p.bin", before.at("a/p.bin")}, {"q.bin", before.at("b/q.bin")}}));
    EXPECT_EQ(statuses.last(), "2 files, 1.5 KB moved to the trash; 0 stayed");
    EXPECT_EQ(w.results->tabMain->tabText(kListDuplicates), "Duplicates(0)");
    EXPECT_TRUE(QTest::qWaitFor([&] { return w.StatusBar1->counts().isEmpty(); }, 2000))
        << w.StatusBar1->counts().toStdString();
    EXPECT_EQ(rowOf(kListDuplicates, "b/p.bin"), -1);
}

// Linking keeps every path and every byte; each confirmation says what
// linked files share from then on, and the status bar gives the totals.
TEST_F(GuiReview, LinkingKeepsEveryPath)
{
    frmMain& w = olderMarkedAnsweringNo();
    const Snapshot before = snapshot(root);
    choose(w.results->mnuShareBlocks);
    choose(w.results->mnuLinkHard);
    EXPECT_TRUE(dialogs.texts.size() == 2 && dialogs.texts[0].startsWith("Share the blocks of 2 marked file(s), 1") &&
                dialogs.texts[1].startsWith("Replace 2 marked file(s), 1") &&
                dialogs.texts[1].contains("linked files share one content and one set of permissions and times"))
        << dialogs.texts.join('|').toStdString();
    EXPECT_EQ(snapshot(root), before);
    EXPECT_TRUE(std::filesystem::equivalent(at("a/p.bin"), at("b/p.bin")) &&
                std::filesystem::equivalent(at("a/q.bin"), at("b/q.bin")));
    EXPECT_EQ(statuses.last(), "2 files, 1.5 KB replaced by links; 0 stayed");
}

// Ctrl+A, Del, Enter, Enter with the desktop's own boxes: the second box,
// about groups that would keep no copy, says No to Enter.
TEST_F(GuiReview, EnterKeepsEveryCopyWhenAllAreMarked)
{
    makeTree();
    frmMain& w = search({1});
    clickTab(kListDuplicates);
    const Snapshot before = snapshot(root);
    gui::installServices({.clock = &clock, .shell = &shell});
    QStringList seen;
    QTimer enter;
    QObject::connect(&enter, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            seen << box->text();
            QTest::keyClick(box, Qt::Key_Return);
        }
    });
    enter.start(20);
    choose(w.results->mnuMarkAll);
    choose(w.results->mnuDelete);
    ASSERT_EQ(seen.size(), 2) << seen.join("|").toStdString();
    EXPECT_TRUE(seen[1].startsWith("For 4 marked file(s), no copy of its bytes stays:")) << seen[1].toStdString();
    EXPECT_EQ(snapshot(root), before);
    EXPECT_EQ(marked(kListDuplicates).size(), 4u);
}

// A rename the system refuses says why; OK on the name as proposed changes
// nothing and says nothing.
TEST_F(GuiReview, RenameExplainsARefusal)
{
    makeTree();
    write("a/taken.bin", "someone else's content");
    frmMain& w = search({1});
    clickRow(kListDuplicates, "a/p.bin");
    const Snapshot before = snapshot(root);
    dialogs.inputs = {"taken.bin", QString(256, QLatin1Char('n')), "p.bin", "new.bin"};
    for (int i = 0; i < 3; ++i) {
        choose(w.results->mnuRen);
    }
    EXPECT_EQ(dialogs.texts, (QStringList{"File can't be renamed.\n\nA file with that name exists",
                                          "File can't be renamed.\n\nFile name too long"}));
    EXPECT_EQ(snapshot(root), before);
    choose(w.results->mnuRen);
    Snapshot after = before;
    after["a/new.bin"] = after.at("a/p.bin");
    after.erase("a/p.bin");
    EXPECT_EQ(snapshot(root), after);
    EXPECT_GE(rowOf(kListDuplicates, "a/new.bin"), 0);
    EXPECT_EQ(dialogs.texts.size(), 2);
}

// Export as CSV and JSON, and the JSON opened in a new window: the same
// lists, with the reference copies of the Keep rows.
TEST_F(GuiReview, ExportedResultsOpenAgainForASafeReview)
{
    makeTree();
    write("a/x,\"y\".bin", bytes(3, 500));
    write("b/x.bin", bytes(3, 500));
    setAge("a/x,\"y\".bin", 50);
    setAge("b/x.bin", 20);
    frmMain& w = search({1});  // Zero Size empty: the tab with rows comes to the front
    ASSERT_EQ(w.results->tabMain->currentIndex(), kListDuplicates);
    const auto rowsOf = [&] {
        std::vector<std::tuple<int, std::int64_t, std::string, std::int64_t>> out;
        for (int l = 0; l < kResultListCount; ++l) {
            for (const ResultRow& r : window->results->resultList(l).rows()) {
                out.emplace_back(l, r.group.number(), r.path(), r.size);
            }
        }
        return out;
    };
    const auto found = rowsOf();
    dialogs.saveAs = {QString::fromStdString(at("dups")), 0};  // CSV, the tab shown
    choose(w.results->mnuExport);
    std::ifstream csvFile(at("dups.csv"), std::ios::binary);
    const std::string csv{std::istreambuf_iterator<char>(csvFile), {}};
    EXPECT_TRUE(csv.starts_with("List,Group,Size,Date,Folder,Name\r\n")) << csv;
    EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 7);
    EXPECT_NE(csv.find("," + at("a") + "/,\"x,\"\"y\"\".bin\"\r\n"), std::string::npos) << csv;
    dialogs.saveAs = {QString::fromStdString(at("all.json")), 3};  // JSON, all tabs
    choose(w.results->mnuExport);
    EXPECT_EQ(dialogs.offeredFilter, 0);

    window->close();
    window.reset();
    open();
    dialogs.saveAs = {};
    window->results->mnuExport->setEnabled(true);
    window->results->mnuExport->trigger();
    EXPECT_EQ(dialogs.offeredFilter, 3);  // the format chosen last
    // what is not a saved result is refused with the reason, the lists left empty
    dialogs.openPath = QString::fromStdString(at("dups.csv"));
    choose(window->results->mnuOpenResult);
    EXPECT_TRUE(dialogs.texts.back().contains("an object expected")) << dialogs.texts.back().toStdString();
    EXPECT_TRUE(rowsOf().empty());
    // the files below a Keep row are reference copies in the result opened
    addFolder(at("b"));
    window->setup->lstPath->topLevelItem(window->setup->lstPath->topLevelItemCount() - 1)->setCheckState(
        SetupPanel::kKeepColumn, Qt::Checked);
    dialogs.openPath = QString::fromStdString(at("all.json"));
    choose(window->results->mnuOpenResult);
    EXPECT_EQ(rowsOf(), found);
    EXPECT_EQ(window->results->tabMain->tabText(kListDuplicates), "Duplicates(6)");
    EXPECT_EQ(window->results->tabMain->currentIndex(), kListDuplicates);
    choose(window->results->mnuMarkAll);
    EXPECT_EQ(marked(kListDuplicates), (std::vector<std::string>{"a/p.bin", "a/q.bin", "a/x,\"y\".bin"}));
}

TEST_F(GuiReview, OpenHandsTheFileToTheDesktop)
{
    makeTree();
    frmMain& w = search({1});
    clickTab(kListDuplicates);
    choose(w.results->mnuOpen);  // no row selected yet
    EXPECT_EQ(dialogs.texts, QStringList{"Please select a file."});
    clickRow(kListDuplicates, "b/q.bin");
    choose(w.results->mnuOpen);
    clickRow(kListDuplicates, "a/p.bin", true);
    EXPECT_EQ(shell.opened, (QList<std::string>{at("b/q.bin"), at("a/p.bin")}));
}

}  // namespace kormial::test
