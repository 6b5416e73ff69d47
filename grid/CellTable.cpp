#include "grid/CellTable.h"

#include <algorithm>

namespace {
const std::string emptyText;
}

CellTable::CellTable(int colCount, int rowCount) : colCount_(std::max(1, colCount)) {
    setRowCount(rowCount);
}

void CellTable::setColCount(int count) {
    count = std::max(1, count);
    if (count < colCount_ && listener_) listener_->columnsAboutToBeRemoved(count, colCount_ - 1);
    colCount_ = count;
    for (auto& r : rows_)
        r->cells.resize(static_cast<std::size_t>(count));
    if (listener_) listener_->columnCountChanged(count);
}

void CellTable::setRowCount(int count) {
    count = std::max(0, count);
    const int old = rowCount();
    if (count < old) {
        if (listener_) listener_->rowsAboutToBeRemoved(count, old - 1);
        rows_.resize(static_cast<std::size_t>(count));
        if (listener_) listener_->rowsRemoved(count, old - 1);
    } else if (count > old) {
        rows_.reserve(static_cast<std::size_t>(count));
        for (int r = old; r < count; ++r) {
            auto added = std::make_unique<CellRow>();
            added->cells.resize(static_cast<std::size_t>(colCount_));
            added->id = nextRowId_++;
            rows_.push_back(std::move(added));
        }
        if (listener_) listener_->rowsInserted(old, count - 1);
    }
}

const std::string& CellTable::text(int col, int r) const {
    if (!contains(col, r)) return emptyText;
    return rows_[static_cast<std::size_t>(r)]->cells[static_cast<std::size_t>(col)].text;
}

bool CellTable::setText(int col, int r, std::string text) {
    if (!contains(col, r)) return false;
    Cell& target = cell(col, r);
    if (target.text == text) return false;
    const CellRange range{col, r, col, r};
    if (listener_) listener_->cellsAboutToChange(range);
    target.text = std::move(text);
    if (listener_) listener_->cellsChanged(range);
    return true;
}

void CellTable::exchangeRows(int a, int b) {
    std::swap(rows_[static_cast<std::size_t>(a)], rows_[static_cast<std::size_t>(b)]);
    if (listener_) listener_->rowsExchanged(a, b);
}

void CellTable::moveRow(int from, int to) {
    if (from == to) return;
    rows_.move(static_cast<std::size_t>(from), static_cast<std::size_t>(to));
    if (listener_) listener_->rowMoved(from, to);
}

void CellTable::removeRow(int r) {
    if (r < 0 || r >= rowCount()) return;
    if (listener_) listener_->rowsAboutToBeRemoved(r, r);
    rows_.erase(static_cast<std::size_t>(r));
    if (listener_) listener_->rowsRemoved(r, r);
}

int CellTable::findRow(std::uint64_t id) const {
    int r = 0;
    for (const auto& row : rows_) {
        if (row->id == id) return r;
        ++r;
    }
    return -1;
}
