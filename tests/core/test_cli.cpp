// kormial-cli as a user runs it: arguments, formats, messages, exit codes.
#include "cli/cliargs.h"
#include "platform/textfold.h"
#include "testutil.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <set>
#include <sys/wait.h>
#include <unistd.h>

using kormial::test::CliRun;
using kormial::test::runCli;
using kormial::test::openToEveryone;
using kormial::test::randomBytes;
using kormial::test::readFile;
using kormial::test::runUnprivileged;
using kormial::test::TempDir;
using kormial::test::writeFile;

namespace {

std::string lastLine(const std::string& s)
{
    std::string t = s;
    while (!t.empty() && t.back() == '\n') {
        t.pop_back();
    }
    return t.substr(t.rfind('\n') == std::string::npos ? 0 : t.rfind('\n') + 1);
}

// kormial-cli started with `out` as its stdout (-1: closed) and `err` as its
// stderr, the stop signals at their defaults whatever the test runner set.
pid_t startCli(const std::vector<std::string>& args, int out, int err)
{
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (out < 0) {
            ::close(STDOUT_FILENO);
        } else {
            ::dup2(out, STDOUT_FILENO);
        }
        ::dup2(err, STDERR_FILENO);
        for (const int s : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) {
            std::signal(s, SIG_DFL);
        }
        std::vector<char*> argv{const_cast<char*>(KORMIAL_CLI_PATH)};
        for (const auto& a : args) {
            argv.push_back(const_cast<char*>(a.c_str()));
        }
        argv.push_back(nullptr);
        ::alarm(120);  // a hanging run ends
        ::execv(KORMIAL_CLI_PATH, argv.data());
        ::_exit(127);
    }
    return pid;
}

// The exit status, or minus the signal that ended the process.
int waitFor(pid_t pid)
{
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
}

// kormial-cli run to the end with the given stdout (-1: closed).
CliRun runWithStdout(const std::vector<std::string>& args, int out)
{
    TempDir io;
    const int err = ::open((io / "err").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    CliRun r;
    r.status = waitFor(startCli(args, out, err));
    ::close(err);
    r.err = readFile(io / "err");
    return r;
}

// Waits until `pid` has a handler for `signal`; false if it ended first.
bool waitUntilCaught(pid_t pid, int signal)
{
    const std::string path = "/proc/" + std::to_string(pid) + "/status";
    while (true) {
        const std::string status = readFile(path);
        const auto at = status.find("\nSigCgt:");
        if (at != std::string::npos && ((std::stoull(status.substr(at + 8), nullptr, 16) >> (signal - 1)) & 1)) {
            return true;
        }
        siginfo_t info{};
        if (::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid == pid) {
            return false;
        }
        ::usleep(1000);
    }
}

// kormial-cli sent `signal` while it is held at its first status line: its
// stderr is a full pipe until the signal is sent, so the search cannot have
// begun, let alone ended.
CliRun stoppedRun(const std::vector<std::string>& args, int signal)
{
    int errPipe[2];
    EXPECT_EQ(::pipe2(errPipe, O_CLOEXEC | O_NONBLOCK), 0);
    const std::string block(4096, '.');
    std::size_t filled = 0;
    for (ssize_t w; (w = ::write(errPipe[1], block.data(), block.size())) > 0;) {
        filled += static_cast<std::size_t>(w);
    }
    ::fcntl(errPipe[0], F_SETFL, 0);
    ::fcntl(errPipe[1], F_SETFL, 0);
    TempDir io;
    const int out = ::open((io / "out").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    const pid_t pid = startCli(args, out, errPipe[1]);
    ::close(out);
    ::close(errPipe[1]);
    EXPECT_TRUE(waitUntilCaught(pid, signal));
    ::kill(pid, signal);
    CliRun r;
    char buf[4096];
    for (ssize_t n; (n = ::read(errPipe[0], buf, sizeof buf)) > 0;) {
        r.err.append(buf, static_cast<std::size_t>(n));
    }
    ::close(errPipe[0]);
    r.status = waitFor(pid);
    r.err.erase(0, filled);
    r.out = readFile(io / "out");
    return r;
}

// A TSV cell back to its bytes.
std::string tsvDecoded(const std::string& cell)
{
    std::string out;
    for (std::size_t i = 0; i < cell.size(); ++i) {
        if (cell[i] != '\\' || i + 1 == cell.size()) {
            out += cell[i];
            continue;
        }
        const char e = cell[++i];
        if (e == 'x') {
            out += static_cast<char>(std::stoi(cell.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            out += e == 't' ? '\t' : e == 'n' ? '\n' : e == 'r' ? '\r' : e;
        }
    }
    return out;
}

// Nothing a terminal would act on: UTF-8 without control characters (C0 but
// the line break, DEL, C1).
bool terminalSafe(const std::string& s)
{
    for (std::size_t i = 0; i < s.size(); ++i) {
        const auto c = static_cast<unsigned char>(s[i]);
        if ((c < 0x20 && c != '\n') || c == 0x7f ||
            (c == 0xc2 && i + 1 < s.size() && static_cast<unsigned char>(s[i + 1]) < 0xa0)) {
            return false;
        }
    }
    return kormial::platform::isValidUtf8(s);
}

}  // namespace

TEST(Cli, TsvListsEveryListInOrder)
{
    TempDir dir;
    for (const char* name : {"w", "x", "y", "z"}) {
        writeFile(dir / name, "same");
    }
    writeFile(dir / "sub/empty", "");
    const CliRun r = runCli({"-t", "zero,dup", "--format", "tsv", dir.path()});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string folder = dir.path();
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < r.out.size()) {
        const auto nl = r.out.find('\n', start);
        lines.push_back(r.out.substr(start, nl - start));
        start = nl + 1;
    }
    ASSERT_EQ(lines.size(), 5u) << r.out;
    EXPECT_EQ(lines[0].substr(0, 7), "0\t-1\t0\t");
    EXPECT_EQ(lines[0][7 + 4], '/');  // the date cell
    EXPECT_NE(lines[0].find("\t" + folder + "sub/\tempty"), std::string::npos);
    for (std::size_t i = 1; i < 5; ++i) {
        EXPECT_EQ(lines[i].substr(0, 2), "1\t") << lines[i];
    }
    EXPECT_EQ(lastLine(r.err), "Completed in 0s, searching 5 files.");
    EXPECT_NE(r.err.find("Loading files ...\n"), std::string::npos);
}

TEST(Cli, OptionsApplyToTheFoldersThatFollow)
{
    TempDir dir;
    writeFile(dir / "a/x.mp3", "song");
    writeFile(dir / "a/deep/y.mp3", "song");
    writeFile(dir / "a/z.txt", "song");
    writeFile(dir / "b/w.txt", "song");
    writeFile(dir / "b/deep/v.txt", "song");
    // a: *.mp3 without sub-folders; b: *.txt with them; a given twice
    const CliRun r = runCli({"-t", "dup", "-f", "tsv", "-R", "-p", "*.mp3", dir / "a", dir / "a/", "-r",
                          "--pattern=*.txt", dir / "b"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.find("y.mp3"), std::string::npos);
    EXPECT_EQ(r.out.find("z.txt"), std::string::npos);
    EXPECT_NE(r.out.find("\tx.mp3"), std::string::npos);
    EXPECT_NE(r.out.find("\tw.txt"), std::string::npos);
    EXPECT_NE(r.out.find("\tv.txt"), std::string::npos);
    EXPECT_EQ(lastLine(r.err), "Completed in 0s, searching 3 files.");
}

TEST(Cli, SizeBoundsAndNegativeNumbers)
{
    TempDir dir;
    writeFile(dir / "k2a", std::string(2048, 'a'));
    writeFile(dir / "k2b", std::string(2048, 'a'));
    writeFile(dir / "k8a", std::string(8192, 'b'));
    writeFile(dir / "k8b", std::string(8192, 'b'));
    CliRun r = runCli({"-t", "dup", "-f", "tsv", "--min", "3", dir.path()});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.find("k2"), std::string::npos);
    EXPECT_NE(r.out.find("k8a"), std::string::npos);
    r = runCli({"-t", "dup", "-f", "tsv", "--min", "-1", "--max", "3", dir.path()});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("k2a"), std::string::npos);
    EXPECT_EQ(r.out.find("k8"), std::string::npos);
}

TEST(Cli, TextAndJsonCarryTheSameRows)
{
    TempDir dir;
    const std::string big = randomBytes(1, 3000);
    writeFile(dir / "one/pic.jpg", big);
    writeFile(dir / "two/pic.JPG", big);
    const CliRun text = runCli({dir.path()});
    ASSERT_EQ(text.status, 0);
    EXPECT_NE(text.out.find("Duplicates (2)"), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("Same Name (2)"), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("Zero Size (0)"), std::string::npos);
    EXPECT_NE(text.out.find("2.9 KB"), std::string::npos);
    const CliRun json = runCli({"-f", "json", dir.path()});
    ASSERT_EQ(json.status, 0);
    EXPECT_NE(json.out.find("\"caption\": \"Duplicates\""), std::string::npos);
    EXPECT_NE(json.out.find("\"size\": 3000"), std::string::npos);
}

TEST(Cli, ExitStatusesTellHowTheRunEnded)
{
    TempDir dir;
    writeFile(dir / "a", "same");
    writeFile(dir / "b", "same");
    // the whole search: 0, and the document says so
    const CliRun done = runCli({"-f", "json", dir.path()});
    EXPECT_EQ(done.status, 0) << done.err;
    EXPECT_EQ(done.out.rfind("{\n  \"complete\": true,\n  \"lists\": [\n", 0), 0u) << done.out;
    EXPECT_EQ(done.err.find("stopped"), std::string::npos) << done.err;
    // bad input: 2 (the cases are in test_cli_badinput.cpp); the help tells them all
    EXPECT_EQ(runCli({"--frobnicate", dir.path()}).status, 2);
    const CliRun help = runCli({"--help"});
    EXPECT_EQ(help.status, 0);
    for (const char* told : {"  1 ", "  2 ", "128+N", "141", "\"complete\": false", "\\x1b", "\\u00nn"}) {
        EXPECT_NE(help.out.find(told), std::string::npos) << told;
    }

    // output that cannot be written: 1, with the reason
    const int full = ::open("/dev/full", O_WRONLY | O_CLOEXEC);
    ASSERT_GE(full, 0);
    CliRun r = runWithStdout({dir.path()}, full);
    ::close(full);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(lastLine(r.err), "kormial-cli: cannot write the output: No space left on device");
    r = runWithStdout({dir.path()}, -1);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(lastLine(r.err), "kormial-cli: cannot write the output: Bad file descriptor");
    // a reader that went away (as "| head -1" does): 141, without a word
    int pipeFds[2];
    ASSERT_EQ(::pipe2(pipeFds, O_CLOEXEC), 0);
    ::close(pipeFds[0]);
    r = runWithStdout({dir.path()}, pipeFds[1]);
    ::close(pipeFds[1]);
    EXPECT_EQ(r.status, 141);
    EXPECT_EQ(r.err.find("kormial-cli"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("Broken pipe"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("Completed"), std::string::npos) << r.err;

    // stopped: 128 + the signal, the lists so far marked incomplete
    r = stoppedRun({"-f", "json", dir.path()}, SIGTERM);
    EXPECT_EQ(r.status, 143) << r.err;
    EXPECT_EQ(r.out.rfind("{\n  \"complete\": false,\n  \"lists\": [\n", 0), 0u) << r.out;
    EXPECT_EQ(r.out.substr(r.out.size() - 6), "  ]\n}\n");
    EXPECT_EQ(r.err.rfind("Start ...\n", 0), 0u) << r.err;
    EXPECT_NE(r.err.find("Search stopped by SIGTERM: the lists are incomplete.\nCompleted in "),
              std::string::npos) << r.err;
    r = stoppedRun({dir.path()}, SIGINT);
    EXPECT_EQ(r.status, 130) << r.err;
    EXPECT_EQ(lastLine(r.out), "The search was stopped: the lists are incomplete.");
    EXPECT_NE(r.err.find("Search stopped by SIGINT"), std::string::npos) << r.err;
}

// One name with ESC, BEL, tab, carriage return, DEL, a stray C1 byte, a C1
// character, a stray lead byte, a line break and a backslash, as each format
// writes it, and on stderr in a read failure.
TEST(Cli, ControlCharactersAndStrayBytesAreEscaped)
{
    const std::string name = "a\x1b[1m\a\t\r\x7f\x9b\xc2\x9b\xe9\n\\z";
    TempDir dir;
    writeFile(dir / "one/" + name, "same");
    writeFile(dir / "two/" + name, "same");

    const CliRun text = runCli({dir.path()});
    ASSERT_EQ(text.status, 0) << text.err;
    const std::string shown = "a\\e[1m\\x07\\t\\r\\x7f\\x9b\\xc2\\x9b\\xe9\\n\\\\z";
    EXPECT_NE(text.out.find("  " + dir.path() + "one/" + shown + "\n"), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("  Name \"" + shown + "\": 2 files\n"), std::string::npos) << text.out;
    EXPECT_TRUE(terminalSafe(text.out)) << text.out;

    // TSV decodes back to the exact bytes
    const CliRun tsv = runCli({"-f", "tsv", dir.path()});
    ASSERT_EQ(tsv.status, 0) << tsv.err;
    EXPECT_NE(tsv.out.find("\ta\\x1b[1m\\x07\\t\\r\\x7f\\x9b\\xc2\\x9b\\xe9\\n\\\\z\n"), std::string::npos)
        << tsv.out;
    std::multiset<std::string> paths;
    std::size_t start = 0;
    while (start < tsv.out.size()) {
        const auto end = tsv.out.find('\n', start);
        const std::string line = tsv.out.substr(start, end - start);
        const auto nameAt = line.rfind('\t');
        const auto folderAt = line.rfind('\t', nameAt - 1);
        paths.insert(tsvDecoded(line.substr(folderAt + 1, nameAt - folderAt - 1)) +
                     tsvDecoded(line.substr(nameAt + 1)));
        start = end + 1;
    }
    EXPECT_EQ(paths, (std::multiset<std::string>{dir / "one/" + name, dir / "one/" + name, dir / "two/" + name,
                                                 dir / "two/" + name}));

    const CliRun json = runCli({"-f", "json", "-t", "dup", dir.path()});
    ASSERT_EQ(json.status, 0) << json.err;
    EXPECT_NE(json.out.find("\"name\": \"a\\u001b[1m\\u0007\\t\\r\\u007f\\ufffd\\u009b\\ufffd\\n\\\\z\", "
                            "\"name_hex\": \"611b5b316d07090d7f9bc29be90a5c7a\"}"),
              std::string::npos)
        << json.out;
    EXPECT_TRUE(terminalSafe(json.out));

    // a file that cannot be read in a run long enough to be compared pair by pair
    for (int i = 0; i < 260; ++i) {
        writeFile(dir / ("long/f" + std::to_string(1000 + i)), "same");
    }
    writeFile(dir / "long/" + name, "same");
    openToEveryone(dir.path());
    ASSERT_EQ(::chmod((dir / "long/" + name).c_str(), 0), 0);
    const std::string err = runUnprivileged([&] { return runCli({"-t", "dup", dir / "long"}).err; });
    EXPECT_NE(err.find("\nkormial-cli: " + dir.path() + "long/" + shown + ": Permission denied\n"), std::string::npos)
        << err;
    EXPECT_TRUE(terminalSafe(err)) << err;
}

TEST(CliArgs, ParserKeepsTheSetupPanelRules)
{
    using kormial::cli::parseArguments;
    // "/b" after "/b/" is the same entry and passed over; "/a" with another
    // pattern is a new one
    auto p = parseArguments({"/a", "-R", "-p", "*.x", "/b/", "/b", "/a", "--", "-odd"});
    ASSERT_TRUE(p.options);
    const auto& e = p.options->entries;
    ASSERT_EQ(e.size(), 4u);
    EXPECT_EQ(e[0].path, "/a/*.*");
    EXPECT_EQ(e[0].subFolder, "Yes");
    EXPECT_EQ(e[1].path, "/b/*.x");
    EXPECT_EQ(e[1].subFolder, "No");
    EXPECT_EQ(e[2].path, "/a/*.x");
    EXPECT_EQ(e[3].path, "-odd/*.x");
    EXPECT_TRUE(p.options->types[0] && p.options->types[1] && p.options->types[2]);
    EXPECT_FALSE(p.options->types[3]);
    auto root = parseArguments({"/"});
    ASSERT_TRUE(root.options);
    EXPECT_EQ(root.options->entries[0].path, "/*.*");
    auto neg = parseArguments({"--min=-5", "--max", "-1", "/x"});
    ASSERT_TRUE(neg.options) << neg.error;
    EXPECT_EQ(neg.options->minText, "-5");
    EXPECT_EQ(neg.options->maxText, "-1");
}
