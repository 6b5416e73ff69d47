#include "grid/GridSelection.h"

#include <algorithm>

void GridSelection::set(GridRect rect) {
    anchorCol_ = rect.Left;
    anchorRow_ = rect.Top;
    rect_ = {std::min(rect.Left, rect.Right), std::min(rect.Top, rect.Bottom),
             std::max(rect.Left, rect.Right), std::max(rect.Top, rect.Bottom)};
}

bool GridSelection::contains(int col, int row) const {
    return col >= rect_.Left && col <= rect_.Right && row >= rect_.Top && row <= rect_.Bottom;
}

void GridSelection::setCurrent(int col, int row) {
    col_ = col;
    row_ = row;
}

void GridSelection::rowsExchanged(int a, int b) {
    if (row_ == a)
        row_ = b;
    else if (row_ == b)
        row_ = a;
}

void GridSelection::rowMoved(int from, int to) {
    if (row_ == from)
        row_ = to;
    else if (to < from && row_ >= to && row_ < from)
        ++row_;
    else if (from < to && row_ > from && row_ <= to)
        --row_;
}

void GridSelection::rowsRemoved(int first, int last) {
    const int count = last - first + 1;
    auto follow = [&](int& row) {
        if (row > last) row -= count;
    };
    follow(row_);
    follow(anchorRow_);
    follow(rect_.Top);
    follow(rect_.Bottom);
}

void GridSelection::followCurrentRow(int rowBefore) {
    if (rowBefore >= rect_.Top && rowBefore <= rect_.Bottom) rect_.Top = rect_.Bottom = anchorRow_ = row_;
}
