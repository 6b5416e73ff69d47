#include "grid/Find.h"
#include "grid/ReportGrid.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// The results table as a run leaves it: header, engine rows, the empty row and the footer.
TReportGrid resultsTable(const std::vector<std::pair<std::string, std::string>>& rows) {
    TReportGrid g(2, 1, 1, 1);
    g.SetCellText(0, 0, "Engine");
    g.SetCellText(1, 0, "URLs Submitted");
    g.SetRowCount(1 + static_cast<int>(rows.size()));
    int r = 1;
    for (const auto& [engine, site] : rows) {
        g.SetCellText(0, r, engine);
        g.SetCellText(1, r++, site);
    }
    return g;
}

// A plain table of rows x cols with one fixed row and column, filled from a text per cell.
TReportGrid table(const std::vector<std::vector<std::string>>& cells) {
    TReportGrid g(static_cast<int>(cells.front().size()), static_cast<int>(cells.size()), 1, 1);
    for (int r = 0; r < g.RowCount(); ++r)
        for (int c = 0; c < g.ColCount(); ++c)
            g.SetCellText(c, r, cells[static_cast<std::size_t>(r)][static_cast<std::size_t>(c)]);
    return g;
}

const GridCell none{-1, -1};

} // namespace

TEST(FindArea, FindFirstSkipsTheHeaderRowAndTheEngineColumn) {
    TReportGrid g =
        resultsTable({{"Engine Room", "Velloway"}, {"Google", "Velloway"}, {"Lycos", "Engine notes"}});
    TFindState find;
    EXPECT_EQ(find.FindFirst(g, "Engine", 0), (GridCell{1, 3}));
    EXPECT_EQ(find.FindFirst(g, "Engine", LeftToRight), (GridCell{1, 3}));
    EXPECT_EQ(find.FindFirst(g, "URLs", 0), none);
    // A miss leaves the start of the area as the last match.
    EXPECT_EQ(find.LastMatch(), (GridCell{1, 1}));
}

TEST(FindArea, AfterTheLastMatchF3WrapsToTheCornerAndFindsTheHeader) {
    TReportGrid g = resultsTable(
        {{"AltaVista", "Velloway"}, {"Engine Room", "Corvane"}, {"Lycos", "Search engine day"}, {"", ""}});
    TFindState find;
    EXPECT_EQ(find.FindFirst(g, "engine", 0), (GridCell{1, 3}));
    EXPECT_EQ(find.FindNext(g), none); // "Text not found"
    EXPECT_EQ(find.LastMatch(), none);
    // The next F3 starts at column 0, row 0: the header cell, then the engine column, then
    // column 1 from its first non-fixed row.
    EXPECT_EQ(find.FindNext(g), (GridCell{0, 0}));
    EXPECT_EQ(find.FindNext(g), (GridCell{0, 2}));
    EXPECT_EQ(find.FindNext(g), (GridCell{1, 3}));
    EXPECT_EQ(find.FindNext(g), none);
}

TEST(FindArea, FindNextBeforeAnyFindFirstAndOnTablesWithoutAnArea) {
    TReportGrid g = resultsTable({{"Google", "Velloway"}});
    TFindState fresh;
    EXPECT_EQ(fresh.LastMatch(), (GridCell{0, 0}));
    EXPECT_EQ(fresh.FindNext(g), none);

    TReportGrid headerOnly(2, 1, 1, 1);
    headerOnly.SetCellText(0, 0, "Engine");
    TFindState find;
    EXPECT_EQ(find.FindFirst(headerOnly, "Engine", 0), none);
    EXPECT_EQ(find.FindNext(headerOnly), none);
    // Nothing changes on a table without an area, not even the last match.
    EXPECT_EQ(find.LastMatch(), (GridCell{1, 1}));
}

TEST(FindDirection, TopDownGoesByColumnAndLeftToRightByRow) {
    TReportGrid g = table({{"", "", ""}, {"", "x", "hit"}, {"", "hit", "x"}});
    TFindState find;
    EXPECT_EQ(find.FindFirst(g, "hit", 0), (GridCell{1, 2}));
    EXPECT_EQ(find.FindNext(g), (GridCell{2, 1}));
    EXPECT_EQ(find.FindFirst(g, "hit", LeftToRight), (GridCell{2, 1}));
    EXPECT_EQ(find.FindNext(g), (GridCell{1, 2}));
    EXPECT_EQ(find.FindNext(g), none);
}

TEST(FindWhere, CurrentRowAndColumnRestrictTheArea) {
    TReportGrid g =
        table({{"", "", "", ""}, {"", "hit", "x", "hit"}, {"", "x", "hit", "hit"}, {"", "hit", "hit", "x"}});
    TFindState find;
    g.SetCurrent(2, 2);
    EXPECT_EQ(find.FindFirst(g, "hit", CurrentColumnOnly), (GridCell{2, 2}));
    EXPECT_EQ(find.FindNext(g), (GridCell{2, 3}));
    EXPECT_EQ(find.FindNext(g), none);
    // "In current row" with "Top - down" walks the row left to right, one cell per column.
    EXPECT_EQ(find.FindFirst(g, "hit", CurrentRowOnly), (GridCell{2, 2}));
    EXPECT_EQ(find.FindNext(g), (GridCell{3, 2}));
    EXPECT_EQ(find.FindNext(g), none);
    // The next start always comes from the last match, the area from the current cell.
    g.SetCurrent(1, 3);
    EXPECT_EQ(find.FindFirst(g, "hit", CurrentRowOnly | LeftToRight), (GridCell{1, 3}));
    EXPECT_EQ(find.FindNext(g), (GridCell{2, 3}));
    g.SetCurrent(1, 1);
    EXPECT_EQ(find.FindNext(g), none); // the current row now ends the search above the match
}

TEST(FindCellTest, ContainmentIgnoresCaseUnlessAsked) {
    EXPECT_TRUE(FindCellMatches("velloway", "The VELLOWAY report", 0));
    EXPECT_FALSE(FindCellMatches("velloway", "The VELLOWAY report", MatchCase));
    EXPECT_TRUE(FindCellMatches("VELLOWAY", "The VELLOWAY report", MatchCase));
    // Only a-z fold: an accented capital is not the same as its small letter.
    EXPECT_FALSE(FindCellMatches("é", "É", 0));
    EXPECT_FALSE(FindCellMatches("", "anything", 0));
    EXPECT_FALSE(FindCellMatches("", "", MatchWholeCell));
}

TEST(FindCellTest, WholeCellComparesWithoutCaseEvenWhenCaseMatters) {
    TReportGrid g = resultsTable({{"A", "abcd"}, {"B", "ABC"}, {"C", "abc"}});
    TFindState find;
    EXPECT_EQ(find.FindFirst(g, "abc", 0), (GridCell{1, 1}));
    EXPECT_EQ(find.FindFirst(g, "abc", MatchWholeCell), (GridCell{1, 2}));
    EXPECT_EQ(find.FindNext(g), (GridCell{1, 3}));
    EXPECT_EQ(find.FindFirst(g, "abc", MatchWholeCell | MatchCase), (GridCell{1, 3}));
    // The byte-exact containment still applies: ABC does not contain abc.
    EXPECT_FALSE(FindCellMatches("abc", "ABC", MatchWholeCell | MatchCase));
}

TEST(FindPattern, StarAndQuestionMark) {
    TReportGrid g = resultsTable({{"A", "xab"}, {"B", "ABacus"}, {"C", "abc"}, {"D", "ab"}});
    TFindState find;
    EXPECT_EQ(find.FindFirst(g, "ab*", MatchPattern), (GridCell{1, 2}));
    EXPECT_EQ(find.FindNext(g), (GridCell{1, 3}));
    EXPECT_EQ(find.FindNext(g), (GridCell{1, 4}));
    EXPECT_EQ(find.FindFirst(g, "ab*", MatchPattern | MatchCase), (GridCell{1, 3}));

    EXPECT_TRUE(FindPatternMatches("A?C", "ABC"));
    EXPECT_FALSE(FindPatternMatches("A?C", "AC"));
    EXPECT_FALSE(FindPatternMatches("A?C", "ABBC"));
    EXPECT_FALSE(FindPatternMatches("?", ""));
    EXPECT_TRUE(FindPatternMatches("CAF?", "CAFé")); // one character, two bytes
    EXPECT_TRUE(FindPatternMatches("*B*D", "ABCBD"));
    EXPECT_TRUE(FindPatternMatches("A**", "A"));
    EXPECT_FALSE(FindPatternMatches("*B", "BA"));
    // Operators outside a comparison are plain characters of the walk.
    EXPECT_TRUE(FindPatternMatches("A=B C", "A=B C"));
}

TEST(FindPattern, EmptyPatternFindsTheFirstEmptyCell) {
    TReportGrid g = resultsTable({{"A", "x"}, {"B", ""}, {"C", "y"}});
    TFindState find;
    EXPECT_EQ(find.FindFirst(g, "", 0), none);
    EXPECT_EQ(find.FindFirst(g, "", MatchPattern), (GridCell{1, 2}));
}

TEST(FindPattern, NegationInvertsTheWalk) {
    TReportGrid g = resultsTable({{"A", "AB"}, {"B", "ab"}, {"C", "abc"}, {"D", "x"}});
    TFindState find;
    EXPECT_EQ(find.FindFirst(g, "!ab", MatchPattern), (GridCell{1, 3}));
    EXPECT_EQ(find.FindNext(g), (GridCell{1, 4}));
    EXPECT_FALSE(FindPatternMatches("!A*", "ABC"));
    EXPECT_TRUE(FindPatternMatches("!A*", "BC"));
    // A walk that fails before it reaches the "!" is a plain miss.
    EXPECT_FALSE(FindPatternMatches("X!AB", "YAB"));
    EXPECT_TRUE(FindPatternMatches("X!AB", "XCD"));
}

TEST(FindPattern, ComparisonsSortByBytes) {
    TReportGrid g = resultsTable({{"A", "Alexa"}, {"B", "M"}, {"C", "Northern Light"}});
    TFindState find;
    EXPECT_EQ(find.FindFirst(g, ">M", MatchPattern), (GridCell{1, 3}));
    EXPECT_EQ(find.FindFirst(g, ">=M", MatchPattern), (GridCell{1, 2}));
    EXPECT_EQ(find.FindFirst(g, "<B", MatchPattern), (GridCell{1, 1}));

    EXPECT_TRUE(FindPatternMatches(">=A & <=F", "A"));
    EXPECT_TRUE(FindPatternMatches(">=A & <=F", "CORVANE"));
    EXPECT_TRUE(FindPatternMatches(">=A & <=F", "F"));
    EXPECT_FALSE(FindPatternMatches(">=A & <=F", "FA"));
    EXPECT_FALSE(FindPatternMatches(">=A & <=F", ""));
    EXPECT_FALSE(FindPatternMatches(">=A & <=F", "Z"));
    // Either of two conditions.
    EXPECT_TRUE(FindPatternMatches(">X ^ <B", "A"));
    EXPECT_TRUE(FindPatternMatches(">X ^ <B", "Y"));
    EXPECT_FALSE(FindPatternMatches(">X ^ <B", "M"));
    // Bytes compare unsigned: a UTF-8 letter sorts after every ASCII letter.
    EXPECT_TRUE(FindPatternMatches(">Z", "É"));

    TReportGrid fa = resultsTable({{"A", "Fa"}, {"B", "Fx"}, {"C", "Eagle"}});
    EXPECT_EQ(find.FindFirst(fa, ">=A & <=F", MatchPattern), (GridCell{1, 3}));
    EXPECT_EQ(find.FindNext(fa), none);
    // With case, "Fa" stays "Fa", which still sorts after "F".
    EXPECT_EQ(find.FindFirst(fa, ">=A & <=F", MatchPattern | MatchCase), (GridCell{1, 3}));
}

TEST(FindPattern, LongTextsAndOperandsAreMatchedInFull) {
    const std::string longText = std::string(1000, 'A') + "Z";
    EXPECT_TRUE(FindPatternMatches("*Z", longText));
    EXPECT_FALSE(FindPatternMatches("*Y", longText));
    EXPECT_TRUE(FindPatternMatches(std::string(1000, '?') + "Z", longText));
    // Operands beyond twenty characters take part in the comparison.
    const std::string operand = std::string(40, 'B') + "C";
    EXPECT_TRUE(FindPatternMatches(">" + operand, std::string(40, 'B') + "D"));
    EXPECT_FALSE(FindPatternMatches(">" + operand, std::string(40, 'B') + "A"));
    // Texts that share their first 255 bytes still compare by what follows.
    const std::string prefix(300, 'Q');
    EXPECT_TRUE(FindPatternMatches("<" + prefix + "B", prefix + "A"));
    // Many stars against a long text that does not match: a recursive walk would try
    // every way of splitting the text among the stars.
    EXPECT_FALSE(FindPatternMatches("*A*A*A*A*A*A*A*A*A*A*B", std::string(3000, 'A')));
}
