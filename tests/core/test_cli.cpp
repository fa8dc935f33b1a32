// kormial-cli as a user runs it: arguments, formats, messages, exit codes.
#include "cli/cliargs.h"
#include "testutil.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

using kormial::test::CliRun;
using kormial::test::runCli;
using kormial::test::randomBytes;
using kormial::test::readFile;
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

}  // namespace

TEST(Cli, TsvListsEveryListInOrderWithEscapedNames)
{
    TempDir dir;
    writeFile(dir / "tab\there", "same");
    writeFile(dir / "new\nline", "same");
    writeFile(dir / "back\\slash", "same");
    writeFile(dir / "carriage\rreturn", "same");
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
    // duplicates sorted by name within the group after the "#" sort keeps order
    std::string dupText;
    for (std::size_t i = 1; i < 5; ++i) {
        EXPECT_EQ(lines[i].substr(0, 2), "1\t");
        dupText += lines[i] + "|";
    }
    EXPECT_NE(dupText.find("\ttab\\there|"), std::string::npos) << dupText;
    EXPECT_NE(dupText.find("\tnew\\nline|"), std::string::npos) << dupText;
    EXPECT_NE(dupText.find("\tback\\\\slash|"), std::string::npos) << dupText;
    EXPECT_NE(dupText.find("\tcarriage\\rreturn|"), std::string::npos) << dupText;
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

TEST(Cli, BadInputIsRefusedWithExitTwo)
{
    TempDir dir;
    const std::string d = dir.path();
    struct Case {
        std::vector<std::string> args;
        std::string says;
    };
    const std::vector<Case> cases = {
        {{"--min", "abc", d}, "--min needs a whole number"},
        {{"--min", "1.5", d}, "--min needs a whole number"},
        {{"--max", "2147483648", d}, "--max needs a whole number"},
        {{"--max", "", d}, "--max needs a whole number"},
        {{"--max", " 5", d}, "--max needs a whole number"},
        {{d, "--min"}, "--min needs a size"},
        {{"--min", "10", "--max", "10", d}, "Max File Size(10) must be greater than Min File Size(10)."},
        {{"--min", "100", "--max", "99", d}, "Max File Size(99) must be greater than Min File Size(100)."},
        {{"-p", "", d}, "pattern must not be empty"},
        {{"-p", "a/b", d}, "must not contain"},
        {{"-p"}, "-p needs a pattern"},
        {{"-t", "dup,bogus", d}, "unknown search type \"bogus\""},
        {{"-t", "", d}, "unknown search type \"\""},
        {{"-f", "xml", d}, "unknown format \"xml\""},
        {{"--frobnicate", d}, "unknown option \"--frobnicate\""},
        {{}, "no folder to search"},
        {{"-t", "dup"}, "no folder to search"},
        {{""}, "empty folder name"},
    };
    for (const auto& c : cases) {
        const CliRun r = runCli(c.args);
        EXPECT_EQ(r.status, 2) << c.says;
        EXPECT_NE(r.err.find(c.says), std::string::npos) << "wanted: " << c.says << "\ngot: " << r.err;
        EXPECT_TRUE(r.out.empty());
        EXPECT_EQ(r.err.find("Loading files"), std::string::npos) << "searched despite bad input";
    }
    const CliRun help = runCli({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("--no-subfolders"), std::string::npos);
}

TEST(Cli, TextAndJsonCarryTheSameRows)
{
    TempDir dir;
    const std::string big = randomBytes(1, 3000);
    writeFile(dir / "one/pic.jpg", big);
    writeFile(dir / "two/pic.JPG", big);
    writeFile(dir / "odd\xff" "name", "x");
    writeFile(dir / "three/odd\xff" "name", "y");
    const CliRun text = runCli({dir.path()});
    ASSERT_EQ(text.status, 0);
    EXPECT_NE(text.out.find("Duplicates (2)"), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("Same Name (4)"), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("Zero Size (0)"), std::string::npos);
    EXPECT_NE(text.out.find("2.9 KB"), std::string::npos);
    EXPECT_NE(text.out.find("odd\\xffname"), std::string::npos);
    const CliRun json = runCli({"-f", "json", dir.path()});
    ASSERT_EQ(json.status, 0);
    EXPECT_NE(json.out.find("\"caption\": \"Duplicates\""), std::string::npos);
    EXPECT_NE(json.out.find("\"name\": \"odd\\ufffdname\""), std::string::npos);
    EXPECT_NE(json.out.find("\"name_hex\": \"6f6464ff6e616d65\""), std::string::npos);
    EXPECT_NE(json.out.find("\"size\": 3000"), std::string::npos);
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
