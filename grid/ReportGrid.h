#pragma once

#include "grid/CellCompare.h"
#include "grid/ChunkedVector.h"
#include "grid/HtmlSettings.h"
#include "grid/TextMeasure.h"
#include "platform/Error.h"

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

class EReportGridError : public LarkspanError {
public:
    using LarkspanError::LarkspanError;
};

enum class TSortDirection { sdAscending, sdDescending };

struct GridRect {
    int Left = 0;
    int Top = 0;
    int Right = 0;
    int Bottom = 0;
};

// The table control behind the results table and the submission list: a grid of text
// cells with fixed header rows and columns, column fitting, the sort, the selection
// rectangle and row marks. Widgets draw it; exporters, find and print read it.
class TReportGrid {
public:
    TReportGrid(int colCount, int rowCount, int fixedCols, int fixedRows);

    int ColCount() const { return colCount_; }
    void SetColCount(int count);
    int RowCount() const { return static_cast<int>(rows_.size()); }
    void SetRowCount(int count);
    int FixedCols() const { return fixedCols_; }
    int FixedRows() const { return fixedRows_; }

    // Cells outside the table read as empty text; setting one grows nothing and is ignored.
    const std::string& CellText(int col, int row) const;
    void SetCellText(int col, int row, std::string text);

    int ColWidth(int col) const { return colWidths_.at(static_cast<std::size_t>(col)); }
    void SetColWidth(int col, int width);
    int DefaultRowHeight() const { return defaultRowHeight_; }
    void SetDefaultRowHeight(int height);

    // The font measurer used by FitColumns; the grid does not own it.
    void SetTextMeasure(const TextMeasure* measure);
    const TextMeasure* textMeasure() const { return measure_; }
    // Each column becomes 4 pixels wider than its widest first line, plus extraPixels.
    void FitColumns(bool includeFixed, int extraPixels);

    int SortColumn = 0;
    TSortDirection SortDirection = TSortDirection::sdAscending;
    bool SortFull = true;
    bool SortAutoFormat = true;
    // Sorts the rows below the fixed rows by SortColumn; the fixed rows stay on top.
    void SortRows();
    // The cell comparison of one column between two rows: 1, 0 or -1.
    int CompareCells(int col, int rowA, int rowB) const;

    // The current selection rectangle; the standard mouse and keyboard handling set it.
    GridRect Selection() const { return selection_; }
    // The rectangle from its anchor (Left, Top as given), the corner that a Shift-extension
    // keeps, to the other corner (Right, Bottom as given).
    void SetSelection(GridRect rect);
    bool InSelection(int col, int row) const;
    int AnchorCol() const { return anchorCol_; }
    int AnchorRow() const { return anchorRow_; }
    // The current row and column (the focused cell).
    int Row() const { return row_; }
    int Col() const { return col_; }
    void SetCurrent(int col, int row);

    // Row marks, kept while DisjunctRowSelect is on. Throws "Invalid row accessed".
    bool DisjunctRowSelect = false;
    bool RowMarked(int row) const;
    void SetRowMarked(int row, bool marked);
    // The mouse part of row marking; the widget calls these around its own selection handling.
    void MarkPress(int row, bool ctrl);
    void MarkRelease(int row);

    bool IncludeFixedCells = true;
    THTMLSettings HTMLSettings;
    bool URLShow = true;
    bool URLFull = false;
    // A link cell holds "://" or "mailto:"; on screen it shows the text after that part.
    static bool IsLinkText(std::string_view text);
    std::string DisplayText(int col, int row) const;

    // Repainting: the widget registers a callback; BeginUpdate/EndUpdate nest, and
    // the table repaints once when the outermost EndUpdate runs.
    void SetRepaintHandler(std::function<void()> handler) { repaint_ = std::move(handler); }
    void BeginUpdate() { ++updateLock_; }
    void EndUpdate();
    void Refresh();

private:
    struct Cell {
        std::string text;
        int width = -1;                  // measured width of the first line, -1 until measured
        CellClass cls = CellClass::Text; // how the sort reads the text
    };
    struct RowData {
        std::vector<Cell> cells;
        bool marked = false;
    };

    void checkRow(int row) const;
    int compareRows(const RowData& a, const RowData& b) const;
    int compareCell(const RowData& a, const RowData& b, int col) const;
    void quickSort(int lo, int hi, int d);
    void exchangeRows(int i, int j);
    bool trySortByInsertion(int d);
    bool hasTwinOfCurrentRow(int first, int count) const;
    void countCell(int col, const Cell& cell, int delta);
    bool repaintPending_ = false;

    int colCount_;
    int fixedCols_;
    int fixedRows_;
    // Chunked, so that putting a new row in place in a long table shifts a chunk, not the table.
    ChunkedVector<std::unique_ptr<RowData>> rows_;
    std::vector<int> colWidths_;
    int defaultRowHeight_ = 18;
    const TextMeasure* measure_ = nullptr;

    // Measured widths per column, as counts per width, so the widest stays at hand.
    std::vector<std::map<int, int>> widthCounts_;
    // Cells whose text changed since the last fit. The cells stay where they are while rows
    // move, so the pointers hold until rows or columns are removed; then everything is
    // measured anew.
    std::vector<std::pair<int, Cell*>> unmeasured_;
    bool measureAll_ = true;

    // Rows from FixedRows up to sortedEnd_ are known to be in the order of the last sort.
    int sortedEnd_ = 0;
    int sortedColumn_ = -1;
    TSortDirection sortedDir_ = TSortDirection::sdAscending;
    bool sortedFull_ = true;
    bool sortedAutoFormat_ = true;
    // Cells that do not classify as plain text, per column; while there are none the
    // comparison is a total order and a new row can be put in place by binary search.
    std::vector<int> nonTextCells_;

    GridRect selection_;
    int anchorCol_ = 0;
    int anchorRow_ = 0;
    int row_ = 0;
    int col_ = 0;
    int unmarkAtRelease_ = -1;

    std::function<void()> repaint_;
    int updateLock_ = 0;
};
