// The search from request to result lists, on real trees.
#include "catalogue/paths.h"
#include "results/resultrows.h"
#include "search/execsrch.h"
#include "search/sizetext.h"
#include "searchhost.h"
#include "testutil.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

using namespace kormial;
using kormial::test::randomBytes;
using kormial::test::TempDir;
using kormial::test::TestHost;
using kormial::test::writeFile;

TEST(Search, AllTypesTogetherFillTheirListsInOrder)
{
    TempDir dir;
    const std::string big = randomBytes(1, 120000);
    writeFile(dir / "z1.empty", "");
    writeFile(dir / "sub/z2.empty", "");
    writeFile(dir / "a.txt", "hello");
    writeFile(dir / "sub/A.TXT", "hello");
    writeFile(dir / "sub/b.txt", "other");
    writeFile(dir / "copy.bin", "hello");
    writeFile(dir / "big-part", big.substr(0, 60000));
    writeFile(dir / "big-whole", big);
    TestHost h;
    h.add(dir);
    std::fill(std::begin(h.types), std::end(h.types), true);
    EXPECT_EQ(h.run(), 8);
    EXPECT_EQ(h.statuses, (std::vector<std::string>{"Loading files ...", "Search same file name  ...",
                                                    "Searching duplicated files ...",
                                                    "Searching file portions ..."}));
    EXPECT_EQ(h.rows(kListZeroSize, false), (std::vector<std::string>{"z1.empty", "z2.empty"}));
    // the three "hello" files form one group led by the lowest index
    const auto dups = h.rows(kListDuplicates);
    ASSERT_EQ(dups.size(), 3u);
    const std::string g = dups[0].substr(0, dups[0].find('|'));
    for (const auto& d : dups) {
        EXPECT_EQ(d.substr(0, d.find('|')), g);
    }
    EXPECT_EQ(h.rows(kListSameName, false), (std::vector<std::string>{"a.txt", "A.TXT"}));
    EXPECT_EQ(h.rows(kListPortions, false), (std::vector<std::string>{"big-part", "big-whole"}));
    EXPECT_TRUE(h.rows(kListReadErrors).empty());
    // cells: folder, padded number cells, the date
    const ResultRow& r = h.lists[kListZeroSize].row(1);
    EXPECT_EQ(r.subItem(kColFolder), dir / "sub/");
    EXPECT_EQ(r.subItem(kColSize), "         0");
    EXPECT_EQ(r.subItem(kColGroup), "        -1");
    EXPECT_EQ(r.subItem(kColDate).size(), 19u);
    EXPECT_NE(r.subItem(kColDate), "1899/12/30 00:00:00");
    EXPECT_EQ(h.arr.size(), 8u);  // the records stay after the search
}

TEST(Search, EachTypeAloneTouchesOnlyItsList)
{
    TempDir dir;
    writeFile(dir / "e1", "");
    writeFile(dir / "e2", "");
    writeFile(dir / "x/same", "12345");
    writeFile(dir / "y/same", "12345");
    const std::string big = randomBytes(2, 70000);
    writeFile(dir / "p1", big.substr(0, 55000));
    writeFile(dir / "p2", big);
    for (int type = 0; type < 4; ++type) {
        TestHost h;
        h.add(dir);
        h.only(type);
        h.run();
        const int list = type == kTypeZeroSize ? kListZeroSize
                         : type == kTypeDuplicates ? kListDuplicates
                         : type == kTypeSameName   ? kListSameName
                                                   : kListPortions;
        for (int l = 0; l < kResultListCount; ++l) {
            EXPECT_EQ(h.lists[l].count() > 0, l == list) << "type " << type << " list " << l;
        }
        // the duplicates status shows during the zero-size scan whatever is ticked
        EXPECT_NE(std::find(h.statuses.begin(), h.statuses.end(), "Searching duplicated files ..."),
                  h.statuses.end());
        EXPECT_EQ(std::find(h.statuses.begin(), h.statuses.end(), "Search same file name  ...") !=
                      h.statuses.end(),
                  type == kTypeSameName);
    }
}

TEST(Search, SameNameIgnoresCaseAndListsEachMemberOnce)
{
    TempDir dir;
    writeFile(dir / "1/a.txt", "1");
    writeFile(dir / "2/A.TXT", "22");
    writeFile(dir / "3/b.txt", "333");
    writeFile(dir / "4/Ärger", "4");
    writeFile(dir / "5/ärger", "55");
    writeFile(dir / "6/äRGER", "666");
    writeFile(dir / "7/c", "7");
    TestHost h;
    h.add(dir);
    h.only(kTypeSameName);
    h.run();
    auto names = h.rows(kListSameName, false);
    EXPECT_EQ(names.size(), 5u);
    EXPECT_EQ(std::count(names.begin(), names.end(), "b.txt"), 0);
    EXPECT_EQ(std::count(names.begin(), names.end(), "c"), 0);
    std::multiset<std::string> got(names.begin(), names.end());
    EXPECT_EQ(got, (std::multiset<std::string>{"a.txt", "A.TXT", "Ärger", "ärger", "äRGER"}));
}

TEST(Search, RunsAreCutAtSizeBoundaries)
{
    TempDir dir;
    writeFile(dir / "s5", "aaaaa");
    writeFile(dir / "s7a", "bbbbbbb");
    writeFile(dir / "s7b", "bbbbbbb");
    writeFile(dir / "s7c", "bbbbbbb");
    writeFile(dir / "s9", "ccccccccc");
    writeFile(dir / "t9", "ccccccccd");
    TestHost h;
    h.add(dir);
    h.only(kTypeDuplicates);
    h.run();
    auto names = h.rows(kListDuplicates, false);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"s7a", "s7b", "s7c"}));
}

TEST(Search, LongRunsGoPairwiseFrom251Files)
{
    for (const int files : {250, 251}) {
        TempDir dir;
        const std::string content = randomBytes(3, 100);
        for (int i = 0; i < files; ++i) {
            writeFile(dir / ("f" + std::to_string(i)), content);
        }
        TestHost h;
        h.add(dir);
        h.only(kTypeDuplicates);
        h.run();
        EXPECT_EQ(h.lists[kListDuplicates].count(), files);
        // the pairwise routine yields as it reads, the grouped one never
        // (the listing afterwards yields once per row)
        const int yields = h.yieldsByStatus["Searching duplicated files ..."] -
                           static_cast<int>(h.lists[kListDuplicates].count());
        if (files == 251) {
            EXPECT_GT(yields, 250);
        } else {
            EXPECT_EQ(yields, 1);
        }
        EXPECT_EQ(h.tolerantReads, files == 251 ? 0 : 1);
    }
}

TEST(Search, PortionsStartAt20480Bytes)
{
    TempDir dir;
    writeFile(dir / "below", randomBytes(4, 20479));
    writeFile(dir / "at", randomBytes(5, 20480));
    kormial::test::openToEveryone(dir.path());
    ::chmod((dir / "below").c_str(), 0);
    ::chmod((dir / "at").c_str(), 0);
    // only the file that takes part has its leading block read, and fails
    const std::string out = kormial::test::runUnprivileged([&] {
        TestHost h;
        h.add(dir);
        h.only(kTypePortions);
        h.run();
        std::string s;
        for (const auto& r : h.rows(kListReadErrors)) {
            s += r + "\n";
        }
        return s + std::to_string(h.lists[kListPortions].count());
    });
    EXPECT_EQ(out, "-3|at\n0");
}

TEST(Search, PortionsDoNotDependOnTheSmallestCopy)
{
    // a file and nine truncated copies of it: the copies of one block or
    // less take no part, the others are found, however small the smallest
    TempDir dir;
    const std::string whole = randomBytes(6, 200000);
    const std::size_t cuts[] = {20480, 30000, 40000, 50000, 50001, 60000, 90000, 120000, 150000};
    for (const std::size_t n : cuts) {
        writeFile(dir / ("cut" + std::to_string(n)), whole.substr(0, n));
    }
    writeFile(dir / "whole", whole);
    TestHost h;
    h.add(dir);
    h.only(kTypePortions);
    h.run();
    std::vector<std::string> found = h.rows(kListPortions, false);
    std::sort(found.begin(), found.end());
    EXPECT_EQ(found, (std::vector<std::string>{"cut120000", "cut150000", "cut50001", "cut60000", "cut90000",
                                               "whole"}));
}

TEST(Search, UnreadableFilesAreReportedOnce)
{
    TempDir dir;
    const std::string big = randomBytes(6, 80000);
    writeFile(dir / "a", big);
    writeFile(dir / "locked", big);
    writeFile(dir / "longer", big + "tail");
    kormial::test::openToEveryone(dir.path());
    ::chmod((dir / "locked").c_str(), 0);
    const std::string out = kormial::test::runUnprivileged([&] {
        TestHost h;
        h.add(dir);
        std::fill(std::begin(h.types), std::end(h.types), true);
        h.run();
        std::string s;
        for (int l = 1; l < kResultListCount; ++l) {
            for (const auto& r : h.rows(l)) {
                s += std::to_string(l) + ":" + r + " ";
            }
        }
        return s;
    });
    EXPECT_EQ(out.find("4:-3|locked"), out.rfind("4:-3|locked"));
    EXPECT_NE(out.find("4:-3|locked"), std::string::npos);
    EXPECT_EQ(out.find("1:"), std::string::npos) << out;  // "a" has no partner left
    EXPECT_NE(out.find("3:"), std::string::npos) << out;  // a is a portion of longer
}

TEST(Search, SizeFieldsBoundEveryEntry)
{
    TempDir one;
    TempDir two;
    for (const TempDir* d : {&one, &two}) {
        writeFile(*d / "k1", std::string(1024, 'a'));
        writeFile(*d / "k5", std::string(5 * 1024, 'b'));
        writeFile(*d / "k9", std::string(9 * 1024, 'c'));
    }
    TestHost h;
    h.add(one);
    h.add(two);
    h.entries[0].minSize = "100";  // the row's own texts are not read
    h.minText = "1";
    h.maxText = "9";
    h.only(kTypeDuplicates);
    EXPECT_EQ(h.run(), 2);
    EXPECT_EQ(h.rows(kListDuplicates, false), (std::vector<std::string>{"k5", "k5"}));
    EXPECT_EQ(h.selected, (std::vector<std::int64_t>{0, 1}));
    EXPECT_EQ(h.progress[0], 50.0);
    EXPECT_EQ(h.progress[1], 100.0);
}

TEST(Search, ToleranceIsReadForEveryRun)
{
    TempDir dir;
    const std::size_t size = 1200000;
    const std::string base = randomBytes(7, size);
    std::string changed = base;
    changed[size - 1] = static_cast<char>(~changed[size - 1]);
    writeFile(dir / "a", base);
    writeFile(dir / "b", changed);
    writeFile(dir / "c", "xy");
    writeFile(dir / "d", "xz");
    TestHost h;
    h.add(dir);
    h.only(kTypeDuplicates);
    h.run();
    EXPECT_EQ(h.lists[kListDuplicates].count(), 0);
    EXPECT_EQ(h.tolerantReads, 2);

    TestHost t;
    t.add(dir);
    t.only(kTypeDuplicates);
    t.tolerantBox = true;
    t.run();
    EXPECT_EQ(t.rows(kListDuplicates, false), (std::vector<std::string>{"a", "b"}));
}

TEST(Search, ToleranceSwitchedOnBetweenRunsCountsFromTheNextRun)
{
    // runs compared side by side still honour the box run by run: switched on
    // in the yield after the first run, it applies to the runs after it
    TempDir dir;
    writeFile(dir / "p1", "same");
    writeFile(dir / "p2", "same");
    for (const std::size_t size : {1200000u, 1200001u}) {
        const std::string base = randomBytes(size, size);
        std::string changed = base;
        changed[size - 1] = static_cast<char>(~changed[size - 1]);
        writeFile(dir / ("a" + std::to_string(size)), base);
        writeFile(dir / ("b" + std::to_string(size)), changed);
    }
    for (const bool switchOn : {false, true}) {
        TestHost h;
        h.add(dir);
        h.only(kTypeDuplicates);
        h.onYield = [&](TestHost& host) {
            if (switchOn && !host.statuses.empty() && host.statuses.back() == "Searching duplicated files ...") {
                host.tolerantBox = true;
            }
        };
        h.run();
        auto names = h.rows(kListDuplicates, false);
        std::sort(names.begin(), names.end());
        EXPECT_EQ(names, switchOn ? (std::vector<std::string>{"a1200000", "a1200001", "b1200000", "b1200001", "p1", "p2"})
                                  : (std::vector<std::string>{"p1", "p2"}));
        EXPECT_EQ(h.tolerantReads, 3);
    }
}

TEST(Search, StopDuringSameNameEndsTheSearch)
{
    TempDir dir;
    for (int i = 0; i < 450; ++i) {
        writeFile(dir / ("d" + std::to_string(i % 3) + "/n" + std::to_string(i / 3)), std::to_string(i % 2));
    }
    writeFile(dir / "e1", "");
    TestHost h;
    h.add(dir);
    std::fill(std::begin(h.types), std::end(h.types), true);
    int walkYields = 0;
    h.onYield = [&](TestHost& host) {
        if (!host.statuses.empty() && host.statuses.back() == "Search same file name  ..." && ++walkYields == 50) {
            host.stop = true;
        }
    };
    EXPECT_EQ(h.run(), 0);
    // the stop takes effect at step 200: 200 records seen, those listed stay
    const auto n = h.lists[kListSameName].count();
    EXPECT_GE(n, 100);
    EXPECT_LE(n, 201);
    EXPECT_EQ(h.lists[kListZeroSize].count(), 0);
    EXPECT_EQ(h.lists[kListDuplicates].count(), 0);
    EXPECT_EQ(h.statuses.back(), "Search same file name  ...");
}

TEST(Search, StopDuringDuplicatesStillReadsLeadingBlocks)
{
    TempDir dir;
    writeFile(dir / "a1", "same");
    writeFile(dir / "a2", "same");
    writeFile(dir / "b1", "other content");
    writeFile(dir / "b2", "other content");
    const std::string big = randomBytes(8, 60000);
    writeFile(dir / "p1", big);
    writeFile(dir / "p2", big + "more");
    TestHost h;
    h.add(dir);
    std::fill(std::begin(h.types), std::end(h.types), true);
    h.onStatus = [](TestHost& host, const std::string& s) {
        if (s == "Searching duplicated files ...") {
            host.stop = true;
        }
    };
    EXPECT_EQ(h.run(), 6);
    EXPECT_EQ(h.lists[kListDuplicates].count(), 0);
    EXPECT_EQ(h.lists[kListPortions].count(), 0);
    // the two large files still had their leading blocks read (a yield each)
    EXPECT_GE(h.yieldsByStatus["Searching file portions ..."], 2);
    EXPECT_EQ(h.statuses.back(), "Searching file portions ...");
}

TEST(Search, StopDuringDuplicatesKeepsWhatWasCompared)
{
    TempDir dir;
    writeFile(dir / "a1", "ab");
    writeFile(dir / "a2", "ab");
    writeFile(dir / "b1", "abc");
    writeFile(dir / "b2", "abc");
    TestHost h;
    h.add(dir);
    h.only(kTypeDuplicates);
    h.onYield = [](TestHost& host) {
        if (!host.statuses.empty() && host.statuses.back() == "Searching duplicated files ...") {
            host.stop = true;  // after the first run
        }
    };
    h.run();
    auto names = h.rows(kListDuplicates, false);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"a1", "a2"}));
}

TEST(Search, FilesGoneBeforeSizingAreLeftOutAndEmptyFilesStillListed)
{
    TempDir dir;
    writeFile(dir / "gone1", "x");
    writeFile(dir / "gone2", "y");
    writeFile(dir / "empty1", "");
    writeFile(dir / "empty2", "");
    writeFile(dir / "k1", "kk");
    writeFile(dir / "k2", "kk");
    TestHost h;
    h.add(dir);
    std::fill(std::begin(h.types), std::end(h.types), true);
    h.onStatus = [&](TestHost&, const std::string& s) {
        if (s == "Loading files ...") {
            ::unlink((dir / "gone1").c_str());
            ::unlink((dir / "gone2").c_str());
        }
    };
    EXPECT_EQ(h.run(), 6);
    EXPECT_EQ(h.rows(kListZeroSize, false), (std::vector<std::string>{"empty1", "empty2"}));
    auto names = h.rows(kListDuplicates, false);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"k1", "k2"}));
    EXPECT_EQ(h.lists[kListReadErrors].count(), 0);
    EXPECT_EQ(std::count_if(h.arr.begin(), h.arr.end(), [](const FileRec& r) { return r.Size == -1; }), 2);
}

TEST(Search, EmptyCatalogueEndsEarly)
{
    TempDir dir;
    writeFile(dir / "a.txt", "1");
    TestHost h;
    h.add(dir, "*.none");
    EXPECT_EQ(h.run(), 0);
    EXPECT_EQ(h.statuses, std::vector<std::string>{"Loading files ..."});
    for (const auto& l : h.lists) {
        EXPECT_EQ(l.count(), 0);
    }
}

TEST(Search, FinalOrderingSortsDuplicatesByGroupNumber)
{
    TempDir dir;
    // groups whose leaders have indexes that sort differently as text (9, 10...)
    for (int g = 0; g < 12; ++g) {
        for (int m = 0; m < 2; ++m) {
            writeFile(dir / ("g" + std::to_string(g) + "_" + std::to_string(m)), std::string(static_cast<std::size_t>(g + 3), static_cast<char>('a' + g)));
        }
    }
    TestHost h;
    h.add(dir);
    h.only(kTypeDuplicates);
    h.run();
    std::int64_t previous = -1;
    for (const auto& r : h.lists[kListDuplicates].rows()) {
        const std::int64_t g = std::stoll(r.subItem(kColGroup));
        EXPECT_GE(g, previous);
        previous = g;
    }
    EXPECT_EQ(h.lists[kListDuplicates].count(), 24);
    EXPECT_TRUE(h.lists[kListDuplicates].sorted());
    EXPECT_EQ(h.lists[kListDuplicates].sortKey(), kColGroup);
}

TEST(ResultRows, CellsAndPaths)
{
    EXPECT_EQ(PadNumber(0), "         0");
    EXPECT_EQ(PadNumber(-1), "        -1");
    EXPECT_EQ(PadNumber(12345678901LL), "12345678901");
    EXPECT_EQ(FormatFileDate(std::nullopt), "1899/12/30 00:00:00");
    EXPECT_EQ(FormatFileDate(0), "1970/01/01 00:00:00");
    EXPECT_EQ(FormatFileDate(951782400 + 86399), "2000/02/29 23:59:59");

    TempDir dir;
    const std::string name = std::string(" lead\tand trail \xff ");
    writeFile(dir / name, "x");
    FileArray arr(2);
    arr[0].Path = dir / name;
    arr[0].Size = 1;
    arr[0].Group = 0;
    arr[1].Path = "no-slash-here";
    arr[1].Size = 5;
    arr[1].Group = -1;
    ResultList list = makeResultList();
    AddResultItem(list, arr, 0);
    AddResultItem(list, arr, 1);
    EXPECT_EQ(list.row(0).text, name);
    EXPECT_EQ(RowPath(list.row(0)), dir / name);  // bytes kept, spaces too
    EXPECT_NE(list.row(0).subItem(kColDate), "1899/12/30 00:00:00");
    EXPECT_EQ(list.row(1).text, "no-slash-here");
    EXPECT_EQ(list.row(1).subItem(kColFolder), "");
    EXPECT_EQ(list.row(1).subItem(kColDate), "1899/12/30 00:00:00");
}

TEST(ResultList, StableSortNumericColumnsAndCaseInsensitiveText)
{
    ResultList list = makeResultList();
    list.add("b", {"/x/", PadNumber(10), PadNumber(20000000000LL), "", ""});
    list.add("A", {"/x/", PadNumber(9), PadNumber(9999999999LL), "", ""});
    list.add("a", {"/y/", PadNumber(10), PadNumber(5), "", ""});
    list.add("C", {"/y/", PadNumber(-1), PadNumber(5), "", ""});
    list.setChecked(0, true);
    list.select(2);

    SortResultList(list, kColSize + 1, 0);
    EXPECT_EQ(list.row(0).text, "a");  // ties keep their order
    EXPECT_EQ(list.row(1).text, "C");
    EXPECT_EQ(list.row(2).text, "A");
    EXPECT_EQ(list.row(3).text, "b");  // 2*10^10 after 10^10 - 1
    EXPECT_TRUE(list.row(3).checked);   // the mark stays with its row
    EXPECT_EQ(list.selectedRow(), 0);

    SortResultList(list, kColName + 1, 0);
    EXPECT_EQ(list.row(0).text, "a");
    EXPECT_EQ(list.row(1).text, "A");
    EXPECT_EQ(list.row(2).text, "b");
    SortResultList(list, kColGroup + 1, 0);
    EXPECT_EQ(list.row(0).text, "C");
    SortResultList(list, kColGroup + 1, 0);  // no toggling
    EXPECT_EQ(list.row(0).text, "C");

    list.remove(0);
    EXPECT_EQ(list.count(), 3);
    list.clear();
    EXPECT_EQ(list.count(), 0);
    EXPECT_EQ(list.selectedRow(), -1);
}

TEST(SizeText, ConversionAndRounding)
{
    EXPECT_EQ(ConvertSizeText("100"), 100);
    EXPECT_EQ(ConvertSizeText(" -7 "), -7);
    EXPECT_EQ(ConvertSizeText("+3"), 3);
    EXPECT_EQ(ConvertSizeText("2.5"), 2);
    EXPECT_EQ(ConvertSizeText("3.5"), 4);
    EXPECT_EQ(ConvertSizeText("2.51"), 3);
    EXPECT_EQ(ConvertSizeText("-2.5"), -2);
    EXPECT_EQ(ConvertSizeText(".5"), 0);
    EXPECT_EQ(ConvertSizeText("2147483647"), 2147483647);
    EXPECT_EQ(ConvertSizeText("-2147483648"), -2147483647 - 1);
    EXPECT_FALSE(ConvertSizeText("2147483648"));
    EXPECT_FALSE(ConvertSizeText("2147483647.5"));
    EXPECT_FALSE(ConvertSizeText("99999999999999999999999"));
    EXPECT_FALSE(ConvertSizeText("abc"));
    EXPECT_FALSE(ConvertSizeText("1e3"));
    EXPECT_FALSE(ConvertSizeText(""));
    EXPECT_FALSE(ConvertSizeText("-"));
    EXPECT_FALSE(ConvertSizeText("1.5", false));
    EXPECT_EQ(SizeBound(""), -1);
    EXPECT_EQ(SizeBound("12"), 12);
}
