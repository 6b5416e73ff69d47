#pragma once

#include "platform/Automation.h"

#include <string>

struct LibreOfficeOptions {
    // A name without "/" is looked up on PATH.
    std::string program = "soffice";
    // The longest a single save may take; LibreOffice is killed after it.
    int timeoutMs = 120000;
};

// The spreadsheet ("excel.application") and word-processor ("word.application") servers,
// played by LibreOffice. The objects keep what the caller hands over in memory, in the
// object model the caller expects (workbooks, worksheets, ranges; documents, tables,
// cells); SaveAs writes it as a flat OpenDocument file and has LibreOffice, run headless,
// convert that to the format the file name's extension asks for (".xls" and ".doc" by
// default) at the given name, relative to the working directory. An existing file is
// replaced. Without LibreOffice no server can be created.
class LibreOfficeServers final : public OleServers {
public:
    explicit LibreOfficeServers(LibreOfficeOptions options = {}) : options_(std::move(options)) {}
    std::shared_ptr<OleObject> CreateOleObject(std::string_view progId) override;

private:
    LibreOfficeOptions options_;
};
