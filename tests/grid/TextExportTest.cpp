#include "ExportTestSupport.h"

#include "grid/ReportCommands.h"
#include "grid/TextExport.h"

#include <QDir>

#include <gtest/gtest.h>

#include <filesystem>

using Lines = std::vector<std::string>;

namespace {

const std::string fixedTd = "<td nowrap BGCOLOR=\"#D4D0C8\">";

template <typename Fn> std::string errorOf(Fn fn) {
    try {
        fn();
    } catch (const EReportGridError& e) {
        return e.what();
    }
    return "no EReportGridError";
}

} // namespace

TEST(CellFile, NewTableAndTheSameTableAfterACsvCommand) {
    TempDir tmp;
    TReportGrid grid = newResultsTable();
    std::string path = FileSaveItemClick(grid, tmp.str());
    EXPECT_EQ(path, tmp.file("Larkspan.txt"));
    EXPECT_EQ(crlfLines(path), (Lines{"2,2", "cw 0,311", "cw 1,311", "0,0,Engine", "1,0,URLs Submitted"}));

    // The CSV command switches the fixed cells off for good: the CSV holds the one empty
    // cell, and the next cell file counts one column and one row and lists no cell.
    SavetoCSV1Click(grid, tmp.str());
    EXPECT_FALSE(grid.IncludeFixedCells);
    EXPECT_EQ(readFile(tmp.file("Larkspan.csv")), "\"\"\r\n");
    FileSaveItemClick(grid, tmp.str());
    EXPECT_EQ(crlfLines(tmp.file("Larkspan.txt")), (Lines{"1,1", "cw 0,311", "cw 1,311"}));
}

TEST(CellFile, CellsKeepTheirTableIndicesAndOneLineEach) {
    TempDir tmp;
    TReportGrid grid = newResultsTable();
    grid.SetRowCount(3);
    grid.SetCellText(0, 1, "Lycos");
    grid.SetCellText(1, 1, "a, b\r\nnext");
    grid.SetCellText(1, 2, "http://x.example/");
    grid.SetColWidth(1, 42);
    grid.IncludeFixedCells = false;
    ExportCells(grid, tmp.file("cells.txt"));
    EXPECT_EQ(crlfLines(tmp.file("cells.txt")),
              (Lines{"1,2", "cw 0,311", "cw 1,42", "1,1,a, b\t\bnext", "1,2,http://x.example/"}));
}

TEST(Csv, FieldsAreQuotedWhenAReaderWouldMisreadThem) {
    TempDir tmp;
    TReportGrid grid(1, 8, 0, 0);
    const Lines cells = {"a,b",      "say \"hi\"", "x \"q\", y", "one\r\ntwo",
                         "lone\rcr", "",           "plain text", "line\nfeed"};
    for (int r = 0; r < 8; ++r)
        grid.SetCellText(0, r, cells[static_cast<std::size_t>(r)]);
    ExportCsv(grid, tmp.file("out.csv"));
    EXPECT_EQ(readFile(tmp.file("out.csv")), "\"a,b\"\r\n"
                                             "\"say \"\"hi\"\"\"\r\n"
                                             "\"x \"\"q\"\", y\"\r\n"
                                             "\"one\ntwo\"\r\n"
                                             "\"lone\rcr\"\r\n"
                                             "\"\"\r\n"
                                             "plain text\r\n"
                                             "\"line\nfeed\"\r\n");
}

TEST(Csv, SeveralColumnsAreSeparatedByCommas) {
    TempDir tmp;
    TReportGrid grid = newResultsTable();
    grid.SetCellText(0, 1, "Lycos");
    ExportCsv(grid, tmp.file("out.csv"));
    EXPECT_EQ(readFile(tmp.file("out.csv")), "Engine,URLs Submitted\r\nLycos,\"\"\r\n");
}

TEST(Csv, MasterFileIsCreatedAndThenExtended) {
    TempDir tmp;
    TReportGrid grid = newResultsTable();
    grid.SetRowCount(3);
    grid.SetCellText(0, 1, "Lycos");
    grid.SetCellText(1, 1, "My Site, Inc.");
    ASSERT_FALSE(std::filesystem::exists(tmp.file("Larkspan Master.csv")));
    std::string path = AppendtoMASTERCSV1Click(grid, tmp.str());
    EXPECT_EQ(path, tmp.file("Larkspan Master.csv"));
    EXPECT_EQ(readFile(path), "\"My Site, Inc.\"\r\n\"\"\r\n");
    AppendtoMASTERCSV1Click(grid, tmp.str());
    EXPECT_EQ(readFile(path), "\"My Site, Inc.\"\r\n\"\"\r\n\"My Site, Inc.\"\r\n\"\"\r\n");
    EXPECT_FALSE(grid.IncludeFixedCells);
}

TEST(Ascii, EveryCellAlignedInAFieldOneWiderThanItsColumn) {
    TempDir tmp;
    TReportGrid grid = newResultsTable();
    grid.IncludeFixedCells = false; // ignored by this writer
    std::string path = SavetoASCII1Click(grid, tmp.str());
    EXPECT_EQ(path, tmp.file("Larkspan.asc"));
    Lines lines = crlfLines(path);
    EXPECT_EQ(lines, (Lines{"Engine URLs Submitted ", std::string(22, ' ')}));
    EXPECT_EQ(lines[0].size(), 22u);

    // Widths count characters, not bytes, and only the first line of a cell.
    grid.SetRowCount(3);
    grid.SetCellText(0, 1, "Z\xc3\xbcrich");
    grid.SetCellText(1, 1, "short\r\na much longer second line");
    grid.SetCellText(0, 2, "Lycos");
    ExportAscii(grid, tmp.file("out.asc"));
    EXPECT_EQ(
        crlfLines(tmp.file("out.asc")),
        (Lines{"Engine URLs Submitted ", "Z\xc3\xbcrich short          ", "Lycos  " + std::string(15, ' ')}));
}

TEST(Html, NewTableBeforeAndAfterACsvCommand) {
    TempDir tmp;
    TReportGrid grid = newResultsTable();
    std::string path = SavetoHTML1Click(grid, tmp.str());
    EXPECT_EQ(path, tmp.file("Larkspan.htm"));
    EXPECT_EQ(crlfLines(path),
              (Lines{"<table border=\"1\" cellspacing=\"0\" width=\"100%\">", "<tr>",
                     fixedTd + "<B>Engine</B></td>", fixedTd + "<B>URLs Submitted</B></td>", "</tr>", "<tr>",
                     fixedTd + "<br></td>", "<td nowrap><br></td>", "</tr>", "</table><p>"}));

    SavetoCSV1Click(grid, tmp.str());
    SavetoHTML1Click(grid, tmp.str());
    EXPECT_EQ(crlfLines(path), (Lines{"<table border=\"1\" cellspacing=\"0\" width=\"100%\">", "<tr>",
                                      "<td nowrap><br></td>", "</tr>", "</table><p>"}));
}

TEST(Html, CellTextIsEscapedAndLinksStayAnchors) {
    TempDir tmp;
    TReportGrid grid(1, 5, 0, 0);
    grid.SetCellText(0, 0, "<script>alert(\"x\")</script> & 'more'");
    grid.SetCellText(0, 1, "http://example.com/a?b=1&c=\"2\"");
    grid.SetCellText(0, 2, "Write to mailto:me@example.com");
    grid.SetCellText(0, 3, "first\r\nsecond");
    grid.SetCellText(0, 4, "ftp://" + std::string(300, 'x'));
    ExportHtml(grid, tmp.file("out.htm"));
    Lines lines = crlfLines(tmp.file("out.htm"));
    ASSERT_EQ(lines.size(), 17u);
    EXPECT_EQ(lines[2],
              "<td nowrap>&lt;script&gt;alert(&quot;x&quot;)&lt;/script&gt; &amp; &#39;more&#39;</td>");
    EXPECT_EQ(lines[5], "<td nowrap><A HREF=\"http://example.com/a?b=1&amp;c=&quot;2&quot;\">"
                        "example.com/a?b=1&amp;c=&quot;2&quot;</A></td>");
    EXPECT_EQ(lines[8], "<td nowrap><A HREF=\"Write to mailto:me@example.com\">me@example.com</A></td>");
    EXPECT_EQ(lines[11], "<td nowrap>first<br>\nsecond</td>");
    // The visible part of a link is cut at 255 characters; the address stays whole.
    EXPECT_EQ(lines[14], "<td nowrap><A HREF=\"ftp://" + std::string(300, 'x') + "\">" +
                             std::string(255, 'x') + "</A></td>");
}

TEST(Html, MailAddressWinsOverAWebAddressInTheSameCell) {
    TempDir tmp;
    TReportGrid grid(1, 2, 0, 0);
    grid.SetCellText(0, 0, "http://example.com/contact?to=mailto:me@example.com");
    grid.SetCellText(0, 1, "mailto:me@example.com (see http://example.com/)");
    ExportHtml(grid, tmp.file("out.htm"));
    Lines lines = crlfLines(tmp.file("out.htm"));
    ASSERT_EQ(lines.size(), 8u);
    EXPECT_EQ(lines[2], "<td nowrap><A HREF=\"http://example.com/contact?to=mailto:me@example.com\">"
                        "me@example.com</A></td>");
    EXPECT_EQ(lines[5], "<td nowrap><A HREF=\"mailto:me@example.com (see http://example.com/)\">"
                        "me@example.com (see http://example.com/)</A></td>");
}

TEST(Html, SettingsWrapTheTable) {
    TempDir tmp;
    writeFile(tmp.file("head.txt"), "<html>\n<body>\r\n");
    writeFile(tmp.file("foot.txt"), "</body></html>");
    TReportGrid grid(1, 1, 0, 0);
    grid.SetCellText(0, 0, "x");
    grid.HTMLSettings.BorderSize = 2;
    grid.HTMLSettings.CellSpacing = 3;
    grid.HTMLSettings.Width = 50;
    grid.HTMLSettings.PrefixTag = "<h1>Report</h1>";
    grid.HTMLSettings.SuffixTag = "<hr>";
    grid.HTMLSettings.HeaderFile = tmp.file("head.txt");
    grid.HTMLSettings.FooterFile = tmp.file("foot.txt");
    grid.HTMLSettings.FixedColor = 0x0A0B0C;
    ExportHtml(grid, tmp.file("out.htm"));
    EXPECT_EQ(
        crlfLines(tmp.file("out.htm")),
        (Lines{"<html>", "<body>", "<h1>Report</h1>", "<table border=\"2\" cellspacing=\"3\" width=\"50%\">",
               "<tr>", "<td nowrap>x</td>", "</tr>", "</table><p>", "<hr>", "</body></html>"}));

    // A header or footer that cannot be read is left out without a word.
    grid.HTMLSettings.HeaderFile = tmp.file("missing.txt");
    ExportHtml(grid, tmp.file("out.htm"));
    EXPECT_EQ(crlfLines(tmp.file("out.htm")).front(), "<h1>Report</h1>");
    EXPECT_EQ(HtmlColor(0x0A0B0C), "0A0B0C");
    EXPECT_EQ(HtmlColor(0xFFEEDD), "FFEEDD");
}

TEST(Errors, AFileThatCannotBeCreatedOrWrittenIsReported) {
    TempDir tmp;
    TReportGrid grid = newResultsTable();
    std::string missingDir = tmp.file("no-such-dir");
    EXPECT_EQ(errorOf([&] { FileSaveItemClick(grid, missingDir); }),
              "Cannot create " + missingDir + "/Larkspan.txt");
    EXPECT_EQ(errorOf([&] { SavetoHTML1Click(grid, missingDir); }),
              "Cannot create " + missingDir + "/Larkspan.htm");
    EXPECT_EQ(errorOf([&] { ExportCsv(grid, missingDir + "/x.csv"); }),
              "Cannot create " + missingDir + "/x.csv: No such file or directory");

    // The busy cursor comes back when the column-aligned export fails.
    RecordingBusyCursor busy;
    EXPECT_EQ(errorOf([&] {
                  SavetoASCII1Click(grid, missingDir, {nullptr, &busy});
              }),
              "Cannot create " + missingDir + "/Larkspan.asc");
    EXPECT_EQ(busy.log(), (Lines{"busy on", "busy off"}));

    // A full disk: the CSV writer fails at its first flush, the others when they close.
    for (auto write : {ExportCells, ExportCsv, AppendCsv, ExportHtml})
        EXPECT_EQ(errorOf([&] { write(grid, "/dev/full"); }),
                  "Cannot write /dev/full: No space left on device");
    EXPECT_EQ(errorOf([&] { ExportAscii(grid, "/dev/full", nullptr); }),
              "Cannot write /dev/full: No space left on device");
}

TEST(Commands, ExistingFilesAreReplacedWholeAndOnlyTheMasterFileGrows) {
    TempDir fresh;
    TempDir used;
    const std::string stale = std::string(5000, 'x') + "\r\n";
    for (const auto& command : ReportCommands()) {
        const std::string name = command.fileName;
        if (name.ends_with(".xls") || name.ends_with(".doc")) continue;
        writeFile(used.file(name), stale);
    }
    // The same commands in the same order on the same table, once into an empty directory and
    // once over longer files left by an earlier session.
    TReportGrid first = newResultsTable();
    TReportGrid second = newResultsTable();
    for (auto run :
         {FileSaveItemClick, SavetoHTML1Click, SavetoASCII1Click, SavetoCSV1Click, AppendtoMASTERCSV1Click}) {
        run(first, fresh.path(), {});
        run(second, used.path(), {});
    }
    for (const char* name : {"Larkspan.txt", "Larkspan.htm", "Larkspan.asc", "Larkspan.csv"})
        EXPECT_EQ(readFile(used.file(name)), readFile(fresh.file(name))) << name;
    EXPECT_EQ(readFile(used.file("Larkspan Master.csv")),
              stale + readFile(fresh.file("Larkspan Master.csv")));
}

TEST(Commands, WithoutADirectoryTheFilesLandInTheWorkingDirectory) {
    TempDir tmp;
    QString previous = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(QString::fromStdString(tmp.str())));
    TReportGrid grid = newResultsTable();
    std::filesystem::create_directory("Larkspan.htm"); // a directory where the file should go
    std::string saved = FileSaveItemClick(grid, "");
    std::string htmlError = errorOf([&] { SavetoHTML1Click(grid, ""); });
    QDir::setCurrent(previous);

    EXPECT_EQ(saved, std::filesystem::canonical(tmp.str()).string() + "/Larkspan.txt");
    EXPECT_EQ(crlfLines(tmp.file("Larkspan.txt")).front(), "2,2");
    EXPECT_EQ(htmlError, "Cannot create Larkspan.htm");

    Lines names;
    for (const auto& command : ReportCommands())
        names.push_back(std::string(command.caption) + " -> " + command.fileName);
    EXPECT_EQ(names, (Lines{"&Save -> Larkspan.txt", "Save to CSV -> Larkspan.csv",
                            "Append to MASTER.CSV -> Larkspan Master.csv", "Save as XLS -> Larkspan.xls",
                            "Save to HTML -> Larkspan.htm", "Save to ASCII -> Larkspan.asc",
                            "Save to DOC -> Larkspan.doc"}));
}

TEST(Ascii, TheTextForMailIsWhatTheFileHolds) {
    TempDir tmp;
    TReportGrid grid = awkwardResultsTable();
    ExportAscii(grid, tmp.file("out.asc"));
    EXPECT_EQ(AsciiText(grid), readFile(tmp.file("out.asc")));
    EXPECT_FALSE(AsciiText(grid).empty());
}

TEST(Ascii, ACellEndsAtItsFirstLineBreakOfAnyKind) {
    TempDir tmp;
    TReportGrid grid(2, 4, 0, 0);
    grid.SetCellText(0, 0, "ab\rlonger text");
    grid.SetCellText(0, 1, "abc\nlonger text");
    grid.SetCellText(0, 2, "a\r\nb");
    grid.SetCellText(0, 3, "\n");
    for (int r = 0; r < 4; ++r)
        grid.SetCellText(1, r, "x");
    EXPECT_EQ(AsciiText(grid), "ab  x \r\nabc x \r\na   x \r\n    x \r\n");
}

TEST(Html, OnlyWebAndMailSchemesBecomeLinks) {
    TempDir tmp;
    const Lines scripts = {"javascript:alert(1)//://x",   " \x01JavaScript:alert(1)//mailto:x",
                           "java\tscript:alert(1)//://x", "vbscript:x//://",
                           "data:text/html,<b>//://",     "file:///etc/passwd",
                           "\nVBSCRIPT:x//mailto:y"};
    const Lines links = {"HTTPS://example.com/", "ftp://example.com/f", "mailto:me@example.com",
                         "www.example.com/?u=http://x", "see http://example.com/"};
    TReportGrid grid(1, static_cast<int>(scripts.size() + links.size()), 0, 0);
    int row = 0;
    for (const auto& text : scripts)
        grid.SetCellText(0, row++, text);
    for (const auto& text : links)
        grid.SetCellText(0, row++, text);
    ExportHtml(grid, tmp.file("out.htm"));
    Lines lines = crlfLines(tmp.file("out.htm"));
    for (std::size_t i = 0; i < scripts.size(); ++i)
        EXPECT_EQ(lines[2 + 3 * i].find("<A "), std::string::npos) << lines[2 + 3 * i];
    EXPECT_EQ(lines[2], "<td nowrap>javascript:alert(1)//://x</td>");
    EXPECT_EQ(lines[11], "<td nowrap>vbscript:x//://</td>");
    for (std::size_t i = scripts.size(); i < scripts.size() + links.size(); ++i)
        EXPECT_EQ(lines[2 + 3 * i].rfind("<td nowrap><A HREF=\"", 0), 0u) << lines[2 + 3 * i];
    EXPECT_EQ(lines[2 + 3 * scripts.size()],
              "<td nowrap><A HREF=\"HTTPS://example.com/\">example.com/</A></td>");
}
