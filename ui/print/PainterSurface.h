#pragma once

#include "grid/PrintLayout.h"
#include "grid/PrintSurface.h"

#include <QFont>
#include <QFontMetricsF>
#include <QPen>

#include <functional>
#include <optional>

class QPainter;
class QPaintDevice;

// The print surface on a QPainter: a printer, a PDF file or the preview's page area. The
// painter is mapped so that one unit is 0.1 mm; without a painter the surface only measures,
// which is all the counting passes need.
class PainterSurface : public PrintSurface {
public:
    explicit PainterSurface(QPainter* painter, std::function<void()> newPage = {});

    // Scales the painter from the device's pixels to 0.1 mm.
    static void MapToTenthMillimetres(QPainter& painter);
    // The printable area of a device in 0.1 mm, and the screen's resolution for column widths.
    static PrintPage PageOf(const QPaintDevice& device);
    static QFont ToQFont(const PrintFont& font, int charHeight);
    static PrintFont FromQFont(const QFont& font);

    void SetFont(const PrintFont& font, int charHeight) override;
    int TextWidth(std::string_view text) override;
    int TextHeight(std::string_view text) override;
    void StartPage(int pageNumber) override;
    void TextOut(int x, int y, std::string_view text) override;
    void TextRect(const PrintRect& rect, int x, int y, std::string_view text) override;
    void SetPen(int width, TPenStyle style) override;
    void Line(int x1, int y1, int x2, int y2) override;

private:
    void drawText(int x, int y, std::string_view text);

    QPainter* painter_;
    std::function<void()> newPage_;
    bool pageStarted_ = false;
    QFont font_;
    QColor textColor_ = Qt::black;
    std::optional<QFontMetricsF> metrics_;
    QPen pen_{Qt::black};
};
