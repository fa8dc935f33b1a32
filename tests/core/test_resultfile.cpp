// Saved results read back: every field a review checks comes back, a file
// listed twice is refused, and no document, however large, deep or endless,
// takes more than the memory of its rows.
#include "clirun.h"
#include "results/resultfile.h"
#include "searchhost.h"

#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sys/stat.h>

using namespace kormial;
using namespace kormial::test;

namespace {

// kormial-cli --load PATH; for "-", stdin is what `feed` writes.
HeldRun loadWithCli(const std::string& path, const StdinFeed& feed = {})
{
    return runHeld({"--load", path}, "", 0, feed);
}

// 64 MiB at most: `head` first, then `body` again and again.
auto endless(std::string head, char body)
{
    return [head, body](const std::function<bool(const std::string&)>& write) {
        const std::string block(1 << 20, body);
        for (int i = 0; i < 64 && write(i == 0 ? head : block);) {
            ++i;
        }
    };
}

std::string searchAsJson(const std::string& dir)
{
    const CliRun run = runCli({"-f", "json", "-t", "dup,name", dir});
    EXPECT_EQ(run.status, 0) << run.err;
    return run.out;
}

}  // namespace

// A search with a Keep folder, saved and read back: the same rows, each with
// its file's change time and its reference mark; a document saved before
// those two existed still loads, with the change time unknown (0) and no
// reference copies.
TEST(SavedResults, ChangeTimeAndReferenceCopiesComeBack)
{
    TempDir dir;
    for (const char* name : {"keep/x", "other/x", "other/y", "other/sub/z"}) {
        writeFile(dir / name, "same bytes");
    }
    TestHost host;
    host.request.entries = {{dir / "keep", "*.*", true, true}, {dir / "other", "*.*", true, false}};
    host.only({SearchType::Duplicates, SearchType::SameName});
    host.run();
    const std::string text = formatJson(host.results.lists.data(), true);
    const std::string older = std::regex_replace(text, std::regex(R"(, "ctime_ns": \d+|, "reference": \w+)"), "");
    ASSERT_NE(older, text);
    for (const std::string* saved : {&text, &older}) {
        std::array<ResultList, kResultListCount> lists;
        std::string error;
        ASSERT_TRUE(loadResults(*saved, lists.data(), error)) << error;
        for (const int l : {kListDuplicates, kListSameName}) {
            const ResultList& found = host.list(l);
            ASSERT_EQ(lists[l].count(), found.count());
            for (std::int64_t i = 0; i < found.count(); ++i) {
                const ResultRow &a = found.row(i), &b = lists[l].row(i);
                struct stat st {};
                ASSERT_EQ(::stat(a.path().c_str(), &st), 0);
                EXPECT_EQ(a.state.ctimeNs, st.st_ctim.tv_sec * 1000000000 + st.st_ctim.tv_nsec);
                EXPECT_EQ(a.reference, a.path().starts_with(dir / "keep/"));
                EXPECT_TRUE(b.path() == a.path() && b.group == a.group && b.size == a.size && b.mtime == a.mtime &&
                            b.state.id == a.state.id && b.state.mtimeNs == a.state.mtimeNs);
                EXPECT_EQ(b.state.ctimeNs, saved == &text ? a.state.ctimeNs : 0) << b.path();
                EXPECT_EQ(b.reference, saved == &text && a.reference) << b.path();
            }
        }
    }
}

// The same file twice in one list, also as "dir/./" or "dir//", could be
// kept as its own copy: refused, both rows named. In two lists it is fine.
TEST(SavedResults, AFileListedTwiceIsRefusedAndNamed)
{
    TempDir dir;
    writeFile(dir / "a/x", "same");
    writeFile(dir / "b/x", "same");
    const std::string saved = searchAsJson(dir.path());
    const std::string folder = "\"folder\": \"" + dir.path() + "a/\"";
    const auto rowAt = saved.rfind("{\"group\"", saved.find(folder, saved.find("\"Duplicates\"")));
    const std::string row = saved.substr(rowAt, saved.find('}', rowAt) + 1 - rowAt);
    writeFile(dir / "r.json", saved);
    EXPECT_EQ(loadWithCli(dir / "r.json").status, 0);
    for (const auto& [as, named] : {std::pair<std::string, std::string>{"a/", "a/x in two rows"}, {"a/./", "a/./x and " + dir.path() + "a/x"},
                                    {"a//", "a//x and " + dir.path() + "a/x"}}) {
        std::string twice = row;
        twice.replace(twice.find(folder), folder.size(), "\"folder\": \"" + dir.path() + as + '"');
        writeFile(dir / "r.json", std::string(saved).insert(rowAt, twice + ",\n"));
        const HeldRun r = loadWithCli(dir / "r.json");
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.err, "kormial-cli: \"Duplicates\" lists one file twice: " + dir.path() + named + "\n");
    }
}

// A document of 32 MB whose rows are padded loads with the memory of its
// rows; /dev/zero, an endless stdin, a row without end and values nested
// deeper than 32 are refused with one line and status 2, in that memory too.
TEST(SavedResults, ReadingTakesTheMemoryOfTheRowsNotOfTheBytes)
{
    TempDir dir;
    for (int i = 0; i < 20; ++i) {
        writeFile(dir / ("a/" + std::to_string(i)), "copy " + std::to_string(i));
        writeFile(dir / ("b/" + std::to_string(i)), "copy " + std::to_string(i));
    }
    const std::string saved = searchAsJson(dir.path());
    writeFile(dir / "small.json", saved);
    // written piece by piece: a child process starts with the memory of this one
    std::ofstream padded(dir / "big.json", std::ios::binary);
    const std::string padding = "\"note\": \"" + std::string(400 << 10, 'x') + "\", \"date\": ";
    for (std::size_t at = 0, date; at < saved.size(); at = date + 8) {
        date = std::min(saved.find("\"date\": ", at), saved.size());
        padded << saved.substr(at, date - at) << (date < saved.size() ? padding : "");
    }
    padded.close();
    ASSERT_GT(std::filesystem::file_size(dir / "big.json"), 32e6);
    const long small = loadWithCli(dir / "small.json").peakKb;
    const HeldRun big = loadWithCli(dir / "big.json");
    EXPECT_EQ(big.status, 0) << big.err;
    EXPECT_NE(big.out.find("\nDuplicates (40)\n"), std::string::npos);
    EXPECT_LT(big.peakKb - small, 16 << 10) << "of " << small << " KB";

    writeFile(dir / "deep.json", "{\"lists\": [], \"x\": " + std::string(40, '[') + std::string(40, ']') + "}");
    const std::string header = R"({"complete": true, "lists": [{"index": 1, "rows": [{"group": 1, "note": ")";
    const std::tuple<std::string, StdinFeed, std::string>
        refused[] = {
            {"/dev/zero", {}, "not a result saved with -f json: an object expected (line 1)"},
            {"-", endless("{", ' '), "beyond what a saved result may hold: more than 1048576 bytes outside the rows"},
            {"-", endless(header, 'x'), "beyond what a saved result may hold: a row longer than 1048576 bytes"},
            {dir / "deep.json", {}, "beyond what a saved result may hold: values nested more than 32 deep (line 1)"},
        };
    for (const auto& [path, feed, says] : refused) {
        const HeldRun r = loadWithCli(path, feed);
        EXPECT_TRUE(r.status == 2 && r.out.empty() && r.err.starts_with("kormial-cli: " + says) &&
                    r.err.find('\n') == r.err.size() - 1)
            << says << "\ngot " << r.status << ": " << r.err;
        EXPECT_LT(r.peakKb - small, 16 << 10) << says;
    }
}

// Rows without end: refused at the limit, with nothing loaded.
TEST(SavedResults, RowsBeyondTheLimitAreRefused)
{
    std::int64_t made = -1;
    std::string pending;
    const ResultSource rows = [&](char* buf, std::size_t len) {
        if (pending.empty() && made == 2000) {
            return std::int64_t{0};  // far enough for a reader that would not stop
        }
        if (pending.empty()) {
            pending = made++ < 0 ? R"({"lists": [{"index": 2, "rows": [)"
                                 : R"({"group": 1, "size": 1, "folder": "/f/", "name": ")" + std::to_string(made) +
                                       R"(", "dev": 1, "ino": 1, "mtime_ns": 1, "folder_dev": 1, "folder_ino": 1}, )";
        }
        const std::size_t n = std::min(len, pending.size());
        pending.copy(buf, n);
        pending.erase(0, n);
        return static_cast<std::int64_t>(n);
    };
    std::array<ResultList, kResultListCount> lists;
    std::string error;
    ResultLimits limits;
    limits.rows = 1000;
    EXPECT_FALSE(loadResults(rows, lists.data(), error, limits));
    EXPECT_EQ(error, "beyond what a saved result may hold: more than 1000 rows (line 1)");
    EXPECT_EQ(made, 1000);  // not a byte further
    EXPECT_EQ(lists[kListSameName].count(), 0);
}
