#pragma once

#include "grid/CellCompare.h"
#include "grid/ChunkedVector.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// A block of cells, bounds included.
struct CellRange {
    int FirstCol = 0;
    int FirstRow = 0;
    int LastCol = 0;
    int LastRow = 0;
};

// One cell: its text, and the two things that the sort and the column fit keep for it, so
// that they move with the cell when rows move.
struct Cell {
    std::string text;
    CellClass cls = CellClass::Text; // how the sort reads the text
    int width = -1;                  // measured width of the first line, -1 until measured
};

struct CellRow {
    std::vector<Cell> cells;
    bool marked = false; // the row mark, which moves with the row
    // Which row this is: given once by the table, never reused, and kept wherever the row moves.
    std::uint64_t id = 0;
};

// What the store tells about its changes, in the manner of an item model: every "about to"
// notice comes before the change and is matched by its notice after it, and each names the
// whole range that changes.
class CellTableListener {
public:
    virtual ~CellTableListener() = default;
    virtual void cellsAboutToChange(const CellRange& range) = 0;
    virtual void cellsChanged(const CellRange& range) = 0;
    virtual void rowsInserted(int first, int last) = 0;
    virtual void rowsAboutToBeRemoved(int first, int last) = 0;
    virtual void rowsRemoved(int first, int last) = 0;
    virtual void columnsAboutToBeRemoved(int first, int last) = 0;
    virtual void columnCountChanged(int count) = 0;
    virtual void rowsExchanged(int a, int b) = 0;
    // The row at from now stands at to; the rows between moved by one towards from.
    virtual void rowMoved(int from, int to) = 0;
};

// The cells of a table: rows of text cells, at least one column. Rows live on the heap and
// keep their address while they move, so a listener may hold on to a cell until rows or
// columns are removed.
class CellTable {
public:
    CellTable(int colCount, int rowCount);

    void setListener(CellTableListener* listener) { listener_ = listener; }

    int colCount() const { return colCount_; }
    int rowCount() const { return static_cast<int>(rows_.size()); }
    void setColCount(int count);
    void setRowCount(int count);
    bool contains(int col, int row) const {
        return col >= 0 && col < colCount_ && row >= 0 && row < rowCount();
    }

    // The text of a cell; empty outside the table.
    const std::string& text(int col, int row) const;
    // Sets a cell's text; false when the cell lies outside the table or holds the text already.
    bool setText(int col, int row, std::string text);

    CellRow& row(int r) { return *rows_[static_cast<std::size_t>(r)]; }
    const CellRow& row(int r) const { return *rows_[static_cast<std::size_t>(r)]; }
    Cell& cell(int col, int r) { return row(r).cells[static_cast<std::size_t>(col)]; }

    void exchangeRows(int a, int b);
    void moveRow(int from, int to);
    // Removes one row; the rows below it move up by one. Nothing outside the table.
    void removeRow(int r);
    // Where the row of this id stands now; -1 when it is no longer in the table.
    int findRow(std::uint64_t id) const;

private:
    int colCount_;
    // Chunked, so that putting a new row in place in a long table shifts a chunk, not the table.
    ChunkedVector<std::unique_ptr<CellRow>> rows_;
    CellTableListener* listener_ = nullptr;
    std::uint64_t nextRowId_ = 1;
};
