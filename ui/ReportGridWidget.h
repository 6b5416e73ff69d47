#pragma once

#include "grid/ReportGrid.h"
#include "ui/QtTextMeasure.h"

#include <QAbstractScrollArea>
#include <functional>
#include <memory>

// Shows a TReportGrid: fixed rows and columns in the fixed colour that never scroll away,
// the selection rectangle (of cells, or of whole rows), row marks, and link cells drawn
// underlined without their scheme and opened with the desktop's "open" on a press.
class ReportGridWidget : public QAbstractScrollArea {
    Q_OBJECT
public:
    enum class Selection { Cells, WholeRows };

    ReportGridWidget(TReportGrid& grid, Selection selection, QWidget* parent = nullptr);
    ~ReportGridWidget() override;

    TReportGrid& grid() { return grid_; }
    // Called when the current row changes through the mouse or the keyboard.
    std::function<void(int row)> onSelectRow;
    // Opens a link cell's text; the desktop's "open" unless replaced (tests replace it).
    std::function<void(const std::string& text)> openLink;
    // The cell under a point of the viewport, or false outside the cells.
    bool cellAt(QPoint pos, int& col, int& row) const;
    QRect cellRect(int col, int row) const;
    void scrollToRow(int row);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void updateScrollBars();
    // Whether a move extends the selection from its anchor or starts a new one there.
    enum class Selecting { Anew, Extending };
    void moveTo(int col, int row, Selecting selecting);
    // Shift extends the selection.
    static Selecting selectingFor(Qt::KeyboardModifiers modifiers);
    int fixedWidth() const;
    int fixedHeight() const;
    int firstScrollRow() const;

    TReportGrid& grid_;
    Selection mode_;
    std::unique_ptr<QtTextMeasure> measure_;
    bool pressing_ = false;
    bool pressWithCtrl_ = false;
};
