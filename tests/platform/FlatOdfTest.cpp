#include "platform/FlatOdf.h"

#include <QXmlStreamReader>

#include <gtest/gtest.h>

namespace {

// Reads the cells of every table back the way an OpenDocument reader does: paragraphs of a
// cell joined by LF, <text:s/> and <text:tab/> as a space and a tab, text as it stands
// (white space inside text is kept, as LibreOffice keeps it).
std::vector<std::string> readCells(const std::string& xml, std::string* error) {
    QXmlStreamReader reader(QByteArray::fromStdString(xml));
    std::vector<std::string> cells;
    bool inCell = false;
    int paragraphs = 0;
    while (!reader.atEnd()) {
        reader.readNext();
        if (reader.isStartElement()) {
            auto name = reader.qualifiedName();
            if (name == QLatin1String("table:table-cell")) {
                inCell = true;
                paragraphs = 0;
                cells.emplace_back();
            } else if (inCell && name == QLatin1String("text:p")) {
                if (paragraphs++ > 0) cells.back() += "\n";
            } else if (inCell && name == QLatin1String("text:s")) {
                int count = reader.attributes().value("text:c").toInt();
                cells.back() += std::string(count > 0 ? count : 1, ' ');
            } else if (inCell && name == QLatin1String("text:tab")) {
                cells.back() += "\t";
            }
        } else if (reader.isEndElement() && reader.qualifiedName() == QLatin1String("table:table-cell")) {
            inCell = false;
        } else if (reader.isCharacters() && inCell && paragraphs > 0) {
            cells.back() += reader.text().toUtf8().toStdString();
        }
    }
    if (reader.hasError()) *error = reader.errorString().toStdString();
    return cells;
}

} // namespace

TEST(FlatOdf, EveryCellTextSurvivesTheXml) {
    const std::vector<std::string> texts = {
        "plain",
        "  leading",
        "trailing  ",
        "a  b   c",
        " ",
        "a\tb",
        "<&>\"'",
        "line1\r\nline2\rline3\nline4",
        "caf\xc3\xa9 \xe6\x97\xa5\xf0\x9f\x98\x80",
        "",
        "=1+1",
    };
    OdfGrid grid{"Sheet1", static_cast<int>(texts.size()), 1, texts};
    std::string error;
    auto text = readCells(FlatOdtDocument({std::string("before"), grid}), &error);
    EXPECT_EQ(error, "");
    std::vector<std::string> expected;
    for (const auto& t : texts) {
        // Each of CR LF, CR and LF breaks the line.
        std::string lines;
        for (std::size_t i = 0; i < t.size(); ++i) {
            if (t[i] == '\r' && i + 1 < t.size() && t[i + 1] == '\n') continue;
            lines += t[i] == '\r' ? '\n' : t[i];
        }
        expected.push_back(lines);
    }
    EXPECT_EQ(text, expected);

    // The spreadsheet carries a tab as a character reference and its empty cells as empty
    // elements; the texts are the same.
    auto sheet = readCells(FlatOdsDocument({grid}), &error);
    EXPECT_EQ(error, "");
    EXPECT_EQ(sheet, expected);
}

TEST(FlatOdf, TextThatXmlCannotCarryIsDroppedOrReplaced) {
    OdfGrid grid{"T", 1, 3, {"bell\x07 and nul\x01", "bad \xff byte", "\xef\xbf\xbf"}};
    std::string error;
    auto cells = readCells(FlatOdsDocument({grid}), &error);
    EXPECT_EQ(error, "");
    EXPECT_EQ(cells, (std::vector<std::string>{"bell and nul", "bad \xef\xbf\xbd byte", ""}));
}
