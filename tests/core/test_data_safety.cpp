// Data safety end to end: search a tree, mark with each rule, delete to the
// trash, and check that exactly the marked files went and nothing else moved.
#include "cli/clihost.h"
#include "platform/trash.h"
#include "results/fileops.h"
#include "results/marking.h"
#include "results/resultrows.h"
#include "testutil.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <map>
#include <set>
#include <sys/stat.h>

using namespace kormial;
using kormial::test::randomBytes;
using kormial::test::readFile;
using kormial::test::TempDir;
using kormial::test::writeFile;

namespace {

struct Rule {
    const char* name;
    int tab;
    bool markOld;
    const char* compType;
};

// Sets the last-write time of `path` to `seconds` after 2020-01-01.
void setAge(const std::string& path, long seconds)
{
    timespec times[2];
    times[0].tv_sec = times[1].tv_sec = 1577836800 + seconds;
    times[0].tv_nsec = times[1].tv_nsec = 0;
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

class DataSafety : public ::testing::TestWithParam<Rule> {};

}  // namespace

TEST_P(DataSafety, ExactlyTheMarkedFilesGoToTheTrash)
{
    const Rule rule = GetParam();
    TempDir dir;
    TempDir data;
    const char* oldData = std::getenv("XDG_DATA_HOME");
    const std::string savedData = oldData != nullptr ? oldData : "";
    ::setenv("XDG_DATA_HOME", data.path().c_str(), 1);

    // Duplicate groups of 2, 3 and 4 copies with distinct ages; same-name
    // groups of different sizes; files that belong to no group.
    std::map<std::string, std::string> contents;
    long age = 0;
    for (int g = 0; g < 3; ++g) {
        const std::string body = randomBytes(static_cast<std::uint64_t>(100 + g), 3000 + static_cast<std::size_t>(g));
        for (int m = 0; m < g + 2; ++m) {
            const std::string p = dir / ("d" + std::to_string(m) + "/copy" + std::to_string(g) + "_" + std::to_string(m));
            writeFile(p, body);
            setAge(p, (age += 97) % 1000);
            contents[p] = body;
        }
    }
    for (int m = 0; m < 3; ++m) {
        const std::string p = dir / ("n" + std::to_string(m) + "/Report.TXT");
        const std::string body = randomBytes(static_cast<std::uint64_t>(200 + m), 100 + static_cast<std::size_t>(m) * 37);
        writeFile(p, body);
        setAge(p, 5000 - m * 10);
        contents[p] = body;
    }
    for (int i = 0; i < 4; ++i) {
        const std::string p = dir / ("lone" + std::to_string(i));
        contents[p] = randomBytes(static_cast<std::uint64_t>(300 + i), 500 + static_cast<std::size_t>(i));
        writeFile(p, contents[p]);
    }

    cli::Options options;
    options.entries.push_back({dir / "*.*", "Yes", "", ""});
    options.types[kTypeZeroSize] = false;
    cli::CliHost host(options, nullptr, nullptr, false);
    ExecSrch(host);
    OrderResultsAfterSearch(host.lists());
    ResultList& list = host.lists()[rule.tab];
    ASSERT_GT(list.count(), 0);

    // the groups as listed, before anything moves
    std::map<std::string, std::vector<std::string>> groups;
    for (const auto& r : list.rows()) {
        const std::string key = rule.tab == kListSameName ? std::string("name") : r.subItem(kColGroup);
        groups[key].push_back(RowPath(r));
    }

    MarkDel(list, rule.tab, rule.markOld, rule.compType);
    const std::vector<std::string> marked = MarkedPaths(list);
    ASSERT_FALSE(marked.empty()) << rule.name;

    platform::DesktopTrash trash;
    const DelResult result = DelFile(list, trash, [] { return true; });
    ASSERT_EQ(result.outcome, DelOutcome::Deleted) << result.message;
    EXPECT_EQ(result.paths, marked);
    EXPECT_EQ(result.removedRows, static_cast<std::int64_t>(marked.size()));

    // every marked file is in the trash with its bytes, and nothing else is
    const std::string trashFiles = data / "Trash/files";
    std::multiset<std::string> inTrash;
    for (const auto& e : std::filesystem::directory_iterator(trashFiles)) {
        inTrash.insert(readFile(e.path().string()));
    }
    std::multiset<std::string> expected;
    const std::set<std::string> markedSet(marked.begin(), marked.end());
    for (const auto& p : marked) {
        expected.insert(contents.at(p));
    }
    EXPECT_EQ(inTrash, expected) << rule.name;
    for (const auto& [path, body] : contents) {
        if (markedSet.contains(path)) {
            EXPECT_FALSE(std::filesystem::exists(path)) << path;
        } else {
            EXPECT_EQ(readFile(path), body) << "untouched: " << path;
        }
    }
    // a pair rule never takes every member of a group
    for (const auto& [key, members] : groups) {
        const auto left = std::count_if(members.begin(), members.end(),
                                        [&](const std::string& p) { return !markedSet.contains(p); });
        EXPECT_GE(left, 1) << rule.name << " emptied group " << key;
    }

    if (oldData != nullptr) {
        ::setenv("XDG_DATA_HOME", savedData.c_str(), 1);
    } else {
        ::unsetenv("XDG_DATA_HOME");
    }
}

INSTANTIATE_TEST_SUITE_P(EachMarkingRule, DataSafety,
                         ::testing::Values(Rule{"older", kListDuplicates, true, "Date"},
                                           Rule{"newer", kListDuplicates, false, "Date"},
                                           Rule{"larger", kListDuplicates, true, "Size"},
                                           Rule{"smaller", kListDuplicates, false, "Size"},
                                           Rule{"older by name", kListSameName, true, "Date"},
                                           Rule{"newer by name", kListSameName, false, "Date"},
                                           Rule{"larger by name", kListSameName, true, "Size"},
                                           Rule{"smaller by name", kListSameName, false, "Size"}),
                         [](const ::testing::TestParamInfo<Rule>& param) {
                             std::string n = param.param.name;
                             for (auto& c : n) {
                                 if (c == ' ') {
                                     c = '_';
                                 }
                             }
                             return n;
                         });
