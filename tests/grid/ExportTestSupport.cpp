#include "ExportTestSupport.h"

#include <QProcess>
#include <QString>
#include <QStringList>

#include <gtest/gtest.h>

TReportGrid newResultsTable() {
    TReportGrid grid(2, 2, 1, 1);
    grid.SetCellText(0, 0, "Engine");
    grid.SetCellText(1, 0, "URLs Submitted");
    grid.SetColWidth(0, 311);
    grid.SetColWidth(1, 311);
    return grid;
}

TReportGrid awkwardResultsTable() {
    const std::vector<std::pair<std::string, std::string>> rows = {
        {"AltaVista", "a,b"},
        {"Comma \"and\" quote", "say \"hi\""},
        {"Both", "x \"q\", y"},
        {"CRLF", "line1\r\nline2"},
        {"LF", "only\nLF, with comma"},
        {"Script", "<script>alert('x')</script>"},
        {"Amp", "Fish & Chips > \"Chips\" < 'Fish'"},
        {"\xc3\x9c"
         "bersicht",
         "\xe6\x97\xa5\xe6\x9c\xac \xe2\x9c\x93 caf\xc3\xa9"},
        {"Link", "http://example.com/a?b=1&c=<2>"},
        {"Mail", "mailto:someone@example.com"},
        {"Spaces", "  two leading,  two inside, trailing  "},
        {"Tab", "a\tb"},
        {"Empty", ""},
        {"=1+1", "007"},
        {"More Info:", "This report prepared by Larkspan. Latest version from:"},
        {"", "http://larkspan.example/"},
    };
    TReportGrid grid = newResultsTable();
    grid.SetRowCount(1 + static_cast<int>(rows.size()));
    int r = 1;
    for (const auto& [engine, site] : rows) {
        grid.SetCellText(0, r, engine);
        grid.SetCellText(1, r++, site);
    }
    return grid;
}

std::vector<std::string> crlfLines(const std::string& path) {
    std::string text = readFile(path);
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        auto end = text.find("\r\n", start);
        if (end == std::string::npos) {
            lines.push_back(text.substr(start) + "<no CR LF>");
            break;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

std::string runPythonPeer(const std::string& script, const std::vector<std::string>& args) {
    QStringList arguments{QString::fromStdString(std::string(LARKSPAN_SOURCE_DIR) + "/tests/grid/" + script)};
    for (const auto& a : args)
        arguments << QString::fromStdString(a);
    QProcess python;
    python.start("python3", arguments);
    bool finished = python.waitForFinished(30000);
    QByteArray errors = python.readAllStandardError();
    EXPECT_TRUE(finished && python.exitStatus() == QProcess::NormalExit && python.exitCode() == 0)
        << script << " failed: " << errors.toStdString();
    return python.readAllStandardOutput().toStdString();
}
