// The folder listing, wildcards, path routines and the catalogue on real trees.
#include "catalogue/colfiles.h"
#include "catalogue/paths.h"
#include "platform/fs.h"
#include "platform/textfold.h"
#include "testutil.h"

#include <gtest/gtest.h>

#include <QChar>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

using namespace kormial;
using kormial::test::TempDir;
using kormial::test::writeFile;

namespace {

std::vector<std::string> relative(const colFiles& c, const TempDir& dir)
{
    std::vector<std::string> out;
    for (const auto& p : c.Items()) {
        out.push_back(p.substr(dir.path().size()));
    }
    return out;
}

std::vector<std::string> load(const TempDir& dir, const std::string& pattern, bool recursive,
                              std::int32_t minSz = -1, std::int32_t maxSz = -1)
{
    colFiles c;
    c.LoadFiles(dir.path() + pattern, minSz, maxSz, recursive);
    return relative(c, dir);
}

}  // namespace

TEST(Wildcards, StarQuestionAndCase)
{
    using platform::wildcardMatch;
    EXPECT_TRUE(wildcardMatch("*.mp3", "song.MP3"));
    EXPECT_TRUE(wildcardMatch("*.MP3", "song.mp3"));
    EXPECT_FALSE(wildcardMatch("*.mp3", "song.mp4"));
    EXPECT_FALSE(wildcardMatch("*.mp3", "song.mp3.bak"));
    EXPECT_TRUE(wildcardMatch("s?ng.*", "SONG.ogg"));
    EXPECT_FALSE(wildcardMatch("s?ng.*", "sng.ogg"));
    EXPECT_TRUE(wildcardMatch("*", ".hidden"));
    EXPECT_TRUE(wildcardMatch("*.txt", ".txt"));
    EXPECT_TRUE(wildcardMatch("a*b*c", "aXXbYYc"));
    EXPECT_FALSE(wildcardMatch("a*b*c", "aXXbYY"));
    EXPECT_TRUE(wildcardMatch("*x", "xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx"));
    // non-ASCII letters fold too; '?' is one character, not one byte
    EXPECT_TRUE(wildcardMatch("ÄPFEL.*", "äpfel.txt"));
    EXPECT_TRUE(wildcardMatch("?.txt", "é.txt"));
    // bytes that are not UTF-8 match only themselves
    EXPECT_TRUE(wildcardMatch("a\xff.*", "a\xff.bin"));
    EXPECT_FALSE(wildcardMatch("a\xfe.*", "a\xff.bin"));
    EXPECT_TRUE(wildcardMatch("?.bin", "\xff.bin"));
}

TEST(Wildcards, TrailingDotStarAlsoMatchesNamesWithoutExtension)
{
    using platform::wildcardMatch;
    EXPECT_TRUE(wildcardMatch("*.*", "README"));
    EXPECT_TRUE(wildcardMatch("readme.*", "readme"));
    EXPECT_TRUE(wildcardMatch("readme.*", "README.md"));
    EXPECT_FALSE(wildcardMatch("readme.*", "readmes"));
    EXPECT_FALSE(wildcardMatch("*.mp3", "mp3"));
}

// The folding table is our own; Qt's (same Unicode version) is the reference
// for every code point, so that the window's sorting and the search agree.
TEST(CaseFolding, EveryCodePointFoldsAsQtFoldsIt)
{
    int differing = 0;
    for (char32_t c = 0; c <= 0x10FFFF; ++c) {
        if (platform::foldCase(c) != QChar::toCaseFolded(c) && ++differing <= 5) {
            ADD_FAILURE() << std::hex << "U+" << static_cast<std::uint32_t>(c);
        }
    }
    EXPECT_EQ(differing, 0);
    EXPECT_TRUE(platform::equalFolded("\xC3\x84PFEL", "\xC3\xA4pfel"));  // Äpfel
    EXPECT_FALSE(platform::equalFolded("\xC3\x84", "\xC3"));  // a lone lead byte stays itself
}

TEST(PathRoutines, NameAndFolderParts)
{
    EXPECT_EQ(GetFileNamePart("/a/b.txt"), "b.txt");
    EXPECT_EQ(GetFolderPart("/a/b.txt"), "/a/");
    EXPECT_EQ(GetFileNamePart("/a/"), "");
    EXPECT_EQ(GetFolderPart("/a/"), "/a/");
    EXPECT_EQ(GetFileNamePart("b.txt"), "b.txt");
    EXPECT_EQ(GetFolderPart("b.txt"), "");
    EXPECT_EQ(GetFolderPart("/"), "/");
    // a backslash is an ordinary character of a name here
    EXPECT_EQ(GetFileNamePart("/x/a\\b"), "a\\b");
}

TEST(PathRoutines, PathPartsSuffixAndNul)
{
    EXPECT_EQ(GetPathParts("/Music/*.mp3", kPartFolder), "/Music/");
    EXPECT_EQ(GetPathParts("/Music/*.mp3", kPartBase | kPartExt), "*.mp3");
    EXPECT_EQ(GetPathParts("/Music/*", kPartBase | kPartExt), "*.");
    EXPECT_EQ(GetPathParts("/Music.2003/file", kPartBase | kPartExt), "file.");
    EXPECT_EQ(GetPathParts("/Music.2003/file", kPartExt), "");
    EXPECT_EQ(GetPathParts("/a/b.tar.gz", kPartExt), "gz");
    EXPECT_EQ(GetPathParts("/a/b.tar.gz", kPartBase), "b.tar");
    EXPECT_EQ(GetPathParts("noslash", kPartFolder), "");
    EXPECT_EQ(EnsureSuffix("/a", "/"), "/a/");
    EXPECT_EQ(EnsureSuffix("/a/", "/"), "/a/");
    EXPECT_EQ(EnsureSuffix("", "/"), "/");
    EXPECT_EQ(TrimNull(std::string("ab\0cd", 5)), "ab");
    EXPECT_EQ(TrimNull("abc"), "abc");
}

TEST(Catalogue, KbBoundsRoundHalfToEvenAndAreExclusive)
{
    EXPECT_EQ(RoundedKb(511), 0);
    EXPECT_EQ(RoundedKb(512), 0);
    EXPECT_EQ(RoundedKb(513), 1);
    EXPECT_EQ(RoundedKb(1536), 2);
    EXPECT_EQ(RoundedKb(2560), 2);
    EXPECT_EQ(RoundedKb(3584), 4);
    EXPECT_EQ(RoundedKb(std::int64_t{5} << 40), std::int64_t{5} << 30);

    TempDir dir;
    writeFile(dir / "f512", std::string(512, 'a'));
    writeFile(dir / "f10240", std::string(10240, 'b'));
    writeFile(dir / "f0", "");
    EXPECT_EQ(load(dir, "f512", false, 0), std::vector<std::string>{});
    EXPECT_EQ(load(dir, "f512", false, -1), std::vector<std::string>{"f512"});
    EXPECT_EQ(load(dir, "f10240", false, -1, 10), std::vector<std::string>{});
    EXPECT_EQ(load(dir, "f10240", false, -1, 11), std::vector<std::string>{"f10240"});
    EXPECT_EQ(load(dir, "f10240", false, 10, -1), std::vector<std::string>{});
    EXPECT_EQ(load(dir, "f10240", false, 9, -1), std::vector<std::string>{"f10240"});
    // an empty file passes only without a lower bound
    EXPECT_EQ(load(dir, "f0", false, -1), std::vector<std::string>{"f0"});
    EXPECT_EQ(load(dir, "f0", false, 0), std::vector<std::string>{});
}

TEST(Catalogue, SubFoldersFirstInByteOrderThenOwnFiles)
{
    TempDir dir;
    writeFile(dir / "b.txt", "1");
    writeFile(dir / "A.txt", "2");
    writeFile(dir / "sub2/z.txt", "3");
    writeFile(dir / "sub1/y.txt", "4");
    writeFile(dir / "sub1/deep/x.txt", "5");
    writeFile(dir / "Sub0/w.txt", "6");
    const std::vector<std::string> expected = {"Sub0/w.txt", "sub1/deep/x.txt", "sub1/y.txt",
                                               "sub2/z.txt", "A.txt", "b.txt"};
    EXPECT_EQ(load(dir, "*.*", true), expected);
    EXPECT_EQ(load(dir, "*.*", false), (std::vector<std::string>{"A.txt", "b.txt"}));
}

TEST(Catalogue, PatternSelectsFilesOnlyAndEntersEveryFolder)
{
    TempDir dir;
    writeFile(dir / "Album.2003/track.mp3", "a");
    writeFile(dir / "Album.2003/cover.jpg", "b");
    writeFile(dir / ".hidden/song.MP3", "c");
    writeFile(dir / "song.mp3/inner.txt", "d");  // a folder whose name matches
    writeFile(dir / "top.mp3", "e");
    EXPECT_EQ(load(dir, "*.mp3", true),
              (std::vector<std::string>{".hidden/song.MP3", "Album.2003/track.mp3", "top.mp3"}));
}

TEST(Catalogue, PatternWithoutDotKeepsWorkingBelowTheFirstFolder)
{
    // "*" rebuilt from its parts would become "*." and miss names with a dot
    TempDir dir;
    writeFile(dir / "a/b/notes.txt", "x");
    writeFile(dir / "a/plain", "y");
    writeFile(dir / "top.txt", "z");
    EXPECT_EQ(load(dir, "*", true), (std::vector<std::string>{"a/b/notes.txt", "a/plain", "top.txt"}));
}

TEST(Catalogue, CountsAddUpOverCallsAndMissingFoldersAddNothing)
{
    TempDir dir;
    writeFile(dir / "one/a", "1");
    writeFile(dir / "one/b", "2");
    writeFile(dir / "two/c", "3");
    colFiles c;
    EXPECT_EQ(c.LoadFiles(dir / "one/*.*", -1, -1, false), 2);
    EXPECT_EQ(c.LoadFiles(dir / "two/*.*", -1, -1, false), 3);
    EXPECT_EQ(c.LoadFiles(dir / "missing/*.*", -1, -1, true), 3);
    EXPECT_EQ(c.LoadFiles(dir / "one/*.none", -1, -1, true), 3);
    EXPECT_EQ(c.Count(), 3);
    EXPECT_EQ(c.Item(3), dir / "two/c");
    c.Remove(1);
    EXPECT_EQ(c.Item(1), dir / "one/b");
    c.Clear();
    EXPECT_EQ(c.Count(), 0);
}

// Entries that overlap (a folder, its sub-folders, the folder again without
// them, other patterns and bounds) list every file once, under its first
// name, in the order of the walks, with the identity the walk saw.
TEST(Catalogue, OverlappingEntriesListEachFileOnceInWalkOrder)
{
    TempDir dir;
    writeFile(dir / "a.txt", "1");
    writeFile(dir / "sub1/x.txt", "2");
    writeFile(dir / "sub1/deep/y.dat", "3");
    writeFile(dir / "sub2/big.bin", std::string(2048, 'b'));
    writeFile(dir / "sub2/z.dat", "4");
    writeFile(dir / "sub2/z.txt", "5");
    ASSERT_EQ(::link((dir / "sub1/x.txt").c_str(), (dir / "zz-link.txt").c_str()), 0);
    const std::vector<std::string> once = load(dir, "*.*", true);
    EXPECT_EQ(once, (std::vector<std::string>{"sub1/deep/y.dat", "sub1/x.txt", "sub2/big.bin", "sub2/z.dat",
                                              "sub2/z.txt", "a.txt"}));
    colFiles c;
    for (const char* folder : {"", "sub1/", "sub1/deep/", "sub2/"}) {
        EXPECT_EQ(c.LoadFiles(dir.path() + folder + "*.*", -1, -1, true), 6);
    }
    EXPECT_EQ(c.LoadFiles(dir / "*.*", -1, -1, false), 6);
    EXPECT_EQ(c.LoadFiles(dir / "*.txt", -1, -1, true), 6);
    EXPECT_EQ(relative(c, dir), once);

    // what a sub-folder gave with other bounds or another pattern does not
    // stand for what the folder's walk finds there
    colFiles d;
    d.LoadFiles(dir / "sub2/*.*", 1, -1, false);
    d.LoadFiles(dir / "sub1/*.txt", -1, -1, true);
    EXPECT_EQ(d.LoadFiles(dir / "*.*", -1, -1, true), 6);
    EXPECT_EQ(relative(d, dir), (std::vector<std::string>{"sub2/big.bin", "sub1/x.txt", "sub1/deep/y.dat",
                                                           "sub2/z.dat", "sub2/z.txt", "a.txt"}));
    d.TakeItems([&](std::string&& path, const platform::FileId& id) {
        EXPECT_EQ(platform::fileIdentity(path), id) << path;
    });
    EXPECT_EQ(d.Count(), 0);
}

TEST(Catalogue, LinksFifosAndSocketsAreNotCatalogued)
{
    TempDir dir;
    writeFile(dir / "real/file", "data");
    ASSERT_EQ(::symlink((dir / "real/file").c_str(), (dir / "filelink").c_str()), 0);
    ASSERT_EQ(::symlink((dir / "real").c_str(), (dir / "dirlink").c_str()), 0);
    ASSERT_EQ(::symlink((dir / "loop").c_str(), (dir / "loop").c_str()), 0);
    ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
    const int s = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr {};
    addr.sun_family = AF_UNIX;
    const std::string sockPath = dir / "sock";
    ASSERT_LT(sockPath.size(), sizeof addr.sun_path);
    std::copy(sockPath.begin(), sockPath.end(), addr.sun_path);
    ASSERT_EQ(::bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    EXPECT_EQ(load(dir, "*.*", true), std::vector<std::string>{"real/file"});
    ::close(s);
}

TEST(Catalogue, VirtualFileSystemsAreNotEntered)
{
    if (!platform::isVirtualFileSystem("/proc")) {
        GTEST_SKIP() << "/proc is not mounted here";
    }
    colFiles c;
    c.LoadFiles("/proc/*.*", -1, -1, true);
    EXPECT_EQ(c.Count(), 0);
    platform::Folder f;
    EXPECT_FALSE(f.open("/proc/"));
}

TEST(Catalogue, UnreadableFolderAddsNothingSilently)
{
    TempDir dir;
    writeFile(dir / "open/a.txt", "1");
    writeFile(dir / "open/closed/b.txt", "2");
    writeFile(dir / "open/closed/deeper/c.txt", "3");
    kormial::test::openToEveryone(dir.path());
    ::chmod((dir / "open/closed").c_str(), 0);
    const std::string out = kormial::test::runUnprivileged([&] {
        colFiles c;
        c.LoadFiles(dir / "open/*.*", -1, -1, true);
        std::string s;
        for (const auto& p : c.Items()) {
            s += p.substr(dir.path().size()) + "\n";
        }
        return s;
    });
    EXPECT_EQ(out, "open/a.txt\n");
}

TEST(Catalogue, YieldsAfterEveryEntryOfTheFileListing)
{
    TempDir dir;
    writeFile(dir / "a.txt", "1");
    writeFile(dir / "b.dat", "2");
    writeFile(dir / "c.txt", "3");
    writeFile(dir / "d.txt/e.txt", "4");  // a folder that the pattern matches
    int yields = 0;
    colFiles c;
    c.LoadFiles(dir / "*.txt", -1, -1, false, [&] { ++yields; });
    EXPECT_EQ(c.Count(), 2);
    EXPECT_EQ(yields, 3);
}

TEST(FileServices, ReadsReportShortReadsAndRefuseNonFiles)
{
    TempDir dir;
    writeFile(dir / "f", "0123456789");
    platform::ReadFile f;
    ASSERT_TRUE(f.open(dir / "f"));
    char buf[8];
    EXPECT_EQ(f.readAt(6, buf, 8), 4);
    EXPECT_EQ(std::string(buf, 4), "6789");
    platform::Error err;
    EXPECT_FALSE(f.readExact(6, buf, 8, &err));
    EXPECT_EQ(err.code, EIO);
    EXPECT_TRUE(f.readExact(2, buf, 3));
    EXPECT_EQ(std::string(buf, 3), "234");

    ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
    platform::ReadFile fifo;
    EXPECT_FALSE(fifo.open(dir / "fifo"));  // refused at once, no hang
    platform::ReadFile folder;
    EXPECT_FALSE(folder.open(dir.path(), &err));
    EXPECT_EQ(err.code, EISDIR);

    EXPECT_EQ(platform::fileLength(dir / "f").value_or(-5), 10);
    EXPECT_FALSE(platform::fileLength(dir / "gone", &err));
    EXPECT_EQ(err.code, ENOENT);
    EXPECT_FALSE(err.describe().empty());
    EXPECT_TRUE(platform::fileIdentity(dir / "f").has_value());
    EXPECT_FALSE(platform::lastWriteUtc(dir.path()).has_value());
}
