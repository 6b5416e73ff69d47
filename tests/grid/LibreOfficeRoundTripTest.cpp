// "Larkspan.xls" and "Larkspan.doc" written by LibreOffice, read back by LibreOffice.
#include "ExportTestSupport.h"

#include "grid/ReportCommands.h"
#include "platform/LibreOffice.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <gtest/gtest.h>

namespace {

using Rows = std::vector<std::vector<std::string>>;
const int timeoutMs = 120000;

std::string withoutCarriageReturns(std::string text) {
    std::erase(text, '\r');
    return text;
}

bool isCompoundFile(const std::string& path) {
    return readFile(path).substr(0, 8) == std::string("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8);
}

class LibreOfficeRoundTrip : public ::testing::Test {
protected:
    void SetUp() override {
        soffice_ = FindLibreOffice();
        if (soffice_.empty())
            GTEST_SKIP() << "soffice is not on the PATH: install libreoffice-calc-nogui and "
                            "libreoffice-writer-nogui (tools/install-deps.sh) to run this test";
    }
    std::string soffice_;
    TempDir tmp_;
};

} // namespace

TEST_F(LibreOfficeRoundTrip, SpreadsheetHoldsEveryCell) {
    TReportGrid grid = awkwardResultsTable();
    std::string path = SaveasXLS1Click(grid, tmp_.path());
    EXPECT_EQ(path, tmp_.file("Larkspan.xls"));
    ASSERT_TRUE(isCompoundFile(path));

    std::string csv = ConvertWithLibreOffice(soffice_, path, tmp_.path(),
                                             "csv:Text - txt - csv (StarCalc):44,34,76,1", timeoutMs);
    QJsonDocument parsed =
        QJsonDocument::fromJson(QByteArray::fromStdString(runPythonPeer("read_csv.py", {csv})));
    Rows rows;
    for (const auto& row : parsed.array()) {
        auto& out = rows.emplace_back();
        for (const auto& field : row.toArray())
            out.push_back(field.toString().toStdString());
    }
    Rows expected;
    for (int r = 0; r < grid.RowCount(); ++r)
        expected.push_back(
            {withoutCarriageReturns(grid.CellText(0, r)), withoutCarriageReturns(grid.CellText(1, r))});
    EXPECT_EQ(rows, expected);
}

TEST_F(LibreOfficeRoundTrip, DocumentHoldsEveryCell) {
    TReportGrid grid = awkwardResultsTable();
    grid.IncludeFixedCells = false; // the document shows the fixed cells all the same
    std::string path = SavetoDOC1Click(grid, tmp_.path());
    EXPECT_EQ(path, tmp_.file("Larkspan.doc"));
    ASSERT_TRUE(isCompoundFile(path));

    std::string text =
        readFile(ConvertWithLibreOffice(soffice_, path, tmp_.path(), "txt:Text (encoded):UTF8", timeoutMs));
    if (text.starts_with("\xEF\xBB\xBF")) text.erase(0, 3);
    // Writer's text export puts every paragraph of every cell on a line of its own, row by
    // row, and ends with the empty paragraph that follows the table.
    std::string expected;
    for (int r = 0; r < grid.RowCount(); ++r)
        for (int k = 0; k < grid.ColCount(); ++k)
            expected += withoutCarriageReturns(grid.CellText(k, r)) + "\n";
    expected += "\n";
    EXPECT_EQ(withoutCarriageReturns(text), expected);
}
