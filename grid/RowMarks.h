#pragma once

#include "grid/CellTable.h"
#include "grid/GridSelection.h"

// The row marks of a list that lets the user highlight rows apart: a press without Ctrl
// clears them, a release marks the rows of the selection rectangle, and a Ctrl-click on a
// marked row unmarks it. The marks are kept with the rows in the store, so they move with them.
class RowMarks {
public:
    RowMarks(CellTable& store, int fixedRows) : store_(store), fixedRows_(fixedRows) {}

    // Throw EReportGridError "Invalid row accessed" for a row outside the table.
    bool marked(int row) const;
    void setMarked(int row, bool marked);

    // The mouse part of marking; false when it changed no mark.
    bool press(int row, bool ctrl);
    bool release(int row, const GridRect& selection);

    // The store's notice: a row noted for unmarking may be gone.
    void rowsRemoved(int first);

private:
    void checkRow(int row) const;
    bool isListRow(int row) const { return row >= fixedRows_ && row < store_.rowCount(); }

    CellTable& store_;
    int fixedRows_;
    int unmarkAtRelease_ = -1;
};
