// Marking rows for deletion: all, none, and one member of each neighbouring
// pair of a group by date or size.
#include "results/marking.h"
#include "results/resultrows.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace kormial;

namespace {

struct RowData {
    std::string name;
    std::int64_t group;
    std::int64_t size;
    std::string date;
};

ResultList makeList(const std::vector<RowData>& rows)
{
    ResultList list = makeResultList();
    for (const RowData& r : rows) {
        list.add(r.name, {"/data/", PadNumber(r.group), PadNumber(r.size), r.date, ""});
    }
    return list;
}

// The names of the marked rows, top to bottom.
std::vector<std::string> marked(const ResultList& list)
{
    std::vector<std::string> out;
    for (const ResultRow& r : list.rows()) {
        if (r.checked) {
            out.push_back(r.text);
        }
    }
    return out;
}

std::vector<std::string> names(const ResultList& list)
{
    std::vector<std::string> out;
    for (const ResultRow& r : list.rows()) {
        out.push_back(r.text);
    }
    return out;
}

using Names = std::vector<std::string>;

const char* const kJan = "2021/01/05 10:00:00";
const char* const kFeb = "2021/02/10 10:00:00";
const char* const kMar = "2021/03/15 10:00:00";

}  // namespace

TEST(MarkingPairs, TwoRowsByDateInEitherOrder)
{
    for (const bool janFirst : {true, false}) {
        SCOPED_TRACE(janFirst ? "January first" : "February first");
        std::vector<RowData> rows = {{"jan.txt", 4, 10, kJan}, {"feb.txt", 4, 10, kFeb}};
        if (!janFirst) {
            std::swap(rows[0], rows[1]);
        }
        ResultList older = makeList(rows);
        MarkDel(older, kListDuplicates, true, "Date");
        EXPECT_EQ(marked(older), Names{"jan.txt"});

        ResultList newer = makeList(rows);
        MarkDel(newer, kListDuplicates, false, "Date");
        EXPECT_EQ(marked(newer), Names{"feb.txt"});
    }
}

TEST(MarkingPairs, TwoRowsBySize)
{
    for (const bool smallFirst : {true, false}) {
        std::vector<RowData> rows = {{"small", 2, 100, kJan}, {"large", 2, 5000, kJan}};
        if (!smallFirst) {
            std::swap(rows[0], rows[1]);
        }
        ResultList smaller = makeList(rows);
        MarkDel(smaller, kListPortions, false, "Size");
        EXPECT_EQ(marked(smaller), Names{"small"});

        ResultList larger = makeList(rows);
        MarkDel(larger, kListPortions, true, "Size");
        EXPECT_EQ(marked(larger), Names{"large"});
    }
}

TEST(MarkingPairs, TiesMarkLowerForOlderAndLargerUpperForNewerAndSmaller)
{
    const std::vector<RowData> rows = {{"upper", 1, 700, kFeb}, {"lower", 1, 700, kFeb}};
    struct Case {
        bool markOld;
        const char* comp;
        const char* expected;
    };
    for (const Case& c : {Case{true, "Date", "lower"}, Case{false, "Date", "upper"},
                          Case{true, "Size", "lower"}, Case{false, "Size", "upper"}}) {
        SCOPED_TRACE(std::string(c.comp) + (c.markOld ? " old/larger" : " newer/smaller"));
        ResultList list = makeList(rows);
        MarkDel(list, kListDuplicates, c.markOld, c.comp);
        EXPECT_EQ(marked(list), Names{c.expected});
    }
}

TEST(MarkingPairs, GroupsOfThreeFollowThePairsNotTheExtremes)
{
    // February, January, March: both pairs pick January; February stays
    // although it is not the newest.
    ResultList a = makeList({{"feb", 9, 1, kFeb}, {"jan", 9, 1, kJan}, {"mar", 9, 1, kMar}});
    MarkDel(a, kListDuplicates, true, "Date");
    EXPECT_EQ(marked(a), Names{"jan"});

    // January, March, February: January and February are marked, March kept.
    ResultList b = makeList({{"jan", 9, 1, kJan}, {"mar", 9, 1, kMar}, {"feb", 9, 1, kFeb}});
    MarkDel(b, kListDuplicates, true, "Date");
    EXPECT_EQ(marked(b), (Names{"jan", "feb"}));

    // The same orders by newer: pairs (feb,jan)->feb, (jan,mar)->mar.
    ResultList c = makeList({{"feb", 9, 1, kFeb}, {"jan", 9, 1, kJan}, {"mar", 9, 1, kMar}});
    MarkDel(c, kListDuplicates, false, "Date");
    EXPECT_EQ(marked(c), (Names{"feb", "mar"}));

    // Sizes 300, 100, 200 by smaller: pairs pick 100 and 100.
    ResultList d = makeList({{"s300", 3, 300, kJan}, {"s100", 3, 100, kJan}, {"s200", 3, 200, kJan}});
    MarkDel(d, kListPortions, false, "Size");
    EXPECT_EQ(marked(d), Names{"s100"});
}

TEST(MarkingGroups, RowsOfDifferentGroupsAreNeverCompared)
{
    // Groups 5 (two rows), 6 (one row) and 12 (two rows), shuffled: marking
    // sorts by "#" (as numbers: 12 after 6) and keeps each group's order.
    ResultList list = makeList({{"g12-new", 12, 1, kMar},
                                {"g5-old", 5, 1, kJan},
                                {"g6-alone", 6, 1, kJan},
                                {"g12-old", 12, 1, kJan},
                                {"g5-new", 5, 1, kFeb}});
    MarkDel(list, kListDuplicates, false, "Date");
    EXPECT_EQ(names(list), (Names{"g5-old", "g5-new", "g6-alone", "g12-new", "g12-old"}));
    EXPECT_EQ(marked(list), (Names{"g5-new", "g12-new"}));
    EXPECT_TRUE(list.sorted());
    EXPECT_EQ(list.sortKey(), kColGroup);
    EXPECT_EQ(list.sortOrder(), 0);
}

TEST(MarkingGroups, HandMarksAreLost)
{
    ResultList list = makeList({{"old", 1, 1, kJan}, {"new", 1, 1, kFeb}, {"alone", 2, 1, kJan}});
    list.setChecked(1, true);  // "new" by hand
    list.setChecked(2, true);  // "alone" by hand
    MarkDel(list, kListDuplicates, true, "Date");
    EXPECT_EQ(marked(list), Names{"old"});
}

TEST(MarkingGroups, SameNameIgnoresCaseAndSortsByName)
{
    // Names differing only in case, including non-ASCII letters, are one
    // group; different names are never paired although they are neighbours.
    ResultList list = makeList({{"Photo.JPG", -1, 1, kFeb},
                                {"zeta.txt", -1, 1, kJan},
                                {"\xC3\x84rger.txt", -1, 1, kJan},  // Ärger.txt
                                {"photo.jpg", -1, 1, kJan},
                                {"\xC3\xA4rger.TXT", -1, 1, kMar},  // ärger.TXT
                                {"apple", -1, 1, kJan}});
    MarkDel(list, kListSameName, true, "Date");
    EXPECT_EQ(names(list), (Names{"apple", "Photo.JPG", "photo.jpg", "zeta.txt",
                                  "\xC3\x84rger.txt", "\xC3\xA4rger.TXT"}));
    EXPECT_EQ(marked(list), (Names{"photo.jpg", "\xC3\x84rger.txt"}));
    EXPECT_EQ(list.sortKey(), kColName);

    // The "#" cells (all -1 here) do not make a group on "Same Name"; and
    // on another tab the names do not.
    ResultList other = makeList({{"a", 1, 1, kJan}, {"A", 2, 1, kFeb}});
    MarkDel(other, kListDuplicates, true, "Date");
    EXPECT_TRUE(marked(other).empty());
}

TEST(MarkingSizes, AboveTenBillionBytesInNumericOrder)
{
    // 9,999,999,999 fills the padded cell; 12,000,000,000 is longer, and as
    // text "12000000000" would sort before "9999999999".
    ResultList list = makeList({{"big", 3, 12000000000, kJan}, {"ten", 3, 9999999999, kJan}});
    MarkDel(list, kListPortions, true, "Size");
    EXPECT_EQ(marked(list), Names{"big"});

    ResultList small = makeList({{"big", 3, 12000000000, kJan}, {"ten", 3, 9999999999, kJan},
                                 {"huge", 3, 123456789012345, kJan}});
    MarkDel(small, kListPortions, false, "Size");
    EXPECT_EQ(marked(small), Names{"ten"});

    EXPECT_LT(CompareSizeCells(PadNumber(9999999999), PadNumber(10000000000)), 0);
    EXPECT_GT(CompareSizeCells(PadNumber(123456789012345), PadNumber(99999999999999)), 0);
    EXPECT_EQ(CompareSizeCells("       007", "7"), 0);
    EXPECT_LT(CompareSizeCells(PadNumber(-1), PadNumber(0)), 0);
    EXPECT_LT(CompareSizeCells(PadNumber(-20), PadNumber(-3)), 0);
    EXPECT_LT(CompareSizeCells("", PadNumber(0)), 0);
}

TEST(MarkingGroups, GroupNumbersLongerThanTenCharactersStayApart)
{
    ResultList list = makeList({{"a", 12345678901, 5, kJan},
                                {"b", 9, 5, kJan},
                                {"c", 12345678901, 9, kJan},
                                {"d", 9, 1, kJan}});
    MarkDel(list, kListPortions, true, "Size");
    EXPECT_EQ(names(list), (Names{"b", "d", "a", "c"}));
    EXPECT_EQ(marked(list), (Names{"b", "c"}));
}

TEST(MarkingAll, FiveHundredRowsMarkedAndCleared)
{
    ResultList list = makeResultList();
    for (int i = 0; i < 500; ++i) {
        list.add("f" + std::to_string(i), {"/x/", PadNumber(i / 2), PadNumber(i), kJan, ""});
    }
    list.setChecked(17, true);
    Marks(list, true);
    EXPECT_EQ(marked(list).size(), 500u);
    Marks(list, false);
    EXPECT_TRUE(marked(list).empty());
    // Marking keeps the rows and their order.
    EXPECT_EQ(list.count(), 500);
    EXPECT_EQ(list.row(499).text, "f499");
}

TEST(MarkingAll, EmptyListIsLeftAlone)
{
    ResultList list = makeResultList();
    Marks(list, true);
    MarkDel(list, kListDuplicates, true, "Date");
    EXPECT_EQ(list.count(), 0);
    EXPECT_FALSE(list.sorted());
}
