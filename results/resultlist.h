// A list of result rows without widgets: the window shows it through a thin
// table-model adapter, the headless front end prints it, and the tests read it
// directly. A row holds the file's facts as the search found them; the texts
// of its cells are made only where they are shown (resultrows.h). Folder and
// name are byte strings, so names that are not valid UTF-8 keep their bytes.
#pragma once

#include "catalogue/filerec.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace kormial {

// The last-write time of a file that the search could not examine: shown as
// "1899/12/30 00:00:00", which is this moment (UTC, seconds since 1970).
constexpr std::int64_t kNoDate = -2209161600;

struct ResultRow {
    FolderPath folder;             // ends in "/"
    std::string name;              // "sub/new" after a rename into a sub-folder
    std::int64_t size = 0;         // bytes; -1 for a file gone when sized
    std::int64_t mtime = kNoDate;  // last write, UTC seconds since 1970
    GroupMark group;               // the "#" column
    bool checked = false;          // marked for deletion; never on a reference copy
    bool selected = false;
    // A reference copy (found under a Keep folder): never marked, never
    // moved.
    bool reference = false;
    // Saved as a reference copy in the result it was loaded from: it stays
    // one whatever the Keep folders say.
    bool savedReference = false;
    // The file and its state when the search sized it.
    platform::FileState state;

    std::string path() const { return (folder ? folder->path : std::string()) + name; }
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

    // Appends a row; returns its 0-based position.
    std::int64_t add(ResultRow row);
    std::int64_t count() const { return static_cast<std::int64_t>(rows_.size()); }
    const ResultRow& row(std::int64_t i) const { return rows_.at(static_cast<std::size_t>(i)); }
    const std::vector<ResultRow>& rows() const { return rows_; }
    void setName(std::int64_t i, std::string name);
    // The state of the row's file since a change of our own (a rename).
    void setState(std::int64_t i, const platform::FileState& state);
    // A reference copy is never marked: marking one does nothing.
    void setChecked(std::int64_t i, bool checked);
    // Makes the row a reference copy (its mark goes) or an ordinary row.
    void setReference(std::int64_t i, bool reference);
    // Every reference copy of a result just loaded stays one (savedReference).
    void holdSavedReferences();
    void remove(std::int64_t i);
    // Removes every row for which `drop` is true, in one pass.
    void removeIf(const std::function<bool(const ResultRow&)>& drop);
    void clear();
    // Takes the rows and the sort state of `other` (a list filled elsewhere),
    // keeping this list's observer.
    void takeRows(ResultList&& other);

    // The selected row, or -1 for none.
    std::int64_t selectedRow() const;
    void select(std::int64_t i);  // -1 clears the selection

    // Sorting: key column (kColName ..), order 0 ascending (1 descending)
    // and the sorted flag. Sorting is stable; name and folder compare with
    // case ignored, "#", "Size" and the date as numbers (the date to the
    // second); the empty sixth column leaves the order as it is.
    void setSortKey(int key) { sortKey_ = key; }
    void setSortOrder(int order) { sortOrder_ = order; }
    void setSorted(bool on);
    int sortKey() const { return sortKey_; }
    int sortOrder() const { return sortOrder_; }
    bool sorted() const { return sorted_; }

    void setObserver(Observer* observer) { observer_ = observer; }

private:
    void sortRows();

    std::vector<ResultRow> rows_;
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

// Orders one list by the 1-based column position (order 0 ascending) and
// leaves its sorted flag on.
void SortResultList(ResultList& list, int column, int order);

// The ordering after a search, the same for every front end: "Duplicates" by
// "#", "Same Name" and "Zero Size" by "Name"; the others keep their order.
void OrderResultsAfterSearch(ResultList* lists /* [kResultListCount] */);

}  // namespace kormial
