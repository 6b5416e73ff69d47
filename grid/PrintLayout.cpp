#include "grid/PrintLayout.h"

#include "grid/ReportGrid.h"

#include <algorithm>
#include <array>
#include <cstdio>

long long RoundDiv(long long value, long long num, long long den) {
    if (den == 0) return 0;
    if (den < 0) {
        den = -den;
        num = -num;
    }
    const long long p = value * num;
    long long q = p / den;
    long long r = p % den;
    if (r < 0) {
        r += den;
        --q;
    }
    if (2 * r > den || (2 * r == den && (q & 1) != 0)) ++q;
    return q;
}

namespace {

std::string padded(int value, int digits) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%0*d", digits, value);
    return buf;
}

char lowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

} // namespace

namespace {

const std::array<const char*, 12> shortMonths{"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                              "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
const std::array<const char*, 12> longMonths{"January",   "February", "March",    "April",
                                             "May",       "June",     "July",     "August",
                                             "September", "October",  "November", "December"};
const std::array<const char*, 7> shortDays{"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
const std::array<const char*, 7> longDays{"Monday", "Tuesday",  "Wednesday", "Thursday",
                                          "Friday", "Saturday", "Sunday"};

// One run of n equal format letters (lower-cased) as text of the moment.
std::string dateTimeField(char letter, int n, const QDateTime& moment, bool afterHour) {
    const QDate date = moment.date();
    const QTime time = moment.time();
    switch (letter) {
    case 'y':
        return n <= 2 ? padded(date.year() % 100, 2) : padded(date.year(), 4);
    case 'm':
        // Minutes follow an hour in time formats such as "hh:mm".
        if (afterHour && n <= 2) return padded(time.minute(), n == 1 ? 1 : 2);
        if (n <= 2) return padded(date.month(), n);
        return (n == 3 ? shortMonths : longMonths)[static_cast<std::size_t>(date.month() - 1)];
    case 'd':
        if (n <= 2) return padded(date.day(), n);
        return (n == 3 ? shortDays : longDays)[static_cast<std::size_t>(date.dayOfWeek() - 1)];
    case 'h':
        return padded(time.hour(), n == 1 ? 1 : 2);
    case 'n':
        return padded(time.minute(), n == 1 ? 1 : 2);
    default: // 's'
        return padded(time.second(), n == 1 ? 1 : 2);
    }
}

} // namespace

std::string FormatDateTimeText(std::string_view format, const QDateTime& moment) {
    std::string out;
    bool afterHour = false;
    std::size_t i = 0;
    while (i < format.size()) {
        const char c = format[i];
        if (c == '"' || c == '\'') {
            std::size_t end = format.find(c, i + 1);
            if (end == std::string_view::npos) end = format.size();
            out += format.substr(i + 1, end - i - 1);
            i = std::min(format.size(), end + 1);
            continue;
        }
        const char lc = lowerAscii(c);
        if (std::string_view("dmyhns").find(lc) == std::string_view::npos) {
            out += c;
            ++i;
            continue;
        }
        std::size_t k = 1;
        while (i + k < format.size() && lowerAscii(format[i + k]) == lc)
            ++k;
        out += dateTimeField(lc, static_cast<int>(k), moment, afterHour);
        afterHour = lc == 'h';
        i += k;
    }
    return out;
}

namespace {

bool isTop(TPrintPosition p) {
    return p == TPrintPosition::ppTopLeft || p == TPrintPosition::ppTopRight ||
           p == TPrintPosition::ppTopCenter;
}
bool isBottom(TPrintPosition p) {
    return p == TPrintPosition::ppBottomLeft || p == TPrintPosition::ppBottomRight ||
           p == TPrintPosition::ppBottomCenter;
}
bool isLeft(TPrintPosition p) {
    return p == TPrintPosition::ppTopLeft || p == TPrintPosition::ppBottomLeft;
}

// Slots in the order top-left, top-right, top-centre, bottom-left, bottom-right, bottom-centre,
// which is the order of the positions after ppNone.
int slotIndex(TPrintPosition p) {
    return static_cast<int>(p) - 1;
}

std::string_view firstLine(const std::string& text) {
    return std::string_view(text).substr(0, text.find('\r'));
}

int charHeight(const PrintFont& font) {
    return static_cast<int>(RoundDiv(font.Size, 254, 72));
}

struct Block {
    std::vector<int> cols;
    std::vector<int> x; // start of each column
    int width = 0;      // columns with their spacing
};

// One layout pass: the measures of the fonts, columns and areas, then the pages.
class LayoutRun {
public:
    LayoutRun(const TGridPrint& print, const TReportGrid& grid, PrintSurface& surface, LayoutMode mode,
              const PrintPage& page, int pageCount)
        : print_(print), ps_(print.PrintSettings), grid_(grid), s_(surface), page_(page),
          pageCount_(pageCount), drawing_(mode == LayoutMode::DrawPreview || mode == LayoutMode::PrintPages) {
    }

    int run() {
        measureFonts();
        measureColumns();
        fitToPage();
        measureAreas();
        makeBlocks();
        int pageNr = 0;
        for (std::size_t b = 0; b < blocks_.size(); ++b)
            layoutBlock(blocks_[b], static_cast<int>(b) + 1, pageNr);
        return pageNr;
    }

private:
    void measureFonts() {
        chH_ = charHeight(ps_.HeaderFont);
        chF_ = charHeight(ps_.FooterFont);
        chB_ = charHeight(ps_.Font);
        s_.SetFont(ps_.HeaderFont, chH_);
        hH_ = s_.TextHeight("gh");
        s_.SetFont(ps_.FooterFont, chF_);
        hF_ = s_.TextHeight("gh");
        s_.SetFont(ps_.Font, chB_);
        hB_ = s_.TextHeight("gh");
        aW_ = s_.TextWidth("a");
        pad_ = hB_ / 8;
        sp_ = ps_.UseFixedWidth ? 0 : ps_.ColumnSpacing + 20;
        w_ = ps_.UseFixedHeight ? ps_.FixedHeight : hB_;
        rowHeight_ = w_ + w_ / 8 + 2 * pad_;
    }

    void measureColumns() {
        const int n = grid_.ColCount();
        widths_.assign(static_cast<std::size_t>(n), 0);
        for (int c = 0; c < n; ++c) {
            int& width = widths_[static_cast<std::size_t>(c)];
            if (ps_.UseFixedWidth) {
                width = ps_.FixedWidth;
            } else if (ps_.NoAutoSize) {
                width = static_cast<int>(RoundDiv(grid_.ColWidth(c) - 4, 254, std::max(1, page_.ScreenDpi)));
            } else {
                int widest = 0;
                for (int r = 0; r < grid_.RowCount(); ++r) {
                    std::string_view text = firstLine(grid_.CellText(c, r));
                    if (!text.empty()) widest = std::max(widest, s_.TextWidth(text));
                }
                width = widest + aW_;
            }
        }
    }

    void fitToPage() {
        const long long n = static_cast<long long>(widths_.size());
        long long sum = 0;
        for (int w : widths_)
            sum += w;
        const long long avail = static_cast<long long>(page_.Width) - ps_.RightSize - ps_.LeftSize - n * sp_;
        const bool fit = ps_.FitToPage == TFitToPage::fpAlways ||
                         (ps_.FitToPage == TFitToPage::fpGrow && avail > sum) ||
                         (ps_.FitToPage == TFitToPage::fpShrink && avail < sum);
        // Margins wider than the page leave nothing to scale to.
        if (!fit || sum <= 0 || avail <= 0 || avail == sum) return;
        long long total = 0;
        for (int& w : widths_) {
            w = static_cast<int>(RoundDiv(w, avail, sum));
            total += w;
        }
        // Each width was rounded on its own, so together they can exceed the width between the
        // margins by up to half a unit per column, which would push the last column onto a
        // page of its own. The widest columns give up the excess, one unit each.
        while (total > avail) {
            auto widest = std::max_element(widths_.begin(), widths_.end());
            --*widest;
            --total;
        }
    }

    void measureAreas() {
        const auto positions = {ps_.Time, ps_.Date, ps_.PageNr, ps_.Title};
        const int extraLines = ps_.TitleLines.empty() ? 0 : static_cast<int>(ps_.TitleLines.size()) - 1;
        const bool anyTop = std::any_of(positions.begin(), positions.end(), isTop);
        const bool anyBottom = std::any_of(positions.begin(), positions.end(), isBottom);
        headerArea_ = anyTop ? pad_ + hH_ + ps_.HeaderSize + extraLines * hH_ : ps_.HeaderSize;
        footerArea_ =
            anyBottom ? 2 * (pad_ + hF_) + ps_.FooterSize + extraLines * hF_ : pad_ + hF_ + ps_.FooterSize;
    }

    void makeBlocks() {
        const int n = grid_.ColCount();
        const int limit = page_.Width - ps_.RightSize;
        int c = 0;
        while (c < n) {
            Block block;
            if (!blocks_.empty() && ps_.RepeatFixedCols)
                for (int f = 0; f < std::min(grid_.FixedCols(), c); ++f) {
                    block.cols.push_back(f);
                    block.width += widths_[static_cast<std::size_t>(f)] + sp_;
                }
            // Every block takes at least one new column, however wide.
            bool added = false;
            while (c < n) {
                const int next = block.width + widths_[static_cast<std::size_t>(c)] + sp_;
                if (added && next > limit) break;
                block.cols.push_back(c++);
                block.width = next;
                added = true;
            }
            int x = ps_.LeftSize;
            if (ps_.Centered) x = block.width < page_.Width ? (page_.Width - block.width) / 2 : 0;
            for (int col : block.cols) {
                block.x.push_back(x);
                x += widths_[static_cast<std::size_t>(col)] + sp_;
            }
            blocks_.push_back(std::move(block));
        }
    }

    bool drawn(int pageNr) const { return drawing_ && pageNr >= print_.FromPage && pageNr <= print_.ToPage; }

    void layoutBlock(const Block& block, int blockNr, int& pageNr) {
        const int rows = grid_.RowCount();
        const int tableTop = headerArea_ + ps_.TitleSpacing;
        int r = 0;
        int pageInBlock = 0;
        std::vector<int> rowTops;
        do {
            ++pageInBlock;
            ++pageNr;
            const bool draw = drawn(pageNr);
            if (draw) {
                s_.StartPage(pageNr);
                drawHeaderFooter(pageNr, pageInBlock, blockNr);
                s_.SetFont(ps_.Font, chB_);
            }
            rowTops.clear();
            int y = tableTop;
            auto place = [&](int row) {
                if (draw) {
                    rowTops.push_back(y);
                    drawRow(block, row, y);
                }
                y += rowHeight_;
            };
            if (ps_.RepeatFixedRows && pageInBlock > 1)
                for (int f = 0; f < std::min(grid_.FixedRows(), r); ++f)
                    place(f);
            // The first row of a page is placed whatever room is left, so every page holds one.
            while (r < rows) {
                place(r++);
                if (r < rows && page_.Height - y - w_ < footerArea_) break;
            }
            if (draw) drawBorders(block, rowTops, y);
        } while (r < rows);
    }

    void drawRow(const Block& block, int row, int top) {
        for (std::size_t k = 0; k < block.cols.size(); ++k) {
            const int col = block.cols[k];
            const int x = block.x[k];
            const PrintRect rect{x, top, x + widths_[static_cast<std::size_t>(col)] + sp_, top + rowHeight_};
            s_.TextRect(rect, x + aW_, top, firstLine(grid_.CellText(col, row)));
        }
    }

    void drawBorders(const Block& block, const std::vector<int>& rowTops, int bottom) {
        if (rowTops.empty() || block.cols.empty()) return;
        using B = TPrintBorders;
        const B kind = ps_.Borders;
        const bool horizontal = kind == B::pbSingle || kind == B::pbDouble || kind == B::pbHorizontal ||
                                kind == B::pbAroundHorizontal;
        const bool vertical = kind == B::pbSingle || kind == B::pbDouble || kind == B::pbVertical ||
                              kind == B::pbAroundVertical;
        const bool frame =
            kind == B::pbAround || kind == B::pbAroundVertical || kind == B::pbAroundHorizontal;
        if (!horizontal && !vertical && !frame) return;
        s_.SetPen(2, ps_.BorderStyle);
        const int left = block.x.front();
        const int right = block.x.back() + widths_[static_cast<std::size_t>(block.cols.back())] + sp_;
        const int top = rowTops.front();
        if (horizontal) {
            for (int t : rowTops)
                s_.Line(left, t, right, t);
            s_.Line(left, bottom, right, bottom);
        } else if (frame) {
            s_.Line(left, top, right, top);
            s_.Line(left, bottom, right, bottom);
        }
        if (vertical) {
            for (int x : block.x)
                s_.Line(x, top, x, bottom);
            s_.Line(right, top, right, bottom);
        } else if (frame) {
            s_.Line(left, top, left, bottom);
            s_.Line(right, top, right, bottom);
        }
    }

    std::string pageText(int pageNr, int pageInBlock, int blockNr) const {
        if (blocks_.size() > 1) return std::to_string(pageInBlock) + "-" + std::to_string(blockNr);
        if (!ps_.PageNumSep.empty() && pageCount_ > 1)
            return std::to_string(pageNr) + ps_.PageNumSep + std::to_string(pageCount_);
        return std::to_string(pageNr);
    }

    void drawHeaderFooter(int pageNr, int pageInBlock, int blockNr) {
        std::array<std::string, 6> slotTexts;
        auto add = [&](TPrintPosition pos, const std::string& item) {
            if (pos == TPrintPosition::ppNone) return;
            std::string& slot = slotTexts[static_cast<std::size_t>(slotIndex(pos))];
            slot = isLeft(pos) ? item + " " + slot : slot + " " + item;
        };
        const QDateTime now = print_.Now();
        add(ps_.Time, FormatDateTimeText("hh:nn", now));
        add(ps_.Date, FormatDateTimeText(ps_.DateFormat, now));
        add(ps_.PageNr, ps_.PagePrefix + " " + pageText(pageNr, pageInBlock, blockNr) + " " + ps_.PageSuffix);
        const bool titleFromLines = ps_.TitleText.empty() && !ps_.TitleLines.empty();
        add(ps_.Title, titleFromLines ? ps_.TitleLines.front() : ps_.TitleText);

        const int topY = ps_.HeaderSize;
        const int bottomY = page_.Height - (hF_ + pad_ + ps_.FooterSize);
        for (int i = 0; i < 6; ++i) {
            const bool top = i < 3;
            const std::string& text = slotTexts[static_cast<std::size_t>(i)];
            const bool titleHere = ps_.Title != TPrintPosition::ppNone && slotIndex(ps_.Title) == i;
            if (text.empty()) continue;
            if (top)
                s_.SetFont(ps_.HeaderFont, chH_);
            else
                s_.SetFont(ps_.FooterFont, chF_);
            const int width = s_.TextWidth(text);
            int x = ps_.LeftSize;
            if (i % 3 == 1)
                x = page_.Width - width - ps_.RightSize - 20;
            else if (i % 3 == 2)
                x = (page_.Width - width) / 2;
            const int y = top ? topY : bottomY;
            s_.TextOut(x, y, text);
            if (titleHere && titleFromLines) {
                const int lineHeight = top ? hH_ : hF_;
                for (std::size_t k = 1; k < ps_.TitleLines.size(); ++k)
                    s_.TextOut(x, y + static_cast<int>(k) * lineHeight, ps_.TitleLines[k]);
            }
        }
    }

    const TGridPrint& print_;
    const TPrintsettings& ps_;
    const TReportGrid& grid_;
    PrintSurface& s_;
    const PrintPage page_;
    const int pageCount_;
    const bool drawing_;

    int chB_ = 0, chH_ = 0, chF_ = 0;
    int hB_ = 0, hH_ = 0, hF_ = 0;
    int pad_ = 0, aW_ = 0, sp_ = 0;
    int w_ = 0, rowHeight_ = 0;
    int headerArea_ = 0, footerArea_ = 0;
    std::vector<int> widths_;
    std::vector<Block> blocks_;
};

} // namespace

int TGridPrint::LayoutPass(const TReportGrid& grid, PrintSurface& surface, LayoutMode mode,
                           const PrintPage& page, int pageCount) const {
    return LayoutRun(*this, grid, surface, mode, page, pageCount).run();
}

int TGridPrint::Print(const TReportGrid& grid, PrintSurface& surface, const PrintPage& page) {
    PageCount = LayoutPass(grid, surface, LayoutMode::CountForPrint, page, 0);
    FromPage = 1;
    ToPage = PageCount;
    LayoutPass(grid, surface, LayoutMode::PrintPages, page, PageCount);
    return PageCount;
}

int TGridPrint::PreviewPaint(const TReportGrid& grid, PrintSurface& surface, const PrintPage& page) {
    PrintSettings.HeaderSize = 150;
    PageCount = LayoutPass(grid, surface, LayoutMode::CountForPreview, page, 0);
    // A larger page area can leave fewer pages than the one shown; show the last then.
    if (FromPage > PageCount) FromPage = ToPage = std::max(1, PageCount);
    return LayoutPass(grid, surface, LayoutMode::DrawPreview, page, PageCount);
}

bool TGridPrint::PreviewPrev() {
    if (FromPage <= 1) return false;
    ToPage = --FromPage;
    return true;
}

bool TGridPrint::PreviewNext() {
    if (FromPage >= PageCount) return false;
    ToPage = ++FromPage;
    return true;
}
