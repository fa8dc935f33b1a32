// The delete path on file systems of their own, mounted in a mount
// namespace private to the test process (skipped where that is not
// allowed): the trash at the top of another file system, and one file
// under two names.
#include "results/marking.h"
#include "reviewtest.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace kormial;
using namespace kormial::test;

// A file on another file system (a tmpfs of its own, in a mount namespace
// private to this process) goes to the trash at its top, moved, not copied:
// the user's own folder (mode 0700) in ".Trash" when that is a real folder
// with the sticky bit, else ".Trash-UID", which must be a real folder of the
// user's. A trash that is not the user's, or cannot be made, refuses the
// file: it stays, and no record is left. The dry run before looks at the
// same trash, makes nothing, and says what the move then does.
TEST_F(TrashTest, AnotherFileSystemHasItsOwnTrash)
{
    if (::unshare(CLONE_NEWNS) != 0 || ::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
        GTEST_SKIP() << "cannot mount a file system here";
    }
    const std::string uid = std::to_string(::geteuid());
    const uid_t other = ::geteuid() == 0 ? 65534 : 0;  // someone else
    enum Setup { Nothing, Sticky, NotSticky, LinkToSticky, ForeignInSticky, FileInTheWay, LinkInTheWay, Foreign, NoRoom,
                 ReadOnly };
    const std::vector<std::tuple<Setup, std::string, int>> cases = {
        {Nothing, ".Trash-" + uid, 0},      {Sticky, ".Trash/" + uid, 0},         {NotSticky, ".Trash-" + uid, 0},
        {LinkToSticky, ".Trash-" + uid, 0}, {ForeignInSticky, ".Trash-" + uid, 0}, {FileInTheWay, "", ENOTDIR},
        {LinkInTheWay, "", ELOOP},          {Foreign, "", EPERM},                  {NoRoom, "", ENOSPC},
        {ReadOnly, "", EROFS}};
    for (const auto& [setup, trashAt, error] : cases) {
        SCOPED_TRACE(setup);
        if (setup == Foreign && ::geteuid() != 0) {
            continue;  // only root makes a folder someone else's
        }
        const std::string top = root + "mnt" + std::to_string(setup) + "/", own = top + ".Trash-" + uid;
        ::setenv("XDG_DATA_HOME", (root + "data").c_str(), 1);
        makeDirs(top);
        ASSERT_EQ(::mount("none", top.c_str(), "tmpfs", 0, setup == NoRoom ? "nr_inodes=64" : "size=8m"), 0);
        const std::shared_ptr<void> unmount(nullptr, [&](void*) { ::umount2(top.c_str(), MNT_DETACH); });
        writeFile(top + "sub/far.txt", "");
        fs::create_hard_link(top + "sub/far.txt", top + "twin");  // moved, it keeps its twin
        const std::string dotTrash = top + (setup == Sticky || setup == NotSticky || setup == ForeignInSticky ? ".Trash" : "elsewhere");
        makeDirs(dotTrash);
        ::chmod(dotTrash.c_str(), setup == NotSticky ? 0777 : 01777);
        if (setup == LinkToSticky || setup == LinkInTheWay) {
            ASSERT_EQ(::symlink("elsewhere", setup == LinkInTheWay ? own.c_str() : (top + ".Trash").c_str()), 0);
        } else if (setup == FileInTheWay) {
            writeFile(own, "not a folder");
        } else if (setup == ForeignInSticky || setup == Foreign) {
            const std::string theirs = setup == Foreign ? own : dotTrash + "/" + uid;
            makeDirs(theirs + "/files");
            makeDirs(theirs + "/info");
            ::chmod(theirs.c_str(), 0700);
            ASSERT_EQ(::chown(theirs.c_str(), setup == Foreign ? other : ::geteuid(), 0), 0);
            if (setup == ForeignInSticky) {
                ::chmod(theirs.c_str(), 0777);  // not the user's alone
            }
        } else if (setup == NoRoom) {
            // its trash is ready, but there is no room for the record
            makeDirs(own + "/files");
            makeDirs(own + "/info");
            for (int i = 0; ::close(::open((top + std::to_string(i)).c_str(), O_CREAT | O_WRONLY, 0600)) == 0; ++i) {
            }
        }
        if (setup == ReadOnly) {
            ASSERT_EQ(::mount("none", top.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr), 0);
        }
        auto lists = search({top + "sub/"});
        lists[kListZeroSize].setChecked(0, true);
        const auto before = tree(top);
        const auto dry = review(lists.data(), kListZeroSize, trash, true);
        EXPECT_EQ(tree(top), before);
        const auto files = review(lists.data(), kListZeroSize, trash);
        ASSERT_EQ(files.size(), 1u);
        ASSERT_EQ(dry.size(), 1u);
        EXPECT_EQ(dry[0].note, files[0].note);
        EXPECT_EQ(entries(top + "elsewhere"), Names{});
        if (error == 0) {
            EXPECT_EQ(files[0].note, "");
            EXPECT_EQ(entries(top + trashAt + "/files"), Names{"far.txt"});
            EXPECT_EQ(fs::hard_link_count(top + "twin"), 2u);
            EXPECT_EQ(infoPath(top + trashAt + "/info/far.txt.trashinfo"), "sub/far.txt");  // from the top
            EXPECT_EQ(fs::symlink_status(top + trashAt).permissions(), fs::perms::owner_all);
            continue;
        }
        EXPECT_EQ(files[0].note, "Deletion failed. Error Code: " + std::to_string(error) + " (" +
                                     std::strerror(error) + ")");
        EXPECT_EQ(lists[kListZeroSize].count(), 1);
        EXPECT_TRUE(fs::exists(top + "sub/far.txt"));
        for (const std::string& folder : {own + "/files", own + "/info", dotTrash + "/" + uid + "/info"}) {
            EXPECT_EQ(entries(folder), Names{}) << folder;
        }
    }
}

// One file under two names, as no device and inode test tells apart: a file
// bind-mounted onto a second name is the same file; the merged view of an
// overlay and its lower layer show one file under two device numbers. The
// name kept never keeps the one marked.
TEST_F(TrashTest, OneFileUnderTwoNamesIsNoCopy)
{
    if (::unshare(CLONE_NEWNS) != 0 || ::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
        GTEST_SKIP() << "cannot mount a file system here";
    }
    ::setenv("XDG_DATA_HOME", (root + "data").c_str(), 1);
    writeFile(root + "bind/a/x", "the only copy");
    writeFile(root + "bind/b/x", "");
    if (::mount((root + "bind/a/x").c_str(), (root + "bind/b/x").c_str(), nullptr, MS_BIND, nullptr) == 0) {
        const std::shared_ptr<void> unmount(nullptr, [&](void*) { ::umount2((root + "bind/b/x").c_str(), MNT_DETACH); });
        auto lists = search({root + "bind/a/", root + "bind/b/"});
        MarkAllButOne(lists[kListDuplicates], kListDuplicates, Keep::First);
        if (lists[kListDuplicates].count() == 2) {
            const auto files = review(lists.data(), kListDuplicates, trash);
            ASSERT_EQ(files.size(), 1u);
            EXPECT_EQ(files[0].note, kNoCopyStays);
        }
        EXPECT_EQ(readFile(root + "bind/a/x"), "the only copy");
    }
    writeFile(root + "ovl/lower/x", "the only copy");
    for (const char* f : {"upper", "work", "merged"}) {
        makeDirs(root + "ovl/" + f);
    }
    const std::string options = "lowerdir=" + root + "ovl/lower,upperdir=" + root + "ovl/upper,workdir=" + root + "ovl/work";
    if (::mount("overlay", (root + "ovl/merged").c_str(), "overlay", 0, options.c_str()) != 0) {
        GTEST_SKIP() << "no overlay file system here";
    }
    const std::shared_ptr<void> unmount(nullptr, [&](void*) { ::umount2((root + "ovl/merged").c_str(), MNT_DETACH); });
    auto lists = search({root + "ovl/merged/", root + "ovl/lower/"});
    ResultList& dups = lists[kListDuplicates];
    ASSERT_EQ(dups.count(), 2);
    mark(dups, {"ovl/lower/x"});
    // the dry run has no move after which to look again: the rule alone tells
    for (const bool dryRun : {true, false}) {
        const auto files = review(lists.data(), kListDuplicates, trash, dryRun);
        ASSERT_EQ(files.size(), 1u);
        EXPECT_FALSE(files[0].done) << files[0].note;
    }
    EXPECT_EQ(readFile(root + "ovl/lower/x"), "the only copy");
}
