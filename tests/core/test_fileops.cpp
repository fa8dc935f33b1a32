// The delete path and renaming on real files in temporary folders: every
// check made at the moment of the move (and by the dry run, which must
// agree), the copy of its bytes that must stay on every list (checked again
// after the move), and names that would leave the folder.
#include "results/fileops.h"
#include "reviewtest.h"

#include <fcntl.h>
#include <fstream>
#include <sys/stat.h>

using namespace kormial;
using namespace kormial::test;

namespace {

// The desktop trash with a hand in it: `beforeMove` runs as a move begins
// (after the review's checks), `inRename` between the trash's own last look
// at the file and its rename, where someone else could act.
class RacingTrash final : public platform::DesktopTrash {
public:
    bool moveToTrash(const platform::AnchoredFolder& folder, const std::string& name, const platform::FileState& state,
                     platform::TrashedEntry& moved, platform::Error* err) override
    {
        if (beforeMove) {
            beforeMove();
        }
        return DesktopTrash::moveToTrash(folder, name, state, moved, err);
    }
    std::function<void()> beforeMove, inRename;

protected:
    void beforeRename(const platform::AnchoredFolder&, const std::string&) override
    {
        if (inRename) {
            inRename();
        }
    }
};

// An action that only notes the files handed to it: what passed the
// review's own checks, whatever an action would check besides.
class Recorder final : public ReviewAction {
public:
    std::string_view fileWord(bool) const override { return "seen"; }
    std::string_view totalsWords(bool) const override { return "seen"; }
    std::string failureText(const platform::Error&) const override { return {}; }
    bool check(const ReviewTarget& t, platform::Error*) override { return seen.emplace_back(t.row.path()), true; }
    bool act(const ReviewTarget& t, platform::Error* e) override { return check(t, e); }
    bool undo(const ReviewTarget&, platform::Error*) override { return true; }
    Names seen;
};

// Writes `content` into the file in place (the same inode) and puts its
// last-write time back, as a backup tool or "touch -r" would.
void rewriteKeepingTime(const std::string& path, const std::string& content)
{
    struct stat before {};
    ::stat(path.c_str(), &before);
    std::ofstream(path, std::ios::binary | std::ios::in | std::ios::out) << content;
    const timespec same[2] = {{0, UTIME_OMIT}, before.st_mtim};
    ::utimensat(AT_FDCWD, path.c_str(), same, 0);
}

}  // namespace


// Each check at the moment of the move, made alike by the dry run before: a
// file that fails one stays where it is and stays listed; the others go to
// the home trash with their records (however odd their names) and leave
// every list.
TEST_F(TrashTest, EachFileIsCheckedAgainAsItGoes)
{
    enum Harm { None, FileRewritten, RewrittenTimeKept, KeptCopyRewritten, KeptCopyGone, KeptCopyInTrash, SameFileTwice,
                FolderNowALink, FolderSwapped, SearchedThroughALink, AllMarked, AllAllowed };
    const std::string odd = "line\nbreak \xff%" + std::string(230, 'n') + ".txt";
    for (const Harm harm : {None, FileRewritten, RewrittenTimeKept, KeptCopyRewritten, KeptCopyGone, KeptCopyInTrash,
                            SameFileTwice, FolderNowALink, FolderSwapped, SearchedThroughALink, AllMarked, AllAllowed}) {
        SCOPED_TRACE(harm);
        const std::string h = std::to_string(harm), at = root + h + "/";
        ::setenv("XDG_DATA_HOME", (at + "data").c_str(), 1);
        // the other copy lies in a trash folder, searched by name
        const std::string keptIn = harm == KeptCopyInTrash ? ".Trash-1000/files/" : "keep/";
        writeFile(at + keptIn + odd, "same bytes");
        writeFile(at + "go/" + odd, "same bytes");
        writeFile(at + "elsewhere/" + odd, "same bytes, not searched");
        // a folder searched through a link is walked and listed by its own path
        fs::create_directory_symlink(at, root + "via-" + h);
        const std::string from = harm == SearchedThroughALink ? root + "via-" + h + "/" : at;
        auto lists = search({from + "go/", from + keptIn});
        ResultList& dups = lists[kListDuplicates];
        ASSERT_EQ(dups.count(), 2);
        if (harm == SameFileTwice) {
            // the kept row names the very file that goes
            ResultRow twice = dups.row(dups.row(0).path().ends_with("go/" + odd) ? 0 : 1);
            dups.removeIf([&](const ResultRow& r) { return r.path() != twice.path(); });
            dups.add(twice);
        }
        const std::string gone = at + "go/" + odd, kept = at + keptIn + odd;
        mark(dups, harm >= AllMarked ? Names{h + "/go/" + odd, h + "/keep/" + odd} : Names{h + "/go/" + odd});
        if (harm == SameFileTwice) {
            dups.setChecked(1, false);
        }
        struct stat before {};
        ::stat(kept.c_str(), &before);
        if (harm == FileRewritten) {
            writeFile(gone, "same bytes");  // the same bytes, but written since
            const timespec later[2] = {{0, UTIME_OMIT}, {before.st_mtim.tv_sec + 5, 0}};
            ::utimensat(AT_FDCWD, gone.c_str(), later, 0);
        } else if (harm == RewrittenTimeKept) {
            rewriteKeepingTime(gone, "same bytes");  // written, though its length and time are as listed
        } else if (harm == KeptCopyRewritten) {
            rewriteKeepingTime(kept, "SAME BYTES");
        } else if (harm == KeptCopyGone) {
            fs::remove(kept);
        } else if (harm == FolderNowALink) {
            fs::rename(at + "go", at + "went");
            fs::create_directory_symlink(at + "elsewhere", at + "go");
        } else if (harm == FolderSwapped) {
            // another folder, holding the very file by a second name
            fs::rename(at + "go", at + "went");
            makeDirs(at + "go");
            fs::create_hard_link(at + "went/" + odd, gone);
        }
        const auto files = tree(at);
        const bool moves = harm == None || harm == SearchedThroughALink || harm == AllAllowed;
        Recorder handed;  // the review's checks alone
        review(lists.data(), kListDuplicates, handed, true, harm == AllAllowed);
        EXPECT_EQ(handed.seen.size(), moves ? (harm == AllAllowed ? 2u : 1u) : 0u);
        const auto dry = review(lists.data(), kListDuplicates, trash, true, harm == AllAllowed);
        EXPECT_EQ(tree(at), files);  // a dry run writes nothing, not even the trash
        const auto run = review(lists.data(), kListDuplicates, trash, false, harm == AllAllowed);
        ASSERT_EQ(run.size(), harm >= AllMarked ? 2u : 1u);
        ASSERT_EQ(dry.size(), run.size());
        EXPECT_EQ(run[0].done, moves) << run[0].note;
        EXPECT_EQ(dry[0].done, run[0].done);
        EXPECT_EQ(dry[0].note, run[0].note);
        if (!moves) {
            EXPECT_EQ(tree(at), files);
            EXPECT_EQ(dups.count(), 2);
            continue;
        }
        EXPECT_EQ(dups.count(), 0);  // a group left with one file is no group
        EXPECT_EQ(lists[kListSameName].count(), harm == AllAllowed ? 0 : 1);
        EXPECT_EQ(entries(at + "data/Trash/info").size(), harm == AllAllowed ? 2u : 1u);
        for (const std::string& entry : entries(at + "data/Trash/files")) {
            const std::string was = infoPath(at + "data/Trash/info/" + entry + ".trashinfo");
            EXPECT_TRUE(was == gone || was == kept) << was;
            EXPECT_FALSE(fs::exists(was));
        }
    }
}

// Between the checks and the end of the move someone acts: the kept copy is
// written, or the file is swapped or written inside the trash's own move. The file ends where it was, no record is left, and it is
// reported as staying.
TEST_F(TrashTest, RacesAtTheMomentOfTheMoveLeaveTheFile)
{
    enum Race { KeptCopyWritten, FileSwappedInTheMove, FileWrittenInTheMove };
    for (const Race race : {KeptCopyWritten, FileSwappedInTheMove, FileWrittenInTheMove}) {
        SCOPED_TRACE(race);
        const std::string at = root + std::to_string(race) + "/";
        ::setenv("XDG_DATA_HOME", (at + "data").c_str(), 1);
        writeFile(at + "a/x", "same bytes");
        writeFile(at + "b/x", "same bytes");
        auto lists = search({at + "a/", at + "b/"});
        mark(lists[kListDuplicates], {std::to_string(race) + "/b/x"});
        RacingTrash racing;
        if (race == KeptCopyWritten) {
            racing.beforeMove = [&] { rewriteKeepingTime(at + "a/x", "SAME BYTES"); };
        } else if (race == FileSwappedInTheMove) {
            racing.inRename = [&] {
                fs::rename(at + "b/x", at + "b/aside");
                writeFile(at + "b/x", "an impostor");
            };
        } else {
            racing.inRename = [&] { std::ofstream(at + "b/x", std::ios::app) << " and more"; };
        }
        const auto files = review(lists.data(), kListDuplicates, racing);
        ASSERT_EQ(files.size(), 1u);
        EXPECT_FALSE(files[0].done);
        EXPECT_NE(files[0].note.find(race == KeptCopyWritten ? "put back" : "it changed since the search"),
                  std::string::npos)
            << files[0].note;
        EXPECT_EQ(readFile(at + "b/x"), race == FileSwappedInTheMove ? "an impostor"
                                              : race == FileWrittenInTheMove ? "same bytes and more"
                                                                             : "same bytes");
        EXPECT_EQ(entries(at + "data/Trash/files"), Names{});
        EXPECT_EQ(entries(at + "data/Trash/info"), Names{});
        EXPECT_EQ(lists[kListDuplicates].count(), 2);
    }
}

// The rule is one for every list: on Portions the larger file keeps the
// smaller one's bytes, not the other way round; on Same Name no copy is
// known, so every marked file is a last copy; on Zero Size nothing needs to
// stay. A last copy goes only when allowed.
TEST_F(TrashTest, EveryListKeepsACopyUnlessAllowed)
{
    ::setenv("XDG_DATA_HOME", (root + "data").c_str(), 1);
    const std::string big = randomBytes(7, 200000);
    writeFile(root + "t/p/big.bin", big);
    writeFile(root + "t/p/part.bin", big.substr(0, 120000));
    writeFile(root + "t/n1/01 - Track 1.mp3", "one song");
    writeFile(root + "t/n2/01 - track 1.MP3", "another song");
    writeFile(root + "t/z/empty", "");
    // list, the files marked, allowed, the ones that go, how many are last copies
    const std::tuple<int, Names, bool, Names, int> cases[] = {
        {kListPortions, {"t/p/big.bin"}, false, {}, 1},
        {kListPortions, {"t/p/part.bin"}, false, {"t/p/part.bin"}, 0},
        {kListSameName, {"t/n2/01 - track 1.MP3"}, false, {}, 1},
        {kListSameName, {"t/n1/01 - Track 1.mp3", "t/n2/01 - track 1.MP3"}, true,
         {"t/n1/01 - Track 1.mp3", "t/n2/01 - track 1.MP3"}, 2},
        {kListZeroSize, {"t/z/empty"}, false, {"t/z/empty"}, 0},
    };
    for (const auto& [tab, marked, allowed, going, last] : cases) {
        SCOPED_TRACE(tab);
        auto lists = search({root + "t/"});
        mark(lists[tab], marked);
        EXPECT_EQ(FindLastCopies(lists[tab], tab).count, last);
        const auto files = review(lists.data(), tab, trash, false, allowed);
        ASSERT_EQ(files.size(), marked.size());
        for (const ReviewedFile& f : files) {
            const bool goes = std::ranges::count(going, f.path.substr(root.size())) == 1;
            EXPECT_EQ(f.done, goes) << f.path << ": " << f.note;
            EXPECT_EQ(fs::exists(f.path), !goes) << f.path;
            if (!goes) {
                EXPECT_EQ(f.note, kNoCopyStays);
            }
            if (goes) {
                fs::rename(root + "data/Trash/files/" + fs::path(f.path).filename().string(), f.path);  // back for the next case
                fs::remove(root + "data/Trash/info/" + fs::path(f.path).filename().string() + ".trashinfo");
            }
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
        writeFile(at + "f/a.txt", "A");
        writeFile(at + "f/b.txt", "A");
        writeFile(at + "f/sub/a.txt", "A");  // on "Same Name" too
        ASSERT_EQ(::symlink("nowhere", (at + "f/dangling").c_str()), 0);
        auto lists = search({at + "f/"});
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
        EXPECT_EQ(readFile(folder + endsAt) + readFile(folder + "b.txt"), "AA");
        if (outcome != RenOutcome::Renamed) {
            EXPECT_EQ(entries(folder), (Names{"a.txt", "b.txt", "dangling", "sub"}));
            EXPECT_EQ(entries(at), (answer == "swapped" ? Names{"f", "g"} : Names{"f"}));
            continue;
        }
        // renamed, it is still the file listed: it can go to the trash
        ::setenv("XDG_DATA_HOME", (at + "data").c_str(), 1);
        lists[kListDuplicates].setChecked(lists[kListDuplicates].selectedRow(), true);
        const auto files = review(lists.data(), kListDuplicates, trash);
        ASSERT_EQ(files.size(), 1u);
        EXPECT_TRUE(files[0].done) << files[0].note;
    }
}

