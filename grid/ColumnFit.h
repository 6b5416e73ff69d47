#pragma once

#include "grid/CellTable.h"
#include "grid/TextMeasure.h"

#include <map>
#include <utility>
#include <vector>

// The column fit of a table: each column as wide as its widest first line plus a margin.
// Widths are measured once per changed cell, as the store's notices say which cells changed,
// and kept as counts per width for each column, so the widest stays at hand and a fit after
// one new row costs a logarithm, not a pass over the table.
class ColumnFitter {
public:
    ColumnFitter(CellTable& store, int colCount);

    // The font measurer; the fitter does not own it. Without one a fixed-width fake measures.
    void setTextMeasure(const TextMeasure* measure);
    const TextMeasure* textMeasure() const { return measure_; }
    // Each column from firstCol on becomes 4 pixels wider than its widest first line, plus
    // extraPixels; a first line ends at the first CR.
    void fit(std::vector<int>& widths, int firstCol, int extraPixels);

    // The store's notices that concern the fit.
    void cellsAboutToChange(const CellRange& range);
    void cellsChanged(const CellRange& range);
    void rowsAboutToBeRemoved(int first, int last);
    void rowsRemoved();
    void columnCountChanged(int count);

private:
    void measure(int col, Cell& cell);
    void forgetAll();

    CellTable& store_;
    const TextMeasure* measure_ = nullptr;
    // Measured widths per column, as counts per width.
    std::vector<std::map<int, int>> widthCounts_;
    // Cells whose text changed since the last fit. The cells stay where they are while rows
    // move, so the pointers hold until rows or columns are removed; then everything is
    // measured anew.
    std::vector<std::pair<int, Cell*>> unmeasured_;
    bool measureAll_ = true;
};
