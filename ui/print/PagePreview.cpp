#include "ui/print/PagePreview.h"

#include "grid/PrintLayout.h"
#include "ui/FindDialogs.h"
#include "ui/print/PainterSurface.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

#include <functional>

namespace {

// The page area: every repaint lays the table out on a page of the area's size.
class PreviewArea : public QWidget {
public:
    PreviewArea(const TReportGrid& grid, TGridPrint& print, std::function<void()> painted, QWidget* parent)
        : QWidget(parent), grid_(grid), print_(print), painted_(std::move(painted)) {
        setObjectName("PageArea");
        setAttribute(Qt::WA_OpaquePaintEvent);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.fillRect(rect(), Qt::white);
        painter.setRenderHint(QPainter::TextAntialiasing);
        PainterSurface::MapToTenthMillimetres(painter);
        PrintPage page = PainterSurface::PageOf(*this);
        page.ScreenDpi = logicalDpiX();
        PainterSurface surface(&painter);
        print_.PreviewPaint(grid_, surface, page);
        // The page count follows the area's size; when it shrank below the page shown, the
        // paint went to the last page, and the label has to say so.
        painted_();
    }

private:
    const TReportGrid& grid_;
    TGridPrint& print_;
    std::function<void()> painted_;
};

} // namespace

TPagePreview::TPagePreview(const TReportGrid& grid, TGridPrint& print, QWidget* parent)
    : QDialog(parent), print_(print) {
    setObjectName("PagePreview");
    setWindowTitle("Print preview");
    setModal(true);
    resize(674, 584);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    setPalette(pal);
    setAutoFillBackground(true);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    auto* bar = new QWidget(this);
    auto* barLayout = new QHBoxLayout(bar);
    barLayout->setContentsMargins(4, 4, 4, 4);
    PrevButton = new QPushButton("Prev", bar);
    PrevButton->setObjectName("PrevButton");
    NextButton = new QPushButton("Next", bar);
    NextButton->setObjectName("NextButton");
    PageLabel = new QLabel("Page : 1", bar);
    PageLabel->setObjectName("PageLabel");
    barLayout->addWidget(PrevButton);
    barLayout->addWidget(NextButton);
    barLayout->addWidget(PageLabel);
    barLayout->addStretch();
    layout->addWidget(bar);
    PageArea = new PreviewArea(
        grid, print, [this] { showPageNumber(); }, this);
    layout->addWidget(PageArea, 1);

    connect(PrevButton, &QPushButton::clicked, this, &TPagePreview::PrevClick);
    connect(NextButton, &QPushButton::clicked, this, &TPagePreview::NextClick);
    CentreOnScreen(this);
}

void TPagePreview::showPageNumber() {
    const QString text = QString("Page : %1").arg(print_.FromPage);
    if (PageLabel->text() != text) PageLabel->setText(text);
}

void TPagePreview::PrevClick() {
    if (!print_.PreviewPrev()) return;
    PageArea->update();
    showPageNumber();
}

void TPagePreview::NextClick() {
    if (!print_.PreviewNext()) return;
    showPageNumber();
    PageArea->update();
}
