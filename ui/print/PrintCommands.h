#pragma once

#include "grid/PrintLayout.h"

#include <functional>
#include <memory>
#include <string>

class PrintOptionsPage;
class QPrinter;
class QWidget;
class TReportGrid;

// The File menu's print commands on one table: its print state, the "Options" page that
// feeds it, and the current printer, which keeps what the page setup dialog chose.
class GridPrinting {
public:
    GridPrinting(const TReportGrid& grid, PrintOptionsPage& options);
    ~GridPrinting();

    TGridPrint& Print() { return print_; }
    QPrinter& Printer() { return *printer_; }

    // Copies the "Options" page into the print settings.
    void SetPrintOptions();
    // "&Print": all pages on the current printer in portrait, without a print dialog. With no
    // printer installed the pages go to "Larkspan.pdf" in the working directory, and the
    // file's absolute path is returned for the status line; after a printer job it is empty.
    std::string FilePrintItemClick();
    // "Print Preview": a modal preview that opens on page 1.
    void PrintPreview1Click(QWidget* parent);
    // "P&rint Setup...": the page setup dialog for the current printer.
    void PrintSetup1Click(QWidget* parent);

    // Whether a printer is installed; tests replace it so that nothing reaches a real printer.
    std::function<bool()> HasPrinter;

private:
    const TReportGrid& grid_;
    PrintOptionsPage& options_;
    TGridPrint print_;
    std::unique_ptr<QPrinter> printer_;
};
