#pragma once

#include "grid/Find.h"

#include <optional>

class QWidget;
class TReportGrid;

// The Find menu's commands on a table and its find state. Both move the table's current
// cell to a match and show "Text not found" after a miss.

// "Find First": asks for the text and options in a new find dialog. Returns the match, or
// (-1, -1) after a miss, or nothing when the user cancelled.
std::optional<GridCell> FindFirst1Click(QWidget* parent, TReportGrid& grid, TFindState& find);
// "Find Next" (F3): goes on from the last match. Returns the match or (-1, -1).
GridCell FindNextF31Click(QWidget* parent, TReportGrid& grid, TFindState& find);

// Makes the cell current and the whole selection; the table repaints.
void MoveToCell(TReportGrid& grid, GridCell cell);
void ShowTextNotFound(QWidget* parent);
