#include "ui/ElidedText.h"

#include <QPainter>
#include <QSizeGrip>
#include <QStyle>

#include <algorithm>

QString ElidedLabel::shownText() const {
    return fontMetrics().elidedText(text(), Qt::ElideRight, contentsRect().width());
}

QSize ElidedLabel::minimumSizeHint() const {
    // Any width will do: the text is cut with "..." rather than widening the window.
    return {0, QLabel::minimumSizeHint().height()};
}

void ElidedLabel::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setPen(palette().color(foregroundRole()));
    p.drawText(contentsRect(), int(alignment()) | Qt::TextSingleLine, shownText());
    updateToolTip();
}

void ElidedLabel::resizeEvent(QResizeEvent* event) {
    QLabel::resizeEvent(event);
    updateToolTip();
}

void ElidedLabel::updateToolTip() {
    const QString shown = shownText();
    setToolTip(shown == text() ? QString() : text());
}

QRect ElidingStatusBar::messageRect() const {
    // Where the bar's own drawing puts its message: inside a small margin, left of the grip.
    QRect r = rect().adjusted(6, 0, -6, 0);
    // The grip is placed by the bar's layout; until then it tells nothing of the room left.
    if (isSizeGripEnabled())
        if (auto* grip = findChild<QSizeGrip*>(); grip && grip->isVisible() && grip->x() > r.left())
            r.setRight(std::min(r.right(), grip->x() - 2));
    return r;
}

QString ElidingStatusBar::shownMessage() const {
    return fontMetrics().elidedText(currentMessage(), Qt::ElideRight, messageRect().width());
}

void ElidingStatusBar::paintEvent(QPaintEvent* event) {
    const QString message = currentMessage();
    if (message.isEmpty()) {
        QStatusBar::paintEvent(event);
        return;
    }
    QPainter p(this);
    p.setPen(palette().windowText().color());
    p.drawText(messageRect(), Qt::AlignLeading | Qt::AlignVCenter | Qt::TextSingleLine, shownMessage());
}
