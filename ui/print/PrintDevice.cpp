#include "ui/print/PrintDevice.h"

#include "grid/ReportGrid.h"
#include "platform/Error.h"
#include "ui/print/PainterSurface.h"

#include <QFileInfo>
#include <QPageLayout>
#include <QPainter>
#include <QPdfWriter>

void PrintOnDevice(const TReportGrid& grid, TGridPrint& print, QPagedPaintDevice& device,
                   const std::string& failureMessage) {
    const PrintPage page = PainterSurface::PageOf(device);
    // The count comes before the job starts, as a printer would otherwise hold an open job.
    PainterSurface measure(nullptr);
    print.PageCount = print.LayoutPass(grid, measure, LayoutMode::CountForPrint, page, 0);
    print.FromPage = 1;
    print.ToPage = print.PageCount;
    QPainter painter;
    if (!painter.begin(&device)) throw EReportGridError(failureMessage);
    painter.setRenderHint(QPainter::TextAntialiasing);
    PainterSurface::MapToTenthMillimetres(painter);
    PainterSurface surface(&painter, [&device] { device.newPage(); });
    print.LayoutPass(grid, surface, LayoutMode::PrintPages, page, print.PageCount);
    painter.end();
}

QPageLayout DefaultPdfPageLayout() {
    return QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(10, 10, 10, 10),
                       QPageLayout::Millimeter);
}

std::string PrintToPdfFile(const TReportGrid& grid, TGridPrint& print, const std::string& fileName,
                           const QPageLayout& layout) {
    const QString path = QFileInfo(QString::fromStdString(fileName)).absoluteFilePath();
    QPdfWriter writer(path);
    writer.setCreator("Larkspan");
    writer.setTitle(print.PrintSettings.JobName.empty()
                        ? QStringLiteral("Larkspan")
                        : QString::fromStdString(print.PrintSettings.JobName));
    QPageLayout page = layout;
    page.setOrientation(print.PrintSettings.Orientation == TPrintOrientation::poLandscape
                            ? QPageLayout::Landscape
                            : QPageLayout::Portrait);
    writer.setPageLayout(page);
    PrintOnDevice(grid, print, writer, "Cannot create " + fileName);
    return path.toStdString();
}

std::string PrintGridToPdf(const TReportGrid& grid, const std::string& fileName) {
    TGridPrint print;
    SetPrintOptions(PrintOptionsState{}, print.PrintSettings);
    return PrintToPdfFile(grid, print, fileName);
}
