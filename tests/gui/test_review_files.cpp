// Deleting marked files to the trash and renaming files from the window, on
// real files: the questions and messages, what moves, what stays, the rows.
#include "tests/gui/test_review.h"

#include "platform/trash.h"

#include <QFile>
#include <QTabWidget>

#include <cerrno>
#include <cstring>
#include <regex>
#include <set>

namespace kormial::test {

namespace {

// A trash that takes nothing and reports the error it is given.
class FailingTrash final : public platform::Trash {
public:
    platform::TrashResult moveToTrash(const std::vector<std::string>& paths) override
    {
        requests.push_back(paths);
        platform::TrashResult r;
        r.ok = false;
        r.error.code = EACCES;
        r.path = paths.empty() ? std::string() : paths.front();
        return r;
    }
    std::vector<std::vector<std::string>> requests;
};

class GuiReviewFiles : public ReviewTest {
protected:
    void SetUp() override
    {
        ReviewTest::SetUp();
        oldDataHome_ = qgetenv("XDG_DATA_HOME");
        qputenv("XDG_DATA_HOME", QByteArray::fromStdString(dataHome.path()));
    }
    void TearDown() override
    {
        ReviewTest::TearDown();
        qputenv("XDG_DATA_HOME", oldDataHome_);
    }

    // Three copies of x.bin, two of y.bin, and files without a partner.
    void makeTree()
    {
        for (const char* f : {"d/a/x.bin", "d/b/x.bin", "d/c/x.bin"}) {
            tmp.write(f, bytes(1, 1500));
        }
        setDate("d/a/x.bin", 2020, 3, 1);
        setDate("d/b/x.bin", 2020, 1, 1);
        setDate("d/c/x.bin", 2020, 2, 1);
        tmp.write("d/a/y.bin", bytes(2, 2500));
        tmp.write("d/b/y.bin", bytes(2, 2500));
        setDate("d/a/y.bin", 2019, 6, 1);
        setDate("d/b/y.bin", 2019, 5, 1);
        tmp.write("d/a/alone.txt", "nothing like it");
        tmp.write("d/other/keep.dat", bytes(3, 4000));
    }

    // The files in the trash: original path -> content.
    std::map<std::string, std::string> trashed() const
    {
        std::map<std::string, std::string> out;
        const std::string trash = dataHome / "Trash";
        const auto infos = snapshot(trash + "/info");
        static const std::regex pathLine("\nPath=([^\n]*)\n");
        for (const auto& [name, text] : infos) {
            std::smatch m;
            EXPECT_TRUE(std::regex_search(text, m, pathLine)) << text;
            const std::string stored = name.substr(0, name.size() - std::strlen(".trashinfo"));
            const QByteArray original = QByteArray::fromPercentEncoding(QByteArray::fromStdString(m[1]));
            out[original.toStdString()] = readFile(trash + "/files/" + stored);
        }
        return out;
    }

    TempTree dataHome;

private:
    QByteArray oldDataHome_;
};

TEST_F(GuiReviewFiles, DeletingMovesExactlyTheMarkedFilesToTheTrash)
{
    makeTree();
    frmMain& w = searchAll();
    showInFolderOrder(kListDuplicates);
    ASSERT_EQ(w.resultList(kListDuplicates).count(), 5);
    const std::int64_t sameNameRows = w.resultList(kListSameName).count();
    choose(w.mnuMarkOld);
    const std::vector<std::string> gone = marked(kListDuplicates);
    ASSERT_EQ(std::set<std::string>(gone.begin(), gone.end()),
              std::set<std::string>({"d/b/x.bin", "d/b/y.bin"}));
    const auto before = snapshot(tmp.path());

    choose(w.mnuDelete);

    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].text, "Confirm to delete selected files?");
    EXPECT_EQ(dialogs.shown[0].title, "Kormial");
    EXPECT_EQ(dialogs.shown[0].icon, gui::MsgIcon::Question);
    EXPECT_EQ(dialogs.shown[0].buttons, gui::MsgButtons::YesNo);

    // Exactly the marked files are in the trash, with their contents, and
    // every other file is untouched.
    auto expectedLeft = before;
    std::map<std::string, std::string> expectedTrash;
    for (const std::string& rel : gone) {
        expectedTrash[tmp / rel] = before.at(rel);
        expectedLeft.erase(rel);
    }
    EXPECT_EQ(trashed(), expectedTrash);
    EXPECT_EQ(snapshot(tmp.path()), expectedLeft);

    // Their rows are gone from this list and the count follows; the other
    // lists keep their rows for the same files.
    EXPECT_EQ(w.resultList(kListDuplicates).count(), 3);
    EXPECT_TRUE(marked(kListDuplicates).empty());
    EXPECT_EQ(rowOf(kListDuplicates, "d/b/x.bin"), -1);
    EXPECT_GE(rowOf(kListDuplicates, "d/a/x.bin"), 0);
    EXPECT_EQ(w.tabMain->tabText(kListDuplicates), "Duplicates(3)");
    EXPECT_EQ(w.resultList(kListSameName).count(), sameNameRows);
    EXPECT_GE(rowOf(kListSameName, "d/b/x.bin"), 0);
}

TEST_F(GuiReviewFiles, AnsweringNoOrMarkingNothingDeletesNothing)
{
    makeTree();
    frmMain& w = searchAll();
    clickTab(w, kListDuplicates);
    const auto before = snapshot(tmp.path());

    choose(w.mnuDelete);
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].text, "Please mark files before deletion.");
    EXPECT_EQ(dialogs.shown[0].title, "Kormial");
    EXPECT_EQ(dialogs.shown[0].buttons, gui::MsgButtons::Ok);

    choose(w.mnuMarkAll);
    dialogs.answers = {gui::MsgAnswer::No};
    choose(w.mnuDelete);
    ASSERT_EQ(dialogs.shown.size(), 2u);
    EXPECT_EQ(dialogs.shown[1].text, "Confirm to delete selected files?");
    EXPECT_EQ(snapshot(tmp.path()), before);
    EXPECT_TRUE(trashed().empty());
    EXPECT_EQ(w.resultList(kListDuplicates).count(), 5);
    EXPECT_EQ(marked(kListDuplicates).size(), 5u);
}

TEST_F(GuiReviewFiles, DeleteKeyDeletesTheMarkedRowsOfTheListInFront)
{
    makeTree();
    frmMain& w = searchAll();
    clickTab(w, kListDuplicates);
    clickRow(kListDuplicates, "d/c/x.bin");
    ResultTableModel* model = w.lstResult[kListDuplicates]->resultModel();
    const int row = static_cast<int>(rowOf(kListDuplicates, "d/c/x.bin"));
    ASSERT_TRUE(model->setData(model->index(row, 0), Qt::Checked, Qt::CheckStateRole));
    const auto before = snapshot(tmp.path());

    QTest::keyClick(w.lstResult[kListDuplicates], Qt::Key_Delete);
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].text, "Confirm to delete selected files?");
    EXPECT_EQ(trashed(), (std::map<std::string, std::string>{{tmp / "d/c/x.bin", before.at("d/c/x.bin")}}));
    EXPECT_EQ(w.tabMain->tabText(kListDuplicates), "Duplicates(4)");
}

TEST_F(GuiReviewFiles, FailingTrashShowsItsErrorAndKeepsTheRows)
{
    makeTree();
    FailingTrash failing;
    frmMain& w = searchAll();
    w.setTrash(&failing);
    showInFolderOrder(kListDuplicates);
    choose(w.mnuMarkNewer);
    const std::vector<std::string> chosen = marked(kListDuplicates);
    ASSERT_EQ(chosen.size(), 3u);  // x (Mar, Jan, Feb): the March and February copies; y: one
    const auto before = snapshot(tmp.path());
    const auto rowsBefore = rows(kListDuplicates);

    choose(w.mnuDelete);

    ASSERT_EQ(dialogs.shown.size(), 2u);
    const ShownMessage& failure = dialogs.shown[1];
    // The request held the marked paths in row order.
    ASSERT_EQ(failing.requests.size(), 1u);
    std::vector<std::string> inRowOrder;
    for (const std::string& rel : chosen) {
        inRowOrder.push_back(tmp / rel);
    }
    EXPECT_EQ(failing.requests[0], inRowOrder);
    EXPECT_EQ(failure.text.toStdString(),
              "Deletion failed. Error Code: " + std::to_string(EACCES) + "\n\n" +
                  std::strerror(EACCES) + "\n" + inRowOrder.front());
    EXPECT_EQ(failure.title, "Kormial");
    EXPECT_EQ(failure.icon, gui::MsgIcon::Critical);
    EXPECT_EQ(failure.buttons, gui::MsgButtons::Ok);
    // Rows, marks and files as they were.
    EXPECT_EQ(rows(kListDuplicates), rowsBefore);
    EXPECT_EQ(marked(kListDuplicates), chosen);
    EXPECT_EQ(snapshot(tmp.path()), before);
    EXPECT_EQ(w.tabMain->tabText(kListDuplicates), "Duplicates(5)");
}

TEST_F(GuiReviewFiles, FileGoneSinceTheSearchFailsTheWholeDeletion)
{
    makeTree();
    frmMain& w = searchAll();
    // Delete d/b/x.bin from "Same Name" first ...
    clickTab(w, kListSameName);
    ResultTableModel* same = w.lstResult[kListSameName]->resultModel();
    ASSERT_TRUE(same->setData(same->index(static_cast<int>(rowOf(kListSameName, "d/b/x.bin")), 0),
                              Qt::Checked, Qt::CheckStateRole));
    choose(w.mnuDelete);
    ASSERT_EQ(trashed().size(), 1u);

    // ... then mark it together with d/b/y.bin on "Duplicates": the trash is
    // asked for a file that is no longer there, and nothing moves.
    showInFolderOrder(kListDuplicates);
    choose(w.mnuMarkOld);
    const std::vector<std::string> chosen = marked(kListDuplicates);
    ASSERT_EQ(std::set<std::string>(chosen.begin(), chosen.end()),
              std::set<std::string>({"d/b/x.bin", "d/b/y.bin"}));
    const auto before = snapshot(tmp.path());
    choose(w.mnuDelete);

    // Two questions and the failure.
    ASSERT_EQ(dialogs.shown.size(), 3u);
    EXPECT_TRUE(dialogs.shown[2].text.startsWith(
        QStringLiteral("Deletion failed. Error Code: %1\n\n").arg(ENOENT)))
        << dialogs.shown[2].text.toStdString();
    EXPECT_TRUE(dialogs.shown[2].text.contains(QString::fromStdString(tmp / "d/b/x.bin")));
    EXPECT_EQ(dialogs.shown[2].icon, gui::MsgIcon::Critical);
    EXPECT_EQ(snapshot(tmp.path()), before);  // d/b/y.bin did not move either
    EXPECT_EQ(trashed().size(), 1u);
    EXPECT_EQ(w.resultList(kListDuplicates).count(), 5);
    EXPECT_EQ(marked(kListDuplicates).size(), 2u);
}

TEST_F(GuiReviewFiles, RenameAsksWithTheOldPathAndNeverReplaces)
{
    makeTree();
    tmp.write("d/a/taken.bin", "someone else's content");
    frmMain& w = searchAll();
    clickRow(kListDuplicates, "d/a/x.bin");
    const auto before = snapshot(tmp.path());

    dialogs.inputs = {QStringLiteral("taken.bin")};
    choose(w.mnuRen);
    ASSERT_EQ(dialogs.asked.size(), 1u);
    EXPECT_EQ(dialogs.asked[0].prompt.toStdString(),
              "Please type a new file name for \n" + (tmp / "d/a/x.bin"));
    EXPECT_EQ(dialogs.asked[0].title, "Rename");
    EXPECT_EQ(dialogs.asked[0].proposed, "x.bin");
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].text, "File can't be renamed.");
    EXPECT_EQ(dialogs.shown[0].title, "Can't rename");
    // Both files keep their contents; the row keeps its name.
    EXPECT_EQ(snapshot(tmp.path()), before);
    EXPECT_GE(rowOf(kListDuplicates, "d/a/x.bin"), 0);

    // Cancelling (the empty text) does nothing.
    QTest::keyClick(w.lstResult[kListDuplicates], Qt::Key_R, Qt::ControlModifier);
    EXPECT_EQ(dialogs.asked.size(), 2u);
    EXPECT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(snapshot(tmp.path()), before);
}

TEST_F(GuiReviewFiles, RenameIntoASubFolderAndWithBlanksKept)
{
    makeTree();
    tmp.mkdir("d/a/sub");
    frmMain& w = searchAll();
    clickRow(kListDuplicates, "d/a/x.bin");
    const std::string content = readFile(tmp / "d/a/x.bin");

    dialogs.inputs = {QStringLiteral("sub/x.bin")};
    choose(w.mnuRen);
    EXPECT_TRUE(dialogs.shown.empty());
    EXPECT_FALSE(std::filesystem::exists(tmp / "d/a/x.bin"));
    EXPECT_EQ(readFile(tmp / "d/a/sub/x.bin"), content);
    const std::int64_t row = rowOf(kListDuplicates, "d/a/sub/x.bin");
    ASSERT_GE(row, 0);
    EXPECT_EQ(w.resultList(kListDuplicates).row(row).text, "sub/x.bin");
    EXPECT_EQ(w.resultList(kListDuplicates).row(row).subItem(kColFolder), tmp / "d/a/");
    // Another list's row for the file keeps the old name.
    EXPECT_GE(rowOf(kListSameName, "d/a/x.bin"), 0);

    // A folder that is not there: refused, the file stays.
    clickRow(kListDuplicates, "d/b/y.bin");
    dialogs.inputs = {QStringLiteral("nowhere/y.bin")};
    choose(w.mnuRen);
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].text, "File can't be renamed.");
    EXPECT_TRUE(std::filesystem::exists(tmp / "d/b/y.bin"));

    // The typed text is taken as it is, blanks included.
    dialogs.inputs = {QStringLiteral(" y copy.bin ")};
    choose(w.mnuRen);
    EXPECT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(readFile(tmp / "d/b/ y copy.bin "), bytes(2, 2500));
    EXPECT_GE(rowOf(kListDuplicates, "d/b/ y copy.bin "), 0);
}

TEST_F(GuiReviewFiles, RenameKeepsTheBytesOfANameThatIsNotUtf8)
{
    const std::string odd = "d/a/caf\xe9-\xff.bin";
    tmp.write(odd, bytes(7, 900));
    tmp.write("d/b/copy.bin", bytes(7, 900));
    frmMain& w = searchAll();
    clickRow(kListDuplicates, odd);
    const auto before = snapshot(tmp.path());

    // Taken unchanged, the proposed text names the file itself: refused, and
    // no file with altered bytes appears.
    dialogs.onInput = [](const AskedInput& asked) { return asked.proposed; };
    choose(w.mnuRen);
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].text, "File can't be renamed.");
    EXPECT_EQ(snapshot(tmp.path()), before);

    // A typed name replaces it.
    dialogs.onInput = nullptr;
    dialogs.inputs = {QStringLiteral("caf\u00e9.bin")};
    choose(w.mnuRen);
    EXPECT_EQ(dialogs.shown.size(), 1u);
    EXPECT_FALSE(std::filesystem::exists(tmp / odd));
    EXPECT_EQ(readFile(tmp / "d/a/caf\xc3\xa9.bin"), bytes(7, 900));
}

TEST_F(GuiReviewFiles, RenameWithoutASelectedRowAsksForOne)
{
    makeTree();
    frmMain& w = searchAll();
    clickTab(w, kListDuplicates);
    ASSERT_EQ(w.resultList(kListDuplicates).selectedRow(), -1);
    choose(w.mnuRen);
    EXPECT_TRUE(dialogs.asked.empty());
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].text, "Please select a file.");
    EXPECT_EQ(dialogs.shown[0].title, "Select file");
}

}  // namespace

}  // namespace kormial::test
