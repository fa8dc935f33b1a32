// Deleting marked rows into the desktop trash and renaming files, with real
// files in temporary folders and the trash under a temporary home.
#include "platform/trash.h"
#include "results/fileops.h"
#include "testutil.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <memory>
#include <regex>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace kormial;
namespace fs = std::filesystem;

namespace {

using Names = std::vector<std::string>;

// The names in a folder, sorted; empty when it is missing.
Names entries(const std::string& folder)
{
    Names out;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(folder, ec)) {
        out.push_back(e.path().filename());
    }
    std::ranges::sort(out);
    return out;
}

// The path a ".trashinfo" record names, decoded. Written, it is printable
// ASCII without blanks, followed by the date.
std::string infoPath(const std::string& file)
{
    const std::string text = test::readFile(file);
    std::smatch m;
    EXPECT_TRUE(std::regex_match(text, m, std::regex("\\[Trash Info\\]\nPath=([!-~]*)\n"
                                                     "DeletionDate=\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\n")))
        << file << ":\n" << text;
    std::string out, raw = m.str(1);
    for (std::size_t i = 0; i < raw.size(); i += raw[i] == '%' ? 3 : 1) {
        out += raw[i] == '%' ? static_cast<char>(std::stoi(raw.substr(i + 1, 2), nullptr, 16)) : raw[i];
    }
    return out;
}

void addRow(ResultList& list, const std::string& folder, const std::string& name, bool marked = true)
{
    ResultRow row;
    row.folder = std::make_shared<const std::string>(folder);
    row.name = name;
    list.setChecked(list.add(row), marked);
}

// Puts an environment variable back as it was.
struct EnvBack {
    const char* name;
    std::optional<std::string> was = std::getenv(name) ? std::optional<std::string>(std::getenv(name)) : std::nullopt;
    ~EnvBack() { was ? ::setenv(name, was->c_str(), 1) : ::unsetenv(name); }
};

// Every test gets its own folder, by a path without links.
class TrashTest : public ::testing::Test {
protected:
    EnvBack home{"HOME"}, xdg{"XDG_DATA_HOME"};
    test::TempDir tmp;
    const std::string root = fs::canonical(tmp.path()).string() + "/";
    platform::DesktopTrash trash;
};

}  // namespace

// Every marked file goes to the home trash with its record, however odd its
// name. The data folder is made in the home when ~/.local/share is missing
// (and XDG_DATA_HOME is not set), never under the working folder.
TEST_F(TrashTest, MarkedFilesGoToTheHomeTrashWithTheirRecords)
{
    // Equal names from two folders, a name with a line break, a blank, a
    // byte that is not UTF-8 and "%", and one too long to take ".trashinfo"
    // as it is. (Which files go: test_data_safety.cpp.)
    const Names marked = {root + "a/same.txt", root + "b/same.txt", root + "b/line\nbreak \xff%.txt",
                          root + "a/" + std::string(246, 'n') + ".txt"};
    ResultList list;
    for (const std::string& path : marked) {
        test::writeFile(path, path);
        addRow(list, path.substr(0, path.rfind('/') + 1), path.substr(path.rfind('/') + 1));
    }
    test::makeDirs(root + "home");
    ::setenv("HOME", (root + "home").c_str(), 1);
    ::unsetenv("XDG_DATA_HOME");
    const fs::path cwd = fs::current_path();
    fs::current_path(root + "a");
    const DelResult r = DelFile(list, trash, [] { return true; });
    fs::current_path(cwd);
    EXPECT_EQ(entries(root + "a"), Names{});  // the working folder

    ASSERT_EQ(r.outcome, DelOutcome::Deleted) << r.message;
    // Each file once (the long name shortened to leave room for ".trashinfo"),
    // with its record, which holds its true path.
    const std::string trashAt = root + "home/.local/share/Trash/";
    Names trashed;
    for (const std::string& entry : entries(trashAt + "files")) {
        trashed.push_back(test::readFile(trashAt + "files/" + entry));
        EXPECT_EQ(infoPath(trashAt + "info/" + entry + ".trashinfo"), trashed.back());
        EXPECT_FALSE(fs::exists(trashed.back()));
    }
    EXPECT_TRUE(std::ranges::is_permutation(trashed, marked));
    EXPECT_EQ(entries(trashAt + "info").size(), 4u);
}

// A file on another file system (a tmpfs of its own, in a mount namespace
// private to this process) goes to the trash at its top, moved, not copied:
// the user's folder in ".Trash" when that is a real folder with the sticky
// bit, else ".Trash-UID" (never through a link). When that trash cannot be
// made, or a move fails part way, every file stays or comes back and no
// record is left.
TEST_F(TrashTest, AnotherFileSystemHasItsOwnTrash)
{
    if (::unshare(CLONE_NEWNS) != 0 || ::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
        GTEST_SKIP() << "cannot mount a file system here";
    }
    const std::string uid = std::to_string(::geteuid());
    enum Setup { Nothing, Sticky, NotSticky, LinkToSticky, FileInTheWay, LinkInTheWay, NoRoom };
    const std::vector<std::tuple<Setup, std::string, int>> cases = {
        {Nothing, ".Trash-" + uid, 0},      {Sticky, ".Trash/" + uid, 0}, {NotSticky, ".Trash-" + uid, 0},
        {LinkToSticky, ".Trash-" + uid, 0}, {FileInTheWay, "", ENOTDIR},  {LinkInTheWay, "", ELOOP},
        {NoRoom, "", ENOSPC}};
    for (const auto& [setup, trashAt, error] : cases) {
        SCOPED_TRACE(setup);
        const std::string top = root + "mnt" + std::to_string(setup) + "/", own = top + ".Trash-" + uid;
        const std::string data = root + "data" + std::to_string(setup), trashHome = data + "/Trash/";
        test::makeDirs(top);
        ASSERT_EQ(::mount("none", top.c_str(), "tmpfs", 0, setup == NoRoom ? "nr_inodes=64" : "size=8m"), 0);
        const std::shared_ptr<void> unmount(nullptr, [&](void*) { ::umount2(top.c_str(), MNT_DETACH); });
        ::setenv("XDG_DATA_HOME", data.c_str(), 1);
        test::writeFile(root + "home.txt", "home");
        test::writeFile(top + "sub/far.txt", "far");
        fs::create_hard_link(top + "sub/far.txt", top + "twin");  // moved, it keeps its twin
        const std::string dotTrash = top + (setup == Sticky || setup == NotSticky ? ".Trash" : "elsewhere");
        test::makeDirs(dotTrash);
        ::chmod(dotTrash.c_str(), setup == NotSticky ? 0777 : 01777);
        if (setup == LinkToSticky || setup == LinkInTheWay) {
            ASSERT_EQ(::symlink("elsewhere", setup == LinkInTheWay ? own.c_str() : (top + ".Trash").c_str()), 0);
        } else if (setup == FileInTheWay) {
            test::writeFile(own, "not a folder");
        } else if (setup == NoRoom) {
            // its trash is ready, but there is no room for the record
            test::makeDirs(own + "/files");
            test::makeDirs(own + "/info");
            for (int i = 0; ::close(::open((top + std::to_string(i)).c_str(), O_CREAT | O_WRONLY, 0600)) == 0; ++i) {
            }
        }
        ResultList list;
        addRow(list, root, "home.txt");
        addRow(list, top + "sub/", "far.txt");
        const DelResult r = DelFile(list, trash, [] { return true; });
        EXPECT_EQ(entries(top + "elsewhere"), Names{});
        if (error == 0) {
            ASSERT_EQ(r.outcome, DelOutcome::Deleted) << r.message;
            EXPECT_EQ(entries(trashHome + "files"), Names{"home.txt"});
            EXPECT_EQ(entries(top + trashAt + "/files"), Names{"far.txt"});
            EXPECT_EQ(fs::hard_link_count(top + "twin"), 2u);
            EXPECT_EQ(infoPath(top + trashAt + "/info/far.txt.trashinfo"), "sub/far.txt");  // from the top
            EXPECT_EQ(fs::symlink_status(top + trashAt).permissions(), fs::perms::owner_all);
            continue;
        }
        const std::string says = "Deletion failed. Error Code: " + std::to_string(error) + "\n\n" +
                                 std::strerror(error);
        EXPECT_TRUE(r.outcome == DelOutcome::Failed && r.message.starts_with(says) && r.trash.leftInTrash.empty() &&
                    list.count() == 2)
            << r.message;
        EXPECT_EQ(test::readFile(root + "home.txt") + test::readFile(top + "sub/far.txt"), "homefar");
        for (const std::string& folder : {trashHome + "files", trashHome + "info", own + "/files", own + "/info"}) {
            EXPECT_EQ(entries(folder), Names{}) << folder;
        }
    }
}

// The typed text is taken as it stands ("/" names a sub-folder, which must
// exist), and nothing is ever replaced: a file, a folder, a link.
TEST(FileOpsRename, NeverReplacesAnExistingName)
{
    const std::tuple<Names, RenOutcome, std::string> cases[] = {
        {{"b.txt"}, RenOutcome::Failed, "a.txt"},
        {{"sub"}, RenOutcome::Failed, "a.txt"},
        {{"dangling"}, RenOutcome::Failed, "a.txt"},
        {{"missing/a.txt"}, RenOutcome::Failed, "a.txt"},
        {{std::string("cut\0off", 7)}, RenOutcome::Failed, "a.txt"},
        {{""}, RenOutcome::Cancelled, "a.txt"},
        {{" new\n\xff.txt "}, RenOutcome::Renamed, " new\n\xff.txt "},
        // renamed again, a file moved into a sub-folder stays there
        {{"sub/a2.txt", "b.txt"}, RenOutcome::Renamed, "sub/b.txt"},
    };
    for (const auto& [answers, outcome, endsAt] : cases) {
        SCOPED_TRACE(answers.back());
        test::TempDir tmp;
        test::writeFile(tmp / "a.txt", "A");
        test::writeFile(tmp / "b.txt", "B");
        test::makeDirs(tmp / "sub");
        ASSERT_EQ(::symlink("nowhere", (tmp / "dangling").c_str()), 0);
        ResultList list;
        addRow(list, tmp.path(), "other", false);
        addRow(list, tmp.path(), "a.txt", false);
        list.select(1);
        RenResult r;
        for (const std::string& answer : answers) {
            r = RenFile(list, [&](const RenamePrompt&) { return answer; });
        }
        EXPECT_EQ(r.outcome, outcome);
        EXPECT_EQ(list.row(1).path(), tmp / endsAt);
        EXPECT_EQ(test::readFile(tmp / endsAt) + test::readFile(tmp / "b.txt"), "AB");
        if (outcome != RenOutcome::Renamed) {
            EXPECT_EQ(entries(tmp.path()), (Names{"a.txt", "b.txt", "dangling", "sub"}));
        }
    }
    // Where a file system cannot refuse in one step, linking refuses too.
    test::TempDir tmp;
    test::writeFile(tmp / "a", "A");
    test::writeFile(tmp / "b", "B");
    EXPECT_FALSE(platform::renameNoReplaceByLink(tmp / "a", tmp / "b"));
    EXPECT_TRUE(platform::renameNoReplaceByLink(tmp / "a", tmp / "c"));
    EXPECT_EQ(entries(tmp.path()), (Names{"b", "c"}));
    EXPECT_EQ(test::readFile(tmp / "b") + test::readFile(tmp / "c"), "BA");
}
