// Deleting marked rows into the desktop trash and renaming files, with real
// files in temporary folders and the trash under a temporary data folder.
#include "catalogue/paths.h"
#include "platform/trash.h"
#include "results/fileops.h"
#include "results/preview_ext.h"
#include "results/resultrows.h"
#include "testutil.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <optional>
#include <regex>
#include <sched.h>
#include <string>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

using namespace kormial;
namespace fs = std::filesystem;

namespace {

using Names = std::vector<std::string>;

// Sets environment variables for one test and puts them (and the working
// folder) back afterwards.
class EnvGuard {
public:
    EnvGuard()
    {
        for (const char* name : {"XDG_DATA_HOME", "HOME"}) {
            const char* v = std::getenv(name);
            saved_[name] = v != nullptr ? std::optional<std::string>(v) : std::nullopt;
        }
        char buf[PATH_MAX];
        if (::getcwd(buf, sizeof buf) != nullptr) {
            cwd_ = buf;
        }
    }
    ~EnvGuard()
    {
        for (const auto& [name, value] : saved_) {
            if (value) {
                ::setenv(name.c_str(), value->c_str(), 1);
            } else {
                ::unsetenv(name.c_str());
            }
        }
        if (!cwd_.empty()) {
            [[maybe_unused]] const int rc = ::chdir(cwd_.c_str());
        }
    }
    EnvGuard(const EnvGuard&) = delete;
    EnvGuard& operator=(const EnvGuard&) = delete;

private:
    std::map<std::string, std::optional<std::string>> saved_;
    std::string cwd_;
};

bool exists(const std::string& path)
{
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

ino_t inodeOf(const std::string& path)
{
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

std::string realFolder(const std::string& folder)
{
    char* r = ::realpath(folder.c_str(), nullptr);
    std::string out = r != nullptr ? r : folder;
    std::free(r);
    if (out.back() != '/') {
        out += '/';
    }
    return out;
}

// The names in a folder, sorted as bytes; empty when it is missing.
Names entries(const std::string& folder)
{
    Names out;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(folder, ec)) {
        out.push_back(e.path().filename().native());
    }
    std::sort(out.begin(), out.end());
    return out;
}

std::string percentDecode(const std::string& s)
{
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '%' && i + 2 < s.size()) {
            out += static_cast<char>(std::stoi(s.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            out += s[i];
        }
    }
    return out;
}

// A ".trashinfo" record taken apart.
struct Info {
    std::string rawPath;  // as written
    std::string path;     // decoded
    std::string date;
};

Info readInfo(const std::string& file)
{
    const std::string text = test::readFile(file);
    static const std::regex kRecord(
        "\\[Trash Info\\]\nPath=([^\n]*)\nDeletionDate=([0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9]{2}:[0-9]{2}:[0-9]{2})\n");
    std::smatch m;
    if (!std::regex_match(text, m, kRecord)) {
        ADD_FAILURE() << "not a trash record: " << file << "\n" << text;
        return {};
    }
    return {m[1], percentDecode(m[1]), m[2]};
}

// The encoded path keeps to plain, printable ASCII without spaces.
bool plainAscii(const std::string& s)
{
    return std::all_of(s.begin(), s.end(), [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return u > 0x20 && u < 0x7F;
    });
}

// A row for the file `folder` + `name` (folder ends in "/").
void addRow(ResultList& list, const std::string& folder, const std::string& name, bool marked = false)
{
    const std::int64_t i = list.add(name, {folder, PadNumber(0), PadNumber(1), "", ""});
    list.setChecked(i, marked);
}

Names rowNames(const ResultList& list)
{
    Names out;
    for (const ResultRow& r : list.rows()) {
        out.push_back(r.text);
    }
    return out;
}

// A trash that records what it was asked and answers as told.
class RecordingTrash : public platform::Trash {
public:
    platform::TrashResult moveToTrash(const std::vector<std::string>& paths) override
    {
        calls.push_back(paths);
        return answer;
    }
    std::vector<std::vector<std::string>> calls;
    platform::TrashResult answer;
};

// Every test here gets its own folder and a data folder (not made yet)
// that holds the home trash.
class TrashFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        dataHome = tmp / "data/share";
        ::setenv("XDG_DATA_HOME", dataHome.c_str(), 1);
        trashFiles = dataHome + "/Trash/files/";
        trashInfo = dataHome + "/Trash/info/";
    }

    EnvGuard env;
    test::TempDir tmp;
    std::string dataHome;
    std::string trashFiles;
    std::string trashInfo;
    platform::DesktopTrash trash;
};

// A tmpfs of its own, mounted in a private mount namespace of this test
// process (never seen by anyone else). Tests skip where mounting is not
// allowed.
bool privateMountNamespace()
{
    static int state = -1;
    if (state < 0) {
        state = ::unshare(CLONE_NEWNS) == 0 &&
                        ::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0
                    ? 1
                    : 0;
    }
    return state == 1;
}

class OtherFs {
public:
    explicit OtherFs(std::string at, const char* options = "size=8m,mode=0755")
        : path_(std::move(at))
    {
        test::makeDirs(path_);
        mounted_ = privateMountNamespace() &&
                   ::mount("none", path_.c_str(), "tmpfs", 0, options) == 0;
    }
    ~OtherFs()
    {
        if (mounted_) {
            ::umount2(path_.c_str(), MNT_DETACH);
        }
    }
    OtherFs(const OtherFs&) = delete;
    OtherFs& operator=(const OtherFs&) = delete;
    bool mounted() const { return mounted_; }
    bool makeReadOnly()
    {
        return ::mount("none", path_.c_str(), "tmpfs", MS_REMOUNT | MS_RDONLY, nullptr) == 0;
    }

private:
    std::string path_;
    bool mounted_ = false;
};

}  // namespace

// ---- Deleting ---------------------------------------------------------------

TEST_F(TrashFixture, DeletingMovesExactlyTheMarkedFilesToTheTrash)
{
    // Ten files in two folders, three of them marked (the last row among
    // them), and files that no row names at all.
    const std::string a = tmp / "a/";
    const std::string b = tmp / "b/";
    std::map<std::string, std::string> content;
    ResultList list = makeResultList();
    const std::vector<int> marks = {2, 5, 9};
    for (int i = 0; i < 10; ++i) {
        const std::string folder = i % 2 == 0 ? a : b;
        const std::string name = "file" + std::to_string(i) + ".bin";
        content[folder + name] = test::randomBytes(static_cast<std::uint64_t>(i), 3000 + 17 * i);
        test::writeFile(folder + name, content[folder + name]);
        addRow(list, folder, name, std::find(marks.begin(), marks.end(), i) != marks.end());
    }
    for (const std::string& folder : {a, b}) {
        content[folder + "bystander.bin"] = test::randomBytes(99, 777);
        test::writeFile(folder + "bystander.bin", content[folder + "bystander.bin"]);
    }

    int asked = 0;
    const DelResult r = DelFile(list, trash, [&] {
        ++asked;
        return true;
    });
    EXPECT_EQ(asked, 1);
    ASSERT_EQ(r.outcome, DelOutcome::Deleted) << r.message;
    EXPECT_TRUE(r.message.empty());
    EXPECT_EQ(r.removedRows, 3);
    EXPECT_EQ(r.paths, (Names{a + "file2.bin", b + "file5.bin", b + "file9.bin"}));
    EXPECT_EQ(rowNames(list), (Names{"file0.bin", "file1.bin", "file3.bin", "file4.bin",
                                     "file6.bin", "file7.bin", "file8.bin"}));
    for (const ResultRow& row : list.rows()) {
        EXPECT_FALSE(row.checked);
    }

    // Every other file is there, byte for byte; the marked ones are not.
    for (const auto& [path, bytes] : content) {
        const bool wasMarked = std::find(r.paths.begin(), r.paths.end(), path) != r.paths.end();
        EXPECT_EQ(exists(path), !wasMarked) << path;
        if (!wasMarked) {
            EXPECT_EQ(test::readFile(path), bytes) << path;
        }
    }

    // The trash holds the three files and a record for each.
    EXPECT_EQ(entries(trashFiles), (Names{"file2.bin", "file5.bin", "file9.bin"}));
    EXPECT_EQ(entries(trashInfo),
              (Names{"file2.bin.trashinfo", "file5.bin.trashinfo", "file9.bin.trashinfo"}));
    for (const std::string& path : r.paths) {
        const std::string name = GetFileNamePart(path);
        EXPECT_EQ(test::readFile(trashFiles + name), content[path]);
        const Info info = readInfo(trashInfo + name + ".trashinfo");
        EXPECT_EQ(info.path, realFolder(path.substr(0, path.rfind('/'))) + name);
    }
}

TEST_F(TrashFixture, NothingHappensWithoutMarksOrWithoutYes)
{
    const std::string f = tmp / "keep.txt";
    test::writeFile(f, "keep");
    ResultList list = makeResultList();
    int asked = 0;
    auto no = [&] {
        ++asked;
        return false;
    };

    // An empty list: no question, no message.
    DelResult r = DelFile(list, trash, no);
    EXPECT_EQ(r.outcome, DelOutcome::EmptyList);
    EXPECT_TRUE(r.message.empty());

    // Rows but no mark: the message, no question.
    addRow(list, tmp.path(), "keep.txt");
    r = DelFile(list, trash, no);
    EXPECT_EQ(r.outcome, DelOutcome::NoMarks);
    EXPECT_EQ(r.message, "Please mark files before deletion.");
    EXPECT_EQ(asked, 0);

    // Answered No.
    list.setChecked(0, true);
    r = DelFile(list, trash, no);
    EXPECT_EQ(r.outcome, DelOutcome::Declined);
    EXPECT_TRUE(r.message.empty());
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(list.count(), 1);
    EXPECT_TRUE(list.row(0).checked);
    EXPECT_EQ(test::readFile(f), "keep");
    EXPECT_FALSE(exists(dataHome));
}

TEST_F(TrashFixture, SourceListFollowsRowOrder)
{
    ResultList list = makeResultList();
    addRow(list, "/m/", "z.txt", true);
    addRow(list, "/k/", "skip.txt", false);
    addRow(list, "/a/", "a.txt", true);
    addRow(list, "/m/", "m.txt", true);
    EXPECT_EQ(MarkedPaths(list), (Names{"/m/z.txt", "/a/a.txt", "/m/m.txt"}));

    RecordingTrash fake;
    fake.answer.ok = true;
    const DelResult r = DelFile(list, fake, [] { return true; });
    ASSERT_EQ(fake.calls.size(), 1u);
    EXPECT_EQ(fake.calls[0], (Names{"/m/z.txt", "/a/a.txt", "/m/m.txt"}));
    EXPECT_EQ(r.outcome, DelOutcome::Deleted);
    EXPECT_EQ(rowNames(list), Names{"skip.txt"});
}

TEST_F(TrashFixture, FailingTrashKeepsRowsAndGivesItsError)
{
    ResultList list = makeResultList();
    addRow(list, "/x/", "one", true);
    addRow(list, "/x/", "two", false);
    addRow(list, "/x/", "three", true);
    RecordingTrash fake;
    fake.answer.ok = false;
    fake.answer.error.code = EACCES;
    fake.answer.path = "/x/three";
    const DelResult r = DelFile(list, fake, [] { return true; });
    EXPECT_EQ(r.outcome, DelOutcome::Failed);
    EXPECT_EQ(r.message, "Deletion failed. Error Code: 13\n\n" + std::string(std::strerror(EACCES)) +
                             "\n/x/three");
    EXPECT_EQ(r.removedRows, 0);
    EXPECT_EQ(rowNames(list), (Names{"one", "two", "three"}));
    EXPECT_TRUE(list.row(0).checked);
    EXPECT_FALSE(list.row(1).checked);
    EXPECT_TRUE(list.row(2).checked);

    // Files the trash could not put back are named.
    fake.answer.leftInTrash = {"/x/one"};
    const DelResult r2 = DelFile(list, fake, [] { return true; });
    EXPECT_NE(r2.message.find("could not be put back:\n/x/one"), std::string::npos) << r2.message;
}

TEST_F(TrashFixture, AMissingFileFailsTheWholeRequest)
{
    // A file deleted since the search (say from another tab): nothing of
    // the request moves, and every row stays.
    const std::string p = tmp / "p.txt";
    const std::string q = tmp / "q.txt";
    test::writeFile(p, "p");
    test::writeFile(q, "q");
    ResultList list = makeResultList();
    addRow(list, tmp.path(), "q.txt", true);
    addRow(list, tmp.path(), "p.txt", true);
    ASSERT_EQ(::unlink(p.c_str()), 0);

    const DelResult r = DelFile(list, trash, [] { return true; });
    EXPECT_EQ(r.outcome, DelOutcome::Failed);
    EXPECT_EQ(r.trash.error.code, ENOENT);
    EXPECT_EQ(r.message.rfind("Deletion failed. Error Code: 2\n\n", 0), 0u) << r.message;
    EXPECT_NE(r.message.find(p), std::string::npos);
    EXPECT_EQ(list.count(), 2);
    EXPECT_EQ(test::readFile(q), "q");
    EXPECT_TRUE(entries(trashFiles).empty());
    EXPECT_TRUE(entries(trashInfo).empty());
}

TEST_F(TrashFixture, FoldersAreNotTrashed)
{
    test::makeDirs(tmp / "folder/inner");
    test::writeFile(tmp / "folder/inner/x", "x");
    const platform::TrashResult r = trash.moveToTrash({tmp / "folder"});
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error.code, EISDIR);
    EXPECT_EQ(test::readFile(tmp / "folder/inner/x"), "x");
}

TEST_F(TrashFixture, OddNamesGoToTheTrashByTheirTrueNames)
{
    const std::string folder = tmp / "odd dir/";
    const std::string name = "line\nbreak \xff\xfe%.txt";
    test::writeFile(folder + name, "odd");
    test::writeFile(folder + "line", "bystander");
    ResultList list = makeResultList();
    addRow(list, folder, name, true);

    const DelResult r = DelFile(list, trash, [] { return true; });
    ASSERT_EQ(r.outcome, DelOutcome::Deleted) << r.message;
    EXPECT_FALSE(exists(folder + name));
    EXPECT_EQ(test::readFile(folder + "line"), "bystander");
    EXPECT_EQ(entries(trashFiles), Names{name});
    EXPECT_EQ(test::readFile(trashFiles + name), "odd");
    const Info info = readInfo(trashInfo + name + ".trashinfo");
    EXPECT_TRUE(plainAscii(info.rawPath)) << info.rawPath;
    EXPECT_NE(info.rawPath.find("line%0Abreak%20%FF%FE%25.txt"), std::string::npos) << info.rawPath;
    EXPECT_EQ(info.path, realFolder(folder) + name);
}

TEST_F(TrashFixture, EqualNamesNeverReplaceEachOtherInTheTrash)
{
    for (const char* d : {"a", "b", "c"}) {
        test::writeFile(tmp / (std::string(d) + "/same.txt"), std::string("from ") + d);
    }
    // A stray entry without a record must survive too.
    test::writeFile(trashFiles + "same (3).txt", "stray");

    ASSERT_TRUE(trash.moveToTrash({tmp / "a/same.txt", tmp / "b/same.txt"}).ok);
    ASSERT_TRUE(trash.moveToTrash({tmp / "c/same.txt"}).ok);
    EXPECT_EQ(entries(trashFiles), (Names{"same (2).txt", "same (3).txt", "same (4).txt", "same.txt"}));
    EXPECT_EQ(test::readFile(trashFiles + "same (3).txt"), "stray");
    const std::map<std::string, std::string> expected = {
        {"same.txt", "a"}, {"same (2).txt", "b"}, {"same (4).txt", "c"}};
    for (const auto& [entry, from] : expected) {
        EXPECT_EQ(test::readFile(trashFiles + entry), "from " + from);
        EXPECT_EQ(readInfo(trashInfo + entry + ".trashinfo").path,
                  realFolder(tmp / from) + "same.txt");
    }
    EXPECT_FALSE(exists(trashInfo + "same (3).txt.trashinfo"));
}

TEST_F(TrashFixture, LongNamesLeaveRoomForTheRecord)
{
    const std::string name = std::string(246, 'n') + ".txt";  // 250 bytes
    test::writeFile(tmp / name, "long");
    // The same long name twice needs a counter on top.
    test::writeFile(tmp / ("again/" + name), "again");
    const platform::TrashResult r = trash.moveToTrash({tmp / name, tmp / ("again/" + name)});
    ASSERT_TRUE(r.ok) << r.error.describe();
    const Names files = entries(trashFiles);
    ASSERT_EQ(files.size(), 2u);
    for (const std::string& f : files) {
        EXPECT_LE(f.size() + 10, 255u);
        EXPECT_EQ(f.substr(f.size() - 4), ".txt");
        EXPECT_TRUE(exists(trashInfo + f + ".trashinfo"));
    }
    EXPECT_EQ(readInfo(trashInfo + files[1] + ".trashinfo").path, realFolder(tmp.path()) + name);
}

TEST_F(TrashFixture, MissingDataFolderIsMadeAndTheWorkingFolderLeftAlone)
{
    // No XDG_DATA_HOME, and a home without ~/.local/share: the trash is made
    // there, never under the working folder.
    ::unsetenv("XDG_DATA_HOME");
    const std::string home = tmp / "home";
    test::makeDirs(home);
    test::makeDirs(tmp / "cwd");
    ::setenv("HOME", home.c_str(), 1);
    ASSERT_EQ(::chdir((tmp / "cwd").c_str()), 0);
    test::writeFile(tmp / "f.txt", "f");

    EXPECT_EQ(platform::homeTrashFolder(), home + "/.local/share/Trash");
    const platform::TrashResult r = trash.moveToTrash({tmp / "f.txt"});
    ASSERT_TRUE(r.ok) << r.error.describe();
    EXPECT_EQ(test::readFile(home + "/.local/share/Trash/files/f.txt"), "f");
    EXPECT_TRUE(exists(home + "/.local/share/Trash/info/f.txt.trashinfo"));
    EXPECT_TRUE(entries(tmp / "cwd").empty());

    // A relative XDG_DATA_HOME is ignored.
    ::setenv("XDG_DATA_HOME", "rel/data", 1);
    test::writeFile(tmp / "g.txt", "g");
    ASSERT_TRUE(trash.moveToTrash({tmp / "g.txt"}).ok);
    EXPECT_EQ(test::readFile(home + "/.local/share/Trash/files/g.txt"), "g");
    EXPECT_TRUE(entries(tmp / "cwd").empty());

    // With no absolute home at all the request fails and nothing moves (the
    // file lies on a file system of its own, so that a wrong way out could
    // only reach that one's top).
    OtherFs other(tmp / "mnt");
    if (!other.mounted()) {
        GTEST_SKIP() << "cannot mount a file system here";
    }
    ::unsetenv("XDG_DATA_HOME");
    ::setenv("HOME", "relhome", 1);
    test::writeFile(tmp / "mnt/h.txt", "h");
    const platform::TrashResult fail = trash.moveToTrash({tmp / "mnt/h.txt"});
    EXPECT_FALSE(fail.ok);
    EXPECT_EQ(fail.error.code, ENOENT);
    EXPECT_EQ(test::readFile(tmp / "mnt/h.txt"), "h");
    EXPECT_EQ(entries(tmp / "mnt"), Names{"h.txt"});
    EXPECT_TRUE(entries(tmp / "cwd").empty());
}

TEST_F(TrashFixture, AFolderThatForbidsRemovalFailsTheWholeRequest)
{
    // Run as an ordinary user: root may remove anything.
    test::openToEveryone(tmp.path());
    const std::string open = tmp / "open/";
    const std::string locked = tmp / "locked/";
    const std::string data = tmp / "nobody-data";
    test::writeFile(open + "a.txt", "a");
    test::writeFile(locked + "b.txt", "b");
    test::makeDirs(data);
    ASSERT_EQ(::chmod(open.c_str(), 0777), 0);
    ASSERT_EQ(::chmod((open + "a.txt").c_str(), 0666), 0);
    ASSERT_EQ(::chmod(locked.c_str(), 0755), 0);
    ASSERT_EQ(::chmod(data.c_str(), 0777), 0);
    if (::geteuid() != 0) {
        ASSERT_EQ(::chmod(locked.c_str(), 0555), 0);
    }

    const std::string out = test::runUnprivileged([&] {
        ::setenv("XDG_DATA_HOME", data.c_str(), 1);
        platform::DesktopTrash t;
        const platform::TrashResult r = t.moveToTrash({open + "a.txt", locked + "b.txt"});
        return std::to_string(r.ok) + " " + std::to_string(r.error.code) + " " + r.path;
    });
    EXPECT_EQ(out, "0 " + std::to_string(EACCES) + " " + locked + "b.txt");
    EXPECT_EQ(test::readFile(open + "a.txt"), "a");
    EXPECT_EQ(test::readFile(locked + "b.txt"), "b");
    EXPECT_TRUE(entries(data + "/Trash/files").empty());
}

// ---- Files on another file system -------------------------------------------

TEST_F(TrashFixture, AnotherFileSystemHasItsOwnTrash)
{
    const std::string mnt = tmp / "mnt";
    OtherFs other(mnt);
    if (!other.mounted()) {
        GTEST_SKIP() << "cannot mount a file system here";
    }
    test::writeFile(mnt + "/sub/clip.bin", "clip");
    test::writeFile(tmp / "home.txt", "home");
    const ino_t clipInode = inodeOf(mnt + "/sub/clip.bin");
    const std::string uid = std::to_string(::geteuid());

    ResultList list = makeResultList();
    addRow(list, tmp.path(), "home.txt", true);
    addRow(list, mnt + "/sub/", "clip.bin", true);
    const DelResult r = DelFile(list, trash, [] { return true; });
    ASSERT_EQ(r.outcome, DelOutcome::Deleted) << r.message;

    const std::string top = mnt + "/.Trash-" + uid;
    struct stat st {};
    ASSERT_EQ(::lstat(top.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0700u);
    EXPECT_EQ(entries(top + "/files"), Names{"clip.bin"});
    // Moved, not copied.
    EXPECT_EQ(inodeOf(top + "/files/clip.bin"), clipInode);
    // Paths in a file system's own trash are relative to its top.
    EXPECT_EQ(readInfo(top + "/info/clip.bin.trashinfo").path, "sub/clip.bin");
    EXPECT_EQ(entries(trashFiles), Names{"home.txt"});
}

TEST_F(TrashFixture, AnAdministratorsStickyTrashIsUsedFirst)
{
    const std::string mnt = tmp / "mnt";
    OtherFs other(mnt);
    if (!other.mounted()) {
        GTEST_SKIP() << "cannot mount a file system here";
    }
    const std::string uid = std::to_string(::geteuid());
    test::makeDirs(mnt + "/.Trash");
    ASSERT_EQ(::chmod((mnt + "/.Trash").c_str(), 01777), 0);
    test::writeFile(mnt + "/x.txt", "x");
    ASSERT_TRUE(trash.moveToTrash({mnt + "/x.txt"}).ok);
    EXPECT_EQ(entries(mnt + "/.Trash/" + uid + "/files"), Names{"x.txt"});
    EXPECT_FALSE(exists(mnt + "/.Trash-" + uid));

    // Without the sticky bit it is not trusted.
    ASSERT_EQ(::chmod((mnt + "/.Trash").c_str(), 0777), 0);
    test::writeFile(mnt + "/y.txt", "y");
    ASSERT_TRUE(trash.moveToTrash({mnt + "/y.txt"}).ok);
    EXPECT_EQ(entries(mnt + "/.Trash-" + uid + "/files"), Names{"y.txt"});
}

TEST_F(TrashFixture, WhereNoTrashCanBeMadeNothingMoves)
{
    const std::string mnt = tmp / "mnt";
    OtherFs other(mnt);
    if (!other.mounted()) {
        GTEST_SKIP() << "cannot mount a file system here";
    }
    const std::string uid = std::to_string(::geteuid());
    test::writeFile(tmp / "home.txt", "home");
    test::writeFile(mnt + "/far.txt", "far");
    ResultList list = makeResultList();
    addRow(list, tmp.path(), "home.txt", true);
    addRow(list, mnt + "/", "far.txt", true);

    // Something else has the trash's name.
    test::writeFile(mnt + "/.Trash-" + uid, "not a folder");
    DelResult r = DelFile(list, trash, [] { return true; });
    EXPECT_EQ(r.outcome, DelOutcome::Failed);
    EXPECT_EQ(r.trash.error.code, ENOTDIR);
    EXPECT_EQ(r.message.rfind("Deletion failed. Error Code: " + std::to_string(ENOTDIR) + "\n\n" +
                                  std::strerror(ENOTDIR), 0),
              0u)
        << r.message;
    EXPECT_EQ(list.count(), 2);
    EXPECT_EQ(test::readFile(tmp / "home.txt"), "home");
    EXPECT_EQ(test::readFile(mnt + "/far.txt"), "far");
    EXPECT_TRUE(entries(trashFiles).empty());

    // A link in its place is not followed.
    ASSERT_EQ(::unlink((mnt + "/.Trash-" + uid).c_str()), 0);
    test::makeDirs(mnt + "/elsewhere");
    ASSERT_EQ(::symlink("elsewhere", (mnt + "/.Trash-" + uid).c_str()), 0);
    r = DelFile(list, trash, [] { return true; });
    EXPECT_EQ(r.outcome, DelOutcome::Failed);
    EXPECT_TRUE(entries(mnt + "/elsewhere").empty());
    EXPECT_EQ(test::readFile(mnt + "/far.txt"), "far");

    // A read-only file system.
    ASSERT_EQ(::unlink((mnt + "/.Trash-" + uid).c_str()), 0);
    ASSERT_TRUE(other.makeReadOnly());
    r = DelFile(list, trash, [] { return true; });
    EXPECT_EQ(r.outcome, DelOutcome::Failed);
    EXPECT_EQ(r.trash.error.code, EROFS);
    EXPECT_EQ(list.count(), 2);
    EXPECT_EQ(test::readFile(tmp / "home.txt"), "home");
    EXPECT_EQ(test::readFile(mnt + "/far.txt"), "far");
}

TEST_F(TrashFixture, AMoveFailingPartWayPutsBackWhatAlreadyMoved)
{
    // The second file's trash is ready, but its file system has no room
    // left for the record: the first file, already in the home trash,
    // comes back.
    const std::string mnt = tmp / "mnt";
    OtherFs other(mnt, "size=1m,nr_inodes=64,mode=0755");
    if (!other.mounted()) {
        GTEST_SKIP() << "cannot mount a file system here";
    }
    test::writeFile(tmp / "first.txt", "first");
    test::writeFile(mnt + "/second.txt", "second");
    const std::string uid = std::to_string(::geteuid());
    test::makeDirs(mnt + "/.Trash-" + uid + "/files");
    test::makeDirs(mnt + "/.Trash-" + uid + "/info");
    ASSERT_EQ(::chmod((mnt + "/.Trash-" + uid).c_str(), 0700), 0);
    test::makeDirs(mnt + "/fill");
    for (int i = 0;; ++i) {
        const std::string f = mnt + "/fill/" + std::to_string(i);
        const int fd = ::open(f.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
        if (fd < 0) {
            ASSERT_EQ(errno, ENOSPC);
            break;
        }
        ::close(fd);
        ASSERT_LT(i, 1000);
    }

    ResultList list = makeResultList();
    addRow(list, tmp.path(), "first.txt", true);
    addRow(list, mnt + "/", "second.txt", true);
    const DelResult r = DelFile(list, trash, [] { return true; });
    EXPECT_EQ(r.outcome, DelOutcome::Failed);
    EXPECT_EQ(r.trash.error.code, ENOSPC);
    EXPECT_EQ(r.trash.path, mnt + "/second.txt");
    EXPECT_TRUE(r.trash.leftInTrash.empty());
    EXPECT_EQ(list.count(), 2);
    EXPECT_EQ(test::readFile(tmp / "first.txt"), "first");
    EXPECT_EQ(test::readFile(mnt + "/second.txt"), "second");
    EXPECT_TRUE(entries(trashFiles).empty());
    EXPECT_TRUE(entries(trashInfo).empty());
    EXPECT_TRUE(entries(mnt + "/.Trash-" + uid + "/files").empty());
}

// ---- Renaming ---------------------------------------------------------------

namespace {

// A list with one selected row for `folder` + `name`.
ResultList selectedRow(const std::string& folder, const std::string& name)
{
    ResultList list = makeResultList();
    addRow(list, folder, "other");
    addRow(list, folder, name);
    list.select(1);
    return list;
}

auto answer(std::string text, std::vector<RenamePrompt>* seen = nullptr)
{
    return [text = std::move(text), seen](const RenamePrompt& p) {
        if (seen != nullptr) {
            seen->push_back(p);
        }
        return text;
    };
}

}  // namespace

TEST(FileOpsRename, AsksWithThePathAndRenamesInPlace)
{
    test::TempDir tmp;
    test::writeFile(tmp / "old.txt", "content");
    ResultList list = selectedRow(tmp.path(), "old.txt");
    std::vector<RenamePrompt> seen;
    const RenResult r = RenFile(list, answer("new.txt", &seen));
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].prompt, "Please type a new file name for \n" + tmp / "old.txt");
    EXPECT_EQ(seen[0].title, "Rename");
    EXPECT_EQ(seen[0].proposed, "old.txt");
    EXPECT_EQ(r.outcome, RenOutcome::Renamed);
    EXPECT_TRUE(r.message.empty());
    EXPECT_EQ(test::readFile(tmp / "new.txt"), "content");
    EXPECT_FALSE(exists(tmp / "old.txt"));
    EXPECT_EQ(list.row(1).text, "new.txt");
    EXPECT_EQ(list.row(1).subItem(kColFolder), tmp.path());
    EXPECT_EQ(list.row(0).text, "other");
}

TEST(FileOpsRename, NoSelectionOrEmptyAnswerChangesNothing)
{
    test::TempDir tmp;
    test::writeFile(tmp / "a.txt", "a");
    ResultList list = makeResultList();
    addRow(list, tmp.path(), "a.txt");
    std::vector<RenamePrompt> seen;
    RenResult r = RenFile(list, answer("b.txt", &seen));
    EXPECT_EQ(r.outcome, RenOutcome::NoSelection);
    EXPECT_EQ(r.message, "Please select a file.");
    EXPECT_EQ(r.title, "Select file");
    EXPECT_TRUE(seen.empty());
    EXPECT_FALSE(SelectedPath(list).has_value());

    list.select(0);
    EXPECT_EQ(SelectedPath(list), tmp / "a.txt");
    r = RenFile(list, answer(""));
    EXPECT_EQ(r.outcome, RenOutcome::Cancelled);
    EXPECT_TRUE(r.message.empty());
    EXPECT_EQ(test::readFile(tmp / "a.txt"), "a");
    EXPECT_EQ(list.row(0).text, "a.txt");
}

TEST(FileOpsRename, NeverReplacesAnExistingName)
{
    test::TempDir tmp;
    test::writeFile(tmp / "a.txt", "A");
    test::writeFile(tmp / "b.txt", "B");
    test::makeDirs(tmp / "dir");
    ASSERT_EQ(::symlink("nowhere", (tmp / "dangling").c_str()), 0);
    ResultList list = selectedRow(tmp.path(), "a.txt");
    for (const char* target : {"b.txt", "dir", "dangling", "a.txt"}) {
        SCOPED_TRACE(target);
        const RenResult r = RenFile(list, answer(target));
        EXPECT_EQ(r.outcome, RenOutcome::Failed);
        EXPECT_EQ(r.message, "File can't be renamed.");
        EXPECT_EQ(r.title, "Can't rename");
        EXPECT_EQ(r.error.code, EEXIST);
        EXPECT_EQ(list.row(1).text, "a.txt");
    }
    EXPECT_EQ(test::readFile(tmp / "a.txt"), "A");
    EXPECT_EQ(test::readFile(tmp / "b.txt"), "B");
    EXPECT_TRUE(entries(tmp / "dir").empty());
    char buf[32] = {};
    EXPECT_EQ(::readlink((tmp / "dangling").c_str(), buf, sizeof buf - 1), 7);
    EXPECT_FALSE(exists(tmp / "nowhere"));
}

TEST(FileOpsRename, ASlashNamesASubFolder)
{
    test::TempDir tmp;
    test::writeFile(tmp / "a.txt", "A");
    test::writeFile(tmp / "top.txt", "top");
    test::makeDirs(tmp / "sub");
    ResultList list = selectedRow(tmp.path(), "a.txt");

    // A sub-folder that does not exist: nothing moves.
    RenResult r = RenFile(list, answer("missing/a.txt"));
    EXPECT_EQ(r.outcome, RenOutcome::Failed);
    EXPECT_EQ(test::readFile(tmp / "a.txt"), "A");

    r = RenFile(list, answer("sub/a2.txt"));
    ASSERT_EQ(r.outcome, RenOutcome::Renamed);
    EXPECT_EQ(test::readFile(tmp / "sub/a2.txt"), "A");
    EXPECT_FALSE(exists(tmp / "a.txt"));
    EXPECT_EQ(list.row(1).text, "sub/a2.txt");
    EXPECT_EQ(RowPath(list.row(1)), tmp / "sub/a2.txt");

    // Renamed again, it stays in the sub-folder and the row still names it
    // (not the unrelated file of that name in the folder above).
    r = RenFile(list, answer("top.txt"));
    ASSERT_EQ(r.outcome, RenOutcome::Renamed);
    EXPECT_EQ(test::readFile(tmp / "sub/top.txt"), "A");
    EXPECT_EQ(test::readFile(tmp / "top.txt"), "top");
    EXPECT_EQ(RowPath(list.row(1)), tmp / "sub/top.txt");
}

TEST(FileOpsRename, TypedTextIsTakenAsItStands)
{
    test::TempDir tmp;
    const std::string odd = "ren\xc3(\nold.dat";
    test::writeFile(tmp / odd, "odd");
    ResultList list = selectedRow(tmp.path(), odd);

    // Not trimmed.
    RenResult r = RenFile(list, answer(" spaced.dat "));
    ASSERT_EQ(r.outcome, RenOutcome::Renamed);
    EXPECT_EQ(test::readFile(tmp / " spaced.dat "), "odd");
    EXPECT_FALSE(exists(tmp / odd));

    // Newlines and bytes that are not UTF-8.
    const std::string next = "new\n\xff name.dat";
    r = RenFile(list, answer(next));
    ASSERT_EQ(r.outcome, RenOutcome::Renamed);
    EXPECT_EQ(test::readFile(tmp / next), "odd");
    EXPECT_EQ(list.row(1).text, next);

    // A NUL would cut the name short: refused.
    r = RenFile(list, answer(std::string("cut\0off.dat", 11)));
    EXPECT_EQ(r.outcome, RenOutcome::Failed);
    EXPECT_FALSE(exists(tmp / "cut"));
    EXPECT_EQ(test::readFile(tmp / next), "odd");
}

TEST(FileOpsRename, AMissingFileCannotBeRenamed)
{
    test::TempDir tmp;
    ResultList list = selectedRow(tmp.path(), "gone.txt");
    const RenResult r = RenFile(list, answer("back.txt"));
    EXPECT_EQ(r.outcome, RenOutcome::Failed);
    EXPECT_EQ(r.error.code, ENOENT);
    EXPECT_FALSE(exists(tmp / "back.txt"));
    EXPECT_EQ(list.row(1).text, "gone.txt");
}

TEST(FileOpsRename, LinkingWayRefusesExistingNamesToo)
{
    // The way taken where the file system cannot refuse in one step.
    test::TempDir tmp;
    test::writeFile(tmp / "a", "A");
    test::writeFile(tmp / "b", "B");
    platform::Error err;
    EXPECT_FALSE(platform::renameNoReplaceByLink(tmp / "a", tmp / "b", &err));
    EXPECT_EQ(err.code, EEXIST);
    EXPECT_EQ(test::readFile(tmp / "a"), "A");
    EXPECT_EQ(test::readFile(tmp / "b"), "B");
    EXPECT_TRUE(platform::renameNoReplaceByLink(tmp / "a", tmp / "c", &err));
    EXPECT_FALSE(exists(tmp / "a"));
    EXPECT_EQ(test::readFile(tmp / "c"), "A");
}

// ---- Preview names -----------------------------------------------------------

TEST(FileOpsPreviewExt, ExtensionsByName)
{
    EXPECT_EQ(GetFileExt("/pics/photo.JPG"), "JPG");
    EXPECT_EQ(GetFileExt("/docs.old/readme"), "");
    EXPECT_EQ(GetFileExt("/a/archive.jpg.zip"), "zip");
    EXPECT_EQ(GetFileExt("/a/trailing."), "");
    EXPECT_EQ(GetFileExt("noslash.gif"), "gif");

    EXPECT_TRUE(IsPicExt("/h/holiday.JPEG"));
    for (const char* ext : {"jpeg", "jpg", "gif", "bmp", "ico", "rle", "cur", "wmf", "emf"}) {
        EXPECT_TRUE(IsPicExt(std::string("/p/x.") + ext)) << ext;
    }
    EXPECT_TRUE(IsPicExt("/p/X.GiF"));
    EXPECT_FALSE(IsPicExt("/a/archive.jpg.zip"));
    EXPECT_FALSE(IsPicExt("/docs.jpg/readme"));
    EXPECT_FALSE(IsPicExt("/p/x.png"));
    EXPECT_FALSE(IsPicExt("/p/x."));
    EXPECT_FALSE(IsPicExt("/p/jpg"));
}
