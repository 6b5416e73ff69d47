// The CSV and HTML files of a table with awkward cells, read back by other programs'
// readers: every cell must come back as it was.
#include "ExportTestSupport.h"

#include "grid/ReportCommands.h"
#include "grid/TextExport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

namespace {

using Rows = std::vector<std::vector<std::string>>;

QJsonDocument parseJson(const std::string& text) {
    QJsonParseError error;
    QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(text), &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << text;
    return doc;
}

Rows csvRows(const std::string& path) {
    Rows rows;
    for (const auto& row : parseJson(runPythonPeer("read_csv.py", {path})).array()) {
        auto& out = rows.emplace_back();
        for (const auto& field : row.toArray())
            out.push_back(field.toString().toStdString());
    }
    return rows;
}

// What a CSV reader gets back for a cell: a quoted field's CR LF pairs are written as LF.
std::string csvValue(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i)
        if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) out += text[i];
    return out;
}

Rows expectedCsv(const TReportGrid& grid, int c0, int r0) {
    Rows rows;
    for (int r = r0; r < grid.RowCount(); ++r) {
        auto& out = rows.emplace_back();
        for (int k = c0; k < grid.ColCount(); ++k)
            out.push_back(csvValue(grid.CellText(k, r)));
    }
    return rows;
}

} // namespace

TEST(ExportPeers, PythonCsvReadsBackEveryCell) {
    TempDir tmp;
    TReportGrid grid = awkwardResultsTable();
    ExportCsv(grid, tmp.file("all.csv"));
    EXPECT_EQ(csvRows(tmp.file("all.csv")), expectedCsv(grid, 0, 0));

    // The menu command leaves out the header row and the engine column.
    std::string path = SavetoCSV1Click(grid, tmp.str());
    EXPECT_EQ(csvRows(path), expectedCsv(grid, 1, 1));
}

TEST(ExportPeers, PythonHtmlParserReadsBackEveryCell) {
    TempDir tmp;
    TReportGrid grid = awkwardResultsTable();
    std::string path = SavetoHTML1Click(grid, tmp.str());
    QJsonObject parsed = parseJson(runPythonPeer("read_html.py", {path})).object();

    // Only the table's own elements: no cell text turned into markup.
    QStringList tags;
    for (const auto& tag : parsed["tags"].toArray())
        tags << tag.toString();
    EXPECT_EQ(tags.join(" ").toStdString(), "a b br p table td tr");

    QJsonArray rows = parsed["rows"].toArray();
    ASSERT_EQ(rows.size(), grid.RowCount());
    for (int r = 0; r < grid.RowCount(); ++r) {
        QJsonArray cells = rows[r].toArray();
        ASSERT_EQ(cells.size(), grid.ColCount()) << "row " << r;
        for (int k = 0; k < grid.ColCount(); ++k) {
            const std::string& text = grid.CellText(k, r);
            QJsonObject cell = cells[k].toObject();
            std::string shown = cell["text"].toString().toStdString();
            SCOPED_TRACE("cell " + std::to_string(k) + "," + std::to_string(r) + ": " + text);
            EXPECT_EQ(cell["fixed"].toBool(), r == 0 || k == 0);
            EXPECT_EQ(cell["bold"].toBool(), r == 0);
            if (TReportGrid::IsLinkText(text)) {
                EXPECT_EQ(cell["href"].toString().toStdString(), text);
                auto mail = text.find("mailto:");
                EXPECT_EQ(shown, mail != std::string::npos ? text.substr(mail + 7)
                                                           : text.substr(text.find("://") + 3));
            } else {
                EXPECT_TRUE(cell["href"].isNull());
                EXPECT_EQ(shown, text);
            }
        }
    }
}
