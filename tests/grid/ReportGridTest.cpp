#include "grid/ReportGrid.h"
#include "grid/CellCompare.h"

#include <gtest/gtest.h>

#include <random>

namespace {

std::vector<std::string> column(const TReportGrid& g, int col) {
    std::vector<std::string> out;
    for (int r = g.FixedRows(); r < g.RowCount(); ++r)
        out.push_back(g.CellText(col, r));
    return out;
}

TReportGrid results() {
    TReportGrid g(2, 2, 1, 1);
    g.SetCellText(0, 0, "Engine");
    g.SetCellText(1, 0, "URLs Submitted");
    return g;
}

void fill(TReportGrid& g, const std::vector<std::pair<std::string, std::string>>& rows) {
    g.SetRowCount(g.FixedRows() + static_cast<int>(rows.size()));
    int r = g.FixedRows();
    for (const auto& [a, b] : rows) {
        g.SetCellText(0, r, a);
        g.SetCellText(1, r++, b);
    }
}

void sortAscending(TReportGrid& g) {
    g.SortColumn = 0;
    g.SortDirection = TSortDirection::sdAscending;
    g.SortRows();
}

} // namespace

TEST(ReportGridSort, TextOrderIsByteOrderAndShorterPrefixFirst) {
    TReportGrid g = results();
    fill(g, {{"AltaVista", "s"}, {"about", "s"}, {"Alexa (method 2)", "s"}, {"Zebra", "s"}, {"Alexa", "s"}});
    sortAscending(g);
    EXPECT_EQ(column(g, 0),
              (std::vector<std::string>{"Alexa", "Alexa (method 2)", "AltaVista", "Zebra", "about"}));
    EXPECT_EQ(g.CellText(0, 0), "Engine"); // the header stays on top
}

TEST(ReportGridSort, NumbersCompareByValueAndTiesUseTheNextColumn) {
    TReportGrid g = results();
    fill(g, {{"10", "a"}, {"9", "b"}, {"Same", "z"}, {"Same", "c"}, {" -2.5e1", "d"}});
    sortAscending(g);
    EXPECT_EQ(column(g, 0), (std::vector<std::string>{" -2.5e1", "9", "10", "Same", "Same"}));
    EXPECT_EQ(column(g, 1), (std::vector<std::string>{"d", "b", "a", "c", "z"}));
    g.SortDirection = TSortDirection::sdDescending;
    g.SortRows();
    EXPECT_EQ(column(g, 1), (std::vector<std::string>{"z", "c", "a", "b", "d"}));
}

TEST(ReportGridSort, CellClassesFollowTheFirstCell) {
    EXPECT_EQ(classifyCell("12"), CellClass::Number);
    EXPECT_EQ(classifyCell("  +1.5E-3"), CellClass::Number);
    EXPECT_EQ(classifyCell("."), CellClass::Number); // no digit at all still classifies
    EXPECT_EQ(classifyCell("1.2.3"), CellClass::Text);
    EXPECT_EQ(classifyCell("1e"), CellClass::Text);
    EXPECT_EQ(classifyCell("-"), CellClass::Text);
    EXPECT_EQ(classifyCell(""), CellClass::Text);
    EXPECT_EQ(classifyCell("1/2/2000"), CellClass::DateTime);
    // A number against a text that does not convert compares equal; empty counts as 0.
    EXPECT_EQ(compareCellTexts("5", "abc", true), 0);
    EXPECT_EQ(compareCellTexts("5", "", true), 1);
    EXPECT_EQ(compareCellTexts("abc", "5", true), 1);
    EXPECT_EQ(compareCellTexts("10", "9", false), -1);
    // Only decimal numbers convert: words a number reader may know are texts that do not.
    for (const char* word : {"inf", "-Infinity", "nan", "0x10", " 1 1"})
        EXPECT_EQ(compareCellTexts("5", word, true), 0) << word;
    EXPECT_EQ(compareCellTexts("5", " +.5e1 ", true), 0);
    EXPECT_EQ(compareCellTexts("5", "-7", true), 1);
}

TEST(ReportGridSort, AddingRowsOneByOneEndsLikeAFullSort) {
    std::mt19937 rng(7);
    const char* names[] = {"Alexa", "Alexa (method 2)", "Lycos", "lycos", "Google", "G", "Zebra", "", "Ab"};
    TReportGrid live = results();
    live.SetRowCount(2);
    for (int i = 1; i <= 300; ++i) {
        int row = i;
        live.SetCellText(0, row, names[rng() % 9]);
        live.SetCellText(1, row, names[rng() % 9]);
        sortAscending(live);
        // A fresh table with the same rows, sorted in one go.
        TReportGrid full = results();
        full.SetRowCount(live.RowCount());
        for (int r = 1; r < live.RowCount(); ++r)
            for (int c = 0; c < 2; ++c)
                full.SetCellText(c, r, live.CellText(c, r));
        sortAscending(full);
        ASSERT_EQ(column(full, 0), column(live, 0)) << "after row " << i;
        ASSERT_EQ(column(full, 1), column(live, 1)) << "after row " << i;
        live.SetRowCount(live.RowCount() + 1);
    }
}

// A row is found by its identity wherever sorts put it; removing it leaves the others where a
// sort puts them, also when rows not yet sorted stand below, and the current row on its content.
TEST(ReportGridSort, ARowFoundByItsIdentityIsRemovedAndTheRestStaysInOrder) {
    TReportGrid g = results();
    fill(g, {{"d", ""}, {"b", ""}, {"e", ""}, {"a", ""}});
    const TReportGrid::RowId b = g.RowIdentity(2);
    sortAscending(g);
    ASSERT_EQ(g.FindRow(b), 2);
    fill(g, {{"a", ""}, {"b", ""}, {"d", ""}, {"e", ""}, {"c", ""}, {"f", ""}});
    g.SetCurrent(0, 4); // "e"
    g.DeleteRow(g.FindRow(b));
    EXPECT_EQ(g.FindRow(b), -1);
    EXPECT_EQ(g.CellText(0, g.Row()), "e");
    sortAscending(g);
    EXPECT_EQ(column(g, 0), (std::vector<std::string>{"a", "c", "d", "e", "f"}));
    EXPECT_EQ(g.CellText(0, g.Row()), "e");
    // An identity is never given again, so a removed row is not found in a row added later.
    g.SetRowCount(g.RowCount() + 1);
    EXPECT_EQ(g.FindRow(b), -1);
    EXPECT_EQ(g.RowIdentity(g.RowCount()), 0u);
}

TEST(ReportGridSort, CurrentRowFollowsItsContent) {
    TReportGrid g = results();
    fill(g, {{"c", ""}, {"b", ""}, {"a", ""}});
    g.SetCurrent(0, 1); // "c"
    sortAscending(g);
    EXPECT_EQ(g.CellText(0, g.Row()), "c");
}

TEST(ReportGridFit, ColumnsAreFivePixelsWiderThanTheirWidestFirstLine) {
    FixedWidthMeasure measure(10);
    TReportGrid g = results();
    g.SetTextMeasure(&measure);
    fill(g, {{"0123456789", "ab\rcdefghijklmnop"}, {"x", "é"}});
    g.FitColumns(true, 1);
    EXPECT_EQ(g.ColWidth(0), 105);         // "0123456789" is 100 pixels
    EXPECT_EQ(g.ColWidth(1), 4 + 140 + 1); // "URLs Submitted" beats "ab"
    g.SetCellText(0, 1, "short");
    g.SetRowCount(2);
    g.SetCellText(0, 1, "");
    g.FitColumns(true, 0);
    EXPECT_EQ(g.ColWidth(0), 4 + 60); // "Engine" is all that is left
    g.SetColWidth(0, 11);
    g.FitColumns(false, 1);
    EXPECT_EQ(g.ColWidth(0), 11); // fixed columns stay when excluded
}

TEST(ReportGridMarks, CtrlClicksMarkRowsApartWhileTheRectangleHoldsOne) {
    TReportGrid list(1, 5, 0, 1);
    list.DisjunctRowSelect = true;
    auto click = [&](int row, bool ctrl) {
        list.MarkPress(row, ctrl);
        list.SetSelection({0, row, 0, row});
        list.MarkRelease(row);
    };
    click(1, false);
    click(3, true);
    EXPECT_TRUE(list.RowMarked(1));
    EXPECT_TRUE(list.RowMarked(3));
    EXPECT_TRUE(list.InSelection(0, 3));
    EXPECT_FALSE(list.InSelection(0, 1));
    click(3, true); // a Ctrl-click on a marked row takes its mark away
    EXPECT_FALSE(list.RowMarked(3));
    EXPECT_TRUE(list.InSelection(0, 3));
    click(2, false);
    EXPECT_FALSE(list.RowMarked(1));
    EXPECT_TRUE(list.RowMarked(2));
    // A range marks every row of the rectangle.
    list.MarkPress(1, false);
    list.SetSelection({0, 1, 0, 4});
    list.MarkRelease(4);
    for (int r = 1; r <= 4; ++r)
        EXPECT_TRUE(list.RowMarked(r));
    EXPECT_THROW(list.RowMarked(5), EReportGridError);
    try {
        list.SetRowMarked(-1, true);
    } catch (const EReportGridError& e) {
        EXPECT_STREQ(e.what(), "Invalid row accessed");
    }
}

TEST(ReportGridMarks, MarksMoveWithTheirRowsWhenSorted) {
    TReportGrid list(1, 4, 0, 1);
    list.DisjunctRowSelect = true;
    list.SetCellText(0, 1, "c");
    list.SetCellText(0, 2, "b");
    list.SetCellText(0, 3, "a");
    list.SetRowMarked(1, true);
    sortAscending(list);
    EXPECT_TRUE(list.RowMarked(3));
    EXPECT_FALSE(list.RowMarked(1));
}

TEST(ReportGridLinks, LinkCellsShowTheirTextWithoutTheScheme) {
    TReportGrid g = results();
    g.SetCellText(1, 1, "http://www.example.com/Larkspan/Default.htm");
    g.SetCellText(0, 1, "mailto:jane@example.com");
    EXPECT_EQ(g.DisplayText(1, 1), "www.example.com/Larkspan/Default.htm");
    EXPECT_EQ(g.DisplayText(0, 1), "jane@example.com");
    g.URLFull = true;
    EXPECT_EQ(g.DisplayText(1, 1), "http://www.example.com/Larkspan/Default.htm");
    EXPECT_FALSE(TReportGrid::IsLinkText("Alexa"));
}

TEST(ReportGridRepaint, SortRepaintsOnce) {
    TReportGrid g = results();
    fill(g, {{"b", ""}, {"a", ""}, {"c", ""}});
    int repaints = 0;
    g.SetRepaintHandler([&] { ++repaints; });
    sortAscending(g);
    EXPECT_EQ(repaints, 1);
}

TEST(ReportGridSort, TheSelectionGoesWhereTheCurrentRowGoes) {
    TReportGrid g = results();
    fill(g, {{"c", "1"}, {"b", "2"}, {"a", "3"}});
    g.SetSelection({1, 1, 1, 1});
    g.SetCurrent(1, 1); // "c"
    sortAscending(g);
    EXPECT_EQ(g.Row(), 3);
    EXPECT_TRUE(g.InSelection(1, 3));
    EXPECT_FALSE(g.InSelection(1, 1));
    EXPECT_EQ(g.AnchorRow(), 3); // a Shift-extension starts from there too
    // Rows added one by one, the current one identical to a row already in place.
    std::mt19937 rng(3);
    for (int round = 0; round < 200; ++round) {
        TReportGrid live = results();
        const int sorted = 2 + static_cast<int>(rng() % 6);
        live.SetRowCount(1 + sorted);
        for (int r = 1; r <= sorted; ++r)
            live.SetCellText(0, r, std::string(1, static_cast<char>('a' + rng() % 3)));
        sortAscending(live);
        const int added = 1 + static_cast<int>(rng() % 3);
        live.SetRowCount(1 + sorted + added);
        for (int r = sorted + 1; r <= sorted + added; ++r)
            live.SetCellText(0, r, std::string(1, static_cast<char>('a' + rng() % 3)));
        const int current = 1 + static_cast<int>(rng() % (sorted + added));
        TReportGrid full = results();
        full.SetRowCount(live.RowCount());
        for (int r = 1; r < live.RowCount(); ++r)
            full.SetCellText(0, r, live.CellText(0, r));
        for (TReportGrid* g2 : {&live, &full}) {
            g2->SetCurrent(1, current);
            g2->SetSelection({1, current, 1, current});
            sortAscending(*g2);
        }
        ASSERT_EQ(live.Row(), full.Row()) << "round " << round;
        ASSERT_TRUE(live.InSelection(1, live.Row()));
    }
}

TEST(CellTable, NoticesComeInMatchedPairsAndTheCurrentRowFollowsMoves) {
    struct Recorder : CellTableListener {
        std::vector<std::string> heard;
        GridSelection selection{0, 2};
        void note(const char* what, int a, int b) {
            heard.push_back(what + std::to_string(a) + "," + std::to_string(b));
        }
        void cellsAboutToChange(const CellRange& r) override { note("about ", r.FirstCol, r.FirstRow); }
        void cellsChanged(const CellRange& r) override { note("changed ", r.LastCol, r.LastRow); }
        void rowsInserted(int first, int last) override { note("inserted ", first, last); }
        void rowsAboutToBeRemoved(int first, int last) override { note("removing ", first, last); }
        void rowsRemoved(int first, int last) override { note("removed ", first, last); }
        void columnsAboutToBeRemoved(int first, int last) override { note("dropping ", first, last); }
        void columnCountChanged(int count) override { note("columns ", count, count); }
        void rowsExchanged(int a, int b) override { selection.rowsExchanged(a, b); }
        void rowMoved(int from, int to) override { selection.rowMoved(from, to); }
    } recorder;
    CellTable store(2, 1);
    store.setListener(&recorder);
    store.setRowCount(5);
    EXPECT_TRUE(store.setText(1, 3, "x"));
    EXPECT_FALSE(store.setText(1, 3, "x")); // no change, no notice
    EXPECT_FALSE(store.setText(2, 0, "outside"));
    store.setRowCount(2);
    store.setColCount(1);
    EXPECT_EQ(recorder.heard,
              (std::vector<std::string>{"inserted 1,4", "about 1,3", "changed 1,3", "removing 2,4",
                                        "removed 2,4", "dropping 1,1", "columns 1,1"}));
    store.setRowCount(6);
    store.moveRow(4, 1); // the current row 2 moves down by one
    EXPECT_EQ(recorder.selection.row(), 3);
    store.moveRow(3, 5); // the current row itself
    EXPECT_EQ(recorder.selection.row(), 5);
    store.moveRow(0, 5); // a row from above passes it
    EXPECT_EQ(recorder.selection.row(), 4);
    store.exchangeRows(4, 0);
    EXPECT_EQ(recorder.selection.row(), 0);
}
