#include "ExportTestSupport.h"
#include "RecordingOffice.h"

#include "grid/OfficeExport.h"
#include "grid/ReportCommands.h"
#include "platform/LibreOffice.h"
#include "platform/LibreOfficeWriter.h"

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

// A stand-in for LibreOffice that "converts" by copying the flat document it is handed, so
// that a test can read what the writer made.
std::string copyingOffice(const TempDir& dir) {
    std::string script = dir.file("copying-office");
    writeFile(script, "#!/bin/sh\n"
                      "while [ $# -gt 1 ]; do\n"
                      "  case \"$1\" in\n"
                      "    --convert-to) ext=\"${2%%:*}\"; shift ;;\n"
                      "    --outdir) out=\"$2\"; shift ;;\n"
                      "  esac\n"
                      "  shift\n"
                      "done\n"
                      "cp \"$1\" \"$out/document.$ext\"\n");
    std::filesystem::permissions(script, std::filesystem::perms::owner_all);
    return script;
}

std::size_t count(const std::string& text, const std::string& part) {
    std::size_t n = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

} // namespace

TEST(OfficeExportCalls, SpreadsheetGetsTheBlockThatIncludeFixedCellsSelects) {
    TReportGrid grid = newResultsTable();
    {
        Lines log;
        RecordingOffice office(&log);
        RecordingBusyCursor busy(&log);
        ExportSpreadsheet(grid, "Larkspan.xls", office, &busy);
        EXPECT_EQ(log,
                  (Lines{"busy on",
                         "writeSpreadsheet(\"Larkspan.xls\", [[\"Engine\",\"URLs Submitted\"],[\"\",\"\"]])",
                         "busy off"}));
    }
    {
        // The menu command hands over the bare name when no directory is given.
        Lines log;
        RecordingOffice office(&log);
        RecordingBusyCursor busy(&log);
        grid.IncludeFixedCells = false;
        std::string path = SaveasXLS1Click(grid, "", {&office, &busy});
        EXPECT_EQ(log, (Lines{"busy on", "writeSpreadsheet(\"Larkspan.xls\", [[\"\"]])", "busy off"}));
        EXPECT_EQ(path, (std::filesystem::current_path() / "Larkspan.xls").string());
    }
}

TEST(OfficeExportCalls, DocumentAlwaysGetsEveryCell) {
    TReportGrid grid = newResultsTable();
    grid.IncludeFixedCells = false; // ignored by the document export
    grid.SetCellText(1, 1, "one\r\ntwo");
    Lines log;
    RecordingOffice office(&log);
    RecordingBusyCursor busy(&log);
    ExportDocument(grid, "Larkspan.doc", office, &busy);
    EXPECT_EQ(log, (Lines{"busy on",
                          "writeDocumentTable(\"Larkspan.doc\", "
                          "[[\"Engine\",\"URLs Submitted\"],[\"\",\"one\\r\\ntwo\"]])",
                          "busy off"}));

    // The spreadsheet gets the same cell with its line feed only.
    Lines sheetLog;
    RecordingOffice sheetOffice(&sheetLog);
    grid.IncludeFixedCells = true;
    ExportSpreadsheet(grid, "Larkspan.xls", sheetOffice);
    EXPECT_EQ(sheetLog.at(0),
              "writeSpreadsheet(\"Larkspan.xls\", [[\"Engine\",\"URLs Submitted\"],[\"\",\"one\\ntwo\"]])");
}

TEST(OfficeExportCalls, MissingOrFailingServers) {
    TReportGrid grid = newResultsTable();
    {
        Lines log;
        RecordingOffice office(&log);
        RecordingBusyCursor busy(&log);
        office.available = false;
        EXPECT_EQ(errorOf([&] { ExportSpreadsheet(grid, "Larkspan.xls", office, &busy); }),
                  "Excel OLE server not found");
        EXPECT_EQ(errorOf([&] { ExportDocument(grid, "Larkspan.doc", office, &busy); }),
                  "Word OLE server not found");
        ASSERT_EQ(log.size(), 6u);
        EXPECT_EQ(log[0], "busy on");
        EXPECT_EQ(log[1].substr(0, 17), "writeSpreadsheet(");
        EXPECT_EQ(log[2], "busy off");
        EXPECT_EQ(log[4].substr(0, 19), "writeDocumentTable(");
        EXPECT_EQ(log[5], "busy off");
        try {
            ExportSpreadsheet(grid, "Larkspan.xls", office);
            ADD_FAILURE() << "no error";
        } catch (const EReportGridError&) {
        }
    }
    // An application that refuses to save: its error reaches the caller, and still the
    // cursor comes back.
    for (auto run : {ExportSpreadsheet, ExportDocument}) {
        Lines log;
        RecordingOffice office(&log);
        RecordingBusyCursor busy(&log);
        office.failing = true;
        EXPECT_EQ(errorOf([&] { run(grid, "x", office, &busy); }), "The application refused the file");
        EXPECT_EQ(log.size(), 3u);
        EXPECT_EQ(log.back(), "busy off");
    }
}

TEST(LibreOfficeWriter, WithoutTheProgramNothingIsWritten) {
    TempDir tmp;
    TReportGrid grid = newResultsTable();
    LibreOfficeWriter office({"larkspan-no-such-office-program", 10000});
    RecordingBusyCursor busy;
    EXPECT_EQ(errorOf([&] {
                  SaveasXLS1Click(grid, tmp.str(), {&office, &busy});
              }),
              "Excel OLE server not found");
    EXPECT_EQ(errorOf([&] {
                  SavetoDOC1Click(grid, tmp.str(), {&office, &busy});
              }),
              "Word OLE server not found");
    EXPECT_EQ(busy.log(), (Lines{"busy on", "busy off", "busy on", "busy off"}));
    EXPECT_TRUE(std::filesystem::is_empty(tmp.str()));
}

TEST(LibreOfficeWriter, ChecksWhatItIsHandedAndHandsOverTheTableAsGiven) {
    TempDir tmp;
    // "true" stands in for LibreOffice: it starts, but converts nothing.
    LibreOfficeWriter idle({"true", 10000});
    EXPECT_EQ(errorOf([&] { idle.writeSpreadsheet({{"a"}}, tmp.file("out.xls")); }),
              "LibreOffice could not convert document.fods");
    EXPECT_FALSE(std::filesystem::exists(tmp.file("out.xls")));
    EXPECT_EQ(errorOf([&] { idle.writeDocumentTable({{"a"}}, ""); }), "Cannot save a file without a name");
    EXPECT_EQ(errorOf([&] { idle.writeDocumentTable({std::vector<std::string>(64)}, "x.doc"); }),
              "The number must be between 1 and 63.");
    EXPECT_EQ(errorOf([&] { idle.writeDocumentTable({}, "x.doc"); }),
              "The number must be between 1 and 32767.");

    // The sheet spans the texts that are not empty; the document's table comes before the
    // empty paragraph a new document holds, and keeps empty rows.
    LibreOfficeWriter copying({copyingOffice(tmp), 10000});
    copying.writeSpreadsheet({{"a", "b", ""}, {"", "c", ""}, {"", "", ""}}, tmp.file("sheet.xls"));
    const std::string sheet = readFile(tmp.file("sheet.xls"));
    EXPECT_EQ(count(sheet, "<table:table-row"), 2u) << sheet;
    EXPECT_NE(sheet.find("table:name=\"Sheet1\""), std::string::npos);
    copying.writeDocumentTable({{"x", "y"}, {"", ""}}, tmp.file("doc.doc"));
    const std::string doc = readFile(tmp.file("doc.doc"));
    EXPECT_EQ(count(doc, "<table:table-row"), 2u) << doc;
    EXPECT_LT(doc.find("</table:table>"), doc.rfind("<text:p")) << doc;
}

TEST(LibreOfficeWriter, ARunThatTakesTooLongIsEndedWithWhatItStarted) {
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
