#pragma once

#include "grid/PrintSettings.h"
#include "grid/PrintSurface.h"

#include <QDateTime>

#include <functional>
#include <string>

class TReportGrid;

enum class LayoutMode { DrawPreview, PrintPages, CountForPrint, CountForPreview };

// The page the layout fills, in 0.1 mm, and the screen resolution that converts the columns'
// screen widths when the settings ask for them.
struct PrintPage {
    int Width = 0;
    int Height = 0;
    int ScreenDpi = 96;
};

// The print state of one table: its settings, the range of pages to draw and the page count
// of the last counting pass, and the layout engine that lays the table out on pages.
class TGridPrint {
public:
    TPrintsettings PrintSettings;
    int FromPage = 1;
    int ToPage = 1;
    int PageCount = 0;
    // The clock of the time and date items; tests set a fixed one.
    std::function<QDateTime()> Now = [] { return QDateTime::currentDateTime(); };

    // Lays the table out page by page and returns the number of pages. The counting modes
    // draw nothing; the drawing modes draw the pages from FromPage to ToPage, with pageCount
    // as the total in the page numbers.
    int LayoutPass(const TReportGrid& grid, PrintSurface& surface, LayoutMode mode, const PrintPage& page,
                   int pageCount) const;

    // Counts the pages, sets the range to all of them and draws them.
    int Print(const TReportGrid& grid, PrintSurface& surface, const PrintPage& page);

    // The preview's repaint: a 15 mm header from now on, a count of the pages of the page area,
    // and the drawing of the current page (FromPage).
    int PreviewPaint(const TReportGrid& grid, PrintSurface& surface, const PrintPage& page);
    // Page steps of the preview; false when there is no page to go to.
    bool PreviewPrev();
    bool PreviewNext();
};

// A value times num / den, to the nearest integer with ties to the even neighbour.
long long RoundDiv(long long value, long long num, long long den);

// Formats a moment with the date and time letters d, m, y, h, n (minutes) and s; "mm" right
// after an hour means minutes too. Text in quotes and every other character are copied.
std::string FormatDateTimeText(std::string_view format, const QDateTime& moment);
