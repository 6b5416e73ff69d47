#pragma once

#include "grid/CellTable.h"
#include "grid/ColumnFit.h"
#include "grid/GridSelection.h"
#include "grid/HtmlSettings.h"
#include "grid/ReportGridError.h"
#include "grid/RowMarks.h"
#include "grid/RowSort.h"
#include "grid/TextMeasure.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// The table control behind the results table and the submission list: a grid of text
// cells with fixed header rows and columns, column fitting, the sort, the selection
// rectangle and row marks. Widgets draw it; exporters, find and print read it.
//
// The cells live in a CellTable, which tells of every change by range; the sort, the fit,
// the selection and the marks are classes of their own beside it that keep up with those
// notices. The table assembles them behind the control's operations and repaints once per
// change, or once at the end of an update.
class TReportGrid : private CellTableListener {
public:
    TReportGrid(int colCount, int rowCount, int fixedCols, int fixedRows);
    // A table is moved as a whole and never copied.
    TReportGrid(TReportGrid&& other) noexcept;
    TReportGrid(const TReportGrid&) = delete;
    TReportGrid& operator=(const TReportGrid&) = delete;
    TReportGrid& operator=(TReportGrid&&) = delete;
    ~TReportGrid() override = default;

    int ColCount() const { return parts_->store.colCount(); }
    void SetColCount(int count);
    int RowCount() const { return parts_->store.rowCount(); }
    void SetRowCount(int count);
    // Removes one row; the rows below it move up. A row outside the table is ignored.
    void DeleteRow(int row);
    int FixedCols() const { return fixedCols_; }
    int FixedRows() const { return fixedRows_; }

    // Cells outside the table read as empty text; setting one grows nothing and is ignored.
    const std::string& CellText(int col, int row) const { return parts_->store.text(col, row); }
    void SetCellText(int col, int row, std::string text);

    // A row's identity stays with its content through sorts and removals, and is never given
    // to another row: a row added earlier is found again wherever it has gone since.
    using RowId = std::uint64_t;
    // 0, which no row has, for a row outside the table.
    RowId RowIdentity(int row) const;
    // Where the row stands now; -1 when it has been removed.
    int FindRow(RowId id) const { return parts_->store.findRow(id); }

    int ColWidth(int col) const { return colWidths_.at(static_cast<std::size_t>(col)); }
    void SetColWidth(int col, int width);
    int DefaultRowHeight() const { return defaultRowHeight_; }
    void SetDefaultRowHeight(int height);

    // The font measurer used by FitColumns; the grid does not own it.
    void SetTextMeasure(const TextMeasure* measure) { parts_->fitter.setTextMeasure(measure); }
    const TextMeasure* textMeasure() const { return parts_->fitter.textMeasure(); }
    // Whether fitting the columns widens the fixed ones too.
    enum class FitFixed { Include, Leave };
    // Each column becomes 4 pixels wider than its widest first line, plus extraPixels.
    void FitColumns(FitFixed fixed, int extraPixels);
    void FitColumns(bool includeFixed, int extraPixels) {
        FitColumns(includeFixed ? FitFixed::Include : FitFixed::Leave, extraPixels);
    }

    int SortColumn = 0;
    TSortDirection SortDirection = TSortDirection::sdAscending;
    bool SortFull = true;
    bool SortAutoFormat = true;
    // Sorts the rows below the fixed rows by SortColumn; the fixed rows stay on top.
    void SortRows();
    // The cell comparison of one column between two rows: 1, 0 or -1.
    int CompareCells(int col, int rowA, int rowB) const;

    // The current selection rectangle; the standard mouse and keyboard handling set it.
    GridRect Selection() const { return parts_->selection.rect(); }
    // The rectangle from its anchor (Left, Top as given), the corner that a Shift-extension
    // keeps, to the other corner (Right, Bottom as given).
    void SetSelection(GridRect rect);
    bool InSelection(int col, int row) const { return parts_->selection.contains(col, row); }
    int AnchorCol() const { return parts_->selection.anchorCol(); }
    int AnchorRow() const { return parts_->selection.anchorRow(); }
    // The current row and column (the focused cell).
    int Row() const { return parts_->selection.row(); }
    int Col() const { return parts_->selection.col(); }
    void SetCurrent(int col, int row) { parts_->selection.setCurrent(col, row); }

    // Row marks, kept while DisjunctRowSelect is on. Throws "Invalid row accessed".
    bool DisjunctRowSelect = false;
    bool RowMarked(int row) const { return parts_->marks.marked(row); }
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
    SortKey sortKey() const { return {SortColumn, SortDirection, SortFull, SortAutoFormat}; }

    // The store's notices, handed to the parts that keep up with them.
    void cellsAboutToChange(const CellRange& range) override;
    void cellsChanged(const CellRange& range) override;
    void rowsInserted(int first, int last) override;
    void rowsAboutToBeRemoved(int first, int last) override;
    void rowsRemoved(int first, int last) override;
    void columnsAboutToBeRemoved(int first, int last) override;
    void columnCountChanged(int count) override;
    void rowsExchanged(int a, int b) override;
    void rowMoved(int from, int to) override;

    // The parts refer to the store, so they live together on the heap, and a table is moved
    // by handing them over.
    struct Parts {
        Parts(int colCount, int rowCount, int fixedCols, int fixedRows);
        CellTable store;
        ColumnFitter fitter;
        RowSorter sorter;
        GridSelection selection;
        RowMarks marks;
    };

    int fixedCols_;
    int fixedRows_;
    std::unique_ptr<Parts> parts_;
    std::vector<int> colWidths_;
    int defaultRowHeight_ = 18;

    std::function<void()> repaint_;
    int updateLock_ = 0;
    bool repaintPending_ = false;
};
