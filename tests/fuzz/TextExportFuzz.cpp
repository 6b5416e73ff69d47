// libFuzzer target: the text exporters.
//
// The input fills a table: the first byte chooses its columns, fixed row and column and the
// IncludeFixedCells switch, the rest is cut into cell texts at 0x1E bytes. Every writer must
// cope with any cell. A CSV reader must get every written cell back (with CR LF inside a
// quoted field read as LF, as the writer keeps it); the column text must have one line per
// row; the HTML must have one cell element per cell, so that no text adds markup of its own.

#include "grid/ReportGrid.h"
#include "grid/TextExport.h"

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

std::string directory() {
    static const std::string dir = [] {
        std::string d = "/tmp/larkspan-fuzz-export-" + std::to_string(::getpid());
        ::mkdir(d.c_str(), 0700);
        return d;
    }();
    return dir;
}

std::string readAll(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::size_t count(std::string_view text, std::string_view what) {
    std::size_t n = 0;
    for (std::size_t at = text.find(what); at != std::string_view::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

// Records of RFC 4180 text with CR LF ends; a quoted field may hold anything, "" is a quote.
std::vector<std::vector<std::string>> readCsv(std::string_view csv) {
    std::vector<std::vector<std::string>> records;
    std::vector<std::string> fields;
    std::size_t i = 0;
    while (i < csv.size()) {
        std::string field;
        if (csv[i] == '"') {
            for (++i;; ++i) {
                if (i >= csv.size()) std::abort();
                if (csv[i] == '"') {
                    if (i + 1 < csv.size() && csv[i + 1] == '"') {
                        field += '"';
                        ++i;
                        continue;
                    }
                    ++i;
                    break;
                }
                field += csv[i];
            }
        } else {
            while (i < csv.size() && csv[i] != ',' && csv[i] != '\r' && csv[i] != '\n')
                field += csv[i++];
        }
        fields.push_back(field);
        if (i < csv.size() && csv[i] == ',') {
            ++i;
        } else if (csv.substr(i, 2) == "\r\n") {
            i += 2;
            records.push_back(std::move(fields));
            fields.clear();
        } else {
            std::abort(); // a field must end at a comma or at the end of its record
        }
    }
    if (!fields.empty()) std::abort();
    return records;
}

std::string csvReadBack(const std::string& cell) {
    if (cell.find_first_of(",\"\r\n") == std::string::npos) return cell;
    std::string out;
    for (std::size_t i = 0; i < cell.size(); ++i)
        if (!(cell[i] == '\r' && i + 1 < cell.size() && cell[i + 1] == '\n')) out += cell[i];
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const std::uint8_t shape = data[0];
    std::vector<std::string> cells;
    std::string_view rest(reinterpret_cast<const char*>(data) + 1, size - 1);
    for (std::size_t at = rest.find('\x1e');; at = rest.find('\x1e')) {
        cells.emplace_back(rest.substr(0, at));
        if (at == std::string_view::npos) break;
        rest.remove_prefix(at + 1);
    }
    const int cols = 1 + shape % 4;
    const int rows = static_cast<int>((cells.size() + cols - 1) / cols);
    TReportGrid grid(cols, rows, (shape & 4) ? 1 : 0, (shape & 8) ? 1 : 0);
    for (std::size_t i = 0; i < cells.size(); ++i)
        grid.SetCellText(static_cast<int>(i % cols), static_cast<int>(i / cols), cells[i]);
    grid.IncludeFixedCells = (shape & 16) != 0;
    const int c0 = grid.IncludeFixedCells ? 0 : grid.FixedCols();
    const int r0 = grid.IncludeFixedCells ? 0 : grid.FixedRows();

    const std::string csvFile = directory() + "/out.csv";
    ExportCsv(grid, csvFile);
    const auto records = readCsv(readAll(csvFile));
    if (static_cast<int>(records.size()) != std::max(0, grid.RowCount() - r0)) std::abort();
    for (int r = r0; r < grid.RowCount(); ++r) {
        const auto& record = records[static_cast<std::size_t>(r - r0)];
        // A row without columns is an empty line, which reads as one empty field.
        if (grid.ColCount() == c0 && record != std::vector<std::string>{""}) std::abort();
        if (grid.ColCount() > c0 && static_cast<int>(record.size()) != grid.ColCount() - c0) std::abort();
        for (int k = c0; k < grid.ColCount(); ++k)
            if (record[static_cast<std::size_t>(k - c0)] != csvReadBack(grid.CellText(k, r))) std::abort();
    }

    const std::string ascii = AsciiText(grid);
    if (count(ascii, "\r\n") != static_cast<std::size_t>(grid.RowCount())) std::abort();
    if (count(ascii, "\r") != count(ascii, "\n") || count(ascii, "\n") != count(ascii, "\r\n")) std::abort();

    const std::string htmlFile = directory() + "/out.htm";
    ExportHtml(grid, htmlFile);
    const std::string html = readAll(htmlFile);
    const std::size_t bodyRows = static_cast<std::size_t>(std::max(0, grid.RowCount() - r0));
    if (count(html, "<td") != bodyRows * static_cast<std::size_t>(grid.ColCount() - c0)) std::abort();
    if (count(html, "<tr>") != bodyRows || count(html, "<table") != 1) std::abort();
    if (count(html, "<A ") != count(html, "</A>")) std::abort();

    ExportCells(grid, directory() + "/out.txt");
    const std::string cellFile = readAll(directory() + "/out.txt");
    std::size_t filled = 0;
    for (int r = r0; r < grid.RowCount(); ++r)
        for (int k = c0; k < grid.ColCount(); ++k)
            filled += grid.CellText(k, r).empty() ? 0 : 1;
    if (count(cellFile, "\n") != 1 + static_cast<std::size_t>(grid.ColCount()) + filled) std::abort();
    return 0;
}
