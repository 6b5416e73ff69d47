#include "ui/print/PainterSurface.h"

#include <QGuiApplication>
#include <QPaintDevice>
#include <QPainter>
#include <QScreen>

#include <cmath>

PainterSurface::PainterSurface(QPainter* painter, std::function<void()> newPage)
    : painter_(painter), newPage_(std::move(newPage)) {}

void PainterSurface::MapToTenthMillimetres(QPainter& painter) {
    QPaintDevice* device = painter.device();
    painter.scale(device->logicalDpiX() / 254.0, device->logicalDpiY() / 254.0);
}

PrintPage PainterSurface::PageOf(const QPaintDevice& device) {
    PrintPage page;
    page.Width = static_cast<int>(RoundDiv(device.width(), 254, std::max(1, device.logicalDpiX())));
    page.Height = static_cast<int>(RoundDiv(device.height(), 254, std::max(1, device.logicalDpiY())));
    if (QScreen* screen = QGuiApplication::primaryScreen())
        page.ScreenDpi = static_cast<int>(std::lround(screen->logicalDotsPerInchX()));
    return page;
}

QFont PainterSurface::ToQFont(const PrintFont& font, int charHeight) {
    QFont f(QString::fromStdString(font.Name));
    f.setStyleHint(QFont::SansSerif);
    // The character height is the em size; hinting would make measures differ between the
    // counting pass, the preview's screen and the printer.
    f.setPixelSize(std::max(1, charHeight));
    f.setHintingPreference(QFont::PreferNoHinting);
    f.setBold(font.Bold);
    f.setItalic(font.Italic);
    f.setUnderline(font.Underline);
    f.setStrikeOut(font.StrikeOut);
    return f;
}

PrintFont PainterSurface::FromQFont(const QFont& font) {
    PrintFont f;
    f.Name = font.family().toStdString();
    if (font.pointSize() > 0)
        f.Size = font.pointSize();
    else if (font.pixelSize() > 0)
        f.Size = std::max(1, static_cast<int>(std::lround(font.pixelSize() * 72.0 / 96.0)));
    f.Bold = font.bold();
    f.Italic = font.italic();
    f.Underline = font.underline();
    f.StrikeOut = font.strikeOut();
    return f;
}

void PainterSurface::SetFont(const PrintFont& font, int charHeight) {
    font_ = ToQFont(font, charHeight);
    textColor_ = QColor::fromRgb(font.Color);
    metrics_.emplace(font_);
    if (painter_) painter_->setFont(font_);
}

int PainterSurface::TextWidth(std::string_view text) {
    if (!metrics_ || text.empty()) return 0;
    return static_cast<int>(std::ceil(
        metrics_->horizontalAdvance(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())))));
}

int PainterSurface::TextHeight(std::string_view) {
    return metrics_ ? static_cast<int>(std::ceil(metrics_->height())) : 0;
}

void PainterSurface::StartPage(int) {
    if (pageStarted_ && newPage_) newPage_();
    pageStarted_ = true;
}

void PainterSurface::drawText(int x, int y, std::string_view text) {
    if (text.empty()) return;
    painter_->setPen(textColor_);
    painter_->drawText(QPointF(x, y + (metrics_ ? metrics_->ascent() : 0)),
                       QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
}

void PainterSurface::TextOut(int x, int y, std::string_view text) {
    if (painter_) drawText(x, y, text);
}

void PainterSurface::TextRect(const PrintRect& rect, int x, int y, std::string_view text) {
    if (!painter_) return;
    const QRect r(rect.Left, rect.Top, rect.Right - rect.Left, rect.Bottom - rect.Top);
    painter_->fillRect(r, Qt::white);
    painter_->save();
    painter_->setClipRect(r, Qt::IntersectClip);
    drawText(x, y, text);
    painter_->restore();
}

void PainterSurface::SetPen(int width, TPenStyle style) {
    Qt::PenStyle s = Qt::SolidLine;
    switch (style) {
    case TPenStyle::psSolid:
        s = Qt::SolidLine;
        break;
    case TPenStyle::psDash:
        s = Qt::DashLine;
        break;
    case TPenStyle::psDot:
        s = Qt::DotLine;
        break;
    case TPenStyle::psDashDot:
        s = Qt::DashDotLine;
        break;
    case TPenStyle::psDashDotDot:
        s = Qt::DashDotDotLine;
        break;
    }
    pen_ = QPen(QBrush(Qt::black), width, s, Qt::FlatCap);
}

void PainterSurface::Line(int x1, int y1, int x2, int y2) {
    if (!painter_) return;
    painter_->setPen(pen_);
    painter_->drawLine(QPointF(x1, y1), QPointF(x2, y2));
}
