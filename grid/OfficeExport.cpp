#include "grid/OfficeExport.h"

#include "platform/Automation.h"
#include "platform/BusyCursor.h"

namespace {

std::shared_ptr<OleObject> startServer(OleServers& servers, const char* progId, const char* notFound) {
    try {
        return servers.CreateOleObject(progId);
    } catch (const std::exception&) {
        throw EReportGridError(notFound);
    }
}

// Runs the work on a started server and makes sure the server is told to quit on every way
// out, so that no server outlives its command. A failure in the work is the one reported.
template <typename Work> void withServer(const std::shared_ptr<OleObject>& app, Work work) {
    try {
        work();
    } catch (...) {
        try {
            app->Call("Quit");
        } catch (const std::exception&) {
            // The server may already be gone; the first error is what the user needs to see.
        }
        throw;
    }
    app->Call("Quit");
}

std::string withoutCarriageReturns(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text)
        if (c != '\r') out += c;
    return out;
}

std::string columnLetters(int column) {
    std::string letters;
    for (int n = column; n > 0; n = (n - 1) / 26)
        letters.insert(letters.begin(), static_cast<char>('A' + (n - 1) % 26));
    return letters;
}

} // namespace

std::string SpreadsheetBlockAddress(int columns, int rows) {
    return "A1:" + columnLetters(columns) + std::to_string(rows);
}

void ExportSpreadsheet(const TReportGrid& grid, const std::string& fileName, OleServers& servers,
                       BusyCursor* busy) {
    BusyScope hourglass(busy);
    std::shared_ptr<OleObject> app = startServer(servers, "excel.application", "Excel OLE server not found");
    withServer(app, [&] {
        auto workbook = OleAsObject(OleAsObject(app->Get("WorkBooks"))->Call("Add"));
        auto worksheet = OleAsObject(OleAsObject(workbook->Get("WorkSheets"))->Call("Add"));

        int c0 = grid.IncludeFixedCells ? 0 : grid.FixedCols();
        int r0 = grid.IncludeFixedCells ? 0 : grid.FixedRows();
        OleTextBlock block;
        for (int r = r0; r < grid.RowCount(); ++r) {
            auto& row = block.emplace_back();
            for (int k = c0; k < grid.ColCount(); ++k)
                row.push_back(withoutCarriageReturns(grid.CellText(k, r)));
        }
        auto range = OleAsObject(
            worksheet->Get("Range", {SpreadsheetBlockAddress(grid.ColCount() - c0, grid.RowCount() - r0)}));
        range->Set("Value", block);
        workbook->Call("SaveAs", {fileName});
    });
}

void ExportDocument(const TReportGrid& grid, const std::string& fileName, OleServers& servers,
                    BusyCursor* busy) {
    BusyScope hourglass(busy);
    std::shared_ptr<OleObject> app = startServer(servers, "word.application", "Word OLE server not found");
    withServer(app, [&] {
        auto document = OleAsObject(OleAsObject(app->Get("Documents"))->Call("Add"));
        auto start = OleAsObject(document->Call("Range", {}, {{"start", 0L}, {"end", 0L}}));
        auto table = OleAsObject(OleAsObject(document->Get("Tables"))
                                     ->Call("Add", {start},
                                            {{"numrows", static_cast<long>(grid.RowCount())},
                                             {"numcolumns", static_cast<long>(grid.ColCount())}}));
        for (int i = 1; i <= grid.RowCount(); ++i) {
            for (int j = 1; j <= grid.ColCount(); ++j) {
                auto cell = OleAsObject(table->Call(
                    "Cell", {}, {{"row", static_cast<long>(i)}, {"column", static_cast<long>(j)}}));
                OleAsObject(cell->Get("Range"))->Call("InsertAfter", {grid.CellText(j - 1, i - 1)});
            }
        }
        document->Call("SaveAs", {fileName});
    });
}
