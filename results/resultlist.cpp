#include "results/resultlist.h"

#include "platform/textfold.h"

#include <algorithm>
#include <charconv>
#include <numeric>

namespace kormial {

namespace {

const std::string& emptyText()
{
    static const std::string e;
    return e;
}

// The number in a padded cell ("   -1", "  1234"); false when it holds none.
bool parseNumber(const std::string& text, long double& out)
{
    std::size_t b = text.find_first_not_of(' ');
    if (b == std::string::npos) {
        return false;
    }
    std::size_t e = text.find_last_not_of(' ');
    const char* first = text.data() + b;
    const char* last = text.data() + e + 1;
    bool negative = false;
    if (*first == '-') {
        negative = true;
        ++first;
    }
    if (first == last) {
        return false;
    }
    long double v = 0;
    for (const char* c = first; c != last; ++c) {
        if (*c < '0' || *c > '9') {
            return false;
        }
        v = v * 10 + (*c - '0');
    }
    out = negative ? -v : v;
    return true;
}

}  // namespace

const std::string& ResultRow::subItem(int n) const
{
    const auto idx = static_cast<std::size_t>(n - 1);
    return n >= 1 && idx < subItems.size() ? subItems[idx] : emptyText();
}

const std::string& ResultList::cell(const ResultRow& r, int col)
{
    return col == 0 ? r.text : r.subItem(col);
}

std::int64_t ResultList::add(std::string text, std::vector<std::string> subItems)
{
    const std::int64_t pos = count();
    if (observer_ != nullptr) {
        observer_->rowsAboutToBeInserted(pos, pos);
    }
    ResultRow r;
    r.text = std::move(text);
    r.subItems = std::move(subItems);
    if (r.subItems.size() < static_cast<std::size_t>(subItemCount_)) {
        r.subItems.resize(static_cast<std::size_t>(subItemCount_));
    }
    rows_.push_back(std::move(r));
    if (observer_ != nullptr) {
        observer_->rowsInserted();
    }
    return pos;
}

void ResultList::setText(std::int64_t i, std::string text)
{
    rows_.at(static_cast<std::size_t>(i)).text = std::move(text);
    if (observer_ != nullptr) {
        observer_->rowChanged(i);
    }
}

void ResultList::setSubItem(std::int64_t i, int n, std::string text)
{
    auto& subs = rows_.at(static_cast<std::size_t>(i)).subItems;
    if (n < 1) {
        return;
    }
    if (subs.size() < static_cast<std::size_t>(n)) {
        subs.resize(static_cast<std::size_t>(n));
    }
    subs[static_cast<std::size_t>(n - 1)] = std::move(text);
    if (observer_ != nullptr) {
        observer_->rowChanged(i);
    }
}

void ResultList::setChecked(std::int64_t i, bool checked)
{
    auto& r = rows_.at(static_cast<std::size_t>(i));
    if (r.checked == checked) {
        return;
    }
    r.checked = checked;
    if (observer_ != nullptr) {
        observer_->rowChanged(i);
    }
}

void ResultList::remove(std::int64_t i)
{
    if (i < 0 || i >= count()) {
        return;
    }
    if (observer_ != nullptr) {
        observer_->rowsAboutToBeRemoved(i, i);
    }
    rows_.erase(rows_.begin() + i);
    if (observer_ != nullptr) {
        observer_->rowsRemoved();
    }
}

void ResultList::takeRows(ResultList&& other)
{
    if (observer_ != nullptr) {
        observer_->aboutToReset();
    }
    rows_ = std::move(other.rows_);
    sortKey_ = other.sortKey_;
    sortOrder_ = other.sortOrder_;
    sorted_ = other.sorted_;
    if (observer_ != nullptr) {
        observer_->reset();
    }
}

void ResultList::clear()
{
    if (observer_ != nullptr) {
        observer_->aboutToReset();
    }
    rows_.clear();
    if (observer_ != nullptr) {
        observer_->reset();
    }
}

std::int64_t ResultList::selectedRow() const
{
    for (std::size_t i = 0; i < rows_.size(); ++i) {
        if (rows_[i].selected) {
            return static_cast<std::int64_t>(i);
        }
    }
    return -1;
}

void ResultList::select(std::int64_t i)
{
    const std::int64_t old = selectedRow();
    if (old == i) {
        return;
    }
    if (old >= 0) {
        rows_[static_cast<std::size_t>(old)].selected = false;
        if (observer_ != nullptr) {
            observer_->rowChanged(old);
        }
    }
    if (i >= 0 && i < count()) {
        rows_[static_cast<std::size_t>(i)].selected = true;
        if (observer_ != nullptr) {
            observer_->rowChanged(i);
        }
    }
}

bool ResultList::isNumericColumn(int col) const
{
    return std::find(numeric_.begin(), numeric_.end(), col) != numeric_.end();
}

int ResultList::compareCells(int col, const ResultRow& a, const ResultRow& b) const
{
    const std::string& x = cell(a, col);
    const std::string& y = cell(b, col);
    if (isNumericColumn(col)) {
        long double nx = 0;
        long double ny = 0;
        const bool hx = parseNumber(x, nx);
        const bool hy = parseNumber(y, ny);
        if (hx && hy) {
            return nx < ny ? -1 : (nx > ny ? 1 : 0);
        }
        if (hx != hy) {
            return hx ? 1 : -1;  // empty or odd cells first
        }
    }
    return platform::compareFolded(x, y);
}

void ResultList::setSorted(bool on)
{
    sorted_ = on;
    if (on) {
        sortRows();
    }
}

void ResultList::sortRows()
{
    if (observer_ != nullptr) {
        observer_->aboutToReset();
    }
    const int key = sortKey_;
    const bool descending = sortOrder_ != 0;
    std::stable_sort(rows_.begin(), rows_.end(), [&](const ResultRow& a, const ResultRow& b) {
        const int c = compareCells(key, a, b);
        return descending ? c > 0 : c < 0;
    });
    if (observer_ != nullptr) {
        observer_->reset();
    }
}

ResultList makeResultList()
{
    ResultList list(5);
    list.setNumericColumns({kColGroup, kColSize});
    return list;
}

void SortResultList(ResultList& list, int column, int order)
{
    list.setSortKey(column - 1);
    list.setSortOrder(order);
    list.setSorted(true);
}

void OrderResultsAfterSearch(ResultList* lists)
{
    SortResultList(lists[kListDuplicates], kColGroup + 1, 0);
    SortResultList(lists[kListSameName], kColName + 1, 0);
    SortResultList(lists[kListZeroSize], kColName + 1, 0);
}

}  // namespace kormial
