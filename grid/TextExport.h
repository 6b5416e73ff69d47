#pragma once

#include "grid/ReportGrid.h"

#include <cstdint>
#include <string>
#include <vector>

class BusyCursor;

// The text writers of a table. Lines end in CR LF. The cell file, the CSV writers and the
// HTML writer start after the fixed rows and columns when IncludeFixedCells is off; the
// column-aligned writer always writes every cell.
//
// A file that cannot be created raises EReportGridError "Cannot create " + fileName (the
// CSV writers add ": " and the cause); a failed write or close raises "Cannot write " +
// fileName + ": " + the cause.

// The counts, the column widths ("cw k,width"), then "k,r,text" for every cell that is not
// empty, with CR written as a tab and LF as a backspace so that each cell stays on its line.
void ExportCells(const TReportGrid& grid, const std::string& fileName);

// One line per row. A field holding a comma, a double quote, CR or LF is quoted with its
// quotes doubled and its CR LF pairs written as LF; an empty field is written as "".
// The file is flushed after every delimiter and field, so an interrupted export keeps
// what it wrote. AppendCsv extends the file, creating it when it does not exist.
void ExportCsv(const TReportGrid& grid, const std::string& fileName);
void AppendCsv(const TReportGrid& grid, const std::string& fileName);

// Every column left-aligned in a field one character wider than its widest first line
// (counted in characters); a cell's first line ends at its first CR or LF. Shows the busy cursor, when one is
// given, while it works.
void ExportAscii(const TReportGrid& grid, const std::string& fileName, BusyCursor* busy = nullptr);
// The text that ExportAscii writes, for the mail command's message body.
std::string AsciiText(const TReportGrid& grid);
// The same text as one line per row, each ending in CR LF.
std::vector<std::string> AsciiLines(const TReportGrid& grid);

// A table element with one row per table row, fixed cells in the fixed colour, link cells as
// anchors, and the settings' prefix, suffix, header and footer files around it. Cell text is
// escaped, so a cell cannot add markup of its own, and a link cell whose address starts with
// a scheme other than http, https, ftp or mailto is written as text, so it cannot add a script.
void ExportHtml(const TReportGrid& grid, const std::string& fileName);

// Six upper-case hexadecimal digits, red, green and blue, of a 0xRRGGBB colour.
std::string HtmlColor(std::uint32_t rgb);
