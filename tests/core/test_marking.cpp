// Marking rows for deletion: all, none, one member of each neighbouring pair
// of a group by date or size, all but one of each group; the sort by a column
// that they rest on.
#include "results/marking.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

using namespace kormial;

namespace {

struct Row {
    std::string name;
    std::int64_t group;
    std::int64_t size, day;
    bool reference = false;
};

ResultList listOf(const std::vector<Row>& rows)
{
    ResultList list;
    for (const Row& r : rows) {
        ResultRow row;
        std::tie(row.name, row.group, row.size, row.mtime) =
            std::tuple(r.name, GroupMark::fromNumber(r.group).value(), r.size, r.day * 86400);
        row.state.mtimeNs = r.day * 86400000000000 + 7;
        row.reference = r.reference;
        list.add(row);
    }
    return list;
}

// The rows top to bottom, the marked ones with a "*".
std::string shown(const ResultList& list)
{
    std::string out;
    for (const ResultRow& r : list.rows()) {
        out += r.name + (r.checked ? "* " : " ");
    }
    return out;
}

}  // namespace

TEST(Marking, OneOfEachNeighbouringPairOfAGroup)
{
    // list, older or larger, compared, rows, rows after (marked ones with "*")
    const std::tuple<int, bool, const char*, std::vector<Row>, std::string> cases[] = {
        // two rows in either order
        {kListDuplicates, true, "Date", {{"jan", 4, 10, 1}, {"feb", 4, 10, 2}}, "jan* feb "},
        {kListDuplicates, true, "Date", {{"feb", 4, 10, 2}, {"jan", 4, 10, 1}}, "feb jan* "},
        {kListDuplicates, false, "Date", {{"feb", 4, 10, 2}, {"jan", 4, 10, 1}}, "feb* jan "},
        // ties: the lower row for older and larger, the upper one for newer and smaller
        {kListDuplicates, true, "Date", {{"up", 1, 7, 2}, {"low", 1, 7, 2}}, "up low* "},
        {kListDuplicates, false, "Size", {{"up", 1, 7, 2}, {"low", 1, 7, 2}}, "up* low "},
        // three rows: the pairs decide, not the extremes
        {kListDuplicates, true, "Date", {{"feb", 9, 1, 2}, {"jan", 9, 1, 1}, {"mar", 9, 1, 3}}, "feb jan* mar "},
        {kListDuplicates, true, "Date", {{"jan", 9, 1, 1}, {"mar", 9, 1, 3}, {"feb", 9, 1, 2}}, "jan* mar feb* "},
        // sizes of ten billion bytes and more, in numeric order
        {kListPortions, true, "Size", {{"big", 3, 12000000000, 1}, {"ten", 3, 9999999999, 1}}, "big* ten "},
        {kListPortions, false, "Size",
         {{"big", 3, 12000000000, 1}, {"ten", 3, 9999999999, 1}, {"huge", 3, 123456789012345, 1}},
         "big ten* huge "},
        // sorted by "#" as numbers, each group's order kept; rows of
        // different groups are never compared
        {kListPortions, true, "Size",
         {{"a", 12, 5, 1}, {"b", 9, 5, 1}, {"c", 12, 9, 1}, {"d", 9, 1, 1}, {"e", 10, 1, 1}},
         "b* d e a c* "},
        // "Same Name": names equal but for case (non-ASCII too) are a group, "#" is not
        {kListSameName, true, "Date",
         {{"Photo.JPG", -1, 1, 2}, {"zeta", -1, 1, 1}, {"\xC3\x84rger", -1, 1, 1},
          {"photo.jpg", -1, 1, 1}, {"\xC3\xA4rger", -1, 1, 3}},
         "Photo.JPG photo.jpg* zeta \xC3\x84rger* \xC3\xA4rger "},
    };
    for (const auto& [tab, markOld, comp, rows, expected] : cases) {
        SCOPED_TRACE(expected);
        ResultList list = listOf(rows);
        Marks(list, true);
        EXPECT_EQ(std::ranges::count(shown(list), '*'), std::ssize(rows));
        MarkDel(list, tab, markOld, comp);  // the marks before are dropped
        EXPECT_EQ(shown(list), expected);
        Marks(list, false);
        EXPECT_EQ(shown(list).find('*'), std::string::npos);
    }
}

TEST(Marking, AllButOneOfEachGroup)
{
    // kept, rows (a reference copy flagged), rows after (marked ones with "*")
    const std::tuple<Keep, std::vector<Row>, std::string> cases[] = {
        {Keep::First, {{"feb", 4, 1, 2}, {"jan", 4, 1, 1}, {"mar", 4, 1, 3}}, "feb jan* mar* "},
        {Keep::Newest, {{"feb", 4, 1, 2}, {"jan", 4, 1, 1}, {"mar", 4, 1, 3}}, "feb* jan* mar "},
        {Keep::Oldest, {{"feb", 4, 1, 2}, {"jan", 4, 1, 1}, {"mar", 4, 1, 3}}, "feb* jan mar* "},
        // ties: the first of them
        {Keep::Newest, {{"old", 1, 1, 1}, {"up", 1, 1, 5}, {"low", 1, 1, 5}}, "old* up low* "},
        {Keep::Oldest, {{"up", 1, 1, 1}, {"new", 1, 1, 5}, {"low", 1, 1, 1}}, "up new* low* "},
        // a reference copy anywhere in its group is kept instead, and never marked
        {Keep::Newest, {{"ref", 2, 1, 1, true}, {"new", 2, 1, 5}, {"mid", 2, 1, 3}}, "ref new* mid* "},
        {Keep::First, {{"a", 2, 1, 1}, {"ref", 2, 1, 1, true}, {"b", 2, 1, 3}}, "a* ref b* "},
        {Keep::Oldest, {{"a", 2, 1, 1}, {"b", 2, 1, 3}, {"ref", 2, 1, 5, true}}, "a* b* ref "},
        // each group by "#" on its own, its rows in their order
        {Keep::Newest, {{"a", 9, 1, 1}, {"b", 3, 1, 2}, {"c", 9, 1, 3}, {"ref", 3, 1, 1, true}, {"d", 3, 1, 4}},
         "b* ref d* a* c "},
    };
    for (const auto& [keep, rows, expected] : cases) {
        ResultList list = listOf(rows);
        Marks(list, true);
        MarkAllButOne(list, kListDuplicates, keep);  // the marks before are dropped
        EXPECT_EQ(shown(list), expected);
    }
}

// A header click sorts by its column: names and folders with case ignored,
// "#", size and date as numbers, ties in the order they had, also descending.
TEST(Marking, SortByEachColumn)
{
    // name, folder, "#", size, date
    const std::tuple<const char*, const char*, std::int64_t, std::int64_t, std::int64_t> rows[] = {
        {"b", "/x/", 10, 9, 2}, {"C", "/Y/", -1, 10000000000, 1}, {"a", "/x/", 9, -1, 2}};
    const std::tuple<int, int, std::string> cases[] = {
        {kColName, 0, "a b C "}, {kColFolder, 0, "b a C "}, {kColGroup, 0, "C a b "}, {kColSize, 0, "a b C "},
        {kColDate, 0, "C b a "}, {kColDate, 1, "b a C "}, {5, 0, "b C a "}};
    for (const auto& [column, order, expected] : cases) {
        ResultList list;
        for (const auto& [name, folder, group, size, day] : rows) {
            ResultRow row;
            std::tie(row.name, row.group, row.size, row.mtime) =
                std::tuple(name, GroupMark::fromNumber(group).value(), size, day);
            row.folder = std::make_shared<const SearchedFolder>(SearchedFolder{folder, {}});
            list.add(row);
        }
        SortResultList(list, column + 1, order);
        EXPECT_EQ(shown(list), expected) << column;
    }
}
