// kormial-cli as a user runs it: formats, messages, exit codes.
#include "clirun.h"
#include "platform/textfold.h"
#include "reviewtest.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <fcntl.h>
#include <regex>
#include <set>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace kormial::test;
constexpr auto npos = std::string::npos;

namespace {

// A TSV cell back to its bytes.
std::string tsvDecoded(const std::string& cell)
{
    std::string out;
    for (std::size_t i = 0; i < cell.size(); ++i) {
        const char e = cell[i] == '\\' ? cell[++i] : 0;
        out += e == 'x' ? static_cast<char>(std::stoi(cell.substr(i + 1, 2), nullptr, 16))
                        : e == 't' ? '\t' : e == 'n' ? '\n' : e == 'r' ? '\r' : e == 0 ? cell[i] : e;
        i += e == 'x' ? 2 : 0;
    }
    return out;
}

// Nothing a terminal would act on: UTF-8 without C0 (but the line break), DEL or C1 characters.
bool terminalSafe(const std::string& s)
{
    static const std::regex controls("[\\x00-\\x09\\x0b-\\x1f\\x7f]|\\xc2[\\x80-\\x9f]");
    return kormial::platform::isValidUtf8(s) && !std::regex_search(s, controls);
}

}  // namespace

// Text, TSV and JSON carry the rows the search found: sub-folders searched
// unless -R comes before the folder.
TEST(Cli, FormatsCarryTheRowsOfTheSearch)
{
    TempDir dir;
    const std::string d = dir.path(), date = "2020/09/13 12:26:40";
    for (const char* name : {"one/pic.jpg", "two/pic.JPG", "two/deep/pic.jpg", "one/sub/empty"}) {
        writeFile(dir / name, std::string(name).ends_with("empty") ? "" : randomBytes(1, 3000));
        const timespec when[2] = {{1600000000, 0}, {1600000000, 0}};
        ASSERT_EQ(::utimensat(AT_FDCWD, (dir / name).c_str(), when, 0), 0);
    }
    const CliRun tsv = runHeld({"-f", "tsv", dir / "one", "-R", dir / "two"}), text = runHeld({dir / "one", "-R", dir / "two"}),
                 json = runHeld({"--format=json", "--exclude=*.tmp", dir / "one", "-R", dir / "two"});
    std::string expected;
    // list, group, size, folder, name
    const std::tuple<int, int, int, std::string, std::string> rows[] = {
        {0, -1, 0, d + "one/sub/", "empty"}, {1, 1, 3000, d + "one/", "pic.jpg"}, {1, 1, 3000, d + "two/", "pic.JPG"},
        {2, -1, 3000, d + "two/", "pic.JPG"}, {2, -1, 3000, d + "one/", "pic.jpg"}};
    for (const auto& [list, group, size, folder, name] : rows) {
        const std::string g = std::to_string(group), s = std::to_string(size);
        expected += std::to_string(list) + "\t" + g + "\t" + s + "\t" + date + "\t" + folder + "\t" + name + "\n";
        EXPECT_NE(text.out.find((size == 0 ? "   0 bytes  " : "    2.9 KB  ") + date + "  " + folder + name + "\n"),
                  npos);
        EXPECT_NE(json.out.find("{\"group\": " + g + ", \"size\": " + s + ", \"date\": \"" + date +
                                "\", \"folder\": \"" + folder + "\", \"name\": \"" + name + "\", \"dev\": "),
                  npos);
    }
    EXPECT_EQ(tsv.out, expected);
    EXPECT_TRUE(json.out.starts_with("{\n  \"complete\": true,\n  \"exclude\": [\"*.tmp\"],\n")) << json.out;
    EXPECT_NE(text.out.find("Same Name (2)\n  Name \"pic.JPG\": 2 files\n"), npos) << text.out;
    for (const CliRun* r : {&tsv, &text, &json}) {
        EXPECT_TRUE(r->status == 0 && r->err.ends_with(", searching 3 files.\n")) << r->err;
    }
}

// 0 for the whole search, 1 when the output cannot be written, 141 when its
// reader went away, 128 + N when signal N stopped the search (2 for bad
// input: below).
TEST(Cli, ExitStatusesTellHowTheRunEnded)
{
    TempDir dir;
    writeFile(dir / "a", "same");
    writeFile(dir / "b", "same");
    const std::string d = dir.path();
    int gone[2];  // a pipe whose reader went away, as "| head -1" leaves it
    ASSERT_EQ(::pipe2(gone, O_CLOEXEC), 0);
    ::close(gone[0]);
    const std::string pipe = "/proc/self/fd/" + std::to_string(gone[1]);
    const std::tuple<std::vector<std::string>, std::string, int, int, const char*, const char*> cases[] = {
        {{"--version"}, {}, 0, 0, "^kormial-cli " KORMIAL_VERSION "\n$", "^$"},
        // the whole search, and the document says so
        {{"-f", "json", d}, {}, 0, 0, R"(^\{\n  "complete": true,)", R"(\nCompleted in \d+s, searching 2 files\.\n$)"},
        // output that cannot be written, with the reason
        {{d}, "/dev/full", 0, 1, "^$", "\nkormial-cli: cannot write the output: No space left on device\n$"},
        {{d}, "-", 0, 1, "^$", "^kormial-cli: cannot write the output: Bad file descriptor\n$"},
        // a reader that went away: not a word after the status lines
        {{d}, pipe, 0, 141, "^$", R"(\nSearching duplicated files \.\.\.\n$)"},
        // stopped: 128 + the signal, the lists so far marked incomplete
        {{"-f", "json", d}, {}, SIGTERM, 143, R"(^\{\n  "complete": false,[\s\S]*\n  \]\n\}\n$)",
         R"(^Start \.\.\.\n[\s\S]*\nSearch stopped by SIGTERM: the lists are incomplete\.\nCompleted in )"},
        {{d}, {}, SIGINT, 130, R"(\nThe search was stopped: the lists are incomplete\.\n$)",
         "\nSearch stopped by SIGINT: "},
    };
    for (const auto& [args, out, signal, status, outIs, errIs] : cases) {
        const CliRun r = runHeld(args, out, signal);
        EXPECT_EQ(r.status, status) << errIs;
        EXPECT_TRUE(std::regex_search(r.out, std::regex(outIs))) << outIs << "\ngot: " << r.out;
        EXPECT_TRUE(std::regex_search(r.err, std::regex(errIs))) << errIs << "\ngot: " << r.err;
    }
    ::close(gone[1]);
}

// One name with ESC, BEL, tab, carriage return, DEL, a stray C1 byte, a C1
// character, a stray lead byte, a line break and a backslash, as each format
// writes it, and on stderr in a read failure.
TEST(Cli, ControlCharactersAndStrayBytesAreEscaped)
{
    const std::string name = "a\x1b[1m\a\t\r\x7f\x9b\xc2\x9b\xe9\n\\z";
    const std::string shown = "a\\e[1m\\x07\\t\\r\\x7f\\x9b\\xc2\\x9b\\xe9\\n\\\\z";
    TempDir dir;
    const std::string one = dir / "one/" + name, two = dir / "two/" + name;
    writeFile(one, "same");
    writeFile(two, "same");
    const CliRun text = runHeld({dir.path()});
    EXPECT_NE(text.out.find("  " + dir.path() + "one/" + shown + "\n"), npos) << text.out;
    EXPECT_NE(text.out.find("  Name \"" + shown + "\": 2 files\n"), npos) << text.out;
    const CliRun json = runHeld({"-f", "json", "-t", "dup", dir.path()});
    EXPECT_NE(json.out.find("\"name\": \"a\\u001b[1m\\u0007\\t\\r\\u007f\\ufffd\\u009b\\ufffd\\n\\\\z\", "
                            "\"name_hex\": \"611b5b316d07090d7f9bc29be90a5c7a\", \"dev\": "),
              npos)
        << json.out;
    // TSV decodes back to the exact bytes
    const CliRun tsv = runHeld({"-f", "tsv", dir.path()});
    std::multiset<std::string> paths;
    std::istringstream lines(tsv.out);
    for (std::string line; std::getline(lines, line);) {
        const auto nameAt = line.rfind('\t'), folderAt = line.rfind('\t', nameAt - 1);
        paths.insert(tsvDecoded(line.substr(folderAt + 1, nameAt - folderAt - 1)) +
                     tsvDecoded(line.substr(nameAt + 1)));
        EXPECT_TRUE(terminalSafe(line.substr(nameAt + 1))) << line;
    }
    EXPECT_EQ(paths, (std::multiset<std::string>{one, one, two, two}));

    // a file that cannot be read is told
    for (const std::string& three : {"read/" + name, std::string("read/2"), std::string("read/3")}) {
        writeFile(dir / three, "three");
    }
    openToEveryone(dir.path());
    ASSERT_EQ(::chmod((dir / "read/" + name).c_str(), 0), 0);
    const std::string err = runUnprivileged([&] { return runCli({"-t", "dup", dir / "read"}).err; });
    EXPECT_NE(err.find("\nkormial-cli: " + dir.path() + "read/" + shown + ": Permission denied\n"), npos) << err;
    EXPECT_TRUE(terminalSafe(text.out + json.out + err)) << text.out << json.out << err;
}

// Bad input: one line on stderr that names the fault, status 2, no search.
TEST(Cli, BadInputIsRefusedWithOneLine)
{
    TempDir dir;
    writeFile(dir / "file", "not a folder");
    const std::string d = dir.path(), range = " needs a whole number of KB in the range -2147483648 to 2147483647";
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{d, "--max"}, "--max needs a size in whole KB"},
        {{"--min=", d}, "--min" + range + ", not \"\""},
        {{"--min", "2147483648", d}, "--min" + range},
        {{"--max", "\xef\xbc\x95", d}, "--max" + range},  // a full-width five
        {{"--min", "--max", "5", d}, "--min" + range + ", not \"--max\""},
        {{"--min", "-5", "--max", "-6", d}, "Max File Size(-6) must be greater than Min File Size(-5)."},
        {{"-p", "a/", d}, "must not contain \"/\""},
        {{"-t", "dup,", d}, "unknown search type \"\""},
        {{"--format=TSV", d}, "unknown format \"TSV\""},
        {{}, "no folder to search"},
        {{""}, "an empty folder name"},
        {{"--tolerant=no", d}, "--tolerant takes no value"},
        {{"--\x1b]0;x\a\n", d}, "unknown option \"--\\e]0;x\\x07\\n\""},  // shown escaped
        {{"--load", d + "r.json", d}, "takes no folders"},
        {{d, "--keep"}, "--keep needs a folder"},
        {{"--load", d + "r.json", "--mark", "all"}, "--mark goes with --trash"},
        {{"--load", d + "r.json", "--list", "zero", "--mark", "older", "--dry-run"}, "do not apply to --list zero"},
        {{"--load", d + "r.json", "--mark", "larger", "--trash"}, "only to --list portions"},
        {{"--load", d, "--mark", "all", "--trash"}, ": Is a directory"},
        {{"--load", d + "r.json", "--mark", "all", "--link", "soft"}, "--link needs hard or reflink"},
        {{"--exclude", "", d}, "--exclude needs a name or path"},
        {{"--load", d + "r.json", "--list", "name", "--mark", "all", "--link=hard"}, "--link links files of --list dup"},
        {{"--load", d + "r.json", "--mark", "all", "--link", "reflink", "--trash"}, "neither --trash"},
        // a folder that cannot be searched is named before the search
        {{d + "gone/"}, d + "gone: No such file or directory"},
        {{d, "-R", d + "file"}, d + "file: Not a directory"},
    };
    for (const auto& [args, says] : cases) {
        const CliRun r = runHeld(args);
        EXPECT_TRUE(r.status == 2 && r.out.empty() && r.err.starts_with("kormial-cli: ") &&
                    r.err.find(says) != npos && r.err.find('\n') == r.err.size() - 1)
            << "wanted: " << says << "\ngot: " << r.status << " " << r.err;
    }
    // Not bad: -1 is no bound, a sign, leading zeros.
    EXPECT_EQ(runHeld({"--min", "-1", "--max", "+0004", d}).status, 0);
}

// Temporary data and runtime folders: the trash and the review lock of the
// runs of one test.
struct ReviewHome {
    ReviewHome()
    {
        ::setenv("XDG_DATA_HOME", data.path().c_str(), 1);
        ::setenv("XDG_RUNTIME_DIR", data.path().c_str(), 1);
    }
    std::size_t trashed() const { return entries(data / "Trash/files").size(); }
    EnvBack dataHome{"XDG_DATA_HOME"}, runtime{"XDG_RUNTIME_DIR"};
    TempDir data;
};

// A result saved with -f json, reviewed later: marked by a rule and moved to
// the trash by the window's code, each file checked again; one line per
// file, the totals on stderr, status 1 when any stayed. The rows under a
// --keep folder never go, and nothing moves while another review runs.
TEST(Cli, ReviewOfASavedResult)
{
    TempDir dir;
    ReviewHome home;
    const std::string d = dir.path();
    for (const auto& [name, age] : {std::pair{"a/x", 300}, {"b/x", 200}, {"c/x", 100}, {"d/y", 300}, {"e/y", 100}}) {
        writeFile(dir / name, std::string(name).back() == 'x' ? "xxxx" : "yyyy");
        const timespec when[2] = {{1600000000 - age, 0}, {1600000000 - age, 0}};
        ASSERT_EQ(::utimensat(AT_FDCWD, (dir / name).c_str(), when, 0), 0);
    }
    writeFile(dir / "r.json", runHeld({"-f", "json", "-t", "dup", d + "a", d + "b", d + "c", d + "d", d + "e"}).out);
    const std::vector<std::string> review = {"--load", dir / "r.json", "--mark", "keep-oldest"};
    const auto with = [&](std::vector<std::string> more) {
        more.insert(more.begin(), review.begin(), review.end());
        return runHeld(more);
    };
    const CliRun dry = with({"--dry-run"});
    EXPECT_EQ(dry.status, 0) << dry.err;
    EXPECT_EQ(std::count(dry.out.begin(), dry.out.end(), '\n'), 3);
    for (const char* name : {"b/x\n", "c/x\n", "e/y\n"}) {
        EXPECT_NE(dry.out.find("would trash: " + d + name), npos) << dry.out;
    }
    EXPECT_EQ(dry.err, "3 files, 12 bytes would go to the trash; 0 would stay\n");
    const CliRun link = with({"--link", "hard", "--dry-run", "-f", "tsv"});
    EXPECT_NE(link.out.find("would link\t" + d + "b/x\t\n"), npos) << link.out;
    EXPECT_EQ(link.err, "3 files, 12 bytes would be replaced by links; 0 would stay\n");
    // shared or skipped, by the file system of the folder
    EXPECT_NE(with({"--link", "reflink", "--dry-run"}).err.find(" would share blocks with their kept copies; "), npos);
    // a reference copy is the one its group keeps
    const CliRun kept = with({"--keep", d + "c", "--dry-run"});
    EXPECT_EQ(kept.out.find(d + "c/x"), npos) << kept.out;
    EXPECT_NE(kept.out.find("would trash: " + d + "a/x\n"), npos) << kept.out;
    {
        const auto other = kormial::platform::ReviewLock::tryTake();
        ASSERT_TRUE(other.has_value());
        const CliRun waited = with({"--trash"});
        EXPECT_EQ(waited.status, 1);
        EXPECT_NE(waited.err.find("kormial-cli: another review is moving files"), npos) << waited.err;
        EXPECT_EQ(home.trashed(), 0u);
    }
    writeFile(dir / "e/y", "yyyy");  // written again since the search
    const CliRun all = runHeld({"--load", dir / "r.json", "--mark", "all", "--trash", "-f", "tsv"});
    EXPECT_EQ(all.status, 1);
    EXPECT_EQ(std::count(all.out.begin(), all.out.end(), '\n'), 5);
    EXPECT_EQ(all.out.find("trashed"), npos) << all.out;
    EXPECT_NE(all.out.find("skipped\t" + d + "a/x\tno copy of its bytes stays\n"), npos) << all.out;
    const CliRun trashed = with({"--trash", "-f", "json"});
    EXPECT_EQ(trashed.status, 1);
    for (const std::string& says : {"\"trashed\", \"path\": \"" + d + "b/x\"", "\"trashed\", \"path\": \"" + d + "c/x\"",
                                    "\"skipped\", \"path\": \"" + d + "e/y\""}) {
        EXPECT_NE(trashed.out.find(says), npos) << trashed.out;
    }
    EXPECT_NE(trashed.out.find("\"reason\": \"it changed since the search\""), npos);
    EXPECT_TRUE(trashed.out.ends_with("\n  ],\n  \"complete\": true\n}\n")) << trashed.out;
    EXPECT_EQ(trashed.err, "2 files, 8 bytes moved to the trash; 1 stayed\n");
    EXPECT_TRUE(std::filesystem::exists(dir / "a/x") && std::filesystem::exists(dir / "d/y") &&
                std::filesystem::exists(dir / "e/y") && !std::filesystem::exists(dir / "b/x"));
    EXPECT_EQ(home.trashed(), 2u);
}

// SIGINT while many files move: the review stops after the file in hand;
// every file moved was reported as it went, and the totals follow.
TEST(Cli, ASignalStopsAReviewThatReportsWhatMoved)
{
    TempDir dir;
    ReviewHome home;
    constexpr int kFiles = 3000;
    for (int i = 0; i < kFiles; ++i) {
        writeFile(dir / ("g/f" + std::to_string(10000 + i)), "same");
    }
    writeFile(dir / "r.json", runCli({"-f", "json", "-t", "dup", dir / "g"}).out);
    int out[2];
    ASSERT_EQ(::pipe2(out, O_CLOEXEC), 0);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(out[1], 1);
        ::dup2(::open((dir / "err").c_str(), O_WRONLY | O_CREAT, 0600), 2);
        std::signal(SIGINT, SIG_DFL);
        ::execl(KORMIAL_CLI_PATH, KORMIAL_CLI_PATH, "--load", (dir / "r.json").c_str(), "--mark", "keep-first", "--trash",
                static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(out[1]);
    std::string lines;
    char buf[4096];
    for (ssize_t n; (n = ::read(out[0], buf, sizeof buf)) > 0;) {
        if (lines.empty()) {
            ::kill(pid, SIGINT);  // once the first file is reported
        }
        lines.append(buf, static_cast<std::size_t>(n));
    }
    ::close(out[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 130) << status;
    const auto moved = static_cast<std::size_t>(std::count(lines.begin(), lines.end(), '\n'));
    EXPECT_GE(moved, 1u);
    EXPECT_LT(moved, kFiles - 1u);
    std::istringstream each(lines);
    for (std::string line; std::getline(each, line);) {
        EXPECT_TRUE(line.starts_with("trashed: " + dir / "g/f")) << line;
    }
    EXPECT_EQ(home.trashed(), moved);
    const std::string err = readFile(dir / "err");
    EXPECT_TRUE(std::regex_search(err, std::regex("^Review stopped by SIGINT: [^\n]*\n" + std::to_string(moved) +
                                                  " files?, " + std::to_string(4 * moved) + " bytes moved to the trash; " +
                                                  std::to_string(kFiles - 1 - moved) + " stayed\n$")))
        << err;
}
