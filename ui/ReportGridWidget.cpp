#include "ui/ReportGridWidget.h"

#include "platform/ShellOpen.h"
#include "platform/Text.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>

#include <algorithm>

namespace {
constexpr int LineWidth = 1;
}

ReportGridWidget::ReportGridWidget(TReportGrid& grid, Selection selection, QWidget* parent)
    : QAbstractScrollArea(parent), grid_(grid), mode_(selection),
      measure_(std::make_unique<QtTextMeasure>(font())) {
    grid_.SetTextMeasure(measure_.get());
    grid_.SetRepaintHandler([this] {
        updateScrollBars();
        viewport()->update();
    });
    openLink = [](const std::string& text) { shellOpen(text.substr(0, utf8Prefix(text, 255))); };
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setMouseTracking(false);
    setBackgroundRole(QPalette::Base);
    horizontalScrollBar()->setSingleStep(16);
    connect(verticalScrollBar(), &QScrollBar::valueChanged, viewport(), [this] { viewport()->update(); });
    connect(horizontalScrollBar(), &QScrollBar::valueChanged, viewport(), [this] { viewport()->update(); });
    updateScrollBars();
}

ReportGridWidget::~ReportGridWidget() {
    grid_.SetRepaintHandler(nullptr);
    grid_.SetTextMeasure(nullptr);
}

int ReportGridWidget::fixedWidth() const {
    int w = 0;
    for (int c = 0; c < grid_.FixedCols() && c < grid_.ColCount(); ++c)
        w += grid_.ColWidth(c) + LineWidth;
    return w;
}

int ReportGridWidget::fixedHeight() const {
    return std::min(grid_.FixedRows(), grid_.RowCount()) * (grid_.DefaultRowHeight() + LineWidth);
}

int ReportGridWidget::firstScrollRow() const {
    return grid_.FixedRows() + verticalScrollBar()->value();
}

void ReportGridWidget::updateScrollBars() {
    const int rowStep = grid_.DefaultRowHeight() + LineWidth;
    const int scrollRows = std::max(0, grid_.RowCount() - grid_.FixedRows());
    const int visibleRows = std::max(1, (viewport()->height() - fixedHeight()) / rowStep);
    verticalScrollBar()->setRange(0, std::max(0, scrollRows - visibleRows));
    verticalScrollBar()->setPageStep(visibleRows);
    int total = 0;
    for (int c = grid_.FixedCols(); c < grid_.ColCount(); ++c)
        total += grid_.ColWidth(c) + LineWidth;
    const int visible = std::max(0, viewport()->width() - fixedWidth());
    horizontalScrollBar()->setRange(0, std::max(0, total - visible));
    horizontalScrollBar()->setPageStep(visible);
}

QRect ReportGridWidget::cellRect(int col, int row) const {
    int x = 0;
    if (col < grid_.FixedCols()) {
        for (int c = 0; c < col; ++c)
            x += grid_.ColWidth(c) + LineWidth;
    } else {
        x = fixedWidth() - horizontalScrollBar()->value();
        for (int c = grid_.FixedCols(); c < col; ++c)
            x += grid_.ColWidth(c) + LineWidth;
    }
    const int rowStep = grid_.DefaultRowHeight() + LineWidth;
    int y = row < grid_.FixedRows() ? row * rowStep : fixedHeight() + (row - firstScrollRow()) * rowStep;
    return QRect(x, y, grid_.ColWidth(col), grid_.DefaultRowHeight());
}

bool ReportGridWidget::cellAt(QPoint pos, int& col, int& row) const {
    const int rowStep = grid_.DefaultRowHeight() + LineWidth;
    if (pos.y() < 0 || pos.x() < 0) return false;
    row =
        pos.y() < fixedHeight() ? pos.y() / rowStep : firstScrollRow() + (pos.y() - fixedHeight()) / rowStep;
    if (row >= grid_.RowCount()) return false;
    const bool inFixed = pos.x() < fixedWidth();
    for (col = inFixed ? 0 : grid_.FixedCols(); col < (inFixed ? grid_.FixedCols() : grid_.ColCount());
         ++col) {
        QRect r = cellRect(col, row);
        if (pos.x() >= r.left() && pos.x() < r.left() + r.width() + LineWidth) return true;
    }
    return false;
}

void ReportGridWidget::paintEvent(QPaintEvent*) {
    QPainter p(viewport());
    const QPalette& pal = palette();
    p.fillRect(viewport()->rect(), pal.base());
    const int rowStep = grid_.DefaultRowHeight() + LineWidth;
    const int lastRow = std::min(grid_.RowCount() - 1,
                                 firstScrollRow() + (viewport()->height() - fixedHeight()) / rowStep + 1);
    QFont linkFont = font();
    linkFont.setUnderline(true);
    auto paintCell = [&](int col, int row) {
        QRect r = cellRect(col, row);
        if (r.right() < 0 || r.left() > viewport()->width()) return;
        bool fixed = col < grid_.FixedCols() || row < grid_.FixedRows();
        bool highlighted = false;
        if (!fixed) {
            if (grid_.DisjunctRowSelect && !(pressing_ && !pressWithCtrl_))
                highlighted = grid_.RowMarked(row);
            else
                highlighted = grid_.InSelection(col, row);
        }
        QColor fill = fixed         ? pal.color(QPalette::Button)
                      : highlighted ? pal.color(QPalette::Highlight)
                                    : pal.color(QPalette::Base);
        p.fillRect(r.adjusted(0, 0, LineWidth, LineWidth), pal.color(QPalette::Mid));
        p.fillRect(r, fill);
        const std::string& text = grid_.CellText(col, row);
        bool link = grid_.URLShow && TReportGrid::IsLinkText(text);
        p.setFont(link ? linkFont : font());
        p.setPen(highlighted ? pal.color(QPalette::HighlightedText)
                 : link      ? QColor(Qt::black)
                 : fixed     ? pal.color(QPalette::ButtonText)
                             : pal.color(QPalette::Text));
        std::string shown = grid_.DisplayText(col, row);
        shown = shown.substr(0, shown.find('\r'));
        p.drawText(r.adjusted(2, 0, -1, 0), Qt::AlignLeft | Qt::AlignVCenter,
                   QString::fromUtf8(shown.data(), static_cast<qsizetype>(shown.size())));
        if (hasFocus() && mode_ == Selection::Cells && !fixed && row == grid_.Row() && col == grid_.Col()) {
            p.setPen(QPen(pal.color(QPalette::Text), 1, Qt::DotLine));
            p.drawRect(r.adjusted(0, 0, -1, -1));
        }
    };
    // Scrolling cells first, then the fixed rows and columns over them.
    for (int row = firstScrollRow(); row <= lastRow; ++row)
        for (int col = grid_.FixedCols(); col < grid_.ColCount(); ++col)
            paintCell(col, row);
    for (int row = firstScrollRow(); row <= lastRow; ++row)
        for (int col = 0; col < grid_.FixedCols() && col < grid_.ColCount(); ++col)
            paintCell(col, row);
    for (int row = 0; row < grid_.FixedRows() && row < grid_.RowCount(); ++row) {
        for (int col = grid_.FixedCols(); col < grid_.ColCount(); ++col)
            paintCell(col, row);
        for (int col = 0; col < grid_.FixedCols() && col < grid_.ColCount(); ++col)
            paintCell(col, row);
    }
}

ReportGridWidget::Selecting ReportGridWidget::selectingFor(Qt::KeyboardModifiers modifiers) {
    return modifiers & Qt::ShiftModifier ? Selecting::Extending : Selecting::Anew;
}

void ReportGridWidget::moveTo(int col, int row, Selecting selecting) {
    const bool extend = selecting == Selecting::Extending;
    row = std::clamp(row, grid_.FixedRows(), std::max(grid_.FixedRows(), grid_.RowCount() - 1));
    col = std::clamp(col, grid_.FixedCols(), std::max(grid_.FixedCols(), grid_.ColCount() - 1));
    if (grid_.RowCount() <= grid_.FixedRows()) return;
    // The anchor lives in the table, so that a cell that Find or a sort moved to is where a
    // Shift-extension starts.
    const int anchorCol = extend ? grid_.AnchorCol() : col;
    const int anchorRow = extend ? grid_.AnchorRow() : row;
    int oldRow = grid_.Row();
    if (mode_ == Selection::WholeRows)
        grid_.SetSelection({grid_.FixedCols(), anchorRow, grid_.ColCount() - 1, row});
    else
        grid_.SetSelection({anchorCol, anchorRow, col, row});
    grid_.SetCurrent(col, row);
    scrollToRow(row);
    viewport()->update();
    if (row != oldRow && onSelectRow) onSelectRow(row);
}

void ReportGridWidget::scrollToRow(int row) {
    if (row < grid_.FixedRows()) return;
    const int rowStep = grid_.DefaultRowHeight() + LineWidth;
    int visible = std::max(1, (viewport()->height() - fixedHeight()) / rowStep);
    int offset = row - grid_.FixedRows();
    if (offset < verticalScrollBar()->value())
        verticalScrollBar()->setValue(offset);
    else if (offset >= verticalScrollBar()->value() + visible)
        verticalScrollBar()->setValue(offset - visible + 1);
}

void ReportGridWidget::mousePressEvent(QMouseEvent* event) {
    int col = 0, row = 0;
    if (event->button() != Qt::LeftButton || !cellAt(event->position().toPoint(), col, row)) return;
    const std::string& text = grid_.CellText(col, row);
    if (grid_.URLShow && TReportGrid::IsLinkText(text) && openLink) openLink(text);
    // Header cells neither select nor sort.
    if (row < grid_.FixedRows() || col < grid_.FixedCols()) return;
    bool ctrl = event->modifiers() & Qt::ControlModifier;
    grid_.MarkPress(row, ctrl);
    pressing_ = true;
    pressWithCtrl_ = ctrl;
    moveTo(col, row, selectingFor(event->modifiers()));
}

void ReportGridWidget::mouseMoveEvent(QMouseEvent* event) {
    int col = 0, row = 0;
    if (!pressing_ || !(event->buttons() & Qt::LeftButton)) return;
    QPoint pos = event->position().toPoint();
    if (pos.y() >= viewport()->height()) pos.setY(viewport()->height() - 1);
    if (pos.y() < fixedHeight() && verticalScrollBar()->value() > 0)
        verticalScrollBar()->setValue(verticalScrollBar()->value() - 1);
    if (cellAt(pos, col, row) && row >= grid_.FixedRows()) moveTo(col, row, Selecting::Extending);
}

void ReportGridWidget::mouseReleaseEvent(QMouseEvent* event) {
    if (!pressing_) return;
    pressing_ = false;
    int col = 0, row = 0;
    if (cellAt(event->position().toPoint(), col, row)) grid_.MarkRelease(row);
    viewport()->update();
}

void ReportGridWidget::keyPressEvent(QKeyEvent* event) {
    const int rowStep = grid_.DefaultRowHeight() + LineWidth;
    const int page = std::max(1, (viewport()->height() - fixedHeight()) / rowStep);
    int col = grid_.Col();
    int row = grid_.Row();
    switch (event->key()) {
    case Qt::Key_Up:
        --row;
        break;
    case Qt::Key_Down:
        ++row;
        break;
    case Qt::Key_Left:
        --col;
        break;
    case Qt::Key_Right:
        ++col;
        break;
    case Qt::Key_PageUp:
        row -= page;
        break;
    case Qt::Key_PageDown:
        row += page;
        break;
    case Qt::Key_Home:
        row = event->modifiers() & Qt::ControlModifier ? 0 : row;
        col = 0;
        break;
    case Qt::Key_End:
        row = event->modifiers() & Qt::ControlModifier ? grid_.RowCount() - 1 : row;
        col = grid_.ColCount() - 1;
        break;
    default:
        QAbstractScrollArea::keyPressEvent(event);
        return;
    }
    // The keyboard moves the rectangle only; marks stay where the mouse put them.
    moveTo(col, row, selectingFor(event->modifiers()));
}

void ReportGridWidget::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    updateScrollBars();
}

void ReportGridWidget::changeEvent(QEvent* event) {
    if (event->type() == QEvent::FontChange) {
        measure_ = std::make_unique<QtTextMeasure>(font());
        grid_.SetTextMeasure(measure_.get());
    }
    QAbstractScrollArea::changeEvent(event);
}
