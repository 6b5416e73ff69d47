#include "grid/PrintSettings.h"

void SetPrintOptions(const PrintOptionsState& options, TPrintsettings& settings) {
    settings.TitleLines = options.TitleLines;
    settings.Borders = options.PrintBorders ? TPrintBorders::pbSingle : TPrintBorders::pbNoborder;
    settings.Time = options.PrintTime ? TPrintPosition::ppTopLeft : TPrintPosition::ppNone;
    settings.Date = options.PrintDate ? TPrintPosition::ppTopRight : TPrintPosition::ppNone;
    settings.PageNr = options.PrintPageNumbers ? TPrintPosition::ppBottomCenter : TPrintPosition::ppNone;
    if (options.PrintBorders) {
        switch (options.Lines) {
        case PrintOptionsState::BorderLines::Vertical:
            settings.Borders = TPrintBorders::pbVertical;
            break;
        case PrintOptionsState::BorderLines::Horizontal:
            settings.Borders = TPrintBorders::pbHorizontal;
            break;
        case PrintOptionsState::BorderLines::All:
            settings.Borders = TPrintBorders::pbSingle;
            break;
        }
    } else {
        settings.Borders = TPrintBorders::pbNoborder;
    }
    settings.FitToPage = options.FitToPage ? TFitToPage::fpAlways : TFitToPage::fpNever;
    settings.NoAutoSize = !options.AutoSize;
    settings.Centered = options.PrintCentered;
}
