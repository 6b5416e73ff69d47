#pragma once

#include "grid/PrintLayout.h"

#include <string>

class QPagedPaintDevice;
class TReportGrid;

// Counts the pages of the table on the device, sets the range to all of them and prints them.
// A device that cannot be opened raises EReportGridError with failureMessage.
void PrintOnDevice(const TReportGrid& grid, TGridPrint& print, QPagedPaintDevice& device,
                   const std::string& failureMessage);

// Prints the table to a PDF file with the given print state (A4, portrait, 10 mm margins) and
// returns the file's absolute path. Raises "Cannot create " and the name when it cannot write.
std::string PrintToPdfFile(const TReportGrid& grid, TGridPrint& print, const std::string& fileName);

// The headless print: the table with the options page's start states to "Larkspan.pdf" (or the
// given name) in the working directory. Needs a QGuiApplication; the offscreen platform will do.
// Returns the absolute path of the file.
std::string PrintGridToPdf(const TReportGrid& grid, const std::string& fileName = "Larkspan.pdf");
