// The delete path on file systems of their own, mounted in a mount
// namespace private to the test process (skipped where that is not
// allowed): the trash at the top of another file system, one file under two
// names, and linking duplicates where blocks can be shared and where not.
// Each test has a namespace of its own, which the helper threads started by
// an earlier test of the same process do not see: one test per process, as
// ctest runs them.
#include "results/linking.h"
#include "reviewtest.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <linux/fiemap.h>
#include <linux/fs.h>
#include <memory>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace kormial;
using namespace kormial::test;

namespace {

// Mounts a new Btrfs file system, made in the image file `image`, on the
// folder `at` (as root, where mkfs.btrfs is installed).
bool mountBtrfs(const std::string& image, const std::string& at)
{
    const std::string quiet = " >/dev/null 2>&1";
    return ::geteuid() == 0 && ::truncate((writeFile(image, ""), image).c_str(), 256 << 20) == 0 &&
           std::system(("PATH=$PATH:/usr/sbin:/sbin mkfs.btrfs -q '" + image + "'" + quiet).c_str()) == 0 &&
           std::system(("mount -o loop '" + image + "' '" + at + "'" + quiet).c_str()) == 0;
}

// Where the file's bytes lie on the disk: the logical and physical offset of
// each extent, its data written out first.
std::vector<std::pair<std::uint64_t, std::uint64_t>> extentsOf(const std::string& path)
{
    constexpr unsigned kMost = 64;
    std::vector<std::uint64_t> buf((sizeof(fiemap) + kMost * sizeof(fiemap_extent)) / sizeof(std::uint64_t) + 1);
    auto* map = reinterpret_cast<fiemap*>(buf.data());
    map->fm_length = FIEMAP_MAX_OFFSET;
    map->fm_flags = FIEMAP_FLAG_SYNC;
    map->fm_extent_count = kMost;
    const int fd = ::open(path.c_str(), O_RDONLY);
    EXPECT_EQ(::ioctl(fd, FS_IOC_FIEMAP, map), 0) << path;
    ::close(fd);
    std::vector<std::pair<std::uint64_t, std::uint64_t>> out;
    for (unsigned i = 0; i < map->fm_mapped_extents; ++i) {
        out.emplace_back(map->fm_extents[i].fe_logical, map->fm_extents[i].fe_physical);
    }
    return out;
}

// Swaps the file in folder "e" for an impostor just before its name is
// exchanged with the link, as someone could at that moment.
class RacingLinker final : public platform::HardLinker {
protected:
    void beforeExchange(const platform::AnchoredFolder& folder, const std::string& name) override
    {
        if (folder.path.ends_with("/e/")) {
            fs::rename(folder.path + name, folder.path + "aside");
            writeFile(folder.path + name, "an impostor");
        }
    }
};

// Each test in a mount namespace of its own, skipped where none can be made.
class MountTest : public TrashTest {
protected:
    void SetUp() override
    {
        if (::unshare(CLONE_NEWNS) != 0 || ::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
            GTEST_SKIP() << "cannot mount a file system here";
        }
    }
};

}  // namespace

// A file on another file system (a tmpfs of its own, in a mount namespace
// private to this process) goes to the trash at its top, moved, not copied:
// the user's own folder (mode 0700) in ".Trash" when that is a real folder
// with the sticky bit, else ".Trash-UID", which must be a real folder of the
// user's. A trash that is not the user's, or cannot be made, refuses the
// file: it stays, and no record is left. The dry run before looks at the
// same trash, makes nothing, and says what the move then does.
TEST_F(MountTest, AnotherFileSystemHasItsOwnTrash)
{
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

// One file under two names, as no device and inode test tells apart: the
// merged view of an overlay and its lower layer show one file under two
// device numbers. The name kept never keeps the one marked.
TEST_F(MountTest, OneFileUnderTwoNamesIsNoCopy)
{
    ::setenv("XDG_DATA_HOME", (root + "data").c_str(), 1);
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

// Linking a duplicate to its kept copy keeps every path. Hard links make the
// marked names one file with the kept copy (one inode, the bytes as they
// were), and those names leave every list. Shared blocks keep each file's
// inode and share its extents where the file system can (a Btrfs image),
// piece by piece, and the file leaves Duplicates only; where blocks cannot
// be shared, every file is skipped with the reason. A file on another file
// system than its kept copy, and a file swapped for another at the moment of
// the exchange, stay as they are.
TEST_F(MountTest, LinksKeepEveryPath)
{
    const auto inode = [](const std::string& path) {
        struct stat st {};
        return ::stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
    };
    enum Setup { HardLinks, NoSharing, Sharing };
    bool sharingTried = false;
    for (const Setup setup : {HardLinks, NoSharing, Sharing}) {
        SCOPED_TRACE(setup);
        const std::string n = std::to_string(setup), top = root + "m" + n + "/", far = root + "far" + n + "/";
        makeDirs(top);
        if (setup == Sharing ? !mountBtrfs(root + "btrfs.img", top) : ::mount("none", top.c_str(), "tmpfs", 0, nullptr) != 0) {
            ASSERT_EQ(setup, Sharing);
            continue;
        }
        sharingTried = sharingTried || setup == Sharing;
        const std::shared_ptr<void> unmount(nullptr, [&](void*) { ::umount2(top.c_str(), MNT_DETACH); });
        // two pieces where blocks are shared
        const std::string bytes = randomBytes(setup, setup == Sharing ? (std::size_t{16} << 20) + 5000 : 5000);
        const Names names = {"a/x", "b/x", "c/x", "e/x"};
        std::map<std::string, ino_t> before;
        for (const std::string& name : names) {
            writeFile(top + name, bytes);
            before[name] = inode(top + name);
        }
        writeFile(far + "x", bytes);
        auto lists = search({top, far});
        ASSERT_EQ(lists[kListDuplicates].count(), 5);
        mark(lists[kListDuplicates], {"m" + n + "/b/x", "m" + n + "/c/x", "m" + n + "/e/x", "far" + n + "/x"});
        const auto files = tree(top);
        RacingLinker racing;
        HardLinkAction hard(&racing);
        SharedBlocksAction blocks;
        ReviewAction& action = setup == HardLinks ? static_cast<ReviewAction&>(hard) : blocks;
        const auto dry = review(lists.data(), kListDuplicates, action, true, false);
        EXPECT_TRUE(tree(top) == files);  // (too many bytes to print)
        const auto run = review(lists.data(), kListDuplicates, action, false, false);
        ASSERT_TRUE(run.size() == 4u && dry.size() == 4u);
        std::map<std::string, std::string> outcome;  // "done", or why it stayed
        for (std::size_t i = 0; i < run.size(); ++i) {
            const std::string rel = run[i].path.starts_with(top) ? run[i].path.substr(top.size()) : "far";
            outcome[rel] = run[i].done ? "done" : run[i].note;
            // the swap comes in the run alone
            EXPECT_TRUE((setup == HardLinks && rel == "e/x") || (dry[i].done == run[i].done && dry[i].note == run[i].note))
                << rel << ": " << dry[i].note;
        }
        const std::string linked = setup == NoSharing ? "this file system cannot share blocks" : "done";
        EXPECT_EQ(outcome, (std::map<std::string, std::string>{
                               {"b/x", linked},
                               {"c/x", linked},
                               {"e/x", setup == HardLinks ? "it changed since the search" : linked},
                               {"far", setup == NoSharing ? linked : "it and its kept copy lie on different file systems"}}));
        if (setup == HardLinks) {
            for (const char* name : {"a/x", "b/x", "c/x"}) {
                EXPECT_TRUE(readFile(top + name) == bytes && inode(top + name) == before["a/x"]) << name;
            }
            EXPECT_EQ(fs::hard_link_count(top + "a/x"), 3u);
            EXPECT_EQ(entries(top + "b"), Names{"x"});  // no temporary name left
            EXPECT_EQ(readFile(top + "e/aside") + readFile(top + "e/x"), bytes + "an impostor");
        } else {
            EXPECT_TRUE(tree(top) == files);  // every byte, every name
            for (const std::string& name : names) {
                EXPECT_EQ(inode(top + name), before[name]) << name;
                EXPECT_TRUE(setup == NoSharing || extentsOf(top + name) == extentsOf(top + "a/x")) << name;
            }
        }
        // a file that kept its own bytes is still listed by its name
        EXPECT_EQ(lists[kListDuplicates].count(), setup == NoSharing ? 5 : setup == HardLinks ? 3 : 2);
        EXPECT_EQ(std::ranges::count_if(lists[kListSameName].rows(), [&](const ResultRow& r) { return r.path() == top + "b/x"; }),
                  setup == HardLinks ? 0 : 1);
    }
    if (!sharingTried) {
        GTEST_SKIP() << "no Btrfs image could be made and mounted here (mkfs.btrfs, loop devices, root)";
    }
}
