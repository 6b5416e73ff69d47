#pragma once

#include <string>
#include <variant>
#include <vector>

// Flat (single XML file) OpenDocument files, the hand-over format to LibreOffice: a
// spreadsheet of text cells and a text document of paragraphs and tables.

// A grid of texts, row by row: cells[row * cols + col].
struct OdfGrid {
    std::string name;
    int rows = 0;
    int cols = 0;
    std::vector<std::string> cells;
};

// Every cell is written as text, so a value that looks like a number or a formula stays
// as it was typed. A line break (CR LF, CR or LF) in a cell starts a new line in it.
std::string FlatOdsDocument(const std::vector<OdfGrid>& sheets);

// A paragraph (a line break inside it starts a new paragraph) or a table.
using OdfBlock = std::variant<std::string, OdfGrid>;
std::string FlatOdtDocument(const std::vector<OdfBlock>& blocks);
