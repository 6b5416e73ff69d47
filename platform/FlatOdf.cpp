#include "platform/FlatOdf.h"

#include "platform/Text.h"

#include <QList>
#include <QString>

namespace {

const char* const header =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<office:document xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\""
    " xmlns:table=\"urn:oasis:names:tc:opendocument:xmlns:table:1.0\""
    " xmlns:text=\"urn:oasis:names:tc:opendocument:xmlns:text:1.0\""
    " office:version=\"1.2\" office:mimetype=\"application/vnd.oasis.opendocument.";

// A character as UTF-8, with the characters that markup uses written as references.
void appendEscaped(std::string& out, char32_t c) {
    if (c < 0x80) {
        const char ascii = static_cast<char>(c);
        out += htmlEscape(std::string_view(&ascii, 1));
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// The two kinds of document differ in how LibreOffice reads a few things back.
enum class Kind { Spreadsheet, Text };

// One line of text as paragraph content. XML collapses runs of white space, so every space
// that is not a single one between two other characters is written as <text:s/>. A tab is
// <text:tab/> in a text document; the spreadsheet drops that element from a cell but keeps a
// tab given as a character reference. Characters that XML cannot carry (control characters, U+FFFE, U+FFFF)
// are dropped, and bytes that are not UTF-8 become U+FFFD, so the file always parses.
std::string paragraphContent(const std::string& line, Kind kind) {
    const auto chars = QString::fromUtf8(line.data(), static_cast<qsizetype>(line.size())).toUcs4();
    std::string out;
    for (qsizetype i = 0; i < chars.size(); ++i) {
        char32_t c = chars[i];
        if (c == ' ') {
            bool single = i > 0 && chars[i - 1] != ' ' && i + 1 < chars.size() && chars[i + 1] != ' ';
            out += single ? " " : "<text:s/>";
        } else if (c == '\t') {
            out += kind == Kind::Text ? "<text:tab/>" : "&#9;";
        } else if (c < 0x20 || c == 0xFFFE || c == 0xFFFF) {
            continue;
        } else {
            appendEscaped(out, c);
        }
    }
    return out;
}

std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines(1);
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '\r' || c == '\n') {
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
            lines.emplace_back();
        } else {
            lines.back() += c;
        }
    }
    return lines;
}

void appendParagraphs(std::string& out, const std::string& text, Kind kind) {
    for (const auto& line : splitLines(text)) {
        std::string content = paragraphContent(line, kind);
        out += content.empty() ? "<text:p/>" : "<text:p>" + content + "</text:p>";
    }
}

void appendTable(std::string& out, const OdfGrid& grid, Kind kind) {
    out += "<table:table table:name=\"";
    for (char32_t c : QString::fromUtf8(grid.name.c_str()).toUcs4())
        appendEscaped(out, c);
    out += "\">";
    if (grid.cols > 0)
        out += "<table:table-column table:number-columns-repeated=\"" + std::to_string(grid.cols) + "\"/>";
    for (int r = 0; r < grid.rows; ++r) {
        out += "<table:table-row>";
        for (int c = 0; c < grid.cols; ++c) {
            const std::string& text = grid.cells.at(static_cast<std::size_t>(r * grid.cols + c));
            // A text document wants a paragraph in every cell; an empty sheet cell has none.
            if (text.empty() && kind == Kind::Spreadsheet) {
                out += "<table:table-cell/>";
                continue;
            }
            out += "<table:table-cell office:value-type=\"string\">";
            appendParagraphs(out, text, kind);
            out += "</table:table-cell>";
        }
        out += "</table:table-row>\n";
    }
    out += "</table:table>\n";
}

} // namespace

std::string FlatOdsDocument(const std::vector<OdfGrid>& sheets) {
    std::string out = header;
    out += "spreadsheet\">\n<office:body><office:spreadsheet>\n";
    for (const auto& sheet : sheets)
        appendTable(out, sheet, Kind::Spreadsheet);
    out += "</office:spreadsheet></office:body></office:document>\n";
    return out;
}

std::string FlatOdtDocument(const std::vector<OdfBlock>& blocks) {
    std::string out = header;
    out += "text\">\n<office:body><office:text>\n";
    for (const auto& block : blocks) {
        if (const auto* paragraph = std::get_if<std::string>(&block)) {
            appendParagraphs(out, *paragraph, Kind::Text);
            out += "\n";
        } else {
            appendTable(out, std::get<OdfGrid>(block), Kind::Text);
        }
    }
    out += "</office:text></office:body></office:document>\n";
    return out;
}
