// The delete path and renaming on real files in temporary folders, with the
// trash under a temporary data folder: every check made at the moment of the
// move, the trash of another file system, and names that would leave the
// folder.
#include "platform/trash.h"
#include "results/fileops.h"
#include "search/execsrch.h"
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

// Puts an environment variable back as it was.
struct EnvBack {
    const char* name;
    std::optional<std::string> was = std::getenv(name) ? std::optional<std::string>(std::getenv(name)) : std::nullopt;
    ~EnvBack() { was ? ::setenv(name, was->c_str(), 1) : ::unsetenv(name); }
};

// Every test gets its own folder, by a path without links, and its own
// data folder for the home trash.
class TrashTest : public ::testing::Test {
protected:
    // The lists of a search of `folder` for duplicates and same names.
    std::array<ResultList, kResultListCount> search(const std::string& folder)
    {
        SearchObserver quiet;
        return ExecSrch({{{folder, "*.*", true}}, -1, -1,
                         {SearchType::ZeroSize, SearchType::Duplicates, SearchType::SameName}, false},
                        quiet)
            .lists;
    }
    void mark(ResultList& list, const Names& rels)
    {
        for (std::int64_t i = 0; i < list.count(); ++i) {
            const std::string p = list.row(i).path();
            list.setChecked(i, std::ranges::any_of(rels, [&](const auto& r) { return p == root + r; }));
        }
    }
    EnvBack xdg{"XDG_DATA_HOME"};
    test::TempDir tmp;
    const std::string root = fs::canonical(tmp.path()).string() + "/";
    platform::DesktopTrash trash;
};

}  // namespace

// Each check at the moment of the move: a file that fails one stays where it
// is and stays listed; the others go to the home trash with their records
// (however odd their names) and leave every list.
TEST_F(TrashTest, EachFileIsCheckedAgainAsItGoes)
{
    enum Harm { None, FileRewritten, KeptCopyRewritten, KeptCopyGone, FolderNowALink, FolderSwapped, SearchedThroughALink,
                AllMarked, AllAllowed };
    const std::string odd = "line\nbreak \xff%" + std::string(230, 'n') + ".txt";
    for (const Harm harm : {None, FileRewritten, KeptCopyRewritten, KeptCopyGone, FolderNowALink, FolderSwapped,
                            SearchedThroughALink, AllMarked, AllAllowed}) {
        SCOPED_TRACE(harm);
        const std::string at = root + std::to_string(harm) + "/";
        ::setenv("XDG_DATA_HOME", (at + "data").c_str(), 1);
        test::writeFile(at + "keep/" + odd, "same bytes");
        test::writeFile(at + "go/" + odd, "same bytes");
        test::writeFile(at + "elsewhere/" + odd, "same bytes, not searched");
        // a folder searched through a link is walked and listed by its own path
        fs::create_directory_symlink(at, root + "via-" + std::to_string(harm));
        auto lists = search(harm == SearchedThroughALink ? root + "via-" + std::to_string(harm) + "/" : at);
        // "elsewhere" is left out below
        ResultList& dups = lists[kListDuplicates];
        dups.removeIf([](const ResultRow& r) { return r.folder->path.ends_with("elsewhere/"); });
        const std::string gone = at + "go/" + odd, kept = at + "keep/" + odd;
        mark(dups, harm >= AllMarked ? Names{std::to_string(harm) + "/go/" + odd, std::to_string(harm) + "/keep/" + odd}
                                     : Names{std::to_string(harm) + "/go/" + odd});
        struct stat before {};
        ::stat(kept.c_str(), &before);
        if (harm == FileRewritten) {
            test::writeFile(gone, "same bytes");  // the same bytes, but written since
            const timespec later[2] = {{0, UTIME_OMIT}, {before.st_mtim.tv_sec + 5, 0}};
            ::utimensat(AT_FDCWD, gone.c_str(), later, 0);
        } else if (harm == KeptCopyRewritten) {
            test::writeFile(kept, "SAME BYTES");  // its length and time as listed
            const timespec same[2] = {{0, UTIME_OMIT}, before.st_mtim};
            ::utimensat(AT_FDCWD, kept.c_str(), same, 0);
        } else if (harm == KeptCopyGone) {
            fs::remove(kept);
        } else if (harm == FolderNowALink) {
            fs::rename(at + "go", at + "went");
            fs::create_directory_symlink(at + "elsewhere", at + "go");
        } else if (harm == FolderSwapped) {
            // another folder, holding the very file by a second name
            fs::rename(at + "go", at + "went");
            test::makeDirs(at + "go");
            fs::create_hard_link(at + "went/" + odd, gone);
        }
        const auto files = TrashMarked(lists.data(), kListDuplicates, &trash, harm == AllAllowed);
        const bool moves = harm == None || harm == SearchedThroughALink || harm == AllAllowed;
        ASSERT_EQ(files.size(), harm >= AllMarked ? 2u : 1u);
        EXPECT_EQ(files[0].skipped.empty(), moves) << files[0].skipped;
        EXPECT_EQ(test::readFile(at + "elsewhere/" + odd), "same bytes, not searched");
        if (!moves) {
            EXPECT_EQ(dups.count(), 2);
            EXPECT_EQ(lists[kListSameName].count(), 3);
            continue;
        }
        EXPECT_EQ(dups.count(), harm == AllAllowed ? 0 : 1);
        EXPECT_EQ(lists[kListSameName].count(), harm == AllAllowed ? 1 : 2);
        EXPECT_EQ(entries(at + "data/Trash/info").size(), harm == AllAllowed ? 2u : 1u);
        for (const std::string& entry : entries(at + "data/Trash/files")) {
            const std::string from = infoPath(at + "data/Trash/info/" + entry + ".trashinfo");
            EXPECT_TRUE(from == gone || from == kept) << from;
            EXPECT_FALSE(fs::exists(from));
        }
    }
}

// A file on another file system (a tmpfs of its own, in a mount namespace
// private to this process) goes to the trash at its top, moved, not copied:
// the user's own folder (mode 0700) in ".Trash" when that is a real folder
// with the sticky bit, else ".Trash-UID", which must be a real folder of the
// user's. A trash that is not the user's, or cannot be made, refuses the
// file: it stays, and no record is left.
TEST_F(TrashTest, AnotherFileSystemHasItsOwnTrash)
{
    if (::unshare(CLONE_NEWNS) != 0 || ::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
        GTEST_SKIP() << "cannot mount a file system here";
    }
    const std::string uid = std::to_string(::geteuid());
    const uid_t other = ::geteuid() == 0 ? 65534 : 0;  // someone else
    enum Setup { Nothing, Sticky, NotSticky, LinkToSticky, ForeignInSticky, FileInTheWay, LinkInTheWay, Foreign, NoRoom };
    const std::vector<std::tuple<Setup, std::string, int>> cases = {
        {Nothing, ".Trash-" + uid, 0},      {Sticky, ".Trash/" + uid, 0},         {NotSticky, ".Trash-" + uid, 0},
        {LinkToSticky, ".Trash-" + uid, 0}, {ForeignInSticky, ".Trash-" + uid, 0}, {FileInTheWay, "", ENOTDIR},
        {LinkInTheWay, "", ELOOP},          {Foreign, "", EPERM},                  {NoRoom, "", ENOSPC}};
    for (const auto& [setup, trashAt, error] : cases) {
        SCOPED_TRACE(setup);
        if (setup == Foreign && ::geteuid() != 0) {
            continue;  // only root makes a folder someone else's
        }
        const std::string top = root + "mnt" + std::to_string(setup) + "/", own = top + ".Trash-" + uid;
        ::setenv("XDG_DATA_HOME", (root + "data").c_str(), 1);
        test::makeDirs(top);
        ASSERT_EQ(::mount("none", top.c_str(), "tmpfs", 0, setup == NoRoom ? "nr_inodes=64" : "size=8m"), 0);
        const std::shared_ptr<void> unmount(nullptr, [&](void*) { ::umount2(top.c_str(), MNT_DETACH); });
        test::writeFile(top + "sub/far.txt", "");
        fs::create_hard_link(top + "sub/far.txt", top + "twin");  // moved, it keeps its twin
        const std::string dotTrash = top + (setup == Sticky || setup == NotSticky || setup == ForeignInSticky ? ".Trash" : "elsewhere");
        test::makeDirs(dotTrash);
        ::chmod(dotTrash.c_str(), setup == NotSticky ? 0777 : 01777);
        if (setup == LinkToSticky || setup == LinkInTheWay) {
            ASSERT_EQ(::symlink("elsewhere", setup == LinkInTheWay ? own.c_str() : (top + ".Trash").c_str()), 0);
        } else if (setup == FileInTheWay) {
            test::writeFile(own, "not a folder");
        } else if (setup == ForeignInSticky || setup == Foreign) {
            const std::string theirs = setup == Foreign ? own : dotTrash + "/" + uid;
            test::makeDirs(theirs + "/files");
            test::makeDirs(theirs + "/info");
            ::chmod(theirs.c_str(), 0700);
            ASSERT_EQ(::chown(theirs.c_str(), setup == Foreign ? other : ::geteuid(), 0), 0);
            if (setup == ForeignInSticky) {
                ::chmod(theirs.c_str(), 0777);  // not the user's alone
            }
        } else if (setup == NoRoom) {
            // its trash is ready, but there is no room for the record
            test::makeDirs(own + "/files");
            test::makeDirs(own + "/info");
            for (int i = 0; ::close(::open((top + std::to_string(i)).c_str(), O_CREAT | O_WRONLY, 0600)) == 0; ++i) {
            }
        }
        auto lists = search(top + "sub/");
        lists[kListZeroSize].setChecked(0, true);
        const auto files = TrashMarked(lists.data(), kListZeroSize, &trash, false);
        ASSERT_EQ(files.size(), 1u);
        EXPECT_EQ(entries(top + "elsewhere"), Names{});
        if (error == 0) {
            EXPECT_EQ(files[0].skipped, "");
            EXPECT_EQ(entries(top + trashAt + "/files"), Names{"far.txt"});
            EXPECT_EQ(fs::hard_link_count(top + "twin"), 2u);
            EXPECT_EQ(infoPath(top + trashAt + "/info/far.txt.trashinfo"), "sub/far.txt");  // from the top
            EXPECT_EQ(fs::symlink_status(top + trashAt).permissions(), fs::perms::owner_all);
            continue;
        }
        EXPECT_EQ(files[0].skipped, "Deletion failed. Error Code: " + std::to_string(error) + " (" +
                                        std::strerror(error) + ")");
        EXPECT_EQ(lists[kListZeroSize].count(), 1);
        EXPECT_TRUE(fs::exists(top + "sub/far.txt"));
        for (const std::string& folder : {own + "/files", own + "/info", dotTrash + "/" + uid + "/info"}) {
            EXPECT_EQ(entries(folder), Names{}) << folder;
        }
    }
}

// A new name stays in the file's folder and replaces nothing: a file, a
// folder, a link. The file's rows on every list take the new name; a folder
// swapped for a link is not entered.
TEST_F(TrashTest, RenameStaysInItsFolder)
{
    const std::tuple<std::string, RenOutcome, std::string> cases[] = {
        {"b.txt", RenOutcome::Failed, "a.txt"},        {"sub", RenOutcome::Failed, "a.txt"},
        {"dangling", RenOutcome::Failed, "a.txt"},     {"../a.txt", RenOutcome::Failed, "a.txt"},
        {"sub/a.txt", RenOutcome::Failed, "a.txt"},    {"..", RenOutcome::Failed, "a.txt"},
        {std::string("cut\0off", 7), RenOutcome::Failed, "a.txt"}, {"", RenOutcome::Cancelled, "a.txt"},
        {" new\n\xff.txt ", RenOutcome::Renamed, " new\n\xff.txt "}, {"swapped", RenOutcome::Failed, "a.txt"},
    };
    for (const auto& [answer, outcome, endsAt] : cases) {
        SCOPED_TRACE(answer);
        const std::string at = root + "r" + std::to_string(&answer - &std::get<0>(cases[0])) + "/";
        test::writeFile(at + "f/a.txt", "A");
        test::writeFile(at + "f/b.txt", "A");
        test::writeFile(at + "f/sub/a.txt", "A");  // on "Same Name" too
        ASSERT_EQ(::symlink("nowhere", (at + "f/dangling").c_str()), 0);
        auto lists = search(at + "f/");
        const auto rowOf = [&](int l, const std::string& path) {
            const auto& rows = lists[l].rows();
            return std::ranges::find_if(rows, [&](const ResultRow& x) { return x.path() == path; }) - rows.begin();
        };
        lists[kListDuplicates].select(rowOf(kListDuplicates, at + "f/a.txt"));
        if (answer == "swapped") {
            fs::rename(at + "f", at + "g");
            fs::create_directory_symlink(at + "g", at + "f");
        }
        const RenResult r = RenFile(lists.data(), kListDuplicates, [&](const RenamePrompt&) { return answer; });
        EXPECT_EQ(r.outcome, outcome) << r.message;
        EXPECT_EQ(rowOf(kListDuplicates, at + "f/" + endsAt), lists[kListDuplicates].selectedRow());
        EXPECT_LT(rowOf(kListSameName, at + "f/" + endsAt), 2);
        const std::string folder = answer == "swapped" ? at + "g/" : at + "f/";
        EXPECT_EQ(test::readFile(folder + endsAt) + test::readFile(folder + "b.txt"), "AA");
        if (outcome != RenOutcome::Renamed) {
            EXPECT_EQ(entries(folder), (Names{"a.txt", "b.txt", "dangling", "sub"}));
            EXPECT_EQ(entries(at), (answer == "swapped" ? Names{"f", "g"} : Names{"f"}));
        }
    }
}
