#include "ui/Pictures.h"

#include <QPainter>
#include <QPainterPath>
#include <cmath>

namespace {

QPixmap canvas(int w, int h) {
    QPixmap pm(w, h);
    pm.fill(Qt::transparent);
    return pm;
}

void roundButton(QPainter& p, const QColor& colour, int size) {
    p.setRenderHint(QPainter::Antialiasing);
    QRadialGradient g(size * 0.35, size * 0.3, size * 0.7);
    g.setColorAt(0, colour.lighter(160));
    g.setColorAt(1, colour);
    p.setBrush(g);
    p.setPen(QPen(colour.darker(150), 1));
    p.drawEllipse(QRectF(1.5, 1.5, size - 3, size - 3));
}

} // namespace

QPixmap Pictures::programIcon(int size) {
    QPixmap pm = canvas(size, size);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const double s = size / 64.0;
    p.setBrush(QColor(0x2b, 0x4c, 0x9c));
    p.setPen(Qt::NoPen);
    p.drawRoundedRect(QRectF(2 * s, 2 * s, 60 * s, 60 * s), 12 * s, 12 * s);
    // A spur of blossoms, one above the other, for the larkspur the program is named after.
    p.setBrush(QColor(0xc9, 0xb8, 0xff));
    for (int i = 0; i < 4; ++i) {
        double r = (9 - i * 1.5) * s;
        p.drawEllipse(QPointF(32 * s + (i % 2 ? 5 : -5) * s, (48 - i * 11) * s), r, r);
    }
    p.setPen(QPen(QColor(0x7c, 0xd9, 0x6b), 3 * s));
    p.drawLine(QPointF(32 * s, 60 * s), QPointF(32 * s, 12 * s));
    return pm;
}

QPixmap Pictures::goButton() {
    QPixmap pm = canvas(33, 33);
    QPainter p(&pm);
    roundButton(p, QColor(0x2e, 0x9d, 0x3a), 33);
    p.setBrush(Qt::white);
    p.setPen(Qt::NoPen);
    p.drawPolygon(QPolygonF({QPointF(12, 9), QPointF(25, 16.5), QPointF(12, 24)}));
    return pm;
}

QPixmap Pictures::pauseButton() {
    QPixmap pm = canvas(33, 33);
    QPainter p(&pm);
    roundButton(p, QColor(0xd9, 0x9a, 0x1e), 33);
    p.setBrush(Qt::white);
    p.setPen(Qt::NoPen);
    p.drawRect(QRectF(11, 9, 4, 15));
    p.drawRect(QRectF(18, 9, 4, 15));
    return pm;
}

QPixmap Pictures::stopButton() {
    QPixmap pm = canvas(33, 33);
    QPainter p(&pm);
    roundButton(p, QColor(0xc0, 0x30, 0x30), 33);
    p.setBrush(Qt::white);
    p.setPen(Qt::NoPen);
    p.drawRect(QRectF(11, 11, 11, 11));
    return pm;
}

QPixmap Pictures::animationFrame(int frame) {
    // A globe with a letter circling it: the site going out to the engines.
    QPixmap pm = canvas(121, 89);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const QPointF centre(60.5, 44.5);
    p.setPen(QPen(QColor(0x1f, 0x4e, 0x8c), 1.5));
    p.setBrush(QColor(0xd6, 0xe8, 0xff));
    p.drawEllipse(centre, 28, 28);
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(centre, 12, 28);
    p.drawLine(QPointF(32.5, 44.5), QPointF(88.5, 44.5));
    p.drawEllipse(centre, 28, 10);
    const double angle = frame * 2 * M_PI / 9;
    QPointF at(centre.x() + 46 * std::cos(angle), centre.y() + 34 * std::sin(angle));
    QRectF letter(at.x() - 9, at.y() - 6, 18, 12);
    p.setPen(QPen(QColor(0x6a, 0x3d, 0x9a), 1.2));
    p.setBrush(QColor(0xff, 0xfb, 0xe6));
    p.drawRect(letter);
    p.drawLine(letter.topLeft(), letter.center());
    p.drawLine(letter.topRight(), letter.center());
    return pm;
}
