#include "platform/LibreOfficeServers.h"

#include "platform/Error.h"
#include "platform/FlatOdf.h"
#include "platform/LibreOffice.h"
#include "platform/Text.h"

#include <QTemporaryDir>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>

namespace {

[[noreturn]] void unknownName() {
    throw LarkspanError("Unknown name.");
}
[[noreturn]] void noSuchMember() {
    throw LarkspanError("The requested member of the collection does not exist.");
}
[[noreturn]] void missingArgument() {
    throw LarkspanError("Argument not optional.");
}

const OleValue& required(const OleArgs& args, const OleNamedArgs& named, std::size_t position,
                         std::string_view name) {
    const OleValue* value = OleArgument(args, named, position, name);
    if (!value) missingArgument();
    return *value;
}

// One running server: the program that does the saving, and whether Quit has been called.
struct Server {
    std::string soffice;
    int timeoutMs = 0;
    bool quit = false;
};

// Dispatch by name on top of the interface. After Quit every call fails, as a call on a
// server that has gone away does.
class ServerObject : public OleObject {
public:
    explicit ServerObject(std::shared_ptr<Server> server) : server_(std::move(server)) {}

    OleValue Get(std::string_view name, const OleArgs& args) override {
        alive();
        return member(name, args, {});
    }
    void Set(std::string_view name, const OleValue& value) override {
        alive();
        set(name, value);
    }
    OleValue Call(std::string_view method, const OleArgs& args, const OleNamedArgs& named) override {
        alive();
        return member(method, args, named);
    }

protected:
    // A property read or a method call: late binding does not tell them apart.
    virtual OleValue member(std::string_view name, const OleArgs& args, const OleNamedArgs& named) = 0;
    virtual void set(std::string_view, const OleValue&) { unknownName(); }

    static bool is(std::string_view name, std::string_view member) {
        return equalsIgnoringCase(name, member);
    }

    std::shared_ptr<Server> server_;

private:
    void alive() const {
        if (server_->quit) throw LarkspanError("The object invoked has disconnected from its clients.");
    }
};

std::string lowerSuffix(const std::string& fileName) {
    std::string ext = std::filesystem::path(fileName).extension().string();
    if (!ext.empty()) ext.erase(0, 1);
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; });
    return ext;
}

struct Format {
    const char* ext;
    const char* filter;
};

// Hands the document to LibreOffice and puts the result at fileName. The first format is
// used when the file name's extension names none of them.
void saveThroughLibreOffice(const Server& server, const std::string& flatOdf, const char* flatExt,
                            const std::string& fileName, std::initializer_list<Format> formats) {
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
        server.soffice, input, workDir, std::string(format->ext) + ":" + format->filter, server.timeoutMs);
    std::error_code ec;
    std::filesystem::copy_file(produced, fileName, std::filesystem::copy_options::overwrite_existing, ec);
    if (ec) throw LarkspanError("Cannot save " + fileName + ": " + ec.message());
}

// ---- The spreadsheet server ----

struct Sheet {
    std::string name;
    std::map<std::pair<int, int>, std::string> cells; // (row, column) from 0
};

struct Book {
    std::vector<std::shared_ptr<Sheet>> sheets;
    int sheetsMade = 0;
};

struct Area {
    int top = 0, left = 0, bottom = 0, right = 0; // from 0, bounds included
};

// "B2" or "A1:B5", with optional "$" marks; column letters as the spreadsheet counts them
// ("A" to "Z", then "AA").
bool parseCell(std::string_view text, int& row, int& col) {
    std::size_t i = 0;
    auto skipDollar = [&] {
        if (i < text.size() && text[i] == '$') ++i;
    };
    skipDollar();
    long c = 0;
    std::size_t letters = 0;
    while (i < text.size() && upperAscii(text[i]) >= 'A' && upperAscii(text[i]) <= 'Z' && letters < 3) {
        c = c * 26 + (upperAscii(text[i]) - 'A' + 1);
        ++i;
        ++letters;
    }
    skipDollar();
    long r = 0;
    std::size_t digits = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9' && digits < 7) {
        r = r * 10 + (text[i] - '0');
        ++i;
        ++digits;
    }
    if (letters == 0 || digits == 0 || r < 1 || i != text.size()) return false;
    row = static_cast<int>(r - 1);
    col = static_cast<int>(c - 1);
    return true;
}

Area parseAddress(const std::string& address) {
    Area a;
    auto colon = address.find(':');
    std::string_view first = std::string_view(address).substr(0, colon);
    bool ok = parseCell(first, a.top, a.left);
    if (colon == std::string::npos) {
        a.bottom = a.top;
        a.right = a.left;
    } else {
        ok = ok && parseCell(std::string_view(address).substr(colon + 1), a.bottom, a.right);
    }
    if (!ok) throw LarkspanError("Method 'Range' of object '_Worksheet' failed");
    if (a.bottom < a.top) std::swap(a.bottom, a.top);
    if (a.right < a.left) std::swap(a.right, a.left);
    return a;
}

class RangeObject final : public ServerObject {
public:
    RangeObject(std::shared_ptr<Server> s, std::shared_ptr<Sheet> sheet, Area area)
        : ServerObject(std::move(s)), sheet_(std::move(sheet)), area_(area) {}

protected:
    OleValue member(std::string_view name, const OleArgs& args, const OleNamedArgs&) override {
        if (!is(name, "Value") || !args.empty()) unknownName();
        OleTextBlock block;
        for (int r = area_.top; r <= area_.bottom; ++r) {
            auto& row = block.emplace_back();
            for (int c = area_.left; c <= area_.right; ++c) {
                auto hit = sheet_->cells.find({r, c});
                row.push_back(hit == sheet_->cells.end() ? std::string() : hit->second);
            }
        }
        return block;
    }
    void set(std::string_view name, const OleValue& value) override {
        if (!is(name, "Value")) unknownName();
        // A block fills the range from its top left corner; what lies outside either is
        // left alone. A single text goes into every cell of the range.
        if (const auto* block = std::get_if<OleTextBlock>(&value)) {
            for (std::size_t r = 0; r < block->size() && area_.top + static_cast<int>(r) <= area_.bottom; ++r)
                for (std::size_t c = 0;
                     c < (*block)[r].size() && area_.left + static_cast<int>(c) <= area_.right; ++c)
                    store(area_.top + static_cast<int>(r), area_.left + static_cast<int>(c), (*block)[r][c]);
        } else {
            std::string text = OleAsText(value);
            for (int r = area_.top; r <= area_.bottom; ++r)
                for (int c = area_.left; c <= area_.right; ++c)
                    store(r, c, text);
        }
    }

private:
    void store(int row, int col, const std::string& text) {
        if (text.empty())
            sheet_->cells.erase({row, col});
        else
            sheet_->cells[{row, col}] = text;
    }

    std::shared_ptr<Sheet> sheet_;
    Area area_;
};

class WorksheetObject final : public ServerObject {
public:
    WorksheetObject(std::shared_ptr<Server> s, std::shared_ptr<Sheet> sheet)
        : ServerObject(std::move(s)), sheet_(std::move(sheet)) {}

protected:
    OleValue member(std::string_view name, const OleArgs& args, const OleNamedArgs&) override {
        if (is(name, "Name")) return sheet_->name;
        if (!is(name, "Range")) unknownName();
        if (args.empty()) missingArgument();
        Area area = parseAddress(OleAsText(args[0]));
        if (args.size() > 1) {
            Area last = parseAddress(OleAsText(args[1]));
            area = {std::min(area.top, last.top), std::min(area.left, last.left),
                    std::max(area.bottom, last.bottom), std::max(area.right, last.right)};
        }
        return std::make_shared<RangeObject>(server_, sheet_, area);
    }

private:
    std::shared_ptr<Sheet> sheet_;
};

class WorksheetsObject final : public ServerObject {
public:
    WorksheetsObject(std::shared_ptr<Server> s, std::shared_ptr<Book> book)
        : ServerObject(std::move(s)), book_(std::move(book)) {}

protected:
    OleValue member(std::string_view name, const OleArgs& args, const OleNamedArgs&) override {
        if (is(name, "Count") && args.empty()) return static_cast<long>(book_->sheets.size());
        if (!is(name, "Add")) unknownName();
        // A new sheet goes before the others, as the spreadsheet inserts it before the active one.
        auto sheet = std::make_shared<Sheet>();
        sheet->name = "Sheet" + std::to_string(++book_->sheetsMade);
        book_->sheets.insert(book_->sheets.begin(), sheet);
        return std::make_shared<WorksheetObject>(server_, sheet);
    }

private:
    std::shared_ptr<Book> book_;
};

OdfGrid sheetGrid(const Sheet& sheet) {
    OdfGrid grid;
    grid.name = sheet.name;
    for (const auto& [at, text] : sheet.cells) {
        grid.rows = std::max(grid.rows, at.first + 1);
        grid.cols = std::max(grid.cols, at.second + 1);
    }
    grid.rows = std::max(grid.rows, 1);
    grid.cols = std::max(grid.cols, 1);
    grid.cells.resize(static_cast<std::size_t>(grid.rows * grid.cols));
    for (const auto& [at, text] : sheet.cells)
        grid.cells[static_cast<std::size_t>(at.first * grid.cols + at.second)] = text;
    return grid;
}

class WorkbookObject final : public ServerObject {
public:
    WorkbookObject(std::shared_ptr<Server> s, std::shared_ptr<Book> book)
        : ServerObject(std::move(s)), book_(std::move(book)) {}

protected:
    OleValue member(std::string_view name, const OleArgs& args, const OleNamedArgs& named) override {
        if ((is(name, "WorkSheets") || is(name, "Sheets")) && args.empty())
            return std::make_shared<WorksheetsObject>(server_, book_);
        if (!is(name, "SaveAs")) unknownName();
        std::string fileName = OleAsText(required(args, named, 0, "Filename"));
        std::vector<OdfGrid> sheets;
        for (const auto& sheet : book_->sheets)
            sheets.push_back(sheetGrid(*sheet));
        if (sheets.empty()) sheets.push_back(sheetGrid(Sheet{"Sheet1", {}}));
        saveThroughLibreOffice(
            *server_, FlatOdsDocument(sheets), "fods", fileName,
            {{"xls", "MS Excel 97"}, {"xlsx", "Calc MS Excel 2007 XML"}, {"ods", "calc8"}});
        return {};
    }

private:
    std::shared_ptr<Book> book_;
};

class WorkbooksObject final : public ServerObject {
public:
    using ServerObject::ServerObject;

protected:
    OleValue member(std::string_view name, const OleArgs&, const OleNamedArgs&) override {
        if (!is(name, "Add")) unknownName();
        return std::make_shared<WorkbookObject>(server_, std::make_shared<Book>());
    }
};

class ExcelApplication final : public ServerObject {
public:
    using ServerObject::ServerObject;

protected:
    OleValue member(std::string_view name, const OleArgs& args, const OleNamedArgs&) override {
        if (is(name, "WorkBooks") && args.empty()) return std::make_shared<WorkbooksObject>(server_);
        if (is(name, "Quit")) {
            server_->quit = true;
            return {};
        }
        unknownName();
    }
};

// ---- The word-processor server ----

struct Table {
    int rows = 0;
    int cols = 0;
    std::vector<std::string> cells;
};

struct Doc {
    // A new document holds one empty paragraph.
    std::vector<std::variant<std::string, std::shared_ptr<Table>>> blocks{std::string()};
};

class CellRangeObject final : public ServerObject {
public:
    CellRangeObject(std::shared_ptr<Server> s, std::shared_ptr<Table> table, std::size_t index)
        : ServerObject(std::move(s)), table_(std::move(table)), index_(index) {}

protected:
    OleValue member(std::string_view name, const OleArgs& args, const OleNamedArgs& named) override {
        std::string& text = table_->cells[index_];
        if (is(name, "Text") && args.empty()) return text;
        if (is(name, "InsertAfter")) {
            text += OleAsText(required(args, named, 0, "Text"));
            return {};
        }
        if (is(name, "InsertBefore")) {
            text.insert(0, OleAsText(required(args, named, 0, "Text")));
            return {};
        }
        unknownName();
    }

private:
    std::shared_ptr<Table> table_;
    std::size_t index_;
};

class CellObject final : public ServerObject {
public:
    CellObject(std::shared_ptr<Server> s, std::shared_ptr<Table> table, std::size_t index)
        : ServerObject(std::move(s)), table_(std::move(table)), index_(index) {}

protected:
    OleValue member(std::string_view name, const OleArgs& args, const OleNamedArgs&) override {
        if (!is(name, "Range") || !args.empty()) unknownName();
        return std::make_shared<CellRangeObject>(server_, table_, index_);
    }

private:
    std::shared_ptr<Table> table_;
    std::size_t index_;
};

class TableObject final : public ServerObject {
public:
    TableObject(std::shared_ptr<Server> s, std::shared_ptr<Table> table)
        : ServerObject(std::move(s)), table_(std::move(table)) {}

protected:
    OleValue member(std::string_view name, const OleArgs& args, const OleNamedArgs& named) override {
        if (!is(name, "Cell")) unknownName();
        long row = OleAsLong(required(args, named, 0, "Row"));
        long col = OleAsLong(required(args, named, 1, "Column"));
        if (row < 1 || row > table_->rows || col < 1 || col > table_->cols) noSuchMember();
        return std::make_shared<CellObject>(server_, table_,
                                            static_cast<std::size_t>((row - 1) * table_->cols + col - 1));
    }

private:
    std::shared_ptr<Table> table_;
};

// A range of the document's text. Positions inside the text are not modelled: a range at
// position 0 is the start of the document, any other is its end.
class DocRangeObject final : public ServerObject {
public:
    DocRangeObject(std::shared_ptr<Server> s, std::shared_ptr<Doc> doc, long start, long end)
        : ServerObject(std::move(s)), doc_(std::move(doc)), start_(start), end_(end) {}

    const Doc* document() const { return doc_.get(); }
    long start() const { return start_; }

protected:
    OleValue member(std::string_view name, const OleArgs& args, const OleNamedArgs&) override {
        if (is(name, "Start") && args.empty()) return start_;
        if (is(name, "End") && args.empty()) return end_;
        unknownName();
    }

private:
    std::shared_ptr<Doc> doc_;
    long start_;
    long end_;
};

class TablesObject final : public ServerObject {
public:
    TablesObject(std::shared_ptr<Server> s, std::shared_ptr<Doc> doc)
        : ServerObject(std::move(s)), doc_(std::move(doc)) {}

protected:
    OleValue member(std::string_view name, const OleArgs& args, const OleNamedArgs& named) override {
        if (!is(name, "Add")) unknownName();
        auto where =
            std::dynamic_pointer_cast<DocRangeObject>(OleAsObject(required(args, named, 0, "Range")));
        if (!where || where->document() != doc_.get()) throw LarkspanError("Type mismatch.");
        long rows = OleAsLong(required(args, named, 1, "NumRows"));
        long cols = OleAsLong(required(args, named, 2, "NumColumns"));
        if (cols < 1 || cols > 63) throw LarkspanError("The number must be between 1 and 63.");
        if (rows < 1 || rows > 32767) throw LarkspanError("The number must be between 1 and 32767.");
        auto table = std::make_shared<Table>();
        table->rows = static_cast<int>(rows);
        table->cols = static_cast<int>(cols);
        table->cells.resize(static_cast<std::size_t>(rows * cols));
        if (where->start() == 0)
            doc_->blocks.insert(doc_->blocks.begin(), table);
        else
            doc_->blocks.emplace_back(table);
        return std::make_shared<TableObject>(server_, table);
    }

private:
    std::shared_ptr<Doc> doc_;
};

class DocumentObject final : public ServerObject {
public:
    DocumentObject(std::shared_ptr<Server> s, std::shared_ptr<Doc> doc)
        : ServerObject(std::move(s)), doc_(std::move(doc)) {}

protected:
    OleValue member(std::string_view name, const OleArgs& args, const OleNamedArgs& named) override {
        if (is(name, "Tables") && args.empty()) return std::make_shared<TablesObject>(server_, doc_);
        if (is(name, "Range")) {
            const OleValue* start = OleArgument(args, named, 0, "Start");
            const OleValue* end = OleArgument(args, named, 1, "End");
            long s = start ? OleAsLong(*start) : 0;
            long e = end ? OleAsLong(*end) : s;
            return std::make_shared<DocRangeObject>(server_, doc_, s, e);
        }
        if (!is(name, "SaveAs")) unknownName();
        std::string fileName = OleAsText(required(args, named, 0, "FileName"));
        std::vector<OdfBlock> blocks;
        for (const auto& block : doc_->blocks) {
            if (const auto* paragraph = std::get_if<std::string>(&block)) {
                blocks.emplace_back(*paragraph);
            } else {
                const Table& t = *std::get<std::shared_ptr<Table>>(block);
                blocks.emplace_back(
                    OdfGrid{"Table" + std::to_string(blocks.size() + 1), t.rows, t.cols, t.cells});
            }
        }
        saveThroughLibreOffice(*server_, FlatOdtDocument(blocks), "fodt", fileName,
                               {{"doc", "MS Word 97"},
                                {"docx", "MS Word 2007 XML"},
                                {"odt", "writer8"},
                                {"rtf", "Rich Text Format"}});
        return {};
    }

private:
    std::shared_ptr<Doc> doc_;
};

class DocumentsObject final : public ServerObject {
public:
    using ServerObject::ServerObject;

protected:
    OleValue member(std::string_view name, const OleArgs&, const OleNamedArgs&) override {
        if (!is(name, "Add")) unknownName();
        return std::make_shared<DocumentObject>(server_, std::make_shared<Doc>());
    }
};

class WordApplication final : public ServerObject {
public:
    using ServerObject::ServerObject;

protected:
    OleValue member(std::string_view name, const OleArgs& args, const OleNamedArgs&) override {
        if (is(name, "Documents") && args.empty()) return std::make_shared<DocumentsObject>(server_);
        if (is(name, "Quit")) {
            server_->quit = true;
            return {};
        }
        unknownName();
    }
};

} // namespace

std::shared_ptr<OleObject> LibreOfficeServers::CreateOleObject(std::string_view progId) {
    bool spreadsheet = equalsIgnoringCase(progId, "excel.application");
    bool words = equalsIgnoringCase(progId, "word.application");
    if (!spreadsheet && !words) throw LarkspanError("Invalid class string");
    auto server = std::make_shared<Server>();
    server->soffice = FindLibreOffice(options_.program);
    server->timeoutMs = options_.timeoutMs;
    if (server->soffice.empty())
        throw LarkspanError("LibreOffice (" + options_.program + ") is not installed");
    if (spreadsheet) return std::make_shared<ExcelApplication>(server);
    return std::make_shared<WordApplication>(server);
}
