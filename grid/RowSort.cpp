#include "grid/RowSort.h"

#include <algorithm>

RowSorter::RowSorter(CellTable& store, int fixedRows, int colCount)
    : store_(store), fixedRows_(fixedRows), sortedEnd_(fixedRows),
      nonTextCells_(static_cast<std::size_t>(colCount)) {}

int RowSorter::compareCell(const SortKey& key, const CellRow& a, const CellRow& b, int col) const {
    const Cell& x = a.cells[static_cast<std::size_t>(col)];
    const Cell& y = b.cells[static_cast<std::size_t>(col)];
    return key.AutoFormat ? compareClassified(x.cls, x.text, y.text) : compareText(x.text, y.text);
}

int RowSorter::compareRows(const SortKey& key, const CellRow& a, const CellRow& b) const {
    const int colCount = store_.colCount();
    int k = key.Column;
    if (k < 0 || k >= colCount) return 0;
    int r = compareCell(key, a, b, k);
    while (r == 0 && key.Full && k <= colCount - 2)
        r = compareCell(key, a, b, ++k);
    return r;
}

void RowSorter::quickSort(const SortKey& key, int lo, int hi, int d) {
    // The pivot is a copy of the middle row's content, so it stays put while rows move.
    const CellRow pivot = store_.row((lo + hi) / 2);
    int i = lo;
    int j = hi;
    do {
        while (compareRows(key, pivot, store_.row(i)) == d)
            ++i;
        while (compareRows(key, store_.row(j), pivot) == d)
            --j;
        if (i <= j) {
            if (i != j) store_.exchangeRows(i, j);
            ++i;
            --j;
        }
    } while (j >= i);
    if (lo < j) quickSort(key, lo, j, d);
    if (i < hi) quickSort(key, i, hi, d);
}

// Whether another row compares equal to the current row, among the rows added since the last
// sort and among the rows in order before them (where an equal row is found by halving).
bool RowSorter::hasTwin(const SortKey& key, int d, int currentRow) const {
    const int count = store_.rowCount();
    if (currentRow < fixedRows_ || currentRow >= count) return false;
    const CellRow& current = store_.row(currentRow);
    auto equal = [&](int r) {
        return r != currentRow && r >= fixedRows_ && r < count &&
               compareRows(key, store_.row(r), current) == 0;
    };
    for (int t = sortedEnd_; t < count; ++t)
        if (equal(t)) return true;
    if (currentRow < sortedEnd_) return equal(currentRow - 1) || equal(currentRow + 1);
    int lo = fixedRows_;
    int hi = sortedEnd_;
    while (lo < hi) {
        int mid = lo + (hi - lo) / 2;
        if (d * compareRows(key, store_.row(mid), current) < 0)
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo < sortedEnd_ && equal(lo);
}

// When only a few rows were added below rows that are already in order, and the comparison
// is a total order over whole rows (plain text in every compared column, all columns
// compared), putting each new row in place by binary search leaves exactly the table that
// the full quicksort would: rows that compare equal are then identical.
bool RowSorter::trySortByInsertion(const SortKey& key, int d, int currentRow, RowsCarryMarks marks) {
    constexpr int maxNewRows = 8;
    const int first = fixedRows_;
    const int count = store_.rowCount();
    const bool sameKey = sorted_.Column == key.Column && sorted_.Direction == key.Direction &&
                         sorted_.Full == key.Full && sorted_.AutoFormat == key.AutoFormat;
    if (!sameKey || key.Column != 0 || !(key.Full || store_.colCount() == 1) ||
        marks == RowsCarryMarks::Yes || sortedEnd_ < first || count - sortedEnd_ > maxNewRows)
        return false;
    if (key.AutoFormat &&
        std::any_of(nonTextCells_.begin(), nonTextCells_.end(), [](int n) { return n != 0; }))
        return false;
    // Where the current row lands among identical rows depends on the algorithm.
    if (hasTwin(key, d, currentRow)) return false;
    for (int t = sortedEnd_; t < count; ++t) {
        const CellRow& added = store_.row(t);
        int lo = first;
        int hi = t; // the rows first..t-1 are in order
        while (lo < hi) {
            int mid = lo + (hi - lo) / 2;
            if (d * compareRows(key, added, store_.row(mid)) < 0)
                hi = mid;
            else
                lo = mid + 1;
        }
        store_.moveRow(t, lo);
    }
    return true;
}

void RowSorter::sort(const SortKey& key, int currentRow, RowsCarryMarks marks) {
    const int d = key.Direction == TSortDirection::sdAscending ? 1 : -1;
    const int lo = fixedRows_;
    const int hi = store_.rowCount() - 1;
    if (!trySortByInsertion(key, d, currentRow, marks) && lo < hi) quickSort(key, lo, hi, d);
    sortedEnd_ = store_.rowCount();
    sorted_ = key;
}

void RowSorter::countClass(const CellRange& range, int delta) {
    for (int r = range.FirstRow; r <= range.LastRow; ++r)
        for (int c = range.FirstCol; c <= range.LastCol; ++c)
            if (store_.cell(c, r).cls != CellClass::Text) nonTextCells_[static_cast<std::size_t>(c)] += delta;
}

void RowSorter::cellsAboutToChange(const CellRange& range) {
    countClass(range, -1);
}

void RowSorter::cellsChanged(const CellRange& range) {
    // The class is decided once per text, so that a comparison need not read the text again.
    for (int r = range.FirstRow; r <= range.LastRow; ++r)
        for (int c = range.FirstCol; c <= range.LastCol; ++c) {
            Cell& cell = store_.cell(c, r);
            cell.cls = classifyCell(cell.text);
        }
    countClass(range, +1);
    if (range.LastRow >= fixedRows_ && range.FirstRow < sortedEnd_)
        sortedEnd_ = std::max(fixedRows_, range.FirstRow);
}

void RowSorter::rowsAboutToBeRemoved(int first, int last) {
    countClass({0, first, store_.colCount() - 1, last}, -1);
}

void RowSorter::rowsRemoved(int first, int last) {
    // Rows taken out of rows in order leave the others in order.
    if (first < sortedEnd_) sortedEnd_ -= std::min(last + 1, sortedEnd_) - first;
}

void RowSorter::columnsAboutToBeRemoved(int first, int last) {
    if (store_.rowCount() > 0) countClass({first, 0, last, store_.rowCount() - 1}, -1);
}

void RowSorter::columnCountChanged(int count) {
    nonTextCells_.resize(static_cast<std::size_t>(count));
}
