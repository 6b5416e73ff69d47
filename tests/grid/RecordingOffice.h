#pragma once

#include "platform/OfficeWriter.h"

#include <string>
#include <vector>

// An office writer that writes down every call, in order, with the file name and the block
// it was handed. It can be told that the applications are missing or that they fail.
class RecordingOffice final : public OfficeWriter {
public:
    explicit RecordingOffice(std::vector<std::string>* log = nullptr) : log_(log ? log : &own_) {}

    void writeSpreadsheet(const TextBlock& cells, const std::string& fileName) override;
    void writeDocumentTable(const TextBlock& cells, const std::string& fileName) override;

    const std::vector<std::string>& log() const { return *log_; }
    bool available = true;
    bool failing = false; // a write throws "The application refused the file"

private:
    void record(const char* call, const TextBlock& cells, const std::string& fileName);

    std::vector<std::string> own_;
    std::vector<std::string>* log_;
};
