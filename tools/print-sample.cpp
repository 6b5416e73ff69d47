// Prints a results table of 300 rows to a PDF without a display, the way the headless
// "submit --save pdf" does, so the printout can be looked at and turned into images.
// Usage: larkspan-print-sample [FILE.pdf]   (default "Larkspan.pdf" in the working directory)

#include "core/catalogue/EngineCatalog.h"
#include "grid/ReportGrid.h"
#include "platform/Error.h"
#include "platform/EventLoopQt.h"
#include "ui/print/PrintDevice.h"

#include <memory>

#include <QFile>
#include <QGuiApplication>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

TReportGrid sampleResults() {
    std::vector<std::string> engines;
    for (const EngineEntry& entry : engineCatalog())
        engines.push_back(entry.DisplayName);
    const std::vector<std::string> sites{"Velloway Garden Supplies", "Tessaly Books",
                                         "Harbour Street Bakery",    "Marsh & Finch Architects",
                                         "Old Mill Pottery",         "Quayside Cycles",
                                         "Northfield Dental Care",   "Larch Lane Kennels",
                                         "Blue Heron Travel",        "Ashgrove Music School"};
    TReportGrid grid(2, 2, 1, 1);
    grid.SetCellText(0, 0, "Engine");
    grid.SetCellText(1, 0, "URLs Submitted");
    // Three hundred result rows: every engine for the first sites, then as many as fit.
    constexpr int resultRows = 300;
    grid.SetRowCount(1 + resultRows);
    int row = 1;
    for (std::size_t i = 0; row <= resultRows; ++i) {
        grid.SetCellText(0, row, engines[i % engines.size()]);
        grid.SetCellText(1, row++, sites[i / engines.size() % sites.size()]);
    }
    grid.SortColumn = 0;
    grid.SortDirection = TSortDirection::sdAscending;
    grid.SetRowCount(row);
    grid.SortRows();
    grid.SetRowCount(row + 2);
    grid.SetCellText(0, row, "More Info:");
    grid.SetCellText(1, row, "This report prepared by Larkspan. Latest version from:");
    grid.SetCellText(1, row + 1, "http://www.example.com/Larkspan/Default.htm");
    return grid;
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    EventLoop::install(std::make_unique<EventLoopQt>());
    const std::string file = argc > 1 ? argv[1] : "Larkspan.pdf";
    try {
        const std::string path = PrintGridToPdf(sampleResults(), file);
        QFile pdf(QString::fromStdString(path));
        if (!pdf.open(QIODevice::ReadOnly) || !pdf.read(5).startsWith("%PDF-")) {
            std::fprintf(stderr, "larkspan-print-sample: %s is not a PDF\n", path.c_str());
            return 1;
        }
        std::printf("%s\n", path.c_str());
    } catch (const LarkspanError& e) {
        std::fprintf(stderr, "larkspan-print-sample: %s\n", e.what());
        return 1;
    }
    return 0;
}
