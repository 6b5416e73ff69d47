#pragma once

#include "grid/ReportGrid.h"

#include <span>
#include <string>

class BusyCursor;
class OfficeWriter;

// What the report commands need besides the table. Without a writer the office commands use
// LibreOffice; without a cursor nothing shows that they are busy (headless runs).
struct ReportHooks {
    OfficeWriter* office = nullptr;
    BusyCursor* busy = nullptr;
};

// The File-menu commands on the results table. Each writes its fixed file name into dir, or
// into the process's working directory when dir is empty, and returns the absolute path of
// the file for the status line. Failures are thrown (EReportGridError and the office writer's
// errors) for the caller's error display. The two CSV commands switch IncludeFixedCells off
// first, and nothing switches it on again: from then on the cell file, the HTML file and the
// spreadsheet leave out the header row and the engine column too.
std::string FileSaveItemClick(TReportGrid& grid, const std::string& dir, const ReportHooks& hooks = {});
std::string SavetoCSV1Click(TReportGrid& grid, const std::string& dir, const ReportHooks& hooks = {});
std::string AppendtoMASTERCSV1Click(TReportGrid& grid, const std::string& dir, const ReportHooks& hooks = {});
std::string SavetoHTML1Click(TReportGrid& grid, const std::string& dir, const ReportHooks& hooks = {});
std::string SavetoASCII1Click(TReportGrid& grid, const std::string& dir, const ReportHooks& hooks = {});
std::string SaveasXLS1Click(TReportGrid& grid, const std::string& dir, const ReportHooks& hooks = {});
std::string SavetoDOC1Click(TReportGrid& grid, const std::string& dir, const ReportHooks& hooks = {});

// The commands in menu order: the File menu's entries and the reports of `submit --save` come
// from this one table.
struct ReportCommand {
    const char* caption;
    const char* handler;
    const char* fileName;
    std::string (*run)(TReportGrid& grid, const std::string& dir, const ReportHooks& hooks);
    const char* hint;     // the menu entry's hint
    const char* saveName; // the report's name for `submit --save`
};
std::span<const ReportCommand> ReportCommands();
