#pragma once

#include "platform/OfficeWriter.h"

#include <string>

struct LibreOfficeOptions {
    // A name without "/" is looked up on PATH.
    std::string program = "soffice";
    // The longest a single save may take; LibreOffice is killed after it.
    int timeoutMs = 120000;
};

// The office files written by LibreOffice: the table becomes a flat OpenDocument file, which
// LibreOffice, run headless, converts to the format the file name's extension asks for.
// Without LibreOffice both writers throw OfficeMissing.
class LibreOfficeWriter final : public OfficeWriter {
public:
    explicit LibreOfficeWriter(LibreOfficeOptions options = {}) : options_(std::move(options)) {}

    void writeSpreadsheet(const TextBlock& cells, const std::string& fileName) override;
    // A document table has 1 to 63 columns and 1 to 32767 rows, as the word processor allows.
    void writeDocumentTable(const TextBlock& cells, const std::string& fileName) override;

private:
    struct Format {
        const char* ext;
        const char* filter;
    };
    std::string program() const;
    void save(const std::string& soffice, const std::string& flatOdf, const char* flatExt,
              const std::string& fileName, std::initializer_list<Format> formats) const;

    LibreOfficeOptions options_;
};
