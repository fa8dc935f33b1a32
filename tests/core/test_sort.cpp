// The catalogue sort: comparisons, the pivot rule, and the exact order it gives.
#include "catalogue/sort.h"

#include <gtest/gtest.h>

#include <random>

using namespace kormial;

namespace {

FileRec rec(std::string path, std::int64_t size, std::uint8_t headByte = 0)
{
    FileRec r;
    r.Path = std::move(path);
    r.Size = size;
    r.Group = -1;
    if (headByte != 0) {
        r.Head.data()[0] = headByte;
    }
    return r;
}

// The sort written plainly, recursing into both parts.
void referenceSort(FileArray& a, std::int64_t L, std::int64_t r, std::int32_t t)
{
    std::int64_t i = L;
    std::int64_t j = r;
    const FileRec pivot = a[static_cast<std::size_t>(MidpointHalfEven(L, r))];
    while (i <= j) {
        while (CompareFileRec(a[static_cast<std::size_t>(i)], pivot, t) == -1 && i < r) {
            ++i;
        }
        while (CompareFileRec(pivot, a[static_cast<std::size_t>(j)], t) == -1 && j > L) {
            --j;
        }
        if (i <= j) {
            std::swap(a[static_cast<std::size_t>(i)], a[static_cast<std::size_t>(j)]);
            ++i;
            --j;
        }
    }
    if (L < j) {
        referenceSort(a, L, j, t);
    }
    if (i < r) {
        referenceSort(a, i, r, t);
    }
}

std::vector<std::string> paths(const FileArray& a)
{
    std::vector<std::string> out;
    for (const auto& r : a) {
        out.push_back(r.Path);
    }
    return out;
}

}  // namespace

TEST(Sort, MiddlePivotRoundsHalvesToEven)
{
    EXPECT_EQ(MidpointHalfEven(0, 3), 2);
    EXPECT_EQ(MidpointHalfEven(2, 3), 2);
    EXPECT_EQ(MidpointHalfEven(0, 1), 0);
    EXPECT_EQ(MidpointHalfEven(1, 2), 2);
    EXPECT_EQ(MidpointHalfEven(1, 4), 2);
    EXPECT_EQ(MidpointHalfEven(5, 6), 6);
    EXPECT_EQ(MidpointHalfEven(4, 8), 6);
}

TEST(Sort, CompareByEachProperty)
{
    EXPECT_EQ(CompareFileRec(rec("/a", 5), rec("/b", 7), ByFileSize), -1);
    EXPECT_EQ(CompareFileRec(rec("/a", 7), rec("/b", 7), ByFileSize), 0);
    EXPECT_EQ(CompareFileRec(rec("/A/Readme.TXT", 1), rec("/d/readme.txt", 2), ByFileName), 0);
    EXPECT_EQ(CompareFileRec(rec("/z/apple", 1), rec("/a/Banana", 1), ByFileName), -1);
    EXPECT_EQ(CompareFileRec(rec("/x/ÄPFEL", 1), rec("/y/äpfel", 1), ByFileName), 0);
    // the folder part plays no role, a name with a slash-free path neither
    EXPECT_EQ(CompareFileRec(rec("name", 1), rec("/deep/NAME", 1), ByFileName), 0);
    EXPECT_EQ(CompareFileRec(rec("/a", 30000, 9), rec("/b", 25000, 9), ByHeadBlock), 1);
    EXPECT_EQ(CompareFileRec(rec("/a", 30000, 1), rec("/b", 25000, 9), ByHeadBlock), -1);
    EXPECT_EQ(CompareFileRec(rec("/a", 30000, 200), rec("/b", 25000, 9), ByHeadBlock), 1);
    EXPECT_EQ(CompareFileRec(rec("/a", 1), rec("/b", 2), 7), 0);
}

TEST(Sort, EdgeOrders)
{
    FileArray one{rec("/only", 3)};
    QuickSort(one, 0, 0, ByFileSize);
    EXPECT_EQ(one[0].Path, "/only");

    FileArray a{rec("/c", 10), rec("/gone", -1), rec("/e", 0), rec("/b", 4)};
    QuickSort(a, 0, 3, ByFileSize);
    EXPECT_EQ(paths(a), (std::vector<std::string>{"/gone", "/e", "/b", "/c"}));
    QuickSort(a, 0, 3, ByFileSize);  // sorted input stays sorted
    EXPECT_EQ(paths(a), (std::vector<std::string>{"/gone", "/e", "/b", "/c"}));

    FileArray h{rec("/big", 30000, 7), rec("/small", 25000, 7)};
    QuickSort(h, 0, 1, ByHeadBlock);
    EXPECT_EQ(paths(h), (std::vector<std::string>{"/small", "/big"}));

    FileArray n{rec("/x/b", 1), rec("/C/Readme.TXT", 1), rec("/a", 1), rec("/D/readme.txt", 1)};
    QuickSort(n, 0, 3, ByFileName);
    EXPECT_EQ(CompareFileRec(n[2], n[3], ByFileName), 0);
    EXPECT_EQ(n[0].Path, "/a");
}

TEST(Sort, SortsOnlyTheGivenRange)
{
    FileArray a{rec("/0", 9), rec("/1", 5), rec("/2", 3), rec("/3", 1)};
    QuickSort(a, 1, 2, ByFileSize);
    EXPECT_EQ(paths(a), (std::vector<std::string>{"/0", "/2", "/1", "/3"}));
}

TEST(Sort, SameOrderOfEqualRecordsAsThePlainRecursion)
{
    // Equal keys are not kept in input order, so the exact sequence of swaps
    // matters: group numbers shown to the user are indexes after the sort.
    std::mt19937 gen(12345);
    for (int round = 0; round < 200; ++round) {
        const int n = 1 + static_cast<int>(gen() % 300);
        const int distinct = 1 + static_cast<int>(gen() % 12);
        FileArray a;
        for (int i = 0; i < n; ++i) {
            const auto key = static_cast<std::int64_t>(gen() % static_cast<unsigned>(distinct)) - 1;
            const char* names[] = {"a.txt", "A.TXT", "b", "B", "c.jpg", "Ä", "ä", "z"};
            a.push_back(rec("/d" + std::to_string(i) + "/" + names[gen() % 8], key,
                            static_cast<std::uint8_t>(gen() % 3)));
        }
        for (const std::int32_t t : {ByFileSize, ByFileName, ByHeadBlock}) {
            FileArray x = a;
            FileArray y = a;
            QuickSort(x, 0, n - 1, t);
            referenceSort(y, 0, n - 1, t);
            ASSERT_EQ(paths(x), paths(y)) << "round " << round << " type " << t;
            for (int i = 1; i < n; ++i) {
                ASSERT_LE(CompareFileRec(x[static_cast<std::size_t>(i - 1)], x[static_cast<std::size_t>(i)], t), 0);
            }
        }
    }
}

TEST(Sort, DeepRunsOfEqualKeysDoNotExhaustTheStack)
{
    FileArray a;
    for (int i = 0; i < 200000; ++i) {
        a.push_back(rec("/f" + std::to_string(i), (i * 7919) % 3));
    }
    QuickSort(a, 0, static_cast<std::int64_t>(a.size()) - 1, ByFileSize);
    for (std::size_t i = 1; i < a.size(); ++i) {
        ASSERT_LE(a[i - 1].Size, a[i].Size);
    }
}
