#include "platform/LibreOfficeWriter.h"

#include "platform/FlatOdf.h"
#include "platform/LibreOffice.h"

#include <QTemporaryDir>

#include <algorithm>
#include <filesystem>
#include <fstream>

namespace {

std::string lowerSuffix(const std::string& fileName) {
    std::string ext = std::filesystem::path(fileName).extension().string();
    if (!ext.empty()) ext.erase(0, 1);
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; });
    return ext;
}

// The sheet spans the non-empty cells only, and at least one cell: empty texts at the right
// and bottom edges leave no empty rows or columns behind in the file.
OdfGrid sheetGrid(const TextBlock& cells) {
    OdfGrid grid{"Sheet1", 1, 1, {}};
    for (std::size_t r = 0; r < cells.size(); ++r)
        for (std::size_t c = 0; c < cells[r].size(); ++c)
            if (!cells[r][c].empty()) {
                grid.rows = std::max(grid.rows, static_cast<int>(r) + 1);
                grid.cols = std::max(grid.cols, static_cast<int>(c) + 1);
            }
    grid.cells.resize(static_cast<std::size_t>(grid.rows * grid.cols));
    for (std::size_t r = 0; r < cells.size() && static_cast<int>(r) < grid.rows; ++r)
        for (std::size_t c = 0; c < cells[r].size() && static_cast<int>(c) < grid.cols; ++c)
            grid.cells[r * static_cast<std::size_t>(grid.cols) + c] = cells[r][c];
    return grid;
}

OdfGrid documentTable(const TextBlock& cells) {
    const std::size_t rows = cells.size();
    const std::size_t cols = rows ? cells.front().size() : 0;
    // A block without rows says nothing of its columns, so it fails for its rows.
    if (rows >= 1 && (cols < 1 || cols > 63)) throw LarkspanError("The number must be between 1 and 63.");
    if (rows < 1 || rows > 32767) throw LarkspanError("The number must be between 1 and 32767.");
    OdfGrid table{"Table1", static_cast<int>(rows), static_cast<int>(cols), {}};
    table.cells.reserve(rows * cols);
    for (const auto& row : cells) {
        for (std::size_t c = 0; c < cols; ++c)
            table.cells.push_back(c < row.size() ? row[c] : std::string());
    }
    return table;
}

} // namespace

void LibreOfficeWriter::writeSpreadsheet(const TextBlock& cells, const std::string& fileName) {
    const std::string soffice = program();
    save(soffice, FlatOdsDocument({sheetGrid(cells)}), "fods", fileName,
         {{"xls", "MS Excel 97"}, {"xlsx", "Calc MS Excel 2007 XML"}, {"ods", "calc8"}});
}

void LibreOfficeWriter::writeDocumentTable(const TextBlock& cells, const std::string& fileName) {
    const std::string soffice = program();
    // The table goes before the empty paragraph that a new document starts with.
    save(soffice, FlatOdtDocument({documentTable(cells), std::string()}), "fodt", fileName,
         {{"doc", "MS Word 97"},
          {"docx", "MS Word 2007 XML"},
          {"odt", "writer8"},
          {"rtf", "Rich Text Format"}});
}

std::string LibreOfficeWriter::program() const {
    std::string soffice = FindLibreOffice(options_.program);
    if (soffice.empty()) throw OfficeMissing("LibreOffice (" + options_.program + ") is not installed");
    return soffice;
}

// Hands the document to the LibreOffice program and puts the result at fileName. The first format is
// used when the file name's extension names none of them.
void LibreOfficeWriter::save(const std::string& soffice, const std::string& flatOdf, const char* flatExt,
                             const std::string& fileName, std::initializer_list<Format> formats) const {
    if (fileName.empty()) throw LarkspanError("Cannot save a file without a name");
    const Format* format = formats.begin();
    std::string ext = lowerSuffix(fileName);
    for (const auto& f : formats)
        if (ext == f.ext) format = &f;

    QTemporaryDir work(QDir::tempPath() + "/larkspan-save-XXXXXX");
    if (!work.isValid()) throw LarkspanError("Cannot save " + fileName + ": no temporary directory");
    std::string workDir = work.path().toStdString();
    std::string input = workDir + "/document." + flatExt;
    {
        std::ofstream out(input, std::ios::binary);
        out << flatOdf;
        if (!out.flush()) throw LarkspanError("Cannot save " + fileName + ": cannot write a temporary file");
    }
    std::string produced = ConvertWithLibreOffice(
        soffice, input, workDir, std::string(format->ext) + ":" + format->filter, options_.timeoutMs);
    std::error_code ec;
    std::filesystem::copy_file(produced, fileName, std::filesystem::copy_options::overwrite_existing, ec);
    if (ec) throw LarkspanError("Cannot save " + fileName + ": " + ec.message());
}
