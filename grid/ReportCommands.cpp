#include "grid/ReportCommands.h"

#include "grid/OfficeExport.h"
#include "grid/TextExport.h"
#include "platform/LibreOfficeWriter.h"

#include <filesystem>

namespace {

// A bare name when no directory is given, so that the file lands in the working directory
// and messages name the file as the user knows it.
std::string inDir(const std::string& dir, const char* fileName) {
    if (dir.empty()) return fileName;
    return (std::filesystem::path(dir) / fileName).string();
}

std::string absolute(const std::string& path) {
    std::error_code ec;
    auto full = std::filesystem::absolute(path, ec);
    return ec ? path : full.lexically_normal().string();
}

template <typename Export>
std::string officeCommand(const std::string& dir, const char* fileName, const ReportHooks& hooks,
                          Export run) {
    std::string path = inDir(dir, fileName);
    if (hooks.office) {
        run(path, *hooks.office);
    } else {
        LibreOfficeWriter libreOffice;
        run(path, libreOffice);
    }
    return absolute(path);
}

const ReportCommand commands[] = {
    {"&Save", "FileSaveItemClick", "Larkspan.txt", FileSaveItemClick, "Save|Save current file", "txt"},
    {"Save to CSV", "SavetoCSV1Click", "Larkspan.csv", SavetoCSV1Click,
     "Save As|Save results in comma-separated format.", "csv"},
    {"Append to MASTER.CSV", "AppendtoMASTERCSV1Click", "Larkspan Master.csv", AppendtoMASTERCSV1Click, "",
     "master"},
    {"Save as XLS", "SaveasXLS1Click", "Larkspan.xls", SaveasXLS1Click,
     "Save As|Save results in Excel spreadsheet format", "xls"},
    {"Save to HTML", "SavetoHTML1Click", "Larkspan.htm", SavetoHTML1Click,
     "Save As|Save results in web page format", "htm"},
    {"Save to ASCII", "SavetoASCII1Click", "Larkspan.asc", SavetoASCII1Click,
     "Save As|Save results in text file format", "asc"},
    {"Save to DOC", "SavetoDOC1Click", "Larkspan.doc", SavetoDOC1Click,
     "Save As|Save results in MS Word Document format", "doc"},
};

} // namespace

std::string FileSaveItemClick(TReportGrid& grid, const std::string& dir, const ReportHooks&) {
    std::string path = inDir(dir, "Larkspan.txt");
    ExportCells(grid, path);
    return absolute(path);
}

std::string SavetoCSV1Click(TReportGrid& grid, const std::string& dir, const ReportHooks&) {
    grid.IncludeFixedCells = false;
    std::string path = inDir(dir, "Larkspan.csv");
    ExportCsv(grid, path);
    return absolute(path);
}

std::string AppendtoMASTERCSV1Click(TReportGrid& grid, const std::string& dir, const ReportHooks&) {
    grid.IncludeFixedCells = false;
    std::string path = inDir(dir, "Larkspan Master.csv");
    AppendCsv(grid, path);
    return absolute(path);
}

std::string SavetoHTML1Click(TReportGrid& grid, const std::string& dir, const ReportHooks&) {
    std::string path = inDir(dir, "Larkspan.htm");
    ExportHtml(grid, path);
    return absolute(path);
}

std::string SavetoASCII1Click(TReportGrid& grid, const std::string& dir, const ReportHooks& hooks) {
    std::string path = inDir(dir, "Larkspan.asc");
    ExportAscii(grid, path, hooks.busy);
    return absolute(path);
}

std::string SaveasXLS1Click(TReportGrid& grid, const std::string& dir, const ReportHooks& hooks) {
    return officeCommand(dir, "Larkspan.xls", hooks, [&](const std::string& path, OfficeWriter& writer) {
        ExportSpreadsheet(grid, path, writer, hooks.busy);
    });
}

std::string SavetoDOC1Click(TReportGrid& grid, const std::string& dir, const ReportHooks& hooks) {
    return officeCommand(dir, "Larkspan.doc", hooks, [&](const std::string& path, OfficeWriter& writer) {
        ExportDocument(grid, path, writer, hooks.busy);
    });
}

std::span<const ReportCommand> ReportCommands() {
    return commands;
}
