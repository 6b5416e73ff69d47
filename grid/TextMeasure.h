#pragma once

#include <string_view>

// Measures text for column fitting and print layout. The program measures with the
// table's font; tests use a fixed-width fake so that widths are known in advance.
class TextMeasure {
public:
    virtual ~TextMeasure() = default;
    // Width in pixels of one line of UTF-8 text drawn in the regular style.
    virtual int textWidth(std::string_view text) const = 0;
};

// Every character is the same number of pixels wide; no display needed.
class FixedWidthMeasure : public TextMeasure {
public:
    explicit FixedWidthMeasure(int pixelsPerChar = 7) : pixelsPerChar_(pixelsPerChar) {}
    int textWidth(std::string_view text) const override;

private:
    int pixelsPerChar_;
};
