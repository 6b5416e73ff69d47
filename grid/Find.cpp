#include "grid/Find.h"

#include "grid/ReportGrid.h"
#include "platform/Text.h"

#include <algorithm>
#include <vector>

namespace {

// One comparison of a pattern: ">" or "<", optionally with "=", against an operand.
struct Condition {
    bool present = false;
    // A condition that the pattern does not hold counts as holding.
    bool holds = true;
};

Condition evaluateCondition(std::string_view pattern, char op, std::string_view text) {
    Condition c;
    std::size_t at = pattern.find(op);
    if (at == std::string_view::npos) return c;
    std::size_t i = at + 1;
    bool inclusive = i < pattern.size() && pattern[i] == '=';
    if (inclusive) ++i;
    while (i < pattern.size() && pattern[i] == ' ')
        ++i;
    std::size_t end = i;
    while (end < pattern.size() && pattern[end] != ' ' && pattern[end] != '&' && pattern[end] != '|')
        ++end;
    std::string_view operand = pattern.substr(i, end - i);
    // string_view compares bytes as unsigned values, shorter prefix first.
    int cmp = text.compare(operand);
    c.present = true;
    c.holds = op == '>' ? (cmp > 0 || (inclusive && cmp == 0)) : (cmp < 0 || (inclusive && cmp == 0));
    return c;
}

// The number of bytes of the character at s[at]: a whole UTF-8 sequence when it is well formed,
// else one byte, and never past the end of the text.
std::size_t charLength(std::string_view s, std::size_t at) {
    auto lead = static_cast<unsigned char>(s[at]);
    std::size_t len = lead >= 0xF0 && lead < 0xF8 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    if (len > 1 && lead >= 0xF8) len = 1;
    if (at + len > s.size()) return 1;
    for (std::size_t k = 1; k < len; ++k)
        if ((static_cast<unsigned char>(s[at + k]) & 0xC0) != 0x80) return 1;
    return len;
}

// The wildcard walk, done as a set of reachable text positions per pattern position rather
// than by trying tails recursively: the recursive walk visits the same positions, but can take
// exponential time on patterns with many stars. A "!" sets the negation flag when the walk
// reaches it; a successful walk reaches every "!", a failed one those before its mismatches.
bool wildcardMatches(std::string_view pattern, std::string_view text) {
    const std::size_t n = text.size();
    const std::size_t firstBang = pattern.find('!');
    std::vector<char> cur(n + 1, 0);
    std::vector<char> next(n + 1, 0);
    cur[0] = 1;
    bool bangReached = false;
    bool alive = true;
    for (std::size_t p = 0; p < pattern.size() && alive; ++p) {
        if (p == firstBang) bangReached = true;
        std::fill(next.begin(), next.end(), 0);
        const char c = pattern[p];
        alive = false;
        if (c == '!') {
            next = cur;
            alive = true;
        } else if (c == '*') {
            auto first = std::find(cur.begin(), cur.end(), 1);
            std::fill(next.begin() + (first - cur.begin()), next.end(), 1);
            alive = first != cur.end();
        } else {
            for (std::size_t s = 0; s < n; ++s) {
                if (!cur[s]) continue;
                if (c == '?') {
                    next[s + charLength(text, s)] = 1;
                    alive = true;
                } else if (text[s] == c) {
                    next[s + 1] = 1;
                    alive = true;
                }
            }
        }
        cur.swap(next);
    }
    const bool matched = alive && cur[n];
    const bool negated = matched ? firstBang != std::string_view::npos : bangReached;
    return matched != negated;
}

} // namespace

bool FindPatternMatches(std::string_view pattern, std::string_view text) {
    Condition greater = evaluateCondition(pattern, '>', text);
    Condition less = evaluateCondition(pattern, '<', text);
    if (pattern.find('!') != std::string_view::npos) {
        greater.present = true;
        less.present = true;
    }
    if (pattern.find('^') != std::string_view::npos && (greater.present || less.present))
        return greater.holds || less.holds;
    if (pattern.find('&') != std::string_view::npos && greater.present && less.present)
        return greater.holds && less.holds;
    const bool hasGreater = pattern.find('>') != std::string_view::npos;
    const bool hasLess = pattern.find('<') != std::string_view::npos;
    if ((hasGreater && greater.holds) || (hasLess && less.holds)) return true;
    return wildcardMatches(pattern, text);
}

bool FindCellMatches(std::string_view findText, std::string_view cellText, FindOptions options) {
    const bool matchCase = (options & MatchCase) != 0;
    if (options & MatchPattern) {
        if (matchCase) return FindPatternMatches(findText, cellText);
        return FindPatternMatches(upperAscii(findText), upperAscii(cellText));
    }
    if (findText.empty()) return false;
    const bool contained = matchCase ? cellText.find(findText) != std::string_view::npos
                                     : upperAscii(cellText).find(upperAscii(findText)) != std::string::npos;
    if (!contained) return false;
    // The whole-cell comparison ignores case even when the search does not.
    return !(options & MatchWholeCell) || equalsIgnoringCase(findText, cellText);
}

bool TFindState::matches(const TReportGrid& grid, int col, int row) const {
    return FindCellMatches(text_, grid.CellText(col, row), options_);
}

namespace {

bool hasSearchArea(const TReportGrid& grid) {
    return grid.ColCount() > 0 && grid.ColCount() > grid.FixedCols() && grid.RowCount() > 0 &&
           grid.RowCount() > grid.FixedRows();
}

} // namespace

GridCell TFindState::FindFirst(const TReportGrid& grid, std::string text, FindOptions options) {
    text_ = std::move(text);
    options_ = options;
    last_ = {grid.FixedCols(), grid.FixedRows()};
    if (!hasSearchArea(grid)) return {};
    int firstRow = grid.FixedRows();
    int lastRow = grid.RowCount() - 1;
    int firstCol = grid.FixedCols();
    int lastCol = grid.ColCount() - 1;
    if (options_ & CurrentRowOnly) {
        firstRow = std::max(firstRow, grid.Row());
        lastRow = std::min(lastRow, grid.Row());
    }
    if (options_ & CurrentColumnOnly) {
        firstCol = std::max(firstCol, grid.Col());
        lastCol = std::min(lastCol, grid.Col());
    }
    if (options_ & LeftToRight) {
        for (int r = firstRow; r <= lastRow; ++r)
            for (int c = firstCol; c <= lastCol; ++c)
                if (matches(grid, c, r)) return last_ = {c, r};
    } else {
        for (int c = firstCol; c <= lastCol; ++c)
            for (int r = firstRow; r <= lastRow; ++r)
                if (matches(grid, c, r)) return last_ = {c, r};
    }
    return {};
}

GridCell TFindState::FindNext(const TReportGrid& grid) {
    if (!hasSearchArea(grid)) return {};
    const int lastRow =
        (options_ & CurrentRowOnly) ? std::min(grid.Row(), grid.RowCount() - 1) : grid.RowCount() - 1;
    const int lastCol =
        (options_ & CurrentColumnOnly) ? std::min(grid.Col(), grid.ColCount() - 1) : grid.ColCount() - 1;
    if (options_ & LeftToRight) {
        const int rowStart = std::max(0, (options_ & CurrentColumnOnly) ? grid.Col() : grid.FixedCols());
        int c = std::max(0, last_.Col + 1);
        for (int r = std::max(0, last_.Row); r <= lastRow; ++r, c = rowStart)
            for (; c <= lastCol; ++c)
                if (matches(grid, c, r)) return last_ = {c, r};
    } else {
        const int colStart = std::max(0, (options_ & CurrentRowOnly) ? grid.Row() : grid.FixedRows());
        int r = std::max(0, last_.Row + 1);
        for (int c = std::max(0, last_.Col); c <= lastCol; ++c, r = colStart)
            for (; r <= lastRow; ++r)
                if (matches(grid, c, r)) return last_ = {c, r};
    }
    last_ = {};
    return {};
}
