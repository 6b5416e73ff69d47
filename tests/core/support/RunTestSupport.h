#pragma once

#include "core/profiles/SiteProfile.h"
#include "grid/ReportGrid.h"

#include <gtest/gtest.h>

#include <string>

// A profile with every required field filled in, titled as given.
inline SiteProfile completeProfile(const std::string& title,
                                   const std::string& url = "http://www.example.com/") {
    return {"Jane Doe",      "jane@example.com", url,
            title,           "Business",         "Plants and tools.",
            "garden, tools", "English",          "Example Inc",
            "1 Main St",     "Springfield",      "IL",
            "12345-6789",    "United States",    "(555) 123-4567",
            "555-765-4321"};
}

// The two footer rows right after the results, and nothing below them.
inline void expectFooter(const TReportGrid& grid, int resultCount, const std::string& address) {
    ASSERT_EQ(grid.RowCount(), resultCount + 3);
    EXPECT_EQ(grid.CellText(0, resultCount + 1), "More Info:");
    EXPECT_EQ(grid.CellText(1, resultCount + 1), "This report prepared by Larkspan. Latest version from:");
    EXPECT_EQ(grid.CellText(0, resultCount + 2), "");
    EXPECT_EQ(grid.CellText(1, resultCount + 2), address);
}

// The header and result rows are what sorting them from scratch gives, and the columns as wide
// as fitting them from scratch makes them: the reference table gets the rows in reverse, is
// sorted with the full sort, and measures every cell anew.
inline void expectSortedAndFitted(const TReportGrid& grid, int resultCount, const TextMeasure& measure) {
    TReportGrid reference(grid.ColCount(), resultCount + 1, grid.FixedCols(), grid.FixedRows());
    reference.SetTextMeasure(&measure);
    // Row marking is on for the submission list only; here it keeps the sort from taking a
    // shortcut, so the reference is the full sort's result.
    reference.DisjunctRowSelect = true;
    for (int c = 0; c < grid.ColCount(); ++c) {
        reference.SetCellText(c, 0, grid.CellText(c, 0));
        for (int r = 1; r <= resultCount; ++r)
            reference.SetCellText(c, resultCount + 1 - r, grid.CellText(c, r));
    }
    reference.SortColumn = 0;
    reference.SortDirection = TSortDirection::sdAscending;
    reference.SortRows();
    reference.FitColumns(true, 1);
    for (int r = 0; r <= resultCount; ++r)
        for (int c = 0; c < grid.ColCount(); ++c)
            ASSERT_EQ(grid.CellText(c, r), reference.CellText(c, r)) << "row " << r << " column " << c;
    for (int c = 0; c < grid.ColCount(); ++c)
        EXPECT_EQ(grid.ColWidth(c), reference.ColWidth(c)) << "column " << c;
}
