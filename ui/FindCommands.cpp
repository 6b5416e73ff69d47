#include "ui/FindCommands.h"

#include "grid/ReportGrid.h"
#include "ui/FindDialogs.h"

#include <QMessageBox>

void MoveToCell(TReportGrid& grid, GridCell cell) {
    grid.SetCurrent(cell.Col, cell.Row);
    grid.SetSelection({cell.Col, cell.Row, cell.Col, cell.Row});
}

void ShowTextNotFound(QWidget* parent) {
    QMessageBox box(QMessageBox::Information, "Information", "Text not found", QMessageBox::Ok, parent);
    box.exec();
}

std::optional<GridCell> FindFirst1Click(QWidget* parent, TReportGrid& grid, TFindState& find) {
    Tfinddlg dialog(parent);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    const GridCell cell = find.FindFirst(grid, dialog.FindText(), dialog.Options());
    if (cell.Col < 0)
        ShowTextNotFound(parent);
    else
        MoveToCell(grid, cell);
    return cell;
}

GridCell FindNextF31Click(QWidget* parent, TReportGrid& grid, TFindState& find) {
    const GridCell cell = find.FindNext(grid);
    if (cell.Col < 0 || cell.Row < 0)
        ShowTextNotFound(parent);
    else
        MoveToCell(grid, cell);
    return cell;
}
