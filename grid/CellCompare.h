#pragma once

#include <optional>
#include <string>
#include <string_view>

// How the sort reads a cell when it compares by format.
enum class CellClass { Number, DateTime, Text };

CellClass classifyCell(std::string_view text);
// A number as the sort reads it, with "." or the user's decimal separator as the point;
// nothing when the text is not a number. Leading and trailing spaces are allowed.
std::optional<double> cellNumber(std::string_view text);
// A date and time in the user's short format, as days; nothing when it cannot be read.
std::optional<double> cellDateTime(std::string_view text);
// Byte-wise comparison of two texts as unsigned codes: 1, 0 or -1.
int compareText(std::string_view a, std::string_view b);
// The cell comparison of the sort: by the class of a, or as text when autoFormat is off.
int compareCellTexts(std::string_view a, std::string_view b, bool autoFormat);
// The same, with the class of a already known.
int compareClassified(CellClass classOfA, std::string_view a, std::string_view b);
