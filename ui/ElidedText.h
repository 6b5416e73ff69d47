#pragma once

#include <QLabel>
#include <QStatusBar>

// A one-line caption that shows "..." where its text is cut, so a long text never looks
// complete when it is not. text() stays the whole text; the tooltip shows it while it is cut.
class ElidedLabel : public QLabel {
    Q_OBJECT
public:
    using QLabel::QLabel;
    // The text as drawn at the label's present width.
    QString shownText() const;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void updateToolTip();
};

// The status line: its message ends in "..." where it is cut at the window's edge.
class ElidingStatusBar : public QStatusBar {
    Q_OBJECT
public:
    using QStatusBar::QStatusBar;
    // The message as drawn at the bar's present width.
    QString shownMessage() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QRect messageRect() const;
};
