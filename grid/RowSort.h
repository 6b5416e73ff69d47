#pragma once

#include "grid/CellTable.h"

#include <vector>

enum class TSortDirection { sdAscending, sdDescending };

// What a sort orders by: the column, the direction, whether equal cells fall through to the
// next columns (SortFull) and whether cells are read as numbers and dates (SortAutoFormat).
struct SortKey {
    int Column = 0;
    TSortDirection Direction = TSortDirection::sdAscending;
    bool Full = true;
    bool AutoFormat = true;
};

// Whether rows that compare equal can still differ, by a mark that moves with them.
enum class RowsCarryMarks { No, Yes };

// The sort of a table's rows below its fixed rows: a quicksort with a copied pivot. It keeps
// what it knows of the store between sorts (how far the rows are in order, and whether every
// compared cell is plain text), from the store's notices, so that a few rows added below rows
// in order are put in place by binary search when that leaves exactly what the quicksort
// would. Rows move through the store, whose notices tell who follows them.
class RowSorter {
public:
    RowSorter(CellTable& store, int fixedRows, int colCount);

    void sort(const SortKey& key, int currentRow, RowsCarryMarks marks);
    // The comparison of two rows under the key: 1, 0 or -1 before the direction is applied.
    int compareRows(const SortKey& key, const CellRow& a, const CellRow& b) const;

    // The store's notices that concern the sort.
    void cellsAboutToChange(const CellRange& range);
    void cellsChanged(const CellRange& range);
    void rowsAboutToBeRemoved(int first, int last);
    void rowsRemoved(int first, int last);
    void columnsAboutToBeRemoved(int first, int last);
    void columnCountChanged(int count);

private:
    int compareCell(const SortKey& key, const CellRow& a, const CellRow& b, int col) const;
    void quickSort(const SortKey& key, int lo, int hi, int d);
    bool trySortByInsertion(const SortKey& key, int d, int currentRow, RowsCarryMarks marks);
    bool hasTwin(const SortKey& key, int d, int currentRow) const;
    void countClass(const CellRange& range, int delta);

    CellTable& store_;
    int fixedRows_;
    // Rows from the fixed rows up to sortedEnd_ are known to be in the order of sorted_.
    int sortedEnd_;
    SortKey sorted_{-1};
    // Cells that do not classify as plain text, per column; while there are none the
    // comparison is a total order and a new row can be put in place by binary search.
    std::vector<int> nonTextCells_;
};
