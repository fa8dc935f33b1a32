#include "results/resultlist.h"

#include "platform/textfold.h"

#include <algorithm>
#include <numeric>

namespace kormial {

namespace {

int compareNumbers(std::int64_t a, std::int64_t b)
{
    return a < b ? -1 : (a > b ? 1 : 0);
}

// Column `col` of two rows, as the list sorts them.
int compareColumn(int col, const ResultRow& a, const ResultRow& b)
{
    switch (col) {
    case kColName: return platform::compareFolded(a.name, b.name);
    case kColFolder:
        return platform::compareFolded(a.folder ? std::string_view(a.folder->path) : std::string_view(),
                                       b.folder ? std::string_view(b.folder->path) : std::string_view());
    case kColGroup: return compareNumbers(a.group.number(), b.group.number());
    case kColSize: return compareNumbers(a.size, b.size);
    case kColDate: return compareNumbers(a.mtime, b.mtime);
    default: return 0;
    }
}

}  // namespace

std::int64_t ResultList::add(ResultRow row)
{
    const std::int64_t pos = count();
    row.checked = row.checked && !row.reference;
    if (observer_ != nullptr) {
        observer_->rowsAboutToBeInserted(pos, pos);
    }
    rows_.push_back(std::move(row));
    if (observer_ != nullptr) {
        observer_->rowsInserted();
    }
    return pos;
}

void ResultList::setName(std::int64_t i, std::string name)
{
    rows_.at(static_cast<std::size_t>(i)).name = std::move(name);
    if (observer_ != nullptr) {
        observer_->rowChanged(i);
    }
}

void ResultList::setState(std::int64_t i, const platform::FileState& state)
{
    rows_.at(static_cast<std::size_t>(i)).state = state;
}

void ResultList::setChecked(std::int64_t i, bool checked)
{
    auto& r = rows_.at(static_cast<std::size_t>(i));
    checked = checked && !r.reference;
    if (r.checked == checked) {
        return;
    }
    r.checked = checked;
    if (observer_ != nullptr) {
        observer_->rowChanged(i);
    }
}

void ResultList::setReference(std::int64_t i, bool reference)
{
    auto& r = rows_.at(static_cast<std::size_t>(i));
    if (r.reference == reference) {
        return;
    }
    r.reference = reference;
    r.checked = r.checked && !reference;
    if (observer_ != nullptr) {
        observer_->rowChanged(i);
    }
}

void ResultList::holdSavedReferences()
{
    for (ResultRow& r : rows_) {
        r.savedReference = r.reference;
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

void ResultList::removeIf(const std::function<bool(const ResultRow&)>& drop)
{
    if (std::none_of(rows_.begin(), rows_.end(), drop)) {
        return;
    }
    if (observer_ != nullptr) {
        observer_->aboutToReset();
    }
    std::erase_if(rows_, drop);
    if (observer_ != nullptr) {
        observer_->reset();
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
        const int c = compareColumn(key, a, b);
        return descending ? c > 0 : c < 0;
    });
    if (observer_ != nullptr) {
        observer_->reset();
    }
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
