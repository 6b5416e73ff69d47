#pragma once

#include "grid/PrintLayout.h"

#include <QPageLayout>

#include <string>

class QPagedPaintDevice;
class TReportGrid;

// Counts the pages of the table on the device, sets the range to all of them and prints them.
// A device that cannot be opened raises EReportGridError with failureMessage.
void PrintOnDevice(const TReportGrid& grid, TGridPrint& print, QPagedPaintDevice& device,
                   const std::string& failureMessage);

// The page of the headless print: A4 with 10 mm margins.
QPageLayout DefaultPdfPageLayout();

// Prints the table to a PDF file with the given print state on pages of the given layout, in
// the orientation of the print settings, and returns the file's absolute path. Raises
// "Cannot create " and the name when it cannot write the file.
std::string PrintToPdfFile(const TReportGrid& grid, TGridPrint& print, const std::string& fileName,
                           const QPageLayout& layout = DefaultPdfPageLayout());

// The headless print: the table with the options page's start states to "Larkspan.pdf" (or the
// given name) in the working directory. Needs a QGuiApplication; the offscreen platform will do.
// Returns the absolute path of the file.
std::string PrintGridToPdf(const TReportGrid& grid, const std::string& fileName = "Larkspan.pdf");
