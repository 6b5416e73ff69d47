#pragma once

struct GridRect {
    int Left = 0;
    int Top = 0;
    int Right = 0;
    int Bottom = 0;
};

// The selection rectangle of a table, its anchor (the corner that a Shift-extension keeps)
// and the current cell. The current row follows its content when rows move, and a sort takes
// the selection along with it, so that the focus frame and the highlight never part.
class GridSelection {
public:
    GridSelection(int col, int row)
        : rect_{col, row, col, row}, anchorCol_(col), anchorRow_(row), col_(col), row_(row) {}

    GridRect rect() const { return rect_; }
    // The rectangle from its anchor (Left, Top as given) to the other corner.
    void set(GridRect rect);
    bool contains(int col, int row) const;
    int anchorCol() const { return anchorCol_; }
    int anchorRow() const { return anchorRow_; }

    int col() const { return col_; }
    int row() const { return row_; }
    void setCurrent(int col, int row);

    // The rows moved: the current row goes where its content went.
    void rowsExchanged(int a, int b);
    void rowMoved(int from, int to);
    // Rows first to last were removed: what stood below them moved up.
    void rowsRemoved(int first, int last);
    // After a sort: a selection that held the current row before it (at rowBefore) becomes
    // that row at its new place.
    void followCurrentRow(int rowBefore);

private:
    GridRect rect_;
    int anchorCol_;
    int anchorRow_;
    int col_;
    int row_;
};
