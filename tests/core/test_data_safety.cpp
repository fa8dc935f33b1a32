// Data safety end to end: search a tree, mark with each rule, delete to the
// trash, and check that exactly the marked files went and nothing else moved.
#include "search/execsrch.h"
#include "platform/trash.h"
#include "results/fileops.h"
#include "results/marking.h"
#include "results/resultrows.h"
#include "testutil.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <map>
#include <set>
#include <sys/stat.h>

using namespace kormial;
using namespace kormial::test;

TEST(DataSafety, EachMarkingRuleTrashesExactlyTheMarkedFiles)
{
    const char* oldData = std::getenv("XDG_DATA_HOME");
    const std::string savedData = oldData != nullptr ? oldData : "";
    for (int rule = 0; rule < 8; ++rule) {  // by date or size, old or new, in each list
        SCOPED_TRACE(rule);
        const int tab = rule < 4 ? kListDuplicates : kListSameName;
        TempDir dir;
        TempDir data;
        ::setenv("XDG_DATA_HOME", data.path().c_str(), 1);
        // duplicate groups of 2, 3 and 4 copies of distinct ages, same-name
        // files of different sizes, files in no group
        std::map<std::string, std::string> contents;
        auto make = [&](const std::string& name, const std::string& body, long age) {
            writeFile(dir / name, body);
            const timespec t[2] = {{1577836800 + age, 0}, {1577836800 + age, 0}};
            ASSERT_EQ(::utimensat(AT_FDCWD, (dir / name).c_str(), t, 0), 0);
            contents[dir / name] = body;
        };
        for (int g = 0, age = 0; g < 3; ++g) {
            for (int m = 0; m < g + 2; ++m) {
                make("d" + std::to_string(m) + "/copy" + std::to_string(g) + "_" + std::to_string(m),
                     randomBytes(100 + g, 3000 + g), (age += 97) % 1000);
            }
            make("n" + std::to_string(g) + "/Report.TXT", randomBytes(200 + g, 100 + g * 37), 5000 - g * 10);
            make("lone" + std::to_string(g), randomBytes(300 + g, 500 + g), g);
        }

        SearchObserver quiet;
        SearchResults results =
            ExecSrch({{{dir.path(), "*.*", true}}, -1, -1, {SearchType::Duplicates, SearchType::SameName}, false}, quiet);
        ResultList& list = results.lists[tab];
        std::map<std::int32_t, std::vector<std::string>> groups;  // as listed, before anything moves
        for (const auto& r : list.rows()) {
            groups[tab == kListSameName ? kNoGroup : r.group].push_back(r.path());
        }
        MarkDel(list, tab, rule % 2 == 0, rule & 2 ? "Size" : "Date");
        const std::vector<std::string> marked = MarkedPaths(list);
        ASSERT_FALSE(marked.empty());
        platform::DesktopTrash trash;
        const DelResult result = DelFile(list, trash, [] { return true; });
        ASSERT_EQ(result.outcome, DelOutcome::Deleted) << result.message;
        EXPECT_EQ(result.paths, marked);

        // every marked file went to the trash with its bytes, nothing else
        // moved, and no group lost all its members
        const std::set<std::string> gone(marked.begin(), marked.end());
        std::multiset<std::string> inTrash;
        std::multiset<std::string> expected;
        for (const auto& e : std::filesystem::directory_iterator(data / "Trash/files")) {
            inTrash.insert(readFile(e.path().string()));
        }
        for (const auto& [path, body] : contents) {
            EXPECT_EQ(readFile(path), gone.contains(path) ? std::string() : body) << path;
            if (gone.contains(path)) {
                expected.insert(body);
            }
        }
        EXPECT_EQ(inTrash, expected);
        for (const auto& [key, members] : groups) {
            EXPECT_TRUE(std::any_of(members.begin(), members.end(), [&](const auto& p) { return !gone.contains(p); }))
                << "emptied group " << key;
        }
    }
    oldData != nullptr ? ::setenv("XDG_DATA_HOME", savedData.c_str(), 1) : ::unsetenv("XDG_DATA_HOME");
}
