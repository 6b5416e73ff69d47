#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Where a header or footer item is printed.
enum class TPrintPosition {
    ppNone,
    ppTopLeft,
    ppTopRight,
    ppTopCenter,
    ppBottomLeft,
    ppBottomRight,
    ppBottomCenter
};

// Which grid lines are printed. The options page selects only none, single, vertical and
// horizontal; the frame kinds are drawn as a frame around each page's table.
enum class TPrintBorders {
    pbNoborder,
    pbSingle,
    pbDouble,
    pbVertical,
    pbHorizontal,
    pbAround,
    pbAroundVertical,
    pbAroundHorizontal,
    pbCustom
};

// Whether the columns are scaled to the width between the margins.
enum class TFitToPage { fpNever, fpGrow, fpShrink, fpAlways, fpCustom };

enum class TPenStyle { psSolid, psDash, psDot, psDashDot, psDashDotDot };
enum class TPrintOrientation { poPortrait, poLandscape };

// A font by name, size in points and style; the surface that draws turns it into its own.
struct PrintFont {
    std::string Name = "Sans Serif";
    int Size = 8;
    bool Bold = false;
    bool Italic = false;
    bool Underline = false;
    bool StrikeOut = false;
    std::uint32_t Color = 0; // 0xRRGGBB
    bool operator==(const PrintFont&) const = default;
};

// The print settings of one table. Lengths are in 0.1 mm.
struct TPrintsettings {
    TPrintPosition Time = TPrintPosition::ppNone;
    TPrintPosition Date = TPrintPosition::ppNone;
    std::string DateFormat = "dd/mm/yyyy";
    TPrintPosition PageNr = TPrintPosition::ppNone;
    TPrintPosition Title = TPrintPosition::ppNone;
    std::string TitleText;
    std::vector<std::string> TitleLines;
    PrintFont Font;
    PrintFont HeaderFont;
    PrintFont FooterFont;
    TPrintBorders Borders = TPrintBorders::pbNoborder;
    TPenStyle BorderStyle = TPenStyle::psSolid;
    bool Centered = false;
    bool RepeatFixedRows = false;
    bool RepeatFixedCols = false;
    int HeaderSize = 0;
    int FooterSize = 0;
    int LeftSize = 0;
    int RightSize = 0;
    int ColumnSpacing = 0;
    int RowSpacing = 0;
    int TitleSpacing = 0;
    TPrintOrientation Orientation = TPrintOrientation::poPortrait;
    bool UseFixedWidth = false;
    int FixedWidth = 0;
    bool UseFixedHeight = false;
    int FixedHeight = 0;
    TFitToPage FitToPage = TFitToPage::fpNever;
    bool NoAutoSize = false;
    std::string PageNumSep = "/";
    std::string PagePrefix;
    std::string PageSuffix;
    std::string JobName;
    bool PrintGraphics = false;
};

// The state of the "Options" page's controls; the defaults are the page's start states.
struct PrintOptionsState {
    enum class BorderLines { All, Horizontal, Vertical };
    std::vector<std::string> TitleLines{"This is a Sample Title", "the Velloway Report"};
    bool PrintDate = false;
    bool PrintTime = false;
    bool PrintPageNumbers = false;
    bool PrintBorders = true;
    bool FitToPage = false;
    bool PrintCentered = true;
    bool AutoSize = true;
    BorderLines Lines = BorderLines::All;
};

// Copies the options page into the print settings; runs before every print and preview.
// The fields the page does not own keep their values.
void SetPrintOptions(const PrintOptionsState& options, TPrintsettings& settings);
