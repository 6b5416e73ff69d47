#include "grid/ReportGrid.h"

#include "grid/CellCompare.h"

#include <algorithm>

TReportGrid::Parts::Parts(int colCount, int rowCount, int fixedCols, int fixedRows)
    : store(colCount, rowCount), fitter(store, store.colCount()), sorter(store, fixedRows, store.colCount()),
      selection(fixedCols, fixedRows), marks(store, fixedRows) {}

TReportGrid::TReportGrid(int colCount, int rowCount, int fixedCols, int fixedRows)
    : fixedCols_(fixedCols), fixedRows_(fixedRows),
      parts_(std::make_unique<Parts>(colCount, rowCount, fixedCols, fixedRows)),
      colWidths_(static_cast<std::size_t>(parts_->store.colCount()), 64) {
    parts_->store.setListener(this);
}

TReportGrid::TReportGrid(TReportGrid&& other) noexcept
    : SortColumn(other.SortColumn), SortDirection(other.SortDirection), SortFull(other.SortFull),
      SortAutoFormat(other.SortAutoFormat), DisjunctRowSelect(other.DisjunctRowSelect),
      IncludeFixedCells(other.IncludeFixedCells), HTMLSettings(std::move(other.HTMLSettings)),
      URLShow(other.URLShow), URLFull(other.URLFull), fixedCols_(other.fixedCols_),
      fixedRows_(other.fixedRows_), parts_(std::move(other.parts_)), colWidths_(std::move(other.colWidths_)),
      defaultRowHeight_(other.defaultRowHeight_), repaint_(std::move(other.repaint_)),
      updateLock_(other.updateLock_), repaintPending_(other.repaintPending_) {
    parts_->store.setListener(this);
}

void TReportGrid::SetColCount(int count) {
    parts_->store.setColCount(count);
}

void TReportGrid::SetRowCount(int count) {
    parts_->store.setRowCount(count);
}

void TReportGrid::DeleteRow(int row) {
    parts_->store.removeRow(row);
}

TReportGrid::RowId TReportGrid::RowIdentity(int row) const {
    if (row < 0 || row >= RowCount()) return 0;
    return parts_->store.row(row).id;
}

void TReportGrid::SetCellText(int col, int row, std::string text) {
    parts_->store.setText(col, row, std::move(text));
}

void TReportGrid::SetColWidth(int col, int width) {
    colWidths_.at(static_cast<std::size_t>(col)) = std::max(0, width);
    Refresh();
}

void TReportGrid::SetDefaultRowHeight(int height) {
    defaultRowHeight_ = std::max(1, height);
    Refresh();
}

void TReportGrid::FitColumns(FitFixed fixed, int extraPixels) {
    parts_->fitter.fit(colWidths_, fixed == FitFixed::Include ? 0 : fixedCols_, extraPixels);
    Refresh();
}

int TReportGrid::CompareCells(int col, int rowA, int rowB) const {
    return compareCellTexts(CellText(col, rowA), CellText(col, rowB), SortAutoFormat);
}

void TReportGrid::SortRows() {
    BeginUpdate();
    const int rowBefore = Row();
    parts_->sorter.sort(sortKey(), rowBefore, DisjunctRowSelect ? RowsCarryMarks::Yes : RowsCarryMarks::No);
    // The highlight goes where the focus goes, so the two never part.
    parts_->selection.followCurrentRow(rowBefore);
    repaintPending_ = true;
    EndUpdate();
}

void TReportGrid::SetSelection(GridRect rect) {
    parts_->selection.set(rect);
    Refresh();
}

void TReportGrid::SetRowMarked(int row, bool marked) {
    parts_->marks.setMarked(row, marked);
    Refresh();
}

void TReportGrid::MarkPress(int row, bool ctrl) {
    if (DisjunctRowSelect && parts_->marks.press(row, ctrl)) Refresh();
}

void TReportGrid::MarkRelease(int row) {
    if (DisjunctRowSelect && parts_->marks.release(row, Selection())) Refresh();
}

bool TReportGrid::IsLinkText(std::string_view text) {
    return text.find("://") != std::string_view::npos || text.find("mailto:") != std::string_view::npos;
}

std::string TReportGrid::DisplayText(int col, int row) const {
    const std::string& text = CellText(col, row);
    if (!URLShow || URLFull || !IsLinkText(text)) return text;
    auto at = text.find("://");
    if (at != std::string::npos) return text.substr(at + 3);
    at = text.find("mailto:");
    return text.substr(at + 7);
}

void TReportGrid::EndUpdate() {
    if (updateLock_ > 0 && --updateLock_ == 0 && repaintPending_) {
        repaintPending_ = false;
        if (repaint_) repaint_();
    }
}

void TReportGrid::Refresh() {
    if (updateLock_ > 0) {
        repaintPending_ = true;
        return;
    }
    if (repaint_) repaint_();
}

void TReportGrid::cellsAboutToChange(const CellRange& range) {
    parts_->fitter.cellsAboutToChange(range);
    parts_->sorter.cellsAboutToChange(range);
}

void TReportGrid::cellsChanged(const CellRange& range) {
    parts_->sorter.cellsChanged(range);
    parts_->fitter.cellsChanged(range);
    Refresh();
}

void TReportGrid::rowsInserted(int, int) {
    Refresh();
}

void TReportGrid::rowsAboutToBeRemoved(int first, int last) {
    parts_->fitter.rowsAboutToBeRemoved(first, last);
    parts_->sorter.rowsAboutToBeRemoved(first, last);
}

void TReportGrid::rowsRemoved(int first, int last) {
    parts_->fitter.rowsRemoved();
    parts_->sorter.rowsRemoved(first, last);
    parts_->selection.rowsRemoved(first, last);
    parts_->marks.rowsRemoved(first);
    Refresh();
}

void TReportGrid::columnsAboutToBeRemoved(int first, int last) {
    parts_->sorter.columnsAboutToBeRemoved(first, last);
}

void TReportGrid::columnCountChanged(int count) {
    parts_->fitter.columnCountChanged(count);
    parts_->sorter.columnCountChanged(count);
    colWidths_.resize(static_cast<std::size_t>(count), 64);
    Refresh();
}

void TReportGrid::rowsExchanged(int a, int b) {
    parts_->selection.rowsExchanged(a, b);
}

void TReportGrid::rowMoved(int from, int to) {
    parts_->selection.rowMoved(from, to);
}
