#include "RecordingSurface.h"

#include "grid/PrintLayout.h"
#include "grid/ReportGrid.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

namespace {

using Kind = RecordingSurface::Kind;

// The recording surface's measures for the 8 point fonts: characters 28 high, lines 32,
// so pad 4, "a" 14 wide, and rows 32 + 4 + 2 * 4 = 44 high.
constexpr int kLine = 32;
constexpr int kPad = 4;
constexpr int kRow = 44;
constexpr int kCharWidth = 14;

TReportGrid resultsTable(int dataRows, const std::string& engine = "Google",
                         const std::string& site = "Velloway") {
    TReportGrid g(2, 1 + dataRows, 1, 1);
    g.SetCellText(0, 0, "Engine");
    g.SetCellText(1, 0, "URLs Submitted");
    for (int r = 1; r <= dataRows; ++r) {
        g.SetCellText(0, r, engine);
        g.SetCellText(1, r, site);
    }
    return g;
}

TGridPrint printWith(const PrintOptionsState& options) {
    TGridPrint print;
    SetPrintOptions(options, print.PrintSettings);
    print.Now = [] { return QDateTime(QDate(2024, 3, 5), QTime(9, 7)); };
    return print;
}

PrintOptionsState startStates() {
    return {};
}

int cellsOnPage(const RecordingSurface& s, int page, int cols) {
    return static_cast<int>(s.of(Kind::Cell, page).size()) / cols;
}

} // namespace

TEST(PrintHeaderFooter, ThreePagesWithDateTimeAndPageNumbers) {
    PrintOptionsState options = startStates();
    options.PrintDate = options.PrintTime = options.PrintPageNumbers = true;
    TGridPrint print = printWith(options);
    TReportGrid grid = resultsTable(44);
    RecordingSurface s;
    const PrintPage page{1900, 1000};
    ASSERT_EQ(print.Print(grid, s, page), 3);
    EXPECT_EQ(s.pages, (std::vector<int>{1, 2, 3}));

    // The time with a space after it at the top left, a space and the date at the top right,
    // and the page text between two spaces and one in the bottom centre.
    const auto* time = s.text(2, "09:07 ");
    const auto* date = s.text(2, " 05/03/2024");
    const auto* number = s.text(2, "  2/3 ");
    ASSERT_TRUE(time && date && number);
    EXPECT_EQ(time->x, 0);
    EXPECT_EQ(time->y, 0);
    EXPECT_EQ(date->x, 1900 - 11 * kCharWidth - 20);
    EXPECT_EQ(date->y, 0);
    EXPECT_EQ(number->x, (1900 - 6 * kCharWidth) / 2);
    EXPECT_EQ(number->y, 1000 - (kLine + kPad));
    EXPECT_TRUE(s.text(3, "  3/3 "));
    EXPECT_EQ(s.of(Kind::Text, 2).size(), 3u); // the title is not printed

    // Header: pad, one line and one more for the second title line. Footer: two pads and
    // lines, and one more line for the title. A page takes rows while the next row's text
    // still leaves the footer free.
    const int header = kPad + kLine + kLine;
    const int footer = 2 * (kPad + kLine) + kLine;
    const auto cells = s.of(Kind::Cell, 1);
    EXPECT_EQ(cells.front().rect.Top, header);
    int perPage = 1;
    while (header + perPage * kRow + kLine <= 1000 - footer)
        ++perPage;
    EXPECT_EQ(cellsOnPage(s, 1, 2), perPage);
    EXPECT_EQ(cellsOnPage(s, 3, 2), 45 - 2 * perPage);
    EXPECT_EQ(s.of(Kind::Cell, 2).front().text, "Google");
}

TEST(PrintHeaderFooter, OnePageShowsTheNumberAlone) {
    PrintOptionsState options = startStates();
    options.PrintPageNumbers = true;
    TGridPrint print = printWith(options);
    TReportGrid grid = resultsTable(3);
    RecordingSurface s;
    ASSERT_EQ(print.Print(grid, s, {1900, 2700}), 1);
    const auto texts = s.of(Kind::Text);
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(texts[0].text, "  1 ");
    // Without any top item there is no header area: the table starts at the top.
    EXPECT_EQ(s.of(Kind::Cell).front().rect.Top, 0);
}

TEST(PrintHeaderFooter, SplitTableNumbersPagesWithinEachBlock) {
    PrintOptionsState options = startStates();
    options.PrintPageNumbers = true;
    TGridPrint print = printWith(options);
    TReportGrid grid = resultsTable(14, std::string(30, 'E'), std::string(30, 'S'));
    RecordingSurface s;
    ASSERT_EQ(print.Print(grid, s, {600, 600}), 4);
    EXPECT_EQ(s.text(1, "  1-1 ") != nullptr, true);
    EXPECT_EQ(s.text(2, "  2-1 ") != nullptr, true);
    EXPECT_EQ(s.text(3, "  1-2 ") != nullptr, true);
    EXPECT_EQ(s.text(4, "  2-2 ") != nullptr, true);
    // The first block holds the engine column, the second the site column.
    for (const auto& cell : s.of(Kind::Cell, 2))
        EXPECT_EQ(cell.text, std::string(30, 'E'));
    for (const auto& cell : s.of(Kind::Cell, 3))
        EXPECT_NE(cell.text.find("S"), std::string::npos);
    // Each block is centred on its own.
    const int blockWidth = 30 * kCharWidth + kCharWidth + 20;
    EXPECT_EQ(s.of(Kind::Cell, 3).front().rect.Left, (600 - blockWidth) / 2);
}

TEST(PrintBorders, EachKindDrawsItsLinesOnly) {
    TReportGrid grid = resultsTable(4);
    auto linesFor = [&](PrintOptionsState::BorderLines lines, bool borders) {
        PrintOptionsState options = startStates();
        options.Lines = lines;
        options.PrintBorders = borders;
        TGridPrint print = printWith(options);
        RecordingSurface s;
        print.Print(grid, s, {1900, 2700});
        return s.of(Kind::Line);
    };
    const auto all = linesFor(PrintOptionsState::BorderLines::All, true);
    const auto vert = linesFor(PrintOptionsState::BorderLines::Vertical, true);
    const auto horz = linesFor(PrintOptionsState::BorderLines::Horizontal, true);
    const auto noneAtAll = linesFor(PrintOptionsState::BorderLines::Vertical, false);
    auto horizontals = [](const auto& lines) {
        return std::count_if(lines.begin(), lines.end(),
                             [](const auto& l) { return l.y == l.y2 && l.x != l.x2; });
    };
    auto verticals = [](const auto& lines) {
        return std::count_if(lines.begin(), lines.end(),
                             [](const auto& l) { return l.x == l.x2 && l.y != l.y2; });
    };
    // Five rows: a line at the top of each and one under the last; three column boundaries.
    EXPECT_EQ(horizontals(all), 6);
    EXPECT_EQ(verticals(all), 3);
    EXPECT_EQ(all.size(), 9u);
    EXPECT_EQ(horizontals(vert), 0);
    EXPECT_EQ(verticals(vert), 3);
    EXPECT_EQ(vert.size(), 3u);
    EXPECT_EQ(verticals(horz), 0);
    EXPECT_EQ(horizontals(horz), 6);
    EXPECT_TRUE(noneAtAll.empty());
    for (const auto& l : all)
        EXPECT_EQ(l.charHeight, 2); // the pen width
    // Vertical lines run from the table top to the bottom of the last row.
    EXPECT_EQ(vert.front().y, 0);
    EXPECT_EQ(vert.front().y2, 5 * kRow);
}

TEST(PrintColumns, FitToPageScalesWidthsButNotFonts) {
    PrintOptionsState options = startStates();
    options.FitToPage = true;
    TGridPrint print = printWith(options);
    TReportGrid narrow = resultsTable(2);
    RecordingSurface s;
    ASSERT_EQ(print.Print(narrow, s, {1900, 2700}), 1);
    const auto cells = s.of(Kind::Cell);
    // The two columns with their spacing fill the page; the wider text keeps the wider column.
    EXPECT_EQ(cells[0].rect.Left, 0);
    EXPECT_EQ(cells[1].rect.Right, 1900);
    EXPECT_GT(cells[1].rect.Right - cells[1].rect.Left, 2 * (cells[0].rect.Right - cells[0].rect.Left));
    for (const auto& c : cells)
        EXPECT_EQ(c.charHeight, 28);

    // A table two pages wide is narrowed onto one.
    TReportGrid wide = resultsTable(2, std::string(80, 'E'), std::string(80, 'S'));
    RecordingSurface w;
    ASSERT_EQ(print.Print(wide, w, {1900, 2700}), 1);
    EXPECT_EQ(w.of(Kind::Cell).back().rect.Right, 1900);
    options.FitToPage = false;
    TGridPrint unfitted = printWith(options);
    RecordingSurface u;
    EXPECT_EQ(unfitted.Print(wide, u, {1900, 2700}), 2);
}

TEST(PrintColumns, FitToPageRoundingNeverSplitsTheTable) {
    // Three columns 98 wide scaled to 296: each rounds up to 99, one unit too many in all.
    PrintOptionsState options = startStates();
    options.FitToPage = true;
    options.PrintCentered = false;
    TGridPrint print = printWith(options);
    TReportGrid grid(3, 2, 1, 1);
    for (int c = 0; c < 3; ++c)
        for (int r = 0; r < 2; ++r)
            grid.SetCellText(c, r, "Engine");
    RecordingSurface s;
    EXPECT_EQ(print.Print(grid, s, {296 + 3 * 20, 2700}), 1);
    EXPECT_LE(s.of(Kind::Cell).back().rect.Right, 356);
}

TEST(PrintColumns, ScreenWidthsWithoutAutoSizeAndCentring) {
    PrintOptionsState options = startStates();
    options.AutoSize = false;
    TGridPrint print = printWith(options);
    TReportGrid grid = resultsTable(1);
    grid.SetColWidth(0, 104);
    grid.SetColWidth(1, 311);
    RecordingSurface s;
    print.Print(grid, s, {1900, 2700, 96});
    const auto cells = s.of(Kind::Cell);
    // (104 - 4) pixels at 96 dpi are 264.58 tenths of a millimetre; (311 - 4) are 812.21.
    EXPECT_EQ(cells[0].rect.Right - cells[0].rect.Left, 265 + 20);
    EXPECT_EQ(cells[1].rect.Right - cells[1].rect.Left, 812 + 20);
    EXPECT_EQ(cells[0].rect.Left, (1900 - (265 + 20 + 812 + 20)) / 2);
    // Text starts one "a" into its cell, at the row's top.
    EXPECT_EQ(cells[0].x, cells[0].rect.Left + kCharWidth);
    EXPECT_EQ(cells[0].y, cells[0].rect.Top);
    EXPECT_EQ(cells[0].rect.Bottom - cells[0].rect.Top, kRow);
}

TEST(PrintHeaderFooter, TitleLinesGrowTheAreasWithoutBeingPrinted) {
    TReportGrid grid = resultsTable(60);
    auto firstPage = [&](int titleLines, bool date, bool numbers) {
        PrintOptionsState options = startStates();
        options.TitleLines.assign(static_cast<std::size_t>(titleLines), "Title");
        options.PrintDate = date;
        options.PrintPageNumbers = numbers;
        TGridPrint print = printWith(options);
        RecordingSurface s;
        print.Print(grid, s, {1900, 1000});
        return std::make_pair(s.of(Kind::Cell, 1).front().rect.Top, cellsOnPage(s, 1, 2));
    };
    EXPECT_EQ(firstPage(3, false, false).first, 0);
    EXPECT_EQ(firstPage(1, true, false).first, kPad + kLine);
    EXPECT_EQ(firstPage(3, true, false).first, kPad + 3 * kLine);
    // Each title line beyond the first takes one footer line from the rows of a page.
    EXPECT_EQ(firstPage(1, false, true).second, (1000 - 2 * (kPad + kLine) - kLine) / kRow + 1);
    EXPECT_LT(firstPage(4, false, true).second, firstPage(1, false, true).second);
}

TEST(PrintPreview, HeaderIsFifteenMillimetresTallerAfterAPreview) {
    PrintOptionsState options = startStates();
    options.PrintDate = true;
    TGridPrint print = printWith(options);
    TReportGrid grid = resultsTable(30);
    RecordingSurface before;
    print.Print(grid, before, {1900, 2700});
    RecordingSurface preview;
    print.FromPage = print.ToPage = 1;
    print.PreviewPaint(grid, preview, {1700, 1500});
    EXPECT_EQ(print.PrintSettings.HeaderSize, 150);
    SetPrintOptions(options, print.PrintSettings); // the next print copies the options again
    RecordingSurface after;
    print.Print(grid, after, {1900, 2700});
    EXPECT_EQ(after.of(Kind::Cell).front().rect.Top - before.of(Kind::Cell).front().rect.Top, 150);
    EXPECT_EQ(after.text(1, " 05/03/2024")->y, 150);
}

TEST(PrintPreview, DrawsOnlyThePageInRangeAndStepsWithinTheCount) {
    TGridPrint print = printWith(startStates());
    TReportGrid grid = resultsTable(100);
    RecordingSurface s;
    print.FromPage = print.ToPage = 1;
    EXPECT_FALSE(print.PreviewPrev());
    print.PreviewPaint(grid, s, {1900, 1000});
    // The counting modes draw nothing; the preview counted with its 15 mm header.
    RecordingSurface counting;
    const int pages = print.LayoutPass(grid, counting, LayoutMode::CountForPreview, {1900, 1000}, 0);
    EXPECT_GT(pages, 2);
    EXPECT_TRUE(counting.ops.empty());
    EXPECT_TRUE(counting.pages.empty());
    EXPECT_EQ(print.PageCount, pages);
    EXPECT_EQ(s.pages, (std::vector<int>{1}));
    while (print.PreviewNext()) {
    }
    EXPECT_EQ(print.FromPage, pages);
    RecordingSurface last;
    print.PreviewPaint(grid, last, {1900, 1000});
    EXPECT_EQ(last.pages, (std::vector<int>{pages}));
    EXPECT_EQ(last.of(Kind::Cell).back().text, "Velloway");
    EXPECT_TRUE(print.PreviewPrev());
    EXPECT_EQ(print.ToPage, pages - 1);
}

TEST(PrintRows, RepeatedHeaderRowsStartEveryFollowingPage) {
    TGridPrint print = printWith(startStates());
    print.PrintSettings.RepeatFixedRows = true;
    TReportGrid grid = resultsTable(60);
    RecordingSurface s;
    ASSERT_GE(print.Print(grid, s, {1900, 1000}), 2);
    EXPECT_EQ(s.of(Kind::Cell, 2).front().text, "Engine");
    // All data rows are still printed once.
    int google = 0;
    for (const auto& c : s.of(Kind::Cell))
        google += c.text == "Google";
    EXPECT_EQ(google, 60);
}

TEST(PrintOptions, OptionsPageMapsOntoTheSettings) {
    TPrintsettings s;
    s.HeaderSize = 150;
    PrintOptionsState o = startStates();
    SetPrintOptions(o, s);
    EXPECT_EQ(s.TitleLines, (std::vector<std::string>{"This is a Sample Title", "the Velloway Report"}));
    EXPECT_EQ(s.Borders, TPrintBorders::pbSingle);
    EXPECT_EQ(s.Time, TPrintPosition::ppNone);
    EXPECT_EQ(s.FitToPage, TFitToPage::fpNever);
    EXPECT_TRUE(s.Centered);
    EXPECT_FALSE(s.NoAutoSize);
    EXPECT_EQ(s.HeaderSize, 150); // not the page's to change
    o.PrintBorders = false;
    o.Lines = PrintOptionsState::BorderLines::Vertical;
    o.PrintTime = o.PrintDate = o.PrintPageNumbers = o.FitToPage = true;
    o.AutoSize = o.PrintCentered = false;
    SetPrintOptions(o, s);
    EXPECT_EQ(s.Borders, TPrintBorders::pbNoborder);
    EXPECT_EQ(s.Time, TPrintPosition::ppTopLeft);
    EXPECT_EQ(s.Date, TPrintPosition::ppTopRight);
    EXPECT_EQ(s.PageNr, TPrintPosition::ppBottomCenter);
    EXPECT_EQ(s.Title, TPrintPosition::ppNone);
    EXPECT_EQ(s.FitToPage, TFitToPage::fpAlways);
    EXPECT_TRUE(s.NoAutoSize);
    EXPECT_FALSE(s.Centered);
    o.PrintBorders = true;
    SetPrintOptions(o, s);
    EXPECT_EQ(s.Borders, TPrintBorders::pbVertical);
}

TEST(PrintUnits, RoundingAndDateFormats) {
    EXPECT_EQ(RoundDiv(8, 254, 72), 28);
    EXPECT_EQ(RoundDiv(5, 1, 2), 2); // 2.5 goes to the even 2
    EXPECT_EQ(RoundDiv(7, 1, 2), 4); // 3.5 goes to the even 4
    EXPECT_EQ(RoundDiv(-5, 1, 2), -2);
    const QDateTime t(QDate(2024, 3, 5), QTime(9, 7, 4));
    EXPECT_EQ(FormatDateTimeText("dd/mm/yyyy", t), "05/03/2024");
    EXPECT_EQ(FormatDateTimeText("hh:nn", t), "09:07");
    EXPECT_EQ(FormatDateTimeText("hh:mm:ss", t), "09:07:04");
    EXPECT_EQ(FormatDateTimeText("d mmm yy", t), "5 Mar 24");
    EXPECT_EQ(FormatDateTimeText("dddd, d mmmm yyyy 'at' h", t), "Tuesday, 5 March 2024 at 9");
}
