// Prints a results table of 300 rows to a PDF without a display, the way the headless
// "submit --save pdf" does, so the printout can be looked at and turned into images.
// Usage: larkspan-print-sample [FILE.pdf]   (default "Larkspan.pdf" in the working directory)

#include "grid/ReportGrid.h"
#include "platform/Error.h"
#include "ui/PrintDevice.h"

#include <QFile>
#include <QGuiApplication>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

TReportGrid sampleResults() {
    const std::vector<std::string> engines{"Alexa",
                                           "Alexa (method 2)",
                                           "AltaVista",
                                           "AltaVista (method 2)",
                                           "Anzwers",
                                           "Anzwers (method 2)",
                                           "Corvane",
                                           "DirectHit",
                                           "EuroFerret",
                                           "Excite, AOL Netfind, & Magellan",
                                           "FindLink",
                                           "Google",
                                           "Google (method 2)",
                                           "HotBot",
                                           "HotBot (method 2)",
                                           "Infoseek",
                                           "Infoseek (method 2)",
                                           "InfoSpace",
                                           "Jayde Online",
                                           "Lycos",
                                           "Lycos (method 2)",
                                           "National Directory",
                                           "Northern Light",
                                           "PlanetSearch",
                                           "PlanetSearch (method 2)",
                                           "Scrub The Web",
                                           "Switchboard",
                                           "WebCrawler",
                                           "WebCrawler (method 2)",
                                           "WhatUSeek"};
    const std::vector<std::string> sites{"Velloway Garden Supplies", "Tessaly Books",
                                         "Harbour Street Bakery",    "Marsh & Finch Architects",
                                         "Old Mill Pottery",         "Quayside Cycles",
                                         "Northfield Dental Care",   "Larch Lane Kennels",
                                         "Blue Heron Travel",        "Ashgrove Music School"};
    TReportGrid grid(2, 2, 1, 1);
    grid.SetCellText(0, 0, "Engine");
    grid.SetCellText(1, 0, "URLs Submitted");
    int row = 1;
    grid.SetRowCount(1 + static_cast<int>(engines.size() * sites.size()) + 2);
    for (const auto& site : sites)
        for (const auto& engine : engines) {
            grid.SetCellText(0, row, engine);
            grid.SetCellText(1, row++, site);
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
