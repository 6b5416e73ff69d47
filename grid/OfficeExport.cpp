#include "grid/OfficeExport.h"

#include "platform/BusyCursor.h"
#include "platform/OfficeWriter.h"

namespace {

std::string withoutCarriageReturns(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text)
        if (c != '\r') out += c;
    return out;
}

enum class CarriageReturns { Keep, Drop };

TextBlock cellBlock(const TReportGrid& grid, int firstCol, int firstRow, CarriageReturns crs) {
    TextBlock block;
    for (int r = firstRow; r < grid.RowCount(); ++r) {
        auto& row = block.emplace_back();
        for (int k = firstCol; k < grid.ColCount(); ++k)
            row.push_back(crs == CarriageReturns::Drop ? withoutCarriageReturns(grid.CellText(k, r))
                                                       : grid.CellText(k, r));
    }
    return block;
}

} // namespace

void ExportSpreadsheet(const TReportGrid& grid, const std::string& fileName, OfficeWriter& writer,
                       BusyCursor* busy) {
    BusyScope hourglass(busy);
    int c0 = grid.IncludeFixedCells ? 0 : grid.FixedCols();
    int r0 = grid.IncludeFixedCells ? 0 : grid.FixedRows();
    try {
        writer.writeSpreadsheet(cellBlock(grid, c0, r0, CarriageReturns::Drop), fileName);
    } catch (const OfficeMissing&) {
        throw EReportGridError("Excel OLE server not found");
    }
}

void ExportDocument(const TReportGrid& grid, const std::string& fileName, OfficeWriter& writer,
                    BusyCursor* busy) {
    BusyScope hourglass(busy);
    try {
        writer.writeDocumentTable(cellBlock(grid, 0, 0, CarriageReturns::Keep), fileName);
    } catch (const OfficeMissing&) {
        throw EReportGridError("Word OLE server not found");
    }
}
