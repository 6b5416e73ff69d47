#include "core/profiles/SubmissionList.h"

#include "grid/CellCompare.h"
#include "grid/ReportGrid.h"

#include <algorithm>

void fillSubmissionList(TReportGrid& list, const std::vector<std::string>& names) {
    list.BeginUpdate();
    list.SetRowCount(list.FixedRows());
    // The header is written with the first name, so a listing of none leaves it as it was.
    if (!names.empty()) list.SetCellText(0, 0, "Title");
    auto sortList = [&list] {
        list.FitColumns(TReportGrid::FitFixed::Include, 1);
        list.SortDirection = TSortDirection::sdAscending;
        list.SortColumn = 0;
        list.SortRows();
    };
    // The listing sorts after each name from the second on. Names of plain text are all
    // different and compare as a total order, so one sort at the end leaves the same list.
    // Names that read as numbers or dates can compare equal though they differ ("1", "01"),
    // and where those end depends on every sort in turn, so then each one is made.
    const bool plainText =
        !list.SortAutoFormat || std::all_of(names.begin(), names.end(), [](const std::string& n) {
            return classifyCell(n) == CellClass::Text;
        });
    if (plainText) {
        list.SetRowCount(list.FixedRows() + static_cast<int>(names.size()));
        int row = list.FixedRows();
        for (const auto& name : names)
            list.SetCellText(0, row++, name);
        if (names.size() >= 2) sortList();
    } else {
        for (std::size_t i = 0; i < names.size(); ++i) {
            list.SetRowCount(list.RowCount() + 1);
            list.SetCellText(0, list.RowCount() - 1, names[i]);
            if (i >= 1) sortList();
        }
    }
    list.EndUpdate();
    list.Refresh();
}

namespace {

bool anyRowMarked(const TReportGrid& list) {
    for (int row = list.FixedRows(); row < list.RowCount(); ++row)
        if (list.RowMarked(row)) return true;
    return false;
}

} // namespace

std::vector<std::string> highlightedProfiles(const TReportGrid& list) {
    const bool marked = anyRowMarked(list);
    std::vector<std::string> names;
    for (int row = list.FixedRows(); row < list.RowCount(); ++row)
        if (marked ? list.RowMarked(row) : list.InSelection(0, row)) names.push_back(list.CellText(0, row));
    return names;
}

void refillSubmissionList(TReportGrid& list, const std::vector<std::string>& names) {
    const std::vector<std::string> before = highlightedProfiles(list);
    const bool marked = anyRowMarked(list);
    fillSubmissionList(list, names);
    std::vector<int> rows;
    for (int row = list.FixedRows(); row < list.RowCount(); ++row)
        if (std::find(before.begin(), before.end(), list.CellText(0, row)) != before.end())
            rows.push_back(row);
    if (rows.empty()) return;
    // A highlight that the new listing splits (a new name sorted in between) is kept as marks:
    // a rectangle over the same span would take in the new name.
    const bool contiguous = rows.back() - rows.front() + 1 == static_cast<int>(rows.size());
    list.BeginUpdate();
    if (marked || !contiguous)
        for (int row : rows)
            list.SetRowMarked(row, true);
    list.SetSelection({0, rows.front(), 0, contiguous ? rows.back() : rows.front()});
    list.EndUpdate();
}
