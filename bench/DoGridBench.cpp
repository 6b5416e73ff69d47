// How the cost of one result row grows with the table: DoGrid fits the columns and sorts the
// table after every row, so a naive sort or fit would make each row cost as much as the whole
// table. Prints, for the fixed-width measure and for Qt's font metrics, the cost per row of a
// 32,000-row table against that of a 1,000-row table (target: at most 2), checks that the table
// is exactly what a full sort and a fresh fit leave, and shows the cost of a row when the sort
// cannot take its insertion shortcut, for comparison.
//
//   do_grid_bench [rows]      (default 32000)
#include "bench/QuietRunHost.h"
#include "core/Config.h"
#include "core/catalogue/EngineCatalog.h"
#include "core/run/RunClient.h"
#include "core/run/SubmissionRun.h"
#include "grid/ReportGrid.h"
#include "platform/EventLoopQt.h"
#include "ui/QtTextMeasure.h"

#include <QFont>
#include <QGuiApplication>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

class NoClient final : public RunClient {
public:
    void Get(const std::string&) override {}
    void Post(const std::string&, const std::string&) override {}
    void Abort() override {}
    void setTimeOut(int) override {}
    std::int64_t bytesTotal() const override { return 0; }
    std::int64_t bytesReceived() const override { return 0; }
    std::optional<int> replyStatus() const override { return 200; }
    std::string replyReason() const override { return "OK"; }
    void setMaxBodySize(std::uint64_t) override {}
    void setRequestDeadline(int) override {}
    void setProxy(const std::string&, int) override {}
};

// The rows a run of many profiles produces: every engine for one site, then the next site.
struct RowSource {
    std::vector<std::string> engines;
    explicit RowSource(const Config& config) {
        for (const EngineEntry& e : engineCatalog(config))
            engines.push_back(e.DisplayName);
    }
    std::string engine(int i) const { return engines[static_cast<std::size_t>(i) % engines.size()]; }
    static std::string title(int i) {
        char text[64];
        std::snprintf(text, sizeof text, "Example Site Number %05d", i / 32);
        return text;
    }
};

// Whether the header and result rows are those of a full sort of the same rows, and the column
// widths those of a fresh fit.
bool matchesFullSortAndFit(const TReportGrid& grid, int results, const TextMeasure& measure) {
    TReportGrid reference(2, results + 1, 1, 1);
    reference.SetTextMeasure(&measure);
    reference.DisjunctRowSelect = true; // keeps the sort from its shortcut: the full sort
    for (int c = 0; c < 2; ++c) {
        reference.SetCellText(c, 0, grid.CellText(c, 0));
        for (int r = 1; r <= results; ++r)
            reference.SetCellText(c, results + 1 - r, grid.CellText(c, r));
    }
    reference.SortColumn = 0;
    reference.SortRows();
    reference.FitColumns(TReportGrid::FitFixed::Include, 1);
    for (int r = 0; r <= results; ++r)
        for (int c = 0; c < 2; ++c)
            if (grid.CellText(c, r) != reference.CellText(c, r)) return false;
    return grid.ColWidth(0) == reference.ColWidth(0) && grid.ColWidth(1) == reference.ColWidth(1) &&
           grid.RowCount() == results + 2 && grid.CellText(0, results + 1).empty();
}

struct Fill {
    double secondsPerRow = 0;     // over the whole table
    double lastSecondsPerRow = 0; // over its last 1,000 rows
    bool exact = true;
};

// Fills a fresh table with the given number of rows through DoGrid, checking it against a full
// sort and fit at a few points (outside the timing).
Fill fill(const TextMeasure& measure, const RowSource& rows, int count, int checks) {
    Config config;
    QuietRunHost host(measure);
    NoClient client;
    SubmissionRun run(host, client, config);
    run.Start();
    Fill result;
    // Stops at the check points and where the last 1,000 rows begin, so those are timed alone.
    std::vector<int> stops{count, count - 1000};
    for (int k = 1; k <= checks; ++k)
        stops.push_back(count / checks * k);
    std::sort(stops.begin(), stops.end());
    stops.erase(std::unique(stops.begin(), stops.end()), stops.end());
    Clock::duration total{};
    Clock::duration last{};
    int i = 0;
    for (int stop : stops) {
        if (stop <= i) continue;
        const auto start = Clock::now();
        for (; i < stop; ++i)
            run.DoGrid(rows.engine(i), RowSource::title(i));
        const auto took = Clock::now() - start;
        total += took;
        if (stop > count - 1000) last += took;
        if (checks > 0 && stop != count - 1000 && !matchesFullSortAndFit(host.grid, i, measure))
            result.exact = false;
    }
    result.secondsPerRow = std::chrono::duration<double>(total).count() / count;
    result.lastSecondsPerRow = std::chrono::duration<double>(last).count() / std::min(count, 1000);
    return result;
}

// The cost of a row added to a table of the given size when the sort has to do all of its work.
double fullSortRowCost(const TextMeasure& measure, const RowSource& rows, int size, int extra) {
    Config config;
    QuietRunHost host(measure);
    NoClient client;
    SubmissionRun run(host, client, config);
    run.Start();
    for (int i = 0; i < size; ++i)
        run.DoGrid(rows.engine(i), RowSource::title(i));
    host.grid.DisjunctRowSelect = true;
    const auto start = Clock::now();
    for (int i = size; i < size + extra; ++i)
        run.DoGrid(rows.engine(i), RowSource::title(i));
    return std::chrono::duration<double>(Clock::now() - start).count() / extra;
}

void report(const char* name, const TextMeasure& measure, const RowSource& rows, int big) {
    // The small table is filled several times and the best taken: it is quick enough for
    // noise to matter.
    Fill small{1e9, 1e9, true};
    for (int k = 0; k < 15; ++k) {
        Fill f = fill(measure, rows, 1000, k == 0 ? 10 : 0);
        small.secondsPerRow = std::min(small.secondsPerRow, f.secondsPerRow);
        small.lastSecondsPerRow = std::min(small.lastSecondsPerRow, f.lastSecondsPerRow);
        small.exact = small.exact && f.exact;
    }
    Fill large = fill(measure, rows, big, 8);
    const double shortcutless = fullSortRowCost(measure, rows, 4000, 50);
    std::printf("%s measure:\n", name);
    std::printf("  %6d rows: %8.2f us per row%s\n", 1000, small.secondsPerRow * 1e6,
                small.exact ? "" : "  (NOT as a full sort and fit)");
    std::printf("  %6d rows: %8.2f us per row, last 1000 rows %.2f us per row%s\n", big,
                large.secondsPerRow * 1e6, large.lastSecondsPerRow * 1e6,
                large.exact ? "" : "  (NOT as a full sort and fit)");
    std::printf(
        "  ratio per row %d : 1000 = %.2f (whole tables), %.2f (last 1000 rows of each) (target <= 2)\n", big,
        large.secondsPerRow / small.secondsPerRow, large.lastSecondsPerRow / small.lastSecondsPerRow);
    std::printf(
        "  a row at 4000 rows without the sort's insertion shortcut: %.1f us (%.0f times the cost above)\n",
        shortcutless * 1e6, shortcutless / large.lastSecondsPerRow);
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    EventLoop::install(std::make_unique<EventLoopQt>());
    const int big = argc > 1 ? std::atoi(argv[1]) : 32000;
    if (big < 1000) {
        std::fprintf(stderr, "usage: do_grid_bench [rows >= 1000]\n");
        return 2;
    }
    Config config;
    RowSource rows(config);
    FixedWidthMeasure fixed;
    report("fixed-width", fixed, rows, big);
    QFont font = QGuiApplication::font();
    font.setPointSize(8);
    QtTextMeasure qt(font);
    report("Qt font metrics", qt, rows, big);
    return 0;
}
