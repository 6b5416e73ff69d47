#include "ui/Gauge.h"

#include <QPainter>
#include <algorithm>

Gauge::Gauge(QWidget* parent) : QWidget(parent) {
    setFixedHeight(17);
}

void Gauge::setProgress(int value) {
    value = std::clamp(value, minimum_, maximum_);
    if (value != progress_) {
        progress_ = value;
        update();
    }
}

QString Gauge::percentText() const {
    return QString::asprintf("%d%%", 100 * (progress_ - minimum_) / (maximum_ - minimum_));
}

void Gauge::paintEvent(QPaintEvent*) {
    QPainter p(this);
    QRect inner = rect().adjusted(1, 1, -1, -1);
    p.setPen(Qt::black);
    p.drawRect(rect().adjusted(0, 0, -1, -1));
    p.fillRect(inner, Qt::white);
    const int filled = inner.width() * (progress_ - minimum_) / (maximum_ - minimum_);
    QRect done(inner.left(), inner.top(), filled, inner.height());
    p.fillRect(done, QColor(0, 255, 0));
    // The percentage has to read over both parts. Lime is nearly as light as white, so the
    // white that an inverted drawing puts over the filled part can hardly be seen; black
    // reads over both.
    p.setPen(Qt::black);
    p.drawText(inner, Qt::AlignCenter, percentText());
}
