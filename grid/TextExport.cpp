#include "grid/TextExport.h"

#include "platform/BusyCursor.h"
#include "platform/ReadFile.h"
#include "platform/Text.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <vector>

namespace {

struct Origin {
    int c0 = 0;
    int r0 = 0;
};

Origin origin(const TReportGrid& grid) {
    if (grid.IncludeFixedCells) return {};
    return {grid.FixedCols(), grid.FixedRows()};
}

enum class CreateMessage { NameOnly, WithCause };

// One output file of an export. Every failure becomes an EReportGridError naming the file,
// and the file is closed on every way out.
class OutputFile {
public:
    OutputFile(const std::string& name, const char* mode, CreateMessage message) : name_(name) {
        file_ = std::fopen(name.c_str(), mode);
        if (!file_) {
            std::string text = "Cannot create " + name;
            if (message == CreateMessage::WithCause) text += std::string(": ") + std::strerror(errno);
            throw EReportGridError(text);
        }
    }
    ~OutputFile() {
        if (file_) std::fclose(file_);
    }
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    void write(std::string_view bytes) {
        if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), file_) != bytes.size()) fail();
    }
    void flush() {
        if (std::fflush(file_) != 0) fail();
    }
    void close() {
        std::FILE* file = file_;
        file_ = nullptr;
        if (std::fclose(file) != 0) fail();
    }

private:
    [[noreturn]] void fail() {
        throw EReportGridError("Cannot write " + name_ + ": " + std::strerror(errno));
    }

    std::string name_;
    std::FILE* file_ = nullptr;
};

void writeFile(const std::string& fileName, std::string_view content) {
    OutputFile file(fileName, "wb", CreateMessage::NameOnly);
    file.write(content);
    file.close();
}

// ---- Cell file ----

std::string cellFileText(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c == '\r')
            c = '\t';
        else if (c == '\n')
            c = '\b';
    }
    return out;
}

// ---- CSV ----

std::string csvField(std::string_view text) {
    if (text.empty()) return "\"\"";
    if (text.find_first_of(",\"\r\n") == std::string_view::npos) return std::string(text);
    std::string out = "\"";
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
        if (c == '"') out += '"';
        out += c;
    }
    out += '"';
    return out;
}

void writeCsv(const TReportGrid& grid, OutputFile& file) {
    auto [c0, r0] = origin(grid);
    for (int r = r0; r < grid.RowCount(); ++r) {
        for (int k = c0; k < grid.ColCount(); ++k) {
            if (k > c0) {
                file.write(",");
                file.flush();
            }
            file.write(csvField(grid.CellText(k, r)));
            file.flush();
        }
        file.write("\r\n");
        file.flush();
    }
    file.close();
}

// ---- Column-aligned text ----

// A cell's part in column text: up to its first line break of any kind. The widths are
// measured on the same part, so a bare CR or LF can neither run the columns together nor
// land inside a line.
std::string_view firstLine(std::string_view text) {
    return text.substr(0, text.find_first_of("\r\n"));
}

// ---- HTML ----

// An attribute value also keeps its line breaks, which a reader would otherwise fold.
std::string attributeValue(std::string_view text) {
    std::string out = htmlEscape(text);
    out = replaceAll(out, "\r", "&#13;");
    return replaceAll(out, "\n", "&#10;");
}

// The first count characters of UTF-8 text.
std::string_view firstCharacters(std::string_view text, std::size_t count) {
    std::size_t i = 0;
    for (std::size_t seen = 0; i < text.size(); ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80 && seen++ == count) break;
    }
    return text.substr(0, i);
}

std::string visibleText(std::string_view text) {
    return replaceAll(htmlEscape(text), "\r", "<br>");
}

// Whether a link cell's address may become an anchor. A browser skips leading blanks and
// control characters and drops tabs and line breaks anywhere before it reads the scheme, so
// the scheme is read the same way here. An address with a scheme other than the web's and
// mail's (javascript:, data:, file: and the like) would run or open something on a click;
// an address without a scheme is relative to the page and stays a link.
bool safeLinkAddress(std::string_view text) {
    std::string address;
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if ((address.empty() && byte <= 0x20) || c == '\t' || c == '\n' || c == '\r') continue;
        address += c;
    }
    // Scheme characters are ASCII whatever the locale says of other bytes.
    const auto letter = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); };
    const auto schemeChar = [&letter](char c) {
        return letter(c) || (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.';
    };
    if (address.empty() || !letter(address[0])) return true;
    std::size_t end = 0;
    while (end < address.size() && schemeChar(address[end]))
        ++end;
    if (end == address.size() || address[end] != ':') return true;
    const std::string scheme = upperAscii(std::string_view(address).substr(0, end));
    return scheme == "HTTP" || scheme == "HTTPS" || scheme == "FTP" || scheme == "MAILTO";
}

// A cell's text as table data: CR as a line break, a link cell as an anchor showing the
// part after "mailto:" or "://", an empty cell as a line break so the cell keeps its frame.
std::string htmlCellText(std::string_view text) {
    if (text.empty()) return "<br>";
    if (!safeLinkAddress(text)) return visibleText(text);
    std::string_view shown;
    if (auto mail = text.find("mailto:"); mail != std::string_view::npos)
        shown = text.substr(mail + 7);
    else if (auto scheme = text.find("://"); scheme != std::string_view::npos)
        shown = text.substr(scheme + 3);
    else
        return visibleText(text);
    return "<A HREF=\"" + attributeValue(text) + "\">" + visibleText(firstCharacters(shown, 255)) + "</A>";
}

// The lines of a text file, ended by CR LF, CR or LF; none when it cannot be read.
std::vector<std::string> readLines(const std::string& fileName) {
    const std::optional<std::string> text = readWholeFile(fileName);
    if (!text) return {};
    std::vector<std::string> lines;
    for (std::string_view line : splitLines(*text))
        lines.emplace_back(line);
    return lines;
}

} // namespace

void ExportCells(const TReportGrid& grid, const std::string& fileName) {
    auto [c0, r0] = origin(grid);
    std::string out =
        std::to_string(grid.ColCount() - c0) + "," + std::to_string(grid.RowCount() - r0) + "\r\n";
    for (int k = 0; k < grid.ColCount(); ++k)
        out += "cw " + std::to_string(k) + "," + std::to_string(grid.ColWidth(k)) + "\r\n";
    for (int r = r0; r < grid.RowCount(); ++r) {
        for (int k = c0; k < grid.ColCount(); ++k) {
            const std::string& text = grid.CellText(k, r);
            if (!text.empty())
                out += std::to_string(k) + "," + std::to_string(r) + "," + cellFileText(text) + "\r\n";
        }
    }
    writeFile(fileName, out);
}

void ExportCsv(const TReportGrid& grid, const std::string& fileName) {
    OutputFile file(fileName, "wb", CreateMessage::WithCause);
    writeCsv(grid, file);
}

void AppendCsv(const TReportGrid& grid, const std::string& fileName) {
    // Append mode creates a missing file and never truncates an existing one, so a master
    // file that cannot be read but can be written keeps what it holds.
    OutputFile file(fileName, "ab", CreateMessage::WithCause);
    writeCsv(grid, file);
}

std::vector<std::string> AsciiLines(const TReportGrid& grid) {
    std::vector<std::size_t> widths(static_cast<std::size_t>(grid.ColCount()), 0);
    for (int k = 0; k < grid.ColCount(); ++k)
        for (int r = 0; r < grid.RowCount(); ++r)
            widths[static_cast<std::size_t>(k)] =
                std::max(widths[static_cast<std::size_t>(k)], utf8Length(firstLine(grid.CellText(k, r))));
    std::vector<std::string> lines;
    lines.reserve(static_cast<std::size_t>(grid.RowCount()));
    for (int r = 0; r < grid.RowCount(); ++r) {
        std::string line;
        for (int k = 0; k < grid.ColCount(); ++k) {
            std::string_view t = firstLine(grid.CellText(k, r));
            std::size_t length = utf8Length(t);
            std::size_t width = widths[static_cast<std::size_t>(k)];
            line += t;
            if (length <= width) line.append(width - length + 1, ' ');
        }
        line += "\r\n";
        lines.push_back(std::move(line));
    }
    return lines;
}

std::string AsciiText(const TReportGrid& grid) {
    std::string out;
    for (const std::string& line : AsciiLines(grid))
        out += line;
    return out;
}

void ExportAscii(const TReportGrid& grid, const std::string& fileName, BusyCursor* busy) {
    BusyScope hourglass(busy);
    writeFile(fileName, AsciiText(grid));
}

void ExportHtml(const TReportGrid& grid, const std::string& fileName) {
    const THTMLSettings& settings = grid.HTMLSettings;
    auto [c0, r0] = origin(grid);
    const std::string fixedCell = "<td nowrap BGCOLOR=\"#" + HtmlColor(settings.FixedColor) + "\">";
    std::vector<std::string> lines;
    if (!settings.PrefixTag.empty()) lines.push_back(settings.PrefixTag);
    lines.push_back("<table border=\"" + std::to_string(settings.BorderSize) + "\" cellspacing=\"" +
                    std::to_string(settings.CellSpacing) + "\" width=\"" + std::to_string(settings.Width) +
                    "%\">");
    int body = r0;
    if (grid.FixedRows() > 0 && grid.IncludeFixedCells) {
        lines.push_back("<tr>");
        for (int k = c0; k < grid.ColCount(); ++k)
            lines.push_back(fixedCell + "<B>" + htmlCellText(grid.CellText(k, 0)) + "</B></td>");
        lines.push_back("</tr>");
        body = 1;
    }
    for (int r = body; r < grid.RowCount(); ++r) {
        lines.push_back("<tr>");
        for (int k = c0; k < grid.ColCount(); ++k) {
            bool fixed = r < grid.FixedRows() || k < grid.FixedCols();
            lines.push_back((fixed ? fixedCell : std::string("<td nowrap>")) +
                            htmlCellText(grid.CellText(k, r)) + "</td>");
        }
        lines.push_back("</tr>");
    }
    lines.push_back("</table><p>");
    if (!settings.SuffixTag.empty()) lines.push_back(settings.SuffixTag);

    // The header and footer are read before the output is created, so that neither can be
    // the file being replaced.
    std::vector<std::string> header, footer;
    if (!settings.HeaderFile.empty()) header = readLines(settings.HeaderFile);
    if (!settings.FooterFile.empty()) footer = readLines(settings.FooterFile);
    std::string out;
    for (const auto* part : {&header, &lines, &footer})
        for (const auto& line : *part)
            out += line + "\r\n";
    writeFile(fileName, out);
}

std::string HtmlColor(std::uint32_t rgb) {
    char digits[8];
    std::snprintf(digits, sizeof digits, "%06X", static_cast<unsigned>(rgb & 0xFFFFFF));
    return digits;
}
