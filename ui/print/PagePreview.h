#pragma once

#include <QDialog>

class QLabel;
class QPushButton;
class TGridPrint;
class TReportGrid;

// The print preview: one page at a time at its real size on the screen, the page area
// standing for the paper. It draws the pages in the table's print state's page range.
class TPagePreview : public QDialog {
    Q_OBJECT
public:
    TPagePreview(const TReportGrid& grid, TGridPrint& print, QWidget* parent = nullptr);

    // The buttons to the page before and after.
    QPushButton* PrevButton = nullptr;
    QPushButton* NextButton = nullptr;
    // "Page : N", the page drawn.
    QLabel* PageLabel = nullptr;
    // The paper the page is drawn on.
    QWidget* PageArea = nullptr;

public slots:
    void PrevClick();
    void NextClick();

private:
    void showPageNumber();

    TGridPrint& print_;
};
