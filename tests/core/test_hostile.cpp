// Hostile trees: folders and files that cannot be read, names that are hard
// to carry, depth, links and special files, huge sparse files, files that
// change while the search runs, sheer numbers, and the kernel's own folders.
// Real files in temporary folders; where root would read everything, the
// search runs as an unprivileged user in a child process.
#include "catalogue/colfiles.h"
#include "catalogue/paths.h"
#include "platform/fs.h"
#include "platform/pathopen.h"
#include "results/resultrows.h"
#include "search/execsrch.h"
#include "searchhost.h"
#include "testutil.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <sstream>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <tuple>
#include <unistd.h>

using namespace kormial;
using kormial::test::openToEveryone;
using kormial::test::randomBytes;
using kormial::test::readFile;
using kormial::test::runCli;
using kormial::test::CliRun;
using kormial::test::runUnprivileged;
using kormial::test::TempDir;
using kormial::test::writeFile;

namespace {

constexpr std::int64_t kGiB = std::int64_t{1} << 30;

// The slow cases (whole-disk walks, comparing 5 GiB in full) run when
// KORMIAL_SLOW_TESTS=1; CI sets it.
bool slowTestsWanted()
{
    const char* v = std::getenv("KORMIAL_SLOW_TESTS");
    return v != nullptr && std::string(v) == "1";
}

// A search front end for the tests: the request, the lists, and hooks that
// run at every status text and every yield.
using Host = kormial::test::TestHost;

std::string trimmed(const std::string& s)
{
    const auto b = s.find_first_not_of(' ');
    return b == std::string::npos ? std::string() : s.substr(b);
}

// One row of a result list, with the path it stands for.
struct Row {
    int list = 0;
    std::string group;
    std::int64_t size = 0;
    std::string date;
    std::string path;
};

std::vector<Row> rowsOf(const Host& h)
{
    std::vector<Row> out;
    for (int l = 0; l < kResultListCount; ++l) {
        for (const ResultRow& r : h.lists[l].rows()) {
            out.push_back({l, trimmed(r.subItem(kColGroup)), std::stoll(trimmed(r.subItem(kColSize))),
                           r.subItem(kColDate), RowPath(r)});
        }
    }
    return out;
}

std::string hex(const std::string& s)
{
    static const char* const digits = "0123456789abcdef";
    std::string out;
    for (const unsigned char c : s) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

std::string unhex(const std::string& s)
{
    std::string out;
    for (std::size_t i = 0; i + 1 < s.size(); i += 2) {
        out += static_cast<char>(std::stoi(s.substr(i, 2), nullptr, 16));
    }
    return out;
}

// Rows and failures as text, to carry them out of an unprivileged child.
std::string serialize(const Host& h)
{
    std::string out;
    for (const Row& r : rowsOf(h)) {
        out += std::to_string(r.list) + " " + r.group + " " + std::to_string(r.size) + " " + hex(r.path) + "\n";
    }
    for (const std::string& f : h.failures) {
        out += "failure " + hex(f) + "\n";
    }
    return out;
}

struct Outcome {
    std::vector<Row> rows;
    std::vector<std::string> failures;
};

Outcome deserialize(const std::string& text)
{
    Outcome o;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string a;
        fields >> a;
        if (a == "failure") {
            std::string f;
            fields >> f;
            o.failures.push_back(unhex(f));
            continue;
        }
        Row r;
        r.list = std::stoi(a);
        std::string p;
        fields >> r.group >> r.size >> p;
        r.path = unhex(p);
        o.rows.push_back(r);
    }
    return o;
}

// Paths of one list, sorted.
std::vector<std::string> pathsIn(const std::vector<Row>& rows, int list)
{
    std::vector<std::string> out;
    for (const Row& r : rows) {
        if (r.list == list) {
            out.push_back(r.path);
        }
    }
    std::sort(out.begin(), out.end());
    return out;
}

// The groups of one list: group number -> sorted member paths.
std::map<std::string, std::vector<std::string>> groupsIn(const std::vector<Row>& rows, int list)
{
    std::map<std::string, std::vector<std::string>> out;
    for (const Row& r : rows) {
        if (r.list == list) {
            out[r.group].push_back(r.path);
        }
    }
    for (auto& [g, members] : out) {
        std::sort(members.begin(), members.end());
    }
    return out;
}

// Every group of the duplicates list holds two or more files that are now,
// byte for byte, the same and of the size the row shows.
void expectTrueDuplicates(const std::vector<Row>& rows)
{
    std::map<std::string, std::vector<const Row*>> groups;
    for (const Row& r : rows) {
        if (r.list == kListDuplicates) {
            groups[r.group].push_back(&r);
        }
    }
    for (const auto& [g, members] : groups) {
        EXPECT_GE(members.size(), 2u) << "group " << g << " of one";
        const std::string first = readFile(members.front()->path);
        for (const Row* m : members) {
            struct stat st {};
            ASSERT_EQ(::lstat(m->path.c_str(), &st), 0) << m->path;
            EXPECT_TRUE(S_ISREG(st.st_mode)) << m->path;
            EXPECT_EQ(st.st_size, m->size) << m->path;
            EXPECT_EQ(readFile(m->path), first) << m->path << " is no duplicate of " << members.front()->path;
        }
    }
}

std::vector<std::string> sorted(std::vector<std::string> v)
{
    std::sort(v.begin(), v.end());
    return v;
}

// kormial-cli in a child process, killed when it runs past `timeoutSeconds`.
std::string tsvUnescape(const std::string& s)
{
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 1 < s.size()) {
            const char c = s[++i];
            if (c == 'x') {
                out += static_cast<char>(std::stoi(s.substr(i + 1, 2), nullptr, 16));
                i += 2;
                continue;
            }
            out += c == 't' ? '\t' : c == 'n' ? '\n' : c == 'r' ? '\r' : c;
        } else {
            out += s[i];
        }
    }
    return out;
}

// The rows of kormial-cli's tsv output: list, group, size and true path.
std::vector<Row> parseTsv(const std::string& text)
{
    std::vector<Row> rows;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        std::vector<std::string> cells;
        std::size_t start = 0;
        while (true) {
            const auto tab = line.find('\t', start);
            cells.push_back(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
            if (tab == std::string::npos) {
                break;
            }
            start = tab + 1;
        }
        EXPECT_EQ(cells.size(), 6u) << "a raw tab or line break leaked into: " << line;
        if (cells.size() != 6) {
            continue;
        }
        rows.push_back({std::stoi(cells[0]), cells[1], std::stoll(cells[2]), cells[3],
                        tsvUnescape(cells[4]) + tsvUnescape(cells[5])});
    }
    return rows;
}

std::string lastLine(const std::string& s)
{
    std::string t = s;
    while (!t.empty() && t.back() == '\n') {
        t.pop_back();
    }
    const auto nl = t.rfind('\n');
    return nl == std::string::npos ? t : t.substr(nl + 1);
}

// The file count of kormial-cli's completion line; -1 when it is missing.
long long filesSearched(const std::string& err)
{
    const std::string l = lastLine(err);
    const auto at = l.find("s, searching ");
    if (l.rfind("Completed in ", 0) != 0 || at == std::string::npos) {
        return -1;
    }
    return std::stoll(l.substr(at + 13));
}

// Writes a file with plain system calls (fast enough for 100,000 of them).
void quickFile(int dirFd, const std::string& name, const std::string& content)
{
    const int fd = ::openat(dirFd, name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0) << name << ": " << std::strerror(errno);
    ASSERT_EQ(::write(fd, content.data(), content.size()), static_cast<ssize_t>(content.size()));
    ::close(fd);
}

// A sparse file of `size` bytes holding `bytes` at the given offsets.
void sparseFile(const std::string& path, std::int64_t size, const std::map<std::int64_t, char>& bytes)
{
    std::filesystem::create_directories(GetFolderPart(path));
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::ftruncate(fd, size), 0);
    for (const auto& [pos, c] : bytes) {
        ASSERT_EQ(::pwrite(fd, &c, 1, pos), 1);
    }
    ::close(fd);
}

void appendTo(const std::string& path, const std::string& more)
{
    std::ofstream out(path, std::ios::binary | std::ios::app);
    out << more;
}

// Puts `make`'s result in place of `path` in one rename, as editors do.
void replaceWith(const std::string& path, const std::function<void(const std::string&)>& make)
{
    const std::string tmp = path + ".new";
    make(tmp);
    ASSERT_EQ(::rename(tmp.c_str(), path.c_str()), 0) << path;
}

bool contains(const std::vector<std::string>& v, const std::string& x)
{
    return std::find(v.begin(), v.end(), x) != v.end();
}

}  // namespace

// ---------------------------------------------------------------------------
// Permissions

TEST(HostilePermissions, UnreadableFileIsAReadErrorAndItsTwinsStillGroup)
{
    TempDir dir;
    const std::string body = randomBytes(1, 3000);
    writeFile(dir / "a.bin", body);
    writeFile(dir / "b.bin", body);
    writeFile(dir / "locked.bin", body);
    // the same in a run long enough for the pairwise comparison
    for (int i = 0; i < 260; ++i) {
        writeFile(dir / ("long/f" + std::to_string(1000 + i)), randomBytes(7, 4000));
    }
    openToEveryone(dir.path());
    ASSERT_EQ(::chmod((dir / "locked.bin").c_str(), 0), 0);
    ASSERT_EQ(::chmod((dir / "long/f1100").c_str(), 0), 0);

    const Outcome o = deserialize(runUnprivileged([&] {
        Host h;
        h.add(dir.path());
        h.only({kTypeDuplicates});
        h.run();
        return serialize(h);
    }));
    // in both comparisons the locked file is a read error and the others
    // group; the long run names the file it could not read once
    const auto groups = groupsIn(o.rows, kListDuplicates);
    std::multiset<std::size_t> sizes;
    for (const auto& [g, members] : groups) {
        sizes.insert(members.size());
        if (members.size() == 2) {
            EXPECT_EQ(members, (std::vector<std::string>{dir / "a.bin", dir / "b.bin"}));
        }
    }
    EXPECT_EQ(sizes, (std::multiset<std::size_t>{2, 259}));
    EXPECT_EQ(pathsIn(o.rows, kListReadErrors), sorted({dir / "locked.bin", dir / "long/f1100"}));
    ASSERT_EQ(o.failures.size(), 1u);
    EXPECT_EQ(o.failures[0], dir / "long/f1100" + ": Permission denied");
}

TEST(HostilePermissions, FoldersThatCannotBeListedOrEnteredAddNothing)
{
    TempDir dir;
    writeFile(dir / "top.txt", "top");
    writeFile(dir / "locked/in.txt", "locked");
    writeFile(dir / "locked/deeper/in.txt", "locked");
    writeFile(dir / "listonly/in.txt", "list but not enter");
    writeFile(dir / "listonly/sub/in.txt", "list but not enter");
    writeFile(dir / "enteronly/in.txt", "enter but not list");
    writeFile(dir / "open/y.txt", "below an open folder");
    writeFile(dir / "open/shut/x.txt", "shut below an open one");
    writeFile(dir / "zz/after.txt", "after the locked ones");
    openToEveryone(dir.path());
    ASSERT_EQ(::chmod((dir / "locked").c_str(), 0), 0);
    ASSERT_EQ(::chmod((dir / "listonly").c_str(), 0444), 0);
    ASSERT_EQ(::chmod((dir / "enteronly").c_str(), 0111), 0);
    ASSERT_EQ(::chmod((dir / "open/shut").c_str(), 0), 0);

    const std::string out = runUnprivileged([&] {
        std::string s;
        colFiles c;
        c.LoadFiles(dir.path() + "*.*", -1, -1, true);
        for (const auto& p : c.Items()) {
            s += p.substr(dir.path().size()) + "\n";
        }
        // each of them given as the search entry itself
        for (const char* sub : {"locked/", "listonly/", "enteronly/", "open/shut/"}) {
            colFiles d;
            s += std::string(sub) + " " + std::to_string(d.LoadFiles(dir.path() + sub + "*.*", -1, -1, true)) + "\n";
        }
        // the search as a whole: nothing reported, nothing listed
        Host h;
        h.add(dir / "locked/");
        h.add(dir / "listonly/");
        s += "search " + std::to_string(h.run()) + " " + std::to_string(h.failures.size()) + "\n";
        return s;
    });
    EXPECT_EQ(out,
              "open/y.txt\n"
              "zz/after.txt\n"
              "top.txt\n"
              "locked/ 0\n"
              "listonly/ 0\n"
              "enteronly/ 0\n"
              "open/shut/ 0\n"
              "search 0 0\n");

    const std::string cli = runUnprivileged([&] {
        const CliRun r = runCli({"-f", "tsv", dir / "locked", dir / "open"});
        return std::to_string(r.status) + "|" + r.out + "|" + std::to_string(filesSearched(r.err));
    });
    EXPECT_EQ(cli, "0||1");
}

// A folder that turns unsearchable after it was listed: its files cannot be
// sized, and such a file is not an empty file. (The unprivileged user builds
// the tree, so that it may take the permission away.)
TEST(HostilePermissions, FileThatCannotBeSizedIsNotListedAsEmpty)
{
    const std::string out = runUnprivileged([] {
        TempDir dir;
        writeFile(dir / "sub/full.bin", randomBytes(3, 5000));
        writeFile(dir / "sub/full-twin.bin", randomBytes(3, 5000));
        writeFile(dir / "sub/empty.bin", "");
        writeFile(dir / "real-empty.bin", "");
        Host h;
        h.add(dir.path());
        h.only({kTypeZeroSize, kTypeDuplicates});
        h.onStatus = [&](Host&, const std::string& s) {
            if (s == "Loading files ...") {
                ::chmod((dir / "sub").c_str(), 0);
            }
        };
        std::string s = std::to_string(h.run()) + "\n";
        for (const Row& r : rowsOf(h)) {
            s += std::to_string(r.list) + " " + r.path.substr(dir.path().size()) + "\n";
        }
        return s;
    });
    EXPECT_EQ(out, "4\n0 real-empty.bin\n");
}

// ---------------------------------------------------------------------------
// Names

namespace {

const std::vector<std::string>& oddNames()
{
    static const std::vector<std::string> names = {
        "with space.txt",
        " leading space",
        "trailing space ",
        "tab\there",
        "new\nline",
        "carriage\rreturn",
        "back\\slash\\",
        ".hidden",
        "..dots",
        "...",
        "-dash",
        "--double-dash",
        "-",
        std::string(255, 'n'),
        std::string(127, 'x') + "\xc3\xa9" + std::string(126, 'y'),  // 255 bytes with a 2-byte letter
        "\xc3\xbcnic\xc3\xb8" "de \xc3\xb1" "ame.txt",
        "\xe6\x97\xa5\xe6\x9c\xac\xe8\xaa\x9e.txt",
        "emoji \xf0\x9f\x98\x80",
        "bad\xff\xfe" "bytes",
        "lone\x80" "continuation",
        "overlong\xc0\xaf",
        "surrogate\xed\xa0\x80",
        "ctrl\x01\x1f\x7f",
        "star*name",
        "quest?ion",
        "quote\"and'apostrophe",
        "%s%n%d",
        "semi;colon|pipe&amp$dollar`tick",
    };
    return names;
}

}  // namespace

TEST(HostileNames, FoundListedAndCarriedByTheirTrueNames)
{
    TempDir dir;
    const std::string left = "plain/";
    const std::string right = "-odd \t\n\\\xff folder/";
    std::set<std::string> expected;
    std::map<std::string, std::string> content;
    for (std::size_t i = 0; i < oddNames().size(); ++i) {
        const std::string body = randomBytes(100 + i, 200 + i);
        for (const std::string& side : {left, right}) {
            const std::string path = dir / (side + oddNames()[i]);
            writeFile(path, body);
            expected.insert(path);
            content[path] = body;
        }
    }
    const std::size_t n = expected.size();

    // found: the catalogue holds the true paths, and each opens to its bytes
    colFiles c;
    ASSERT_EQ(c.LoadFiles(dir.path() + "*.*", -1, -1, true), static_cast<std::int64_t>(n));
    const auto items = c.Items();
    EXPECT_EQ(std::set<std::string>(items.begin(), items.end()), expected);
    for (const std::string& p : items) {
        platform::ReadFile f;
        ASSERT_TRUE(f.open(p)) << p;
        std::string got(content[p].size(), '\0');
        ASSERT_TRUE(f.readExact(0, got.data(), got.size())) << p;
        EXPECT_EQ(got, content[p]);
        EXPECT_EQ(platform::fileLength(p).value_or(-1), static_cast<std::int64_t>(content[p].size()));
    }
    // a star in the pattern is a wildcard even where the name holds a star
    writeFile(dir / "stars/a*b.txt", "1");
    writeFile(dir / "stars/ab.txt", "2");
    writeFile(dir / "stars/a?c.txt", "3");
    colFiles stars;
    stars.LoadFiles(dir.path() + "stars/a*.txt", -1, -1, false);
    EXPECT_EQ(sorted(stars.Items()), sorted({dir / "stars/a*b.txt", dir / "stars/a?c.txt", dir / "stars/ab.txt"}));
    std::filesystem::remove_all(dir / "stars");

    // listed: every row leads back to its file, with its size and date
    Host h;
    h.add(dir.path());
    h.only({kTypeDuplicates, kTypeSameName});
    EXPECT_EQ(h.run(), static_cast<std::int64_t>(n));
    const std::vector<Row> rows = rowsOf(h);
    for (const int list : {kListDuplicates, kListSameName}) {
        const std::vector<std::string> paths = pathsIn(rows, list);
        EXPECT_EQ(std::set<std::string>(paths.begin(), paths.end()), expected) << "list " << list;
        EXPECT_EQ(paths.size(), n);
    }
    for (const Row& r : rows) {
        EXPECT_EQ(r.size, static_cast<std::int64_t>(content[r.path].size())) << r.path;
        EXPECT_NE(r.date, "1899/12/30 00:00:00") << r.path;
    }
    const auto groups = groupsIn(rows, kListDuplicates);
    EXPECT_EQ(groups.size(), oddNames().size());
    for (const auto& [g, members] : groups) {
        ASSERT_EQ(members.size(), 2u);
        EXPECT_EQ(GetFileNamePart(members[0]), GetFileNamePart(members[1]));
    }
    expectTrueDuplicates(rows);

    // kormial-cli: the tsv cells give the true paths back
    const CliRun r = runCli({"-t", "dup,name", "-f", "tsv", dir.path()});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::vector<Row> cliRows = parseTsv(r.out);
    for (const int list : {kListDuplicates, kListSameName}) {
        const std::vector<std::string> paths = pathsIn(cliRows, list);
        EXPECT_EQ(std::set<std::string>(paths.begin(), paths.end()), expected) << "tsv list " << list;
        EXPECT_EQ(paths.size(), n);
    }
    for (const Row& row : cliRows) {
        EXPECT_EQ(readFile(row.path), content[row.path]);
    }

    // a folder given by a name that starts with a dash, after "--"
    const CliRun dash = runCli({"-t", "dup", "-f", "tsv", "--", right.substr(0, right.size() - 1)}, dir.path());
    ASSERT_EQ(dash.status, 0) << dash.err;
    const std::vector<Row> dashRows = parseTsv(dash.out);
    EXPECT_TRUE(dashRows.empty());  // one side only: no duplicates
    EXPECT_EQ(filesSearched(dash.err), static_cast<long long>(n / 2));
}

// ---------------------------------------------------------------------------
// Depth and length

TEST(HostileDepth, AThousandFoldersDeep)
{
    TempDir dir;
    std::string deep = dir.path();
    for (int i = 0; i < 1000; ++i) {
        deep += "d/";
    }
    std::filesystem::create_directories(deep);
    const std::string body = randomBytes(5, 1234);
    writeFile(deep + "bottom.bin", body);
    writeFile(dir / "top.bin", body);

    colFiles c;
    EXPECT_EQ(c.LoadFiles(dir.path() + "*.*", -1, -1, true), 2);
    EXPECT_EQ(c.Items(), (std::vector<std::string>{deep + "bottom.bin", dir / "top.bin"}));

    Host h;
    h.add(dir.path());
    h.only({kTypeDuplicates});
    EXPECT_EQ(h.run(), 2);
    EXPECT_EQ(pathsIn(rowsOf(h), kListDuplicates), sorted({deep + "bottom.bin", dir / "top.bin"}));
}

// The deepest tree the kernel lets a path reach: folders of one letter down
// to PATH_MAX. Sub-folders recurse, so this bounds the recursion's depth.
TEST(HostileDepth, DeepestPossibleTreeOfOneLetterFolders)
{
    TempDir dir;
    std::string deep = dir.path();
    while (deep.size() + 2 + 8 < PATH_MAX - 1) {
        deep += "d/";
        ASSERT_EQ(::mkdir(deep.c_str(), 0755), 0) << deep.size() << ": " << std::strerror(errno);
    }
    writeFile(deep + "last.bin", "deepest");
    writeFile(dir / "last.bin", "deepest");
    ASSERT_LE((deep + "last.bin").size(), static_cast<std::size_t>(PATH_MAX - 1));
    Host h;
    h.add(dir.path());
    h.only({kTypeDuplicates});
    EXPECT_EQ(h.run(), 2);
    EXPECT_EQ(pathsIn(rowsOf(h), kListDuplicates), sorted({deep + "last.bin", dir / "last.bin"}));
}

// Paths at and beyond PATH_MAX (the tree is made and removed by relative
// names, which the calls by path cannot reach): every file is catalogued in
// walk order, openPath reaches what lies beyond one folder at a time and
// never through a link, and the search never takes such a file for an empty
// one.
TEST(HostileDepth, PathsAtAndBeyondPathMax)
{
    TempDir dir;
    // folders of 200 letters until at most 250 bytes are left below PATH_MAX
    std::string deep = dir.path();
    std::vector<int> chain = {::open(dir.path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)};
    std::vector<std::tuple<std::size_t, std::string, int>> made;  // folder in the chain, name, unlinkat flag
    auto enter = [&](const std::string& name) {
        ASSERT_EQ(::mkdirat(chain.back(), name.c_str(), 0755), 0) << std::strerror(errno);
        made.emplace_back(chain.size() - 1, name, AT_REMOVEDIR);
        chain.push_back(::openat(chain.back(), name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        ASSERT_GE(chain.back(), 0);
        deep += name + "/";
    };
    auto file = [&](const std::string& name, const std::string& body) {
        quickFile(chain.back(), name, body);
        made.emplace_back(chain.size() - 1, name, 0);
    };
    while (static_cast<int>(deep.size()) + 201 <= PATH_MAX - 1 - 100) {
        enter(std::string(200, static_cast<char>('a' + made.size() % 26)));
    }
    const int room = PATH_MAX - 1 - static_cast<int>(deep.size());  // bytes left for a name
    if (room > 250) {
        enter(std::string(static_cast<std::size_t>(room - 151), 'z'));
    }
    const auto left = static_cast<std::size_t>(PATH_MAX - 1 - static_cast<int>(deep.size()));
    ASSERT_GE(left, 100u);
    ASSERT_LE(left, 250u);
    const std::string atLimit(left, 'L');  // full path of PATH_MAX - 1 bytes
    const std::string overLimit(left + 1, 'O');
    file(atLimit, "at the limit");
    file(overLimit, "over the limit");
    const std::string top = deep;
    enter(std::string(left + 3, 'F'));  // a folder beyond PATH_MAX
    const std::string beyond = deep;
    file("inside.bin", "inside a folder that is too long");
    ASSERT_EQ(::symlinkat("sub", chain.back(), "link"), 0);
    made.emplace_back(chain.size() - 1, "link", 0);
    enter("sub");
    file("deeper.bin", "two folders beyond");
    writeFile(dir / "twin-at", "at the limit");
    writeFile(dir / "twin-over", "over the limit");
    writeFile(dir / "twin-inside", "inside a folder that is too long");
    ASSERT_EQ((top + atLimit).size(), static_cast<std::size_t>(PATH_MAX - 1));

    colFiles c;
    c.LoadFiles(dir.path() + "*.*", -1, -1, true);
    const std::vector<std::string> all = {beyond + "sub/deeper.bin", beyond + "inside.bin", top + atLimit,
                                          top + overLimit, dir / "twin-at", dir / "twin-inside",
                                          dir / "twin-over"};
    EXPECT_EQ(c.Items(), all);

    const int fd = platform::openPath(beyond + "sub/deeper.bin", O_RDONLY | O_CLOEXEC);
    char got[32] = {};
    EXPECT_EQ(::read(fd, got, sizeof got), 18);
    EXPECT_STREQ(got, "two folders beyond");
    ::close(fd);
    errno = 0;
    EXPECT_EQ(platform::openPath(beyond + "link/deeper.bin", O_RDONLY | O_CLOEXEC), -1);
    EXPECT_EQ(errno, ENOTDIR);

    Host h;
    h.add(dir.path());
    h.only({kTypeZeroSize, kTypeDuplicates});
    EXPECT_EQ(h.run(), 7);
    const std::vector<Row> rows = rowsOf(h);
    // sized and compared like any other file, never dropped
    EXPECT_TRUE(pathsIn(rows, kListZeroSize).empty());
    EXPECT_TRUE(pathsIn(rows, kListReadErrors).empty());
    EXPECT_EQ(pathsIn(rows, kListDuplicates), sorted({top + atLimit, dir / "twin-at", top + overLimit, dir / "twin-over",
                                                      beyond + "inside.bin", dir / "twin-inside"}));

    for (auto it = made.rbegin(); it != made.rend(); ++it) {
        EXPECT_EQ(::unlinkat(chain[std::get<0>(*it)], std::get<1>(*it).c_str(), std::get<2>(*it)), 0);
    }
    for (const int folder : chain) {
        ::close(folder);
    }
}

// ---------------------------------------------------------------------------
// Links and special files

TEST(HostileLinks, LinksAreNeverFollowedAndHardLinksCountOnce)
{
    TempDir dir;
    const std::string body = randomBytes(9, 2048);
    writeFile(dir / "real/a.bin", body);
    writeFile(dir / "real/copy.bin", body);
    ASSERT_EQ(::link((dir / "real/a.bin").c_str(), (dir / "real/hard.bin").c_str()), 0);
    std::filesystem::create_directories(dir / "links");
    ASSERT_EQ(::symlink("../real/a.bin", (dir / "links/to-file").c_str()), 0);
    ASSERT_EQ(::symlink("../real", (dir / "links/to-folder").c_str()), 0);
    ASSERT_EQ(::symlink("..", (dir / "links/up").c_str()), 0);
    ASSERT_EQ(::symlink("self", (dir / "links/self").c_str()), 0);
    ASSERT_EQ(::symlink("pong", (dir / "links/ping").c_str()), 0);
    ASSERT_EQ(::symlink("ping", (dir / "links/pong").c_str()), 0);
    ASSERT_EQ(::symlink("nowhere", (dir / "links/dangling").c_str()), 0);
    std::filesystem::create_directories(dir / "special");
    ASSERT_EQ(::mkfifo((dir / "special/fifo").c_str(), 0644), 0);
    const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    const std::string sockPath = dir / "special/sock";
    ASSERT_LT(sockPath.size(), sizeof addr.sun_path);
    std::strcpy(addr.sun_path, sockPath.c_str());
    ASSERT_EQ(::bind(sock, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);

    colFiles c;
    EXPECT_EQ(c.LoadFiles(dir.path() + "*", -1, -1, true), 2);
    EXPECT_EQ(c.Items(), (std::vector<std::string>{dir / "real/a.bin", dir / "real/copy.bin"}));

    Host h;
    h.add(dir.path(), "*");
    h.only({kTypeZeroSize, kTypeDuplicates, kTypeSameName});
    EXPECT_EQ(h.run(), 2);
    const std::vector<Row> rows = rowsOf(h);
    EXPECT_EQ(pathsIn(rows, kListDuplicates), sorted({dir / "real/a.bin", dir / "real/copy.bin"}));
    EXPECT_TRUE(pathsIn(rows, kListZeroSize).empty());  // the FIFO and the socket are no files
    EXPECT_TRUE(pathsIn(rows, kListSameName).empty());
    EXPECT_TRUE(pathsIn(rows, kListReadErrors).empty());

    // a folder the user names through a link is searched; its files are
    // still catalogued once, also when the real folder is given too
    colFiles viaLink;
    viaLink.LoadFiles(dir / "links/to-folder/*.*", -1, -1, true);
    EXPECT_EQ(viaLink.LoadFiles(dir / "real/*.*", -1, -1, true), 2);
    EXPECT_EQ(viaLink.Items(), (std::vector<std::string>{dir / "links/to-folder/a.bin", dir / "links/to-folder/copy.bin"}));
    // a search entry that is a link loop adds nothing
    colFiles loop;
    EXPECT_EQ(loop.LoadFiles(dir / "links/ping/*.*", -1, -1, true), 0);

    // the FIFO and the socket cannot be opened for a comparison either
    platform::ReadFile f;
    platform::Error err;
    EXPECT_FALSE(f.open(dir / "special/fifo", &err));
    EXPECT_FALSE(f.open(dir / "special/sock", &err));
    ::close(sock);
}

// ---------------------------------------------------------------------------
// Sizes beyond 32 bits

TEST(HostileSize, SparseFilesOf5GiBAreSizedAndListedWithTheirTrueSize)
{
    TempDir dir;
    const std::int64_t size = 5 * kGiB;  // 5368709120 bytes, 5242880 KB
    const std::int64_t high = 4 * kGiB + 12345;  // beyond what 32 bits reach
    sparseFile(dir / "a/big.img", size, {{0, 'A'}, {high, 'h'}, {size - 1, 'z'}});
    sparseFile(dir / "b/big.img", size, {{0, 'B'}, {high, 'h'}, {size - 1, 'z'}});
    writeFile(dir / "small.txt", "small");

    EXPECT_EQ(platform::fileLength(dir / "a/big.img").value_or(-1), size);
    platform::ReadFile f;
    ASSERT_TRUE(f.open(dir / "a/big.img"));
    char c = 0;
    EXPECT_EQ(f.readAt(high, &c, 1), 1);
    EXPECT_EQ(c, 'h');
    EXPECT_EQ(f.readAt(size - 1, &c, 1), 1);
    EXPECT_EQ(c, 'z');
    EXPECT_EQ(f.readAt(size, &c, 1), 0);

    // the KB bounds: 5242880 KB is above 5242879 and not below 5242880
    colFiles c1;
    EXPECT_EQ(c1.LoadFiles(dir.path() + "*.*", 5242879, -1, true), 2);
    colFiles c2;
    EXPECT_EQ(c2.LoadFiles(dir.path() + "*.*", -1, 5242880, true), 1);

    // told apart by their first block, quickly; listed by name with their size
    const auto start = std::chrono::steady_clock::now();
    Host h;
    h.add(dir.path());
    h.only({kTypeDuplicates, kTypeSameName, kTypePortions});
    EXPECT_EQ(h.run(), 3);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
    const std::vector<Row> rows = rowsOf(h);
    EXPECT_TRUE(pathsIn(rows, kListDuplicates).empty());
    EXPECT_TRUE(pathsIn(rows, kListPortions).empty());
    ASSERT_EQ(pathsIn(rows, kListSameName), sorted({dir / "a/big.img", dir / "b/big.img"}));
    for (const ResultRow& r : h.lists[kListSameName].rows()) {
        EXPECT_EQ(r.subItem(kColSize), "5368709120");
    }

    const CliRun cli = runCli({"-t", "name", "-f", "tsv", dir.path()});
    ASSERT_EQ(cli.status, 0);
    const std::vector<Row> cliRows = parseTsv(cli.out);
    ASSERT_EQ(cliRows.size(), 2u);
    EXPECT_EQ(cliRows[0].size, size);
    const CliRun text = runCli({"-t", "name", dir.path()});
    EXPECT_NE(text.out.find("5.0 GB"), std::string::npos) << text.out;
}

// Reads 5 GiB twins and a third file that differs from them only beyond
// 4 GiB in full: about 15 GiB of reads, a few seconds to a minute.
TEST(HostileSize, SparseTwinsOf5GiBAreComparedInFull)
{
    if (!slowTestsWanted()) {
        GTEST_SKIP() << "reads 15 GiB; set KORMIAL_SLOW_TESTS=1 to run it";
    }
    TempDir dir;
    const std::int64_t size = 5 * kGiB;
    const std::int64_t high = 4 * kGiB + 12345;
    const std::map<std::int64_t, char> marks = {{0, 'A'}, {2 * kGiB + 1, 'm'}, {high, 'h'}, {size - 1, 'z'}};
    sparseFile(dir / "one.img", size, marks);
    sparseFile(dir / "two.img", size, marks);
    auto other = marks;
    other[high] = 'H';
    sparseFile(dir / "three.img", size, other);

    Host h;
    h.add(dir.path());
    h.only({kTypeDuplicates});
    EXPECT_EQ(h.run(), 3);
    const std::vector<Row> rows = rowsOf(h);
    EXPECT_EQ(pathsIn(rows, kListDuplicates), sorted({dir / "one.img", dir / "two.img"}));
    for (const Row& r : rows) {
        EXPECT_EQ(r.size, size);
    }
}

// ---------------------------------------------------------------------------
// Files that change while the search runs

namespace {

// Pairs of identical files, each pair of its own size so that every pair is
// a run of its own; `change` alters the first of a pair by its name.
struct ChangingTree {
    TempDir dir;
    std::vector<std::string> names;

    explicit ChangingTree(const std::vector<std::string>& pairNames, std::int64_t baseSize = 3000)
    {
        names = pairNames;
        for (std::size_t i = 0; i < names.size(); ++i) {
            const std::string body = randomBytes(200 + i, static_cast<std::size_t>(baseSize) + 100 * i);
            writeFile(one(names[i]), body);
            writeFile(two(names[i]), body);
        }
    }
    std::string one(const std::string& name) const { return dir / (name + "-1"); }
    std::string two(const std::string& name) const { return dir / (name + "-2"); }
};

// Changes the first file of each named pair the way its name says.
void change(const ChangingTree& t, const std::string& name)
{
    const std::string p = t.one(name);
    const std::string size = std::to_string(std::filesystem::file_size(t.two(name)));
    if (name == "deleted") {
        ::unlink(p.c_str());
    } else if (name == "shrunk") {
        ::truncate(p.c_str(), 17);
    } else if (name == "grown") {
        appendTo(p, "more");
    } else if (name == "rewritten") {  // same size, other bytes
        replaceWith(p, [&](const std::string& tmp) { writeFile(tmp, randomBytes(999, std::stoul(size))); });
    } else if (name == "fifo") {
        replaceWith(p, [](const std::string& tmp) { ::mkfifo(tmp.c_str(), 0644); });
    } else if (name == "symlink") {  // now a link to its own twin
        replaceWith(p, [&](const std::string& tmp) { ::symlink(t.two(name).c_str(), tmp.c_str()); });
    } else if (name == "folder") {
        ::unlink(p.c_str());
        std::filesystem::create_directories(p);
    } else if (name == "emptied") {
        ::truncate(p.c_str(), 0);
    }
}

}  // namespace

// Changed after the listing, before the sizing: each file is judged as it
// is when sized.
TEST(HostileChange, FilesChangedBetweenListingAndSizing)
{
    ChangingTree t({"untouched", "deleted", "emptied", "grown", "rewritten", "fifo", "symlink", "folder"});
    Host h;
    h.add(t.dir.path());
    h.only({kTypeZeroSize, kTypeDuplicates});
    h.onStatus = [&](Host&, const std::string& s) {
        if (s == "Loading files ...") {
            for (const auto& n : t.names) {
                if (n != "untouched") {
                    change(t, n);
                }
            }
        }
    };
    h.run();
    const std::vector<Row> rows = rowsOf(h);
    EXPECT_EQ(pathsIn(rows, kListDuplicates), sorted({t.one("untouched"), t.two("untouched")}));
    EXPECT_EQ(pathsIn(rows, kListZeroSize), std::vector<std::string>{t.one("emptied")});
    // a file put in the place of the one listed is not the file listed
    EXPECT_EQ(pathsIn(rows, kListReadErrors), std::vector<std::string>{t.one("rewritten")});
    expectTrueDuplicates(rows);
    EXPECT_TRUE(h.failures.empty());
}

// Changed after the sizing, before the comparison: a file that no longer is
// what was sized is a read error, and its twin is no duplicate of it.
class HostileChangeBeforeComparison : public ::testing::TestWithParam<bool> {};

TEST_P(HostileChangeBeforeComparison, NeverAFalseDuplicate)
{
    const bool tolerant = GetParam();
    ChangingTree t({"untouched", "deleted", "shrunk", "grown", "rewritten", "fifo", "symlink", "folder"});
    Host h;
    h.add(t.dir.path());
    h.only({kTypeDuplicates});
    h.tolerantBox = tolerant;
    h.onStatus = [&](Host&, const std::string& s) {
        if (s == "Searching duplicated files ...") {
            for (const auto& n : t.names) {
                if (n != "untouched") {
                    change(t, n);
                }
            }
        }
    };
    h.run();
    const std::vector<Row> rows = rowsOf(h);
    EXPECT_EQ(pathsIn(rows, kListDuplicates), sorted({t.one("untouched"), t.two("untouched")}));
    expectTrueDuplicates(rows);
    std::vector<std::string> unreadable;
    for (const char* n : {"deleted", "shrunk", "grown", "rewritten", "fifo", "symlink", "folder"}) {
        unreadable.push_back(t.one(n));
    }
    EXPECT_EQ(pathsIn(rows, kListReadErrors), sorted(unreadable));
}

INSTANTIATE_TEST_SUITE_P(ExactAndTolerant, HostileChangeBeforeComparison, ::testing::Bool(),
                         [](const auto& param) { return param.param ? "Tolerant" : "Exact"; });

// Changed while a long run is compared pair by pair (it yields between
// reads): the file is reported, and nothing unconfirmed is grouped.
TEST(HostileChange, FilesChangedDuringAPairwiseRun)
{
    for (const std::string how : {"deleted", "shrunk", "grown", "symlink"}) {
        SCOPED_TRACE(how);
        TempDir dir;
        const std::string body = randomBytes(11, 70000);  // read in more than one chunk
        for (int i = 0; i < 300; ++i) {
            writeFile(dir / ("f" + std::to_string(1000 + i)), body);
        }
        const std::string victim = dir / "f1200";
        bool changed = false;
        std::int64_t comparing = -1;  // yields before the comparison began
        Host h;
        h.add(dir.path());
        h.only({kTypeDuplicates});
        h.onStatus = [&](Host& host, const std::string& s) {
            if (s == "Searching duplicated files ...") {
                comparing = host.yields;
            }
        };
        h.onYield = [&](Host& host) {
            // once the comparison has read a third of the first chunks
            if (!changed && comparing >= 0 && host.yields - comparing > 100) {
                changed = true;
                if (how == "deleted") {
                    ::unlink(victim.c_str());
                } else if (how == "shrunk") {
                    ::truncate(victim.c_str(), 100);
                } else if (how == "grown") {
                    appendTo(victim, "x");
                } else {
                    replaceWith(victim, [&](const std::string& tmp) { ::symlink((dir / "f1000").c_str(), tmp.c_str()); });
                }
            }
        };
        EXPECT_EQ(h.run(), 300);
        EXPECT_TRUE(changed);
        const std::vector<Row> rows = rowsOf(h);
        expectTrueDuplicates(rows);
        EXPECT_FALSE(contains(pathsIn(rows, kListDuplicates), victim));
        ASSERT_EQ(h.failures.size(), 1u);
        EXPECT_EQ(h.failures[0].rfind(victim + ": ", 0), 0u) << h.failures[0];
    }
}

// Large files that change before the portions search reads their first
// 400 bytes are read errors; the others are still compared.
TEST(HostileChange, LargeFilesChangedBeforeTheirLeadingBlockIsRead)
{
    TempDir dir;
    const std::string big = randomBytes(21, 160000);
    writeFile(dir / "whole", big);
    writeFile(dir / "part", big.substr(0, 120000));
    writeFile(dir / "gone", big.substr(0, 130000));
    writeFile(dir / "cut", big.substr(0, 140000));
    Host h;
    h.add(dir.path());
    h.only({kTypePortions});
    h.onStatus = [&](Host&, const std::string& s) {
        if (s == "Searching file portions ...") {
            ::unlink((dir / "gone").c_str());
            ::truncate((dir / "cut").c_str(), 100);
        }
    };
    h.run();
    const std::vector<Row> rows = rowsOf(h);
    EXPECT_EQ(pathsIn(rows, kListPortions), sorted({dir / "part", dir / "whole"}));
    EXPECT_EQ(pathsIn(rows, kListReadErrors), sorted({dir / "cut", dir / "gone"}));
}

// ---------------------------------------------------------------------------
// Numbers

TEST(HostileNumbers, HundredThousandFilesInOneFolder)
{
    TempDir dir;
    const int fd = ::open(dir.path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    char name[32];
    for (int i = 0; i < 100000; ++i) {
        std::snprintf(name, sizeof name, "f%06d", i);
        quickFile(fd, name, name);  // 7 bytes each, all different
    }
    quickFile(fd, "dup-a", "same content");
    quickFile(fd, "dup-b", "same content");
    ::close(fd);

    colFiles c;
    ASSERT_EQ(c.LoadFiles(dir.path() + "*.*", -1, -1, false), 100002);
    EXPECT_EQ(c.Items().front(), dir / "dup-a");
    const auto items = c.Items();
    EXPECT_TRUE(std::is_sorted(items.begin(), items.end()));
    EXPECT_EQ(c.Items().back(), dir / "f099999");

    // one run of 100,000 files of equal size, and one real pair
    const auto start = std::chrono::steady_clock::now();
    Host h;
    h.add(dir.path());
    h.only({kTypeDuplicates, kTypeSameName});
    EXPECT_EQ(h.run(), 100002);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(120));
    const std::vector<Row> rows = rowsOf(h);
    EXPECT_EQ(pathsIn(rows, kListDuplicates), sorted({dir / "dup-a", dir / "dup-b"}));
    EXPECT_TRUE(pathsIn(rows, kListSameName).empty());
    EXPECT_TRUE(h.failures.empty());
}

TEST(HostileNumbers, TwoThousandSameSizeFilesOnThePairwisePath)
{
    TempDir dir;
    const int fd = ::open(dir.path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    // 30000 bytes each, all alike up to their last 4 bytes: 1000 single
    // files and 500 pairs
    const std::string common = randomBytes(31, 30000 - 4);
    std::map<std::string, std::vector<std::string>> expected;
    char name[32];
    for (int i = 0; i < 2000; ++i) {
        const int id = i < 1000 ? i : 1000 + (i - 1000) / 2;
        std::snprintf(name, sizeof name, "f%04d", i);
        std::string tail(4, '\0');
        std::memcpy(tail.data(), &id, 4);
        quickFile(fd, name, common + tail);
        if (i >= 1000) {
            expected[std::to_string(id)].push_back(dir / name);
        }
    }
    ::close(fd);

    const auto start = std::chrono::steady_clock::now();
    Host h;
    h.add(dir.path());
    h.only({kTypeDuplicates, kTypePortions});
    EXPECT_EQ(h.run(), 2000);
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_LT(took, std::chrono::seconds(60));
    const std::vector<Row> rows = rowsOf(h);
    std::set<std::vector<std::string>> got;
    for (const auto& [g, members] : groupsIn(rows, kListDuplicates)) {
        got.insert(members);
    }
    std::set<std::vector<std::string>> want;
    for (const auto& [id, members] : expected) {
        want.insert(members);
    }
    EXPECT_EQ(got, want);
    // equal heads, equal sizes: the portions search pairs none of them
    EXPECT_TRUE(pathsIn(rows, kListPortions).empty());
    EXPECT_TRUE(h.failures.empty());
}

// ---------------------------------------------------------------------------
// The kernel's folders

namespace {

// Mount points of the kernel's virtual file systems on this machine.
std::vector<std::string> virtualMountPoints()
{
    static const std::set<std::string> kinds = {"proc", "sysfs", "devtmpfs", "devpts", "cgroup", "cgroup2",
                                                "debugfs", "tracefs", "securityfs", "pstore", "bpf",
                                                "configfs", "fusectl", "mqueue", "hugetlbfs"};
    std::vector<std::string> out;
    std::ifstream in("/proc/self/mountinfo");
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream f(line);
        std::string id, parent, majmin, root, mountPoint;
        f >> id >> parent >> majmin >> root >> mountPoint;
        const auto sep = line.find(" - ");
        if (sep == std::string::npos) {
            continue;
        }
        std::istringstream rest(line.substr(sep + 3));
        std::string type;
        rest >> type;
        if (kinds.contains(type) && mountPoint.find('\\') == std::string::npos) {
            out.push_back(mountPoint);
        }
    }
    return out;
}

}  // namespace

TEST(HostileRoot, TheKernelsFoldersAreNeverEntered)
{
    const std::vector<std::string> mounts = virtualMountPoints();
    ASSERT_TRUE(contains(mounts, "/proc"));
    for (const std::string& m : mounts) {
        platform::Folder f;
        EXPECT_FALSE(f.open(m)) << m;
        colFiles c;
        EXPECT_EQ(c.LoadFiles(m + "/*.*", -1, -1, true), 0) << m;
    }
    // given directly, with their sub-folders: over at once, nothing searched
    std::vector<std::string> args = {"-t", "zero,dup,name", "-f", "tsv"};
    for (const char* p : {"/proc", "/sys", "/dev", "/proc/self", "/proc/self/fd", "/dev/pts"}) {
        if (::access(p, F_OK) == 0) {
            args.push_back(p);
        }
    }
    const CliRun r = runCli(args, std::string(), 60);
    EXPECT_FALSE(r.timedOut);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(filesSearched(r.err), 0);

    // the root folder's own files, without sub-folders
    const CliRun root = runCli({"-R", "-t", "zero", "-f", "tsv", "/"}, std::string(), 60);
    EXPECT_FALSE(root.timedOut);
    EXPECT_EQ(root.status, 0) << root.err;
}

// The whole file system from "/" with every sub-folder: the walk ends (it
// passes /proc, /sys and /dev by), however long the disk takes.
TEST(HostileRoot, SearchFromTheRootEnds)
{
    if (!slowTestsWanted()) {
        GTEST_SKIP() << "walks the whole file system; set KORMIAL_SLOW_TESTS=1 to run it";
    }
    const CliRun r = runCli({"-t", "zero,dup,name", "-f", "tsv", "-p", "no-such-file-*.kormial-none", "/"},
                            std::string(), 900);
    EXPECT_FALSE(r.timedOut);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(filesSearched(r.err), 0) << r.err;
}
