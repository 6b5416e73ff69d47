#pragma once

#include "grid/PrintSurface.h"
#include "platform/Text.h"

#include <string>
#include <vector>

// A print surface that writes down what the layout draws. Characters are half as wide as the
// font's character height, and the height of a line is 8/7 of it, so every measure is known.
class RecordingSurface : public PrintSurface {
public:
    enum class Kind { Text, Cell, Line };
    struct Op {
        Kind kind;
        int page;
        int x, y, x2, y2;
        PrintRect rect;
        std::string text;
        int charHeight;
    };

    void SetFont(const PrintFont&, int charHeight) override { charHeight_ = charHeight; }
    int TextWidth(std::string_view text) override {
        return static_cast<int>(utf8Length(text)) * (charHeight_ / 2);
    }
    int TextHeight(std::string_view) override { return charHeight_ * 8 / 7; }
    void StartPage(int pageNumber) override {
        page_ = pageNumber;
        pages.push_back(pageNumber);
    }
    void TextOut(int x, int y, std::string_view text) override {
        ops.push_back({Kind::Text, page_, x, y, 0, 0, {}, std::string(text), charHeight_});
    }
    void TextRect(const PrintRect& rect, int x, int y, std::string_view text) override {
        ops.push_back({Kind::Cell, page_, x, y, 0, 0, rect, std::string(text), charHeight_});
    }
    void SetPen(int width, TPenStyle) override { penWidth = width; }
    void Line(int x1, int y1, int x2, int y2) override {
        ops.push_back({Kind::Line, page_, x1, y1, x2, y2, {}, {}, penWidth});
    }

    std::vector<Op> of(Kind kind, int page = 0) const {
        std::vector<Op> out;
        for (const Op& op : ops)
            if (op.kind == kind && (page == 0 || op.page == page)) out.push_back(op);
        return out;
    }
    const Op* text(int page, const std::string& t) const {
        for (const Op& op : ops)
            if (op.kind == Kind::Text && op.page == page && op.text == t) return &op;
        return nullptr;
    }

    std::vector<int> pages;
    std::vector<Op> ops;
    int penWidth = 0;

private:
    int charHeight_ = 0;
    int page_ = 0;
};
