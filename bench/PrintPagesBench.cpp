// Counts the printed pages of a results table of 32,000 rows and of 1,000 rows with the
// program's own font measuring, and prints the time of the larger count as a ratio to the
// smaller one. A layout that grows linearly with the rows gives a ratio near 32.

#include "grid/PrintLayout.h"
#include "grid/ReportGrid.h"
#include "ui/print/PainterSurface.h"

#include <QGuiApplication>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>

namespace {

TReportGrid results(int rows) {
    static const char* engines[] = {"Alexa",
                                    "AltaVista (method 2)",
                                    "Excite, AOL Netfind, & Magellan",
                                    "Google",
                                    "HotBot",
                                    "Lycos (method 2)",
                                    "Northern Light",
                                    "WebCrawler"};
    TReportGrid grid(2, rows + 1, 1, 1);
    grid.SetCellText(0, 0, "Engine");
    grid.SetCellText(1, 0, "URLs Submitted");
    for (int r = 1; r <= rows; ++r) {
        grid.SetCellText(0, r, engines[r % 8]);
        // Row numbers of one length, so that a row costs the same in both tables.
        char site[48];
        std::snprintf(site, sizeof site, "Velloway Garden Supplies %05d", r);
        grid.SetCellText(1, r, site);
    }
    return grid;
}

struct Count {
    int pages = 0;
    double seconds = 1e9;
};

// One count, kept when it is the fastest so far.
void countPages(const TReportGrid& grid, Count& best) {
    TGridPrint print;
    SetPrintOptions(PrintOptionsState{}, print.PrintSettings);
    const PrintPage a4{1900, 2770};
    PainterSurface surface(nullptr);
    const auto start = std::chrono::steady_clock::now();
    best.pages = print.LayoutPass(grid, surface, LayoutMode::CountForPrint, a4, 0);
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    best.seconds = std::min(best.seconds, took.count());
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const TReportGrid small = results(1000);
    const TReportGrid large = results(32000);
    Count s, l;
    countPages(small, s); // warms the font caches
    // The two sizes take turns, and each keeps its fastest run, so that other work on the
    // machine disturbs both alike and the figure less.
    for (int round = 0; round < 12; ++round) {
        for (int i = 0; i < 4; ++i)
            countPages(small, s);
        countPages(large, l);
    }
    std::printf("1,000 rows: %d pages in %.2f ms\n", s.pages, s.seconds * 1e3);
    std::printf("32,000 rows: %d pages in %.2f ms\n", l.pages, l.seconds * 1e3);
    std::printf("page ratio %.1f, time ratio %.1f (linear growth: 32)\n",
                static_cast<double>(l.pages) / s.pages, l.seconds / s.seconds);
    return 0;
}
