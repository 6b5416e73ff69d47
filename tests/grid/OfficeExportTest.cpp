#include "ExportTestSupport.h"
#include "RecordingOle.h"

#include "grid/OfficeExport.h"
#include "grid/ReportCommands.h"
#include "platform/LibreOffice.h"
#include "platform/LibreOfficeServers.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <thread>

using Lines = std::vector<std::string>;

namespace {

template <typename Fn> std::string errorOf(Fn fn) {
    try {
        fn();
    } catch (const std::exception& e) {
        return e.what();
    }
    return "no error";
}

Lines spreadsheetCalls(const std::string& address, const std::string& block) {
    return {"busy on",
            "create excel.application -> #1",
            "#1.WorkBooks -> #2",
            "#2.Add() -> #3",
            "#3.WorkSheets -> #4",
            "#4.Add() -> #5",
            "#5.Range[\"" + address + "\"] -> #6",
            "#6.Value = " + block,
            "#3.SaveAs(\"Larkspan.xls\") -> #7",
            "#1.Quit() -> #8",
            "release #1",
            "busy off"};
}

} // namespace

TEST(OfficeExportCalls, SpreadsheetGetsTheBlockThatIncludeFixedCellsSelects) {
    TReportGrid grid = newResultsTable();
    {
        Lines log;
        RecordingOle servers(&log);
        RecordingBusyCursor busy(&log);
        ExportSpreadsheet(grid, "Larkspan.xls", servers, &busy);
        EXPECT_EQ(log, spreadsheetCalls("A1:B2", "[[\"Engine\",\"URLs Submitted\"],[\"\",\"\"]]"));
        EXPECT_EQ(servers.objectsAlive, 0);
    }
    {
        // The menu command hands over the bare name when no directory is given.
        Lines log;
        RecordingOle servers(&log);
        RecordingBusyCursor busy(&log);
        grid.IncludeFixedCells = false;
        std::string path = SaveasXLS1Click(grid, "", {&servers, &busy});
        EXPECT_EQ(log, spreadsheetCalls("A1:A1", "[[\"\"]]"));
        EXPECT_EQ(path, (std::filesystem::current_path() / "Larkspan.xls").string());
    }
}

TEST(OfficeExportCalls, DocumentAlwaysGetsEveryCell) {
    TReportGrid grid = newResultsTable();
    grid.IncludeFixedCells = false; // ignored by the document export
    grid.SetCellText(1, 1, "one\r\ntwo");
    Lines log;
    RecordingOle servers(&log);
    RecordingBusyCursor busy(&log);
    ExportDocument(grid, "Larkspan.doc", servers, &busy);
    EXPECT_EQ(log, (Lines{"busy on",
                          "create word.application -> #1",
                          "#1.Documents -> #2",
                          "#2.Add() -> #3",
                          "#3.Range(start:=0, end:=0) -> #4",
                          "#3.Tables -> #5",
                          "#5.Add(#4, numrows:=2, numcolumns:=2) -> #6",
                          "#6.Cell(row:=1, column:=1) -> #7",
                          "#7.Range -> #8",
                          "#8.InsertAfter(\"Engine\") -> #9",
                          "#6.Cell(row:=1, column:=2) -> #10",
                          "#10.Range -> #11",
                          "#11.InsertAfter(\"URLs Submitted\") -> #12",
                          "#6.Cell(row:=2, column:=1) -> #13",
                          "#13.Range -> #14",
                          "#14.InsertAfter(\"\") -> #15",
                          "#6.Cell(row:=2, column:=2) -> #16",
                          "#16.Range -> #17",
                          "#17.InsertAfter(\"one\\r\\ntwo\") -> #18",
                          "#3.SaveAs(\"Larkspan.doc\") -> #19",
                          "#1.Quit() -> #20",
                          "release #1",
                          "busy off"}));

    // The spreadsheet gets the same cell with its line feed only.
    Lines sheetLog;
    RecordingOle sheetServers(&sheetLog);
    grid.IncludeFixedCells = true;
    ExportSpreadsheet(grid, "Larkspan.xls", sheetServers);
    EXPECT_EQ(sheetLog.at(6), "#6.Value = [[\"Engine\",\"URLs Submitted\"],[\"\",\"one\\ntwo\"]]");
}

TEST(OfficeExportCalls, MissingOrFailingServers) {
    TReportGrid grid = newResultsTable();
    {
        Lines log;
        RecordingOle servers(&log);
        RecordingBusyCursor busy(&log);
        servers.available = false;
        EXPECT_EQ(errorOf([&] { ExportSpreadsheet(grid, "Larkspan.xls", servers, &busy); }),
                  "Excel OLE server not found");
        EXPECT_EQ(errorOf([&] { ExportDocument(grid, "Larkspan.doc", servers, &busy); }),
                  "Word OLE server not found");
        EXPECT_EQ(log, (Lines{"busy on", "create excel.application failed", "busy off", "busy on",
                              "create word.application failed", "busy off"}));
        try {
            ExportSpreadsheet(grid, "Larkspan.xls", servers);
            ADD_FAILURE() << "no error";
        } catch (const EReportGridError&) {
        }
    }
    // A server that refuses to save: its error reaches the caller, and still the server is
    // told to quit, every object is released and the cursor comes back.
    for (const char* member : {"SaveAs", "Value", "InsertAfter"}) {
        Lines log;
        RecordingOle servers(&log);
        RecordingBusyCursor busy(&log);
        servers.failingMember = member;
        auto run = std::string(member) == "InsertAfter" ? ExportDocument : ExportSpreadsheet;
        EXPECT_EQ(errorOf([&] { run(grid, "x", servers, &busy); }), "The server refused the call");
        ASSERT_GE(log.size(), 3u);
        EXPECT_EQ(log[log.size() - 3].substr(0, 12), "#1.Quit() ->") << member;
        EXPECT_EQ(log[log.size() - 2], "release #1");
        EXPECT_EQ(log.back(), "busy off");
        EXPECT_EQ(servers.objectsAlive, 0);
    }
}

TEST(LibreOfficeServer, WithoutTheProgramNoServerStarts) {
    TempDir tmp;
    TReportGrid grid = newResultsTable();
    LibreOfficeServers servers({"larkspan-no-such-office-program", 10000});
    RecordingBusyCursor busy;
    EXPECT_EQ(errorOf([&] {
                  SaveasXLS1Click(grid, tmp.str(), {&servers, &busy});
              }),
              "Excel OLE server not found");
    EXPECT_EQ(errorOf([&] {
                  SavetoDOC1Click(grid, tmp.str(), {&servers, &busy});
              }),
              "Word OLE server not found");
    EXPECT_EQ(busy.log(), (Lines{"busy on", "busy off", "busy on", "busy off"}));
    EXPECT_TRUE(std::filesystem::is_empty(tmp.str()));
    EXPECT_EQ(errorOf([&] { servers.CreateOleObject("outlook.application"); }), "Invalid class string");
}

TEST(LibreOfficeServer, ObjectModelChecksItsCalls) {
    // "true" stands in for LibreOffice: it starts, but converts nothing.
    LibreOfficeServers servers({"true", 10000});
    auto excel = servers.CreateOleObject("Excel.Application");
    auto book = OleAsObject(OleAsObject(excel->Get("workbooks"))->Call("Add"));
    auto sheet = OleAsObject(OleAsObject(book->Get("Worksheets"))->Call("Add"));
    EXPECT_EQ(errorOf([&] { sheet->Get("Range", {std::string("A1:")}); }),
              "Method 'Range' of object '_Worksheet' failed");
    auto range = OleAsObject(sheet->Get("Range", {std::string("B2:C3")}));
    range->Set("Value", OleTextBlock{{"a", "b", "ignored"}, {"c", ""}, {"ignored"}});
    auto corner = OleAsObject(sheet->Get("Range", {std::string("A1:C3")}));
    EXPECT_EQ(std::get<OleTextBlock>(corner->Get("Value")),
              (OleTextBlock{{"", "", ""}, {"", "a", "b"}, {"", "c", ""}}));
    EXPECT_EQ(errorOf([&] { book->Call("SaveAs", {std::string("out.xls")}); }),
              "LibreOffice could not convert document.fods");
    EXPECT_FALSE(std::filesystem::exists("out.xls"));
    excel->Call("Quit");
    EXPECT_EQ(errorOf([&] { range->Get("Value"); }), "The object invoked has disconnected from its clients.");

    auto word = servers.CreateOleObject("word.application");
    auto doc = OleAsObject(OleAsObject(word->Get("Documents"))->Call("Add"));
    auto tables = OleAsObject(doc->Get("Tables"));
    EXPECT_EQ(errorOf([&] {
                  tables->Call("Add", {range}, {{"numrows", 1L}, {"numcolumns", 1L}});
              }),
              "Type mismatch.");
    auto start = OleAsObject(doc->Call("Range", {}, {{"start", 0L}, {"end", 0L}}));
    EXPECT_EQ(errorOf([&] {
                  tables->Call("Add", {start}, {{"numrows", 1L}, {"numcolumns", 64L}});
              }),
              "The number must be between 1 and 63.");
    auto table = OleAsObject(tables->Call("Add", {start}, {{"numrows", 2L}, {"numcolumns", 1L}}));
    EXPECT_EQ(errorOf([&] {
                  table->Call("Cell", {}, {{"row", 3L}, {"column", 1L}});
              }),
              "The requested member of the collection does not exist.");
    auto cell =
        OleAsObject(OleAsObject(table->Call("Cell", {}, {{"row", 2L}, {"column", 1L}}))->Get("Range"));
    cell->Call("InsertAfter", {std::string("b")});
    cell->Call("InsertBefore", {std::string("a")});
    EXPECT_EQ(OleAsText(cell->Get("Text")), "ab");
    EXPECT_EQ(errorOf([&] { doc->Call("Print"); }), "Unknown name.");
}

TEST(LibreOfficeServer, ARunThatTakesTooLongIsEndedWithWhatItStarted) {
    TempDir tmp;
    std::string script = tmp.file("slow-office");
    std::string pidFile = tmp.file("child.pid");
    writeFile(script, "#!/bin/sh\nsleep 60 &\necho $! > '" + pidFile + "'\nwait\n");
    std::filesystem::permissions(script, std::filesystem::perms::owner_all);
    writeFile(tmp.file("in.fods"), "");
    EXPECT_EQ(errorOf([&] {
                  ConvertWithLibreOffice(script, tmp.file("in.fods"), tmp.str(), "xls:MS Excel 97", 700);
              }),
              "LibreOffice did not finish within 1 second");
    std::string pid = readFile(pidFile);
    ASSERT_FALSE(pid.empty());
    pid.erase(pid.find_last_not_of('\n') + 1);
    // The child is gone (or a zombie waiting for a parent to reap it) soon after.
    bool ended = false;
    for (int i = 0; i < 50 && !ended; ++i) {
        std::ifstream stat("/proc/" + pid + "/stat");
        std::string content;
        std::getline(stat, content);
        ended = !stat || content.find(") Z") != std::string::npos;
        if (!ended) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    EXPECT_TRUE(ended) << "process " << pid << " still runs";
}
