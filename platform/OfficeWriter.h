#pragma once

#include "platform/Error.h"

#include <string>
#include <vector>

// A block of texts: first index the row, second the column.
using TextBlock = std::vector<std::vector<std::string>>;

// Thrown when the office application that writes a format is not there at all; every other
// failure of a writer is a LarkspanError with the application's message.
class OfficeMissing : public LarkspanError {
public:
    using LarkspanError::LarkspanError;
};

// Writes tables as office files, in the format that the file name's extension asks for
// (".xls" and ".doc" by default). The name is used as it stands, relative to the working
// directory; an existing file is replaced.
class OfficeWriter {
public:
    virtual ~OfficeWriter() = default;
    // The block as the only sheet of a new workbook, from its top left cell.
    virtual void writeSpreadsheet(const TextBlock& cells, const std::string& fileName) = 0;
    // The block as a table at the start of a new document, each text unchanged; a line break
    // in a text starts a new paragraph in its cell.
    virtual void writeDocumentTable(const TextBlock& cells, const std::string& fileName) = 0;
};
