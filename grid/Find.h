#pragma once

#include <string>
#include <string_view>

class TReportGrid;

// The options of a search, as the find dialog sets them. The values are flags of one set.
enum FindOption : unsigned {
    MatchCase = 1,
    MatchWholeCell = 2,
    MatchPattern = 4,
    LeftToRight = 8,
    CurrentRowOnly = 16,
    CurrentColumnOnly = 32,
};
using FindOptions = unsigned;

// A cell of the table; (-1, -1) stands for "none".
struct GridCell {
    int Col = -1;
    int Row = -1;
    bool Found() const { return Col >= 0 && Row >= 0; }
    bool operator==(const GridCell&) const = default;
};

// Whether a cell's text passes the test for the find text under the given options.
bool FindCellMatches(std::string_view findText, std::string_view cellText, FindOptions options);

// The pattern language of "Regular expressions": "*" and "?" wildcards, "!" negation,
// ">", ">=", "<", "<=" comparisons and "&" / "^" to join two comparisons. The caller upper-cases
// both texts when the search ignores case. Texts and operands of any length are handled.
bool FindPatternMatches(std::string_view pattern, std::string_view text);

// The find state of one table: the text, the options and the last match, kept between
// "Find First" and the following "Find Next" commands. A window holds one per table it searches.
class TFindState {
public:
    // Stores text and options and returns the first matching cell below and right of the
    // fixed cells, or (-1, -1).
    GridCell FindFirst(const TReportGrid& grid, std::string text, FindOptions options);
    // Goes on from the last match. After a miss the next call starts at column 0, row 0,
    // so the fixed cells are searched too.
    GridCell FindNext(const TReportGrid& grid);

    const std::string& Text() const { return text_; }
    FindOptions Options() const { return options_; }
    GridCell LastMatch() const { return last_; }

private:
    bool matches(const TReportGrid& grid, int col, int row) const;

    std::string text_;
    FindOptions options_ = 0;
    GridCell last_{0, 0};
};
