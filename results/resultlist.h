// A list of result rows without widgets: the window shows it through a thin
// table-model adapter, the headless front end prints it, and the tests read it
// directly. Texts are byte strings, so names that are not valid UTF-8 survive
// the round trip from the cells back to a path.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace kormial {

struct ResultRow {
    std::string text;                  // the first column (the file name)
    std::vector<std::string> subItems; // sub-items 1..n, index 0 is sub-item 1
    bool checked = false;              // marked for deletion
    bool selected = false;

    // Sub-item n (1-based); empty when never set.
    const std::string& subItem(int n) const;
};

class ResultList {
public:
    // Observers (the window's adapter) hear about every change.
    struct Observer {
        virtual ~Observer() = default;
        virtual void aboutToReset() {}
        virtual void reset() {}
        virtual void rowsAboutToBeInserted(std::int64_t /*first*/, std::int64_t /*last*/) {}
        virtual void rowsInserted() {}
        virtual void rowsAboutToBeRemoved(std::int64_t /*first*/, std::int64_t /*last*/) {}
        virtual void rowsRemoved() {}
        virtual void rowChanged(std::int64_t /*row*/) {}
    };

    explicit ResultList(int subItemCount = 5) : subItemCount_(subItemCount) {}

    // Columns (0 = row text, n = sub-item n) that sort as numbers.
    void setNumericColumns(std::vector<int> columns) { numeric_ = std::move(columns); }

    // Appends a row; returns its 0-based position.
    std::int64_t add(std::string text, std::vector<std::string> subItems = {});
    std::int64_t count() const { return static_cast<std::int64_t>(rows_.size()); }
    const ResultRow& row(std::int64_t i) const { return rows_.at(static_cast<std::size_t>(i)); }
    const std::vector<ResultRow>& rows() const { return rows_; }
    void setText(std::int64_t i, std::string text);
    void setSubItem(std::int64_t i, int n, std::string text);
    void setChecked(std::int64_t i, bool checked);
    void remove(std::int64_t i);
    void clear();
    // Takes the rows and the sort state of `other` (a list filled elsewhere),
    // keeping this list's observer.
    void takeRows(ResultList&& other);

    // The selected row, or -1 for none.
    std::int64_t selectedRow() const;
    void select(std::int64_t i);  // -1 clears the selection

    // Sorting: key column (0 the row text, n sub-item n), order 0 ascending
    // (1 descending) and the sorted flag. Sorting is stable; text compares
    // with case ignored, numeric columns as numbers.
    void setSortKey(int key) { sortKey_ = key; }
    void setSortOrder(int order) { sortOrder_ = order; }
    void setSorted(bool on);
    int sortKey() const { return sortKey_; }
    int sortOrder() const { return sortOrder_; }
    bool sorted() const { return sorted_; }

    // Compares the texts of column `col` of two rows as this list sorts them.
    int compareCells(int col, const ResultRow& a, const ResultRow& b) const;
    bool isNumericColumn(int col) const;

    void setObserver(Observer* observer) { observer_ = observer; }

    // The cell of column `col` (0 the row text).
    static const std::string& cell(const ResultRow& r, int col);

private:
    void sortRows();

    std::vector<ResultRow> rows_;
    std::vector<int> numeric_;
    int subItemCount_;
    int sortKey_ = 0;
    int sortOrder_ = 0;
    bool sorted_ = false;
    Observer* observer_ = nullptr;
};

// The result lists of a search, by index: 0 "Zero Size", 1 "Duplicates",
// 2 "Same Name", 3 "Portions", 4 "Report - read errors".
constexpr int kResultListCount = 5;
constexpr int kListZeroSize = 0;
constexpr int kListDuplicates = 1;
constexpr int kListSameName = 2;
constexpr int kListPortions = 3;
constexpr int kListReadErrors = 4;

// Result-list columns: 0 "Name", 1 "In Folder", 2 "#", 3 "Size",
// 4 "Date Modified", 5 (never filled).
constexpr int kColName = 0;
constexpr int kColFolder = 1;
constexpr int kColGroup = 2;
constexpr int kColSize = 3;
constexpr int kColDate = 4;

// A result list as every tab has it: "#" and "Size" sort as numbers.
ResultList makeResultList();

// Orders one list by the 1-based column position (order 0 ascending) and
// leaves its sorted flag on.
void SortResultList(ResultList& list, int column, int order);

// The ordering after a search, the same for every front end: "Duplicates" by
// "#", "Same Name" and "Zero Size" by "Name"; the others keep their order.
void OrderResultsAfterSearch(ResultList* lists /* [kResultListCount] */);

}  // namespace kormial
