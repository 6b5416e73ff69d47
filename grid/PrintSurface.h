#pragma once

#include "grid/PrintSettings.h"

#include <string_view>

// A rectangle in 0.1 mm; Right and Bottom lie just outside it.
struct PrintRect {
    int Left = 0;
    int Top = 0;
    int Right = 0;
    int Bottom = 0;
    bool operator==(const PrintRect&) const = default;
};

// What the print layout draws on: a printer page, the preview's page area or a recorder in
// tests. Every length is in 0.1 mm, with y growing downwards from the top of the page.
class PrintSurface {
public:
    virtual ~PrintSurface() = default;
    // Selects a font whose characters are charHeight high.
    virtual void SetFont(const PrintFont& font, int charHeight) = 0;
    virtual int TextWidth(std::string_view text) = 0;
    virtual int TextHeight(std::string_view text) = 0;
    // Called before anything of a page is drawn; pages that are not drawn are not started.
    virtual void StartPage(int pageNumber) = 0;
    // Text with its top-left corner at (x, y), leaving the background as it is.
    virtual void TextOut(int x, int y, std::string_view text) = 0;
    // Fills the rectangle white and draws the text at (x, y), clipped to the rectangle.
    virtual void TextRect(const PrintRect& rect, int x, int y, std::string_view text) = 0;
    // Lines are black; width in 0.1 mm.
    virtual void SetPen(int width, TPenStyle style) = 0;
    virtual void Line(int x1, int y1, int x2, int y2) = 0;
};
