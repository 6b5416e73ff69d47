#include "grid/ColumnFit.h"

#include "platform/Text.h"

int FixedWidthMeasure::textWidth(std::string_view text) const {
    return static_cast<int>(utf8Length(text)) * pixelsPerChar_;
}

ColumnFitter::ColumnFitter(CellTable& store, int colCount)
    : store_(store), widthCounts_(static_cast<std::size_t>(colCount)) {}

void ColumnFitter::forgetAll() {
    for (int r = 0; r < store_.rowCount(); ++r)
        for (Cell& cell : store_.row(r).cells)
            cell.width = -1;
    for (auto& counts : widthCounts_)
        counts.clear();
    unmeasured_.clear();
    measureAll_ = true;
}

void ColumnFitter::setTextMeasure(const TextMeasure* measure) {
    measure_ = measure;
    forgetAll();
}

void ColumnFitter::measure(int col, Cell& cell) {
    static const FixedWidthMeasure fallback;
    if (cell.width >= 0 || cell.text.empty()) return;
    const TextMeasure& measure = measure_ ? *measure_ : fallback;
    std::string_view text = cell.text;
    cell.width = measure.textWidth(text.substr(0, text.find('\r')));
    ++widthCounts_[static_cast<std::size_t>(col)][cell.width];
}

void ColumnFitter::fit(std::vector<int>& widths, int firstCol, int extraPixels) {
    if (measureAll_) {
        for (int r = 0; r < store_.rowCount(); ++r)
            for (int c = 0; c < store_.colCount(); ++c)
                measure(c, store_.cell(c, r));
        measureAll_ = false;
    } else {
        for (auto& [col, cell] : unmeasured_)
            measure(col, *cell);
    }
    unmeasured_.clear();
    for (int c = firstCol; c < store_.colCount(); ++c) {
        const auto& counts = widthCounts_[static_cast<std::size_t>(c)];
        const int widest = counts.empty() ? 0 : counts.rbegin()->first;
        widths[static_cast<std::size_t>(c)] = 4 + widest + extraPixels;
    }
}

void ColumnFitter::cellsAboutToChange(const CellRange& range) {
    for (int r = range.FirstRow; r <= range.LastRow; ++r)
        for (int c = range.FirstCol; c <= range.LastCol; ++c) {
            Cell& cell = store_.cell(c, r);
            if (cell.width < 0) continue;
            auto& counts = widthCounts_[static_cast<std::size_t>(c)];
            if (--counts[cell.width] <= 0) counts.erase(cell.width);
            cell.width = -1;
        }
}

void ColumnFitter::cellsChanged(const CellRange& range) {
    if (measureAll_) return;
    for (int r = range.FirstRow; r <= range.LastRow; ++r)
        for (int c = range.FirstCol; c <= range.LastCol; ++c) {
            Cell& cell = store_.cell(c, r);
            if (!cell.text.empty()) unmeasured_.emplace_back(c, &cell);
        }
}

void ColumnFitter::rowsAboutToBeRemoved(int first, int last) {
    cellsAboutToChange({0, first, store_.colCount() - 1, last});
}

void ColumnFitter::rowsRemoved() {
    // Pending cells may have been among the removed rows.
    unmeasured_.clear();
    measureAll_ = true;
}

void ColumnFitter::columnCountChanged(int count) {
    widthCounts_.assign(static_cast<std::size_t>(count), {});
    forgetAll();
}
