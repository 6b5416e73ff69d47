#pragma once

#include "grid/ReportGrid.h"

#include <string>

class BusyCursor;
class OleServers;

// The exports through the office applications' automation servers. Each starts a server,
// hands it the table, has it save under fileName (passed on as it stands) and quit. The
// busy cursor, when one is given, shows for the whole export and is restored on every way
// out of it.

// The cells from the first row and column that IncludeFixedCells selects, as one block of
// texts without carriage returns, in a new worksheet at A1. Throws EReportGridError "Excel
// OLE server not found" when the spreadsheet server cannot be started; a failing later call
// raises the server's error after the server has been told to quit.
void ExportSpreadsheet(const TReportGrid& grid, const std::string& fileName, OleServers& servers,
                       BusyCursor* busy = nullptr);

// Every cell, fixed ones included, unchanged, in a table at the start of a new document.
// Throws EReportGridError "Word OLE server not found" when the word-processor server cannot
// be started.
void ExportDocument(const TReportGrid& grid, const std::string& fileName, OleServers& servers,
                    BusyCursor* busy = nullptr);

// "A1:" followed by the last column's letters and the row count: "A1:B5".
std::string SpreadsheetBlockAddress(int columns, int rows);
