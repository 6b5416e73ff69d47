#pragma once

#include "grid/TextMeasure.h"

#include <QFont>
#include <QFontMetrics>

// Measures text with a widget's font, for column fitting on screen.
class QtTextMeasure : public TextMeasure {
public:
    explicit QtTextMeasure(const QFont& font) : metrics_(font) {}
    int textWidth(std::string_view text) const override {
        return metrics_.horizontalAdvance(
            QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
    }

private:
    QFontMetrics metrics_;
};
