#pragma once

#include "grid/ReportGrid.h"

#include <string>

class BusyCursor;
class OfficeWriter;

// The exports through the office applications. Each hands the table to the writer, which
// saves it under fileName (passed on as it stands). The busy cursor, when one is given, shows
// for the whole export and is restored on every way out of it.

// The cells from the first row and column that IncludeFixedCells selects, as one block of
// texts without carriage returns, in a new worksheet at A1. Throws EReportGridError "Excel
// OLE server not found" when there is no spreadsheet application; any later failure is the
// writer's error.
void ExportSpreadsheet(const TReportGrid& grid, const std::string& fileName, OfficeWriter& writer,
                       BusyCursor* busy = nullptr);

// Every cell, fixed ones included, unchanged, in a table at the start of a new document.
// Throws EReportGridError "Word OLE server not found" when there is no word processor.
void ExportDocument(const TReportGrid& grid, const std::string& fileName, OfficeWriter& writer,
                    BusyCursor* busy = nullptr);
