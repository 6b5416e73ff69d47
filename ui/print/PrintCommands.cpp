#include "ui/print/PrintCommands.h"

#include "ui/print/PagePreview.h"
#include "ui/print/PrintDevice.h"
#include "ui/print/PrintOptionsPage.h"

#include <QPageSetupDialog>
#include <QPrinter>
#include <QPrinterInfo>

GridPrinting::GridPrinting(const TReportGrid& grid, PrintOptionsPage& options)
    : HasPrinter([] { return !QPrinterInfo::availablePrinterNames().isEmpty(); }), grid_(grid),
      options_(options), printer_(std::make_unique<QPrinter>(QPrinter::HighResolution)) {
    options_.SetPrintSettings(&print_.PrintSettings);
}

GridPrinting::~GridPrinting() {
    options_.SetPrintSettings(nullptr);
}

void GridPrinting::SetPrintOptions() {
    ::SetPrintOptions(options_.State(), print_.PrintSettings);
}

std::string GridPrinting::FilePrintItemClick() {
    SetPrintOptions();
    // Without a printer the file gets the paper and margins that the page setup dialog chose.
    if (!HasPrinter()) return PrintToPdfFile(grid_, print_, "Larkspan.pdf", printer_->pageLayout());
    // The settings' orientation wins over whatever the page setup dialog chose.
    printer_->setPageOrientation(print_.PrintSettings.Orientation == TPrintOrientation::poLandscape
                                     ? QPageLayout::Landscape
                                     : QPageLayout::Portrait);
    printer_->setDocName(QString::fromStdString(print_.PrintSettings.JobName));
    printer_->setPrintRange(QPrinter::AllPages);
    PrintOnDevice(grid_, print_, *printer_, "Cannot print on " + printer_->printerName().toStdString());
    return {};
}

void GridPrinting::PrintPreview1Click(QWidget* parent) {
    SetPrintOptions();
    print_.FromPage = print_.ToPage = 1;
    TPagePreview preview(grid_, print_, parent);
    preview.exec();
}

void GridPrinting::PrintSetup1Click(QWidget* parent) {
    QPageSetupDialog dialog(printer_.get(), parent);
    dialog.exec();
}
