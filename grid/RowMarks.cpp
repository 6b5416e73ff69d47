#include "grid/RowMarks.h"

#include "grid/ReportGridError.h"

#include <algorithm>

void RowMarks::checkRow(int row) const {
    if (row < 0 || row >= store_.rowCount()) throw EReportGridError("Invalid row accessed");
}

bool RowMarks::marked(int row) const {
    checkRow(row);
    return store_.row(row).marked;
}

void RowMarks::setMarked(int row, bool marked) {
    checkRow(row);
    store_.row(row).marked = marked;
}

bool RowMarks::press(int row, bool ctrl) {
    if (!isListRow(row)) return false;
    if (!ctrl) {
        for (int r = 0; r < store_.rowCount(); ++r)
            store_.row(r).marked = false;
        return true;
    }
    if (store_.row(row).marked) unmarkAtRelease_ = row;
    return false;
}

bool RowMarks::release(int row, const GridRect& selection) {
    if (!isListRow(row)) return false;
    for (int r = std::max(0, selection.Top); r <= selection.Bottom && r < store_.rowCount(); ++r)
        store_.row(r).marked = true;
    if (unmarkAtRelease_ >= 0) store_.row(row).marked = false;
    unmarkAtRelease_ = -1;
    return true;
}

void RowMarks::rowsRemoved(int first) {
    if (unmarkAtRelease_ >= first) unmarkAtRelease_ = -1;
}
