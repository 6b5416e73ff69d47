#include "grid/ReportGrid.h"

#include "grid/CellCompare.h"
#include "platform/Text.h"

#include <algorithm>

namespace {
const std::string emptyText;
}

int FixedWidthMeasure::textWidth(std::string_view text) const {
    return static_cast<int>(utf8Length(text)) * pixelsPerChar_;
}

TReportGrid::TReportGrid(int colCount, int rowCount, int fixedCols, int fixedRows)
    : colCount_(std::max(1, colCount)), fixedCols_(fixedCols), fixedRows_(fixedRows),
      colWidths_(static_cast<std::size_t>(colCount_), 64), widthCounts_(static_cast<std::size_t>(colCount_)),
      nonTextCells_(static_cast<std::size_t>(colCount_)) {
    SetRowCount(rowCount);
    sortedEnd_ = fixedRows_;
    selection_ = {fixedCols_, fixedRows_, fixedCols_, fixedRows_};
    anchorCol_ = fixedCols_;
    anchorRow_ = fixedRows_;
    col_ = fixedCols_;
    row_ = fixedRows_;
}

void TReportGrid::SetColCount(int count) {
    count = std::max(1, count);
    if (count < colCount_) {
        for (auto& row : rows_)
            for (int c = count; c < colCount_; ++c)
                countCell(c, row->cells[static_cast<std::size_t>(c)], -1);
    }
    colCount_ = count;
    for (auto& row : rows_)
        row->cells.resize(static_cast<std::size_t>(count));
    colWidths_.resize(static_cast<std::size_t>(count), 64);
    widthCounts_.assign(static_cast<std::size_t>(count), {});
    nonTextCells_.resize(static_cast<std::size_t>(count));
    for (auto& row : rows_)
        for (auto& cell : row->cells)
            cell.width = -1;
    unmeasured_.clear();
    measureAll_ = true;
    Refresh();
}

void TReportGrid::SetRowCount(int count) {
    count = std::max(0, count);
    int old = RowCount();
    if (count < old) {
        for (int r = count; r < old; ++r)
            for (int c = 0; c < colCount_; ++c)
                countCell(c, rows_[static_cast<std::size_t>(r)]->cells[static_cast<std::size_t>(c)], -1);
        rows_.resize(static_cast<std::size_t>(count));
        // Pending cells may have been among the removed rows.
        unmeasured_.clear();
        measureAll_ = true;
        sortedEnd_ = std::min(sortedEnd_, count);
        if (unmarkAtRelease_ >= count) unmarkAtRelease_ = -1;
    } else {
        rows_.reserve(static_cast<std::size_t>(count));
        for (int r = old; r < count; ++r) {
            auto row = std::make_unique<RowData>();
            row->cells.resize(static_cast<std::size_t>(colCount_));
            rows_.push_back(std::move(row));
        }
    }
    Refresh();
}

const std::string& TReportGrid::CellText(int col, int row) const {
    if (col < 0 || col >= colCount_ || row < 0 || row >= RowCount()) return emptyText;
    return rows_[static_cast<std::size_t>(row)]->cells[static_cast<std::size_t>(col)].text;
}

void TReportGrid::countCell(int col, const Cell& cell, int delta) {
    auto& counts = widthCounts_[static_cast<std::size_t>(col)];
    if (cell.width >= 0) {
        if ((counts[cell.width] += delta) <= 0) counts.erase(cell.width);
    }
    if (cell.cls != CellClass::Text) nonTextCells_[static_cast<std::size_t>(col)] += delta;
}

void TReportGrid::SetCellText(int col, int row, std::string text) {
    if (col < 0 || col >= colCount_ || row < 0 || row >= RowCount()) return;
    Cell& cell = rows_[static_cast<std::size_t>(row)]->cells[static_cast<std::size_t>(col)];
    if (cell.text == text) return;
    countCell(col, cell, -1);
    cell.text = std::move(text);
    cell.cls = classifyCell(cell.text);
    cell.width = -1;
    countCell(col, cell, +1);
    if (!cell.text.empty() && !measureAll_) unmeasured_.emplace_back(col, &cell);
    if (row >= fixedRows_ && row < sortedEnd_) sortedEnd_ = row;
    Refresh();
}

void TReportGrid::SetColWidth(int col, int width) {
    colWidths_.at(static_cast<std::size_t>(col)) = std::max(0, width);
    Refresh();
}

void TReportGrid::SetDefaultRowHeight(int height) {
    defaultRowHeight_ = std::max(1, height);
    Refresh();
}

void TReportGrid::SetTextMeasure(const TextMeasure* measure) {
    measure_ = measure;
    for (auto& row : rows_)
        for (auto& cell : row->cells)
            cell.width = -1;
    for (auto& counts : widthCounts_)
        counts.clear();
    unmeasured_.clear();
    measureAll_ = true;
}

void TReportGrid::FitColumns(bool includeFixed, int extraPixels) {
    static const FixedWidthMeasure fallback;
    const TextMeasure& measure = measure_ ? *measure_ : fallback;
    auto measureCell = [&](int col, Cell& cell) {
        if (cell.width >= 0 || cell.text.empty()) return;
        std::string_view text = cell.text;
        cell.width = measure.textWidth(text.substr(0, text.find('\r')));
        ++widthCounts_[static_cast<std::size_t>(col)][cell.width];
    };
    if (measureAll_) {
        for (auto& row : rows_)
            for (int c = 0; c < colCount_; ++c)
                measureCell(c, row->cells[static_cast<std::size_t>(c)]);
        measureAll_ = false;
    } else {
        for (auto& [col, cell] : unmeasured_)
            measureCell(col, *cell);
    }
    unmeasured_.clear();
    for (int c = includeFixed ? 0 : fixedCols_; c < colCount_; ++c) {
        const auto& counts = widthCounts_[static_cast<std::size_t>(c)];
        int widest = counts.empty() ? 0 : counts.rbegin()->first;
        colWidths_[static_cast<std::size_t>(c)] = 4 + widest + extraPixels;
    }
    Refresh();
}

int TReportGrid::CompareCells(int col, int rowA, int rowB) const {
    return compareCellTexts(CellText(col, rowA), CellText(col, rowB), SortAutoFormat);
}

int TReportGrid::compareCell(const RowData& a, const RowData& b, int col) const {
    const Cell& x = a.cells[static_cast<std::size_t>(col)];
    const Cell& y = b.cells[static_cast<std::size_t>(col)];
    return SortAutoFormat ? compareClassified(x.cls, x.text, y.text) : compareText(x.text, y.text);
}

int TReportGrid::compareRows(const RowData& a, const RowData& b) const {
    int k = SortColumn;
    if (k < 0 || k >= colCount_) return 0;
    int r = compareCell(a, b, k);
    while (r == 0 && SortFull && k <= colCount_ - 2)
        r = compareCell(a, b, ++k);
    return r;
}

void TReportGrid::exchangeRows(int i, int j) {
    std::swap(rows_[static_cast<std::size_t>(i)], rows_[static_cast<std::size_t>(j)]);
    if (row_ == i)
        row_ = j;
    else if (row_ == j)
        row_ = i;
}

void TReportGrid::quickSort(int lo, int hi, int d) {
    // The pivot is a copy of the middle row's content, so it stays put while rows move.
    const RowData pivot = *rows_[static_cast<std::size_t>((lo + hi) / 2)];
    int i = lo;
    int j = hi;
    do {
        while (compareRows(pivot, *rows_[static_cast<std::size_t>(i)]) == d)
            ++i;
        while (compareRows(*rows_[static_cast<std::size_t>(j)], pivot) == d)
            --j;
        if (i <= j) {
            if (i != j) exchangeRows(i, j);
            ++i;
            --j;
        }
    } while (j >= i);
    if (lo < j) quickSort(lo, j, d);
    if (i < hi) quickSort(i, hi, d);
}

// When only a few rows were added below rows that are already in order, and the comparison
// is a total order over whole rows (plain text in every compared column, all columns
// compared), putting each new row in place by binary search leaves exactly the table that
// the full quicksort would: rows that compare equal are then identical.
bool TReportGrid::trySortByInsertion(int d) {
    constexpr int maxNewRows = 8;
    int first = fixedRows_;
    int count = RowCount();
    if (sortedColumn_ != SortColumn || sortedDir_ != SortDirection || sortedFull_ != SortFull ||
        sortedAutoFormat_ != SortAutoFormat || SortColumn != 0 || !(SortFull || colCount_ == 1) ||
        DisjunctRowSelect || sortedEnd_ < first || count - sortedEnd_ > maxNewRows)
        return false;
    if (SortAutoFormat)
        for (int c = 0; c < colCount_; ++c)
            if (nonTextCells_[static_cast<std::size_t>(c)] != 0) return false;
    // Where the current row lands among identical rows depends on the algorithm.
    if (hasTwinOfCurrentRow(first, count)) return false;
    for (int t = sortedEnd_; t < count; ++t) {
        const RowData& added = *rows_[static_cast<std::size_t>(t)];
        int lo = first;
        int hi = t; // the rows first..t-1 are in order
        while (lo < hi) {
            int mid = lo + (hi - lo) / 2;
            if (d * compareRows(added, *rows_[static_cast<std::size_t>(mid)]) < 0)
                hi = mid;
            else
                lo = mid + 1;
        }
        rows_.move(static_cast<std::size_t>(t), static_cast<std::size_t>(lo));
        if (row_ == t)
            row_ = lo;
        else if (row_ >= lo && row_ < t)
            ++row_;
    }
    return true;
}

// Whether another row compares equal to the current row, among the rows added since the last
// sort and among the rows in order before them (where an equal row is found by halving).
bool TReportGrid::hasTwinOfCurrentRow(int first, int count) const {
    if (row_ < first || row_ >= count) return false;
    const RowData& current = *rows_[static_cast<std::size_t>(row_)];
    auto equal = [&](int r) {
        return r != row_ && r >= first && r < count &&
               compareRows(*rows_[static_cast<std::size_t>(r)], current) == 0;
    };
    for (int t = sortedEnd_; t < count; ++t)
        if (equal(t)) return true;
    if (row_ < sortedEnd_) return equal(row_ - 1) || equal(row_ + 1);
    const int d = SortDirection == TSortDirection::sdAscending ? 1 : -1;
    int lo = first;
    int hi = sortedEnd_;
    while (lo < hi) {
        int mid = lo + (hi - lo) / 2;
        if (d * compareRows(*rows_[static_cast<std::size_t>(mid)], current) < 0)
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo < sortedEnd_ && equal(lo);
}

void TReportGrid::SortRows() {
    BeginUpdate();
    int d = SortDirection == TSortDirection::sdAscending ? 1 : -1;
    int lo = fixedRows_;
    int hi = RowCount() - 1;
    const int oldRow = row_;
    if (!trySortByInsertion(d) && lo < hi) quickSort(lo, hi, d);
    // The highlight goes where the focus goes, so the two never part: a selection that held
    // the current row becomes that row at its new place.
    if (oldRow >= selection_.Top && oldRow <= selection_.Bottom)
        selection_.Top = selection_.Bottom = anchorRow_ = row_;
    sortedEnd_ = RowCount();
    sortedColumn_ = SortColumn;
    sortedDir_ = SortDirection;
    sortedFull_ = SortFull;
    sortedAutoFormat_ = SortAutoFormat;
    repaintPending_ = true;
    EndUpdate();
}

void TReportGrid::SetSelection(GridRect rect) {
    anchorCol_ = rect.Left;
    anchorRow_ = rect.Top;
    selection_ = {std::min(rect.Left, rect.Right), std::min(rect.Top, rect.Bottom),
                  std::max(rect.Left, rect.Right), std::max(rect.Top, rect.Bottom)};
    Refresh();
}

bool TReportGrid::InSelection(int col, int row) const {
    return col >= selection_.Left && col <= selection_.Right && row >= selection_.Top &&
           row <= selection_.Bottom;
}

void TReportGrid::SetCurrent(int col, int row) {
    col_ = col;
    row_ = row;
}

void TReportGrid::checkRow(int row) const {
    if (row < 0 || row >= RowCount()) throw EReportGridError("Invalid row accessed");
}

bool TReportGrid::RowMarked(int row) const {
    checkRow(row);
    return rows_[static_cast<std::size_t>(row)]->marked;
}

void TReportGrid::SetRowMarked(int row, bool marked) {
    checkRow(row);
    rows_[static_cast<std::size_t>(row)]->marked = marked;
    Refresh();
}

void TReportGrid::MarkPress(int row, bool ctrl) {
    if (!DisjunctRowSelect || row < fixedRows_ || row >= RowCount()) return;
    if (!ctrl) {
        for (auto& r : rows_)
            r->marked = false;
        Refresh();
    } else if (rows_[static_cast<std::size_t>(row)]->marked) {
        unmarkAtRelease_ = row;
    }
}

void TReportGrid::MarkRelease(int row) {
    if (!DisjunctRowSelect || row < fixedRows_ || row >= RowCount()) return;
    for (int r = std::max(0, selection_.Top); r <= selection_.Bottom && r < RowCount(); ++r)
        rows_[static_cast<std::size_t>(r)]->marked = true;
    if (unmarkAtRelease_ >= 0) rows_[static_cast<std::size_t>(row)]->marked = false;
    unmarkAtRelease_ = -1;
    Refresh();
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
