#pragma once

#include <QWidget>

// A horizontal progress bar with a single border, a white background and a lime filled part.
// Values outside the range are held at the nearer end; the middle shows "%d%%" in a colour
// that stays readable over the filled and the empty part.
class Gauge : public QWidget {
    Q_OBJECT
public:
    explicit Gauge(QWidget* parent = nullptr);
    int progress() const { return progress_; }
    void setProgress(int value);
    QString percentText() const;
    QSize sizeHint() const override { return {409, 17}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int minimum_ = 0;
    int maximum_ = 100;
    int progress_ = 0;
};
