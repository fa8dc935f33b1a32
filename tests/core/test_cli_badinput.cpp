// kormial-cli given bad values for every option: missing, empty, huge,
// negative, malformed. Each gets one clear line on stderr, exit status 2,
// and no search.
#include "cli/cliargs.h"
#include "testutil.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

using kormial::test::readFile;
using kormial::test::runCli;
using kormial::test::TempDir;
using kormial::test::writeFile;

namespace {

struct Case {
    std::vector<std::string> args;
    std::string says;  // a piece of the message
};

void expectRefused(const std::vector<Case>& cases)
{
    for (const Case& c : cases) {
        std::string shown;
        for (const auto& a : c.args) {
            shown += "[" + a.substr(0, 40) + "] ";
        }
        SCOPED_TRACE(shown);
        const kormial::test::CliRun r = runCli(c.args);
        EXPECT_EQ(r.status, 2);
        EXPECT_NE(r.err.find(c.says), std::string::npos) << "wanted: " << c.says << "\ngot: " << r.err;
        EXPECT_EQ(r.err.rfind("kormial-cli: ", 0), 0u) << r.err;
        // one line, ending in a line break
        EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
        EXPECT_TRUE(r.out.empty());
        EXPECT_EQ(r.err.find("Loading files"), std::string::npos) << "searched despite bad input";
    }
}

}  // namespace

TEST(CliBadInput, SizeBoundsMissingEmptyHugeNegativeAndMalformed)
{
    TempDir dir;
    const std::string d = dir.path();
    const std::string range = "needs a whole number of KB in the range -2147483648 to 2147483647";
    expectRefused({
        // missing
        {{d, "--max"}, "--max needs a size in whole KB"},
        {{"--min"}, "--min needs a size in whole KB"},
        // empty, inline or separate
        {{"--min=", d}, "--min " + range + ", not \"\""},
        {{"--max=", d}, "--max " + range},
        {{"--min", "", d}, "--min " + range},
        // huge, both ways
        {{"--min", "2147483648", d}, "--min " + range},
        {{"--min", "-2147483649", d}, "--min " + range},
        {{"--max", "99999999999999999999999999999999", d}, "--max " + range},
        {{"--max", std::string(5000, '9'), d}, "--max " + range},
        // not whole numbers of KB
        {{"--min", "-", d}, "--min " + range},
        {{"--min", "+", d}, "--min " + range},
        {{"--min", "--5", d}, "--min " + range},
        {{"--min", "1e3", d}, "--min " + range},
        {{"--min", "0x10", d}, "--min " + range},
        {{"--min", "10KB", d}, "--min " + range},
        {{"--min", "1,5", d}, "--min " + range},
        {{"--min", "2.", d}, "--min " + range},
        {{"--min", ".5", d}, "--min " + range},
        {{"--max", "1 2", d}, "--max " + range},
        {{"--max", "5 ", d}, "--max " + range},
        {{"--max", "\t5", d}, "--max " + range},
        {{"--max", "\xef\xbc\x95", d}, "--max " + range},  // a full-width five
        {{"--max", "NaN", d}, "--max " + range},
        {{"--max", "inf", d}, "--max " + range},
        // the next option is no value
        {{"--min", "--max", "5", d}, "--min " + range + ", not \"--max\""},
        {{"--min=5=6", d}, "--min " + range},
        // both given, the maximum not above the minimum (negative ones too)
        {{"--min", "-1", "--max", "-1", d}, "Max File Size(-1) must be greater than Min File Size(-1)."},
        {{"--min", "-5", "--max", "-6", d}, "Max File Size(-6) must be greater than Min File Size(-5)."},
        {{"--max", "-2147483648", "--min", "2147483647", d},
         "Max File Size(-2147483648) must be greater than Min File Size(2147483647)."},
    });
}

TEST(CliBadInput, PatternTypesFormatAndFolders)
{
    TempDir dir;
    const std::string d = dir.path();
    expectRefused({
        {{d, "--pattern"}, "--pattern needs a pattern"},
        {{"--pattern=", d}, "the pattern must not be empty"},
        {{"-p", "/", d}, "must not contain \"/\""},
        {{"-p", "a/", d}, "must not contain \"/\""},
        {{"-t"}, "-t needs a list"},
        {{d, "--types"}, "--types needs a list"},
        {{"--types=", d}, "unknown search type \"\""},
        {{"-t", "dup,", d}, "unknown search type \"\""},
        {{"-t", ",dup", d}, "unknown search type \"\""},
        {{"-t", "DUP", d}, "unknown search type \"DUP\""},
        {{"-t", "dup name", d}, "unknown search type \"dup name\""},
        {{"-t", "-1", d}, "unknown search type \"-1\""},
        {{"-t", std::string(3000, 'z'), d}, "unknown search type"},
        {{"-f"}, "-f needs a format"},
        {{d, "--format"}, "--format needs a format"},
        {{"-f", "", d}, "unknown format \"\""},
        {{"--format=TSV", d}, "unknown format \"TSV\""},
        {{"-f", "-1", d}, "unknown format \"-1\""},
        {{}, "no folder to search"},
        {{"-t", "dup"}, "no folder to search"},
        {{""}, "an empty folder name"},
    });
}

// Switches take no value: "--tolerant=no" must not turn tolerance on, and
// "--=x" is no end of the options.
TEST(CliBadInput, SwitchesRefuseAValue)
{
    TempDir dir;
    const std::string d = dir.path();
    expectRefused({
        {{"--tolerant=no", d}, "--tolerant takes no value"},
        {{"--tolerant=", d}, "--tolerant takes no value"},
        {{"--subfolders=no", d}, "--subfolders takes no value"},
        {{"--no-subfolders=yes", d}, "--no-subfolders takes no value"},
        {{"--help=me", d}, "--help takes no value"},
        {{"--=x", d}, "unknown option \"--=x\""},
        {{"-x", d}, "unknown option \"-x\""},
        {{"-pfoo", d}, "unknown option \"-pfoo\""},
        {{"---min", "5", d}, "unknown option \"---min\""},
        {{"-", "--bogus"}, "unknown option \"--bogus\""},
        // what was given is shown, its control characters escaped
        {{"--\x1b]0;x\a\n", d}, "unknown option \"--\\e]0;x\\x07\\n\""},
    });
    using kormial::cli::parseArguments;
    EXPECT_FALSE(parseArguments({"--tolerant=no", "/x"}).options);
    EXPECT_TRUE(parseArguments({"--tolerant", "/x"}).options->tolerant);
}

// What is not bad input: negative bounds (-1 is no bound), a sign, leading
// zeros, the extreme values, and a folder that is not there (nothing found).
TEST(CliBadInput, GoodValuesAtTheEdgesAreTaken)
{
    TempDir dir;
    writeFile(dir / "a", std::string(3000, 'a'));
    writeFile(dir / "b", std::string(3000, 'a'));
    const std::string d = dir.path();
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"--min", "-1", "--max", "2147483647", d},
             {"--min=-2147483648", d},
             {"--min", "+0", "--max", "0004", d},
             {"--max=-1", d},
         }) {
        const kormial::test::CliRun r = runCli(args);
        EXPECT_EQ(r.status, 0) << args[0] << " " << args[1] << "\n" << r.err;
        EXPECT_NE(r.out.find("Duplicates (2)"), std::string::npos) << r.out;
    }
    const kormial::test::CliRun missing = runCli({"-f", "tsv", d + "no-such-folder"});
    EXPECT_EQ(missing.status, 0);
    EXPECT_TRUE(missing.out.empty());
    EXPECT_NE(missing.err.find("searching 0 files."), std::string::npos) << missing.err;
}
