#include "RecordingOffice.h"

namespace {

std::string quoted(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '\r')
            out += "\\r";
        else if (c == '\n')
            out += "\\n";
        else
            out += c;
    }
    return out + "\"";
}

std::string blockText(const TextBlock& block) {
    std::string out = "[";
    for (const auto& row : block) {
        out += out.size() > 1 ? ",[" : "[";
        for (std::size_t i = 0; i < row.size(); ++i)
            out += (i ? "," : "") + quoted(row[i]);
        out += "]";
    }
    return out + "]";
}

} // namespace

void RecordingOffice::writeSpreadsheet(const TextBlock& cells, const std::string& fileName) {
    record("writeSpreadsheet", cells, fileName);
}

void RecordingOffice::writeDocumentTable(const TextBlock& cells, const std::string& fileName) {
    record("writeDocumentTable", cells, fileName);
}

void RecordingOffice::record(const char* call, const TextBlock& cells, const std::string& fileName) {
    log_->push_back(std::string(call) + "(" + quoted(fileName) + ", " + blockText(cells) + ")" +
                    (available ? "" : " missing"));
    if (!available) throw OfficeMissing("not installed");
    if (failing) throw LarkspanError("The application refused the file");
}
