#include "results/marking.h"

#include "platform/textfold.h"

#include <cstdint>

namespace kormial {

namespace {

// A padded decimal number taken apart: sign and digits without leading
// zeros ("0" for zero).
struct Number {
    bool negative = false;
    std::string_view digits;
};

bool parseCell(std::string_view text, Number& out)
{
    const auto b = text.find_first_not_of(' ');
    if (b == std::string_view::npos) {
        return false;
    }
    const auto e = text.find_last_not_of(' ');
    std::string_view t = text.substr(b, e - b + 1);
    bool negative = false;
    if (t.front() == '-') {
        negative = true;
        t.remove_prefix(1);
    }
    if (t.empty()) {
        return false;
    }
    for (const char c : t) {
        if (c < '0' || c > '9') {
            return false;
        }
    }
    const auto nz = t.find_first_not_of('0');
    t = nz == std::string_view::npos ? std::string_view("0") : t.substr(nz);
    out.negative = negative && t != "0";
    out.digits = t;
    return true;
}

int compareMagnitude(std::string_view a, std::string_view b)
{
    if (a.size() != b.size()) {
        return a.size() < b.size() ? -1 : 1;
    }
    const int c = a.compare(b);
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

int compareBytes(std::string_view a, std::string_view b)
{
    // std::char_traits<char> orders by unsigned byte value.
    const int c = a.compare(b);
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

}  // namespace

int CompareSizeCells(std::string_view a, std::string_view b)
{
    Number x;
    Number y;
    const bool hx = parseCell(a, x);
    const bool hy = parseCell(b, y);
    if (!hx || !hy) {
        if (hx != hy) {
            return hx ? 1 : -1;
        }
        return compareBytes(a, b);
    }
    if (x.negative != y.negative) {
        return x.negative ? -1 : 1;
    }
    const int m = compareMagnitude(x.digits, y.digits);
    return x.negative ? -m : m;
}

int MarkKeyColumn(int curTab)
{
    return curTab == kListSameName ? kColName : kColGroup;
}

bool SameMarkGroup(int curTab, const ResultRow& a, const ResultRow& b)
{
    if (curTab == kListSameName) {
        return platform::equalFolded(a.text, b.text);
    }
    return a.subItem(kColGroup) == b.subItem(kColGroup);
}

void Marks(ResultList& list, bool isAllMarks)
{
    for (std::int64_t i = 0; i < list.count(); ++i) {
        list.setChecked(i, isAllMarks);
    }
}

void MarkDel(ResultList& list, int curTab, bool MarkOld, std::string_view CompType)
{
    const int key = MarkKeyColumn(curTab);
    if (list.count() == 0) {
        return;
    }
    Marks(list, false);
    SortResultList(list, key + 1, 0);

    const bool byDate = CompType == "Date";
    const std::int64_t n = list.count();
    for (std::int64_t i = 1; i < n; ++i) {
        const ResultRow& cur = list.row(i);
        const ResultRow& prev = list.row(i - 1);
        if (!SameMarkGroup(curTab, cur, prev)) {
            continue;
        }
        bool c = false;
        if (byDate) {
            // Row i is not newer than row i - 1.
            c = compareBytes(cur.subItem(kColDate), prev.subItem(kColDate)) <= 0;
        } else {
            // Row i is not smaller than row i - 1.
            c = CompareSizeCells(cur.subItem(kColSize), prev.subItem(kColSize)) >= 0;
        }
        list.setChecked(c == MarkOld ? i : i - 1, true);
    }
}

}  // namespace kormial
