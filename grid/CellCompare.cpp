#include "grid/CellCompare.h"

#include <QDateTime>
#include <QLocale>
#include <QString>

#include <charconv>
#include <clocale>

namespace {

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

int sign(double a, double b) {
    return a > b ? 1 : a < b ? -1 : 0;
}

// The user's decimal separator, from the C library's locale as the program runs it.
std::string decimalSeparator() {
    const std::lconv* lc = std::localeconv();
    return lc && lc->decimal_point && *lc->decimal_point ? lc->decimal_point : ".";
}

} // namespace

CellClass classifyCell(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ')
        ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    bool number = i < text.size();
    bool point = false;
    while (number && i < text.size() && (isDigit(text[i]) || text[i] == '.')) {
        if (text[i] == '.') {
            if (point) number = false;
            point = true;
        }
        ++i;
    }
    if (number && i < text.size() && (text[i] == 'E' || text[i] == 'e')) {
        ++i;
        if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
        std::size_t digits = i;
        while (i < text.size() && isDigit(text[i]))
            ++i;
        number = i > digits;
    }
    if (number && i == text.size()) return CellClass::Number;
    if (text.find('/') != std::string_view::npos) return CellClass::DateTime;
    return CellClass::Text;
}

std::optional<double> cellNumber(std::string_view text) {
    std::string s(text);
    std::string sep = decimalSeparator();
    if (sep != ".") {
        auto at = s.find(sep);
        if (at != std::string::npos) s = s.substr(0, at) + "." + s.substr(at + sep.size());
    }
    std::size_t b = s.find_first_not_of(' ');
    if (b == std::string::npos) return std::nullopt;
    std::size_t e = s.find_last_not_of(' ') + 1;
    const char* first = s.data() + b;
    const char* last = s.data() + e;
    bool negative = false;
    if (*first == '+' || *first == '-') {
        negative = *first == '-';
        ++first;
    }
    // A decimal number starts with a digit or the point; the reader would also take "inf"
    // and "nan", which are words here.
    if (first == last || !(isDigit(*first) || *first == '.')) return std::nullopt;
    double value = 0;
    auto [end, ec] = std::from_chars(first, last, value, std::chars_format::general);
    if (ec != std::errc() || end != last) return std::nullopt;
    return negative ? -value : value;
}

std::optional<double> cellDateTime(std::string_view text) {
    const QString s = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())).trimmed();
    const QLocale locale = QLocale::system();
    static const QDate epoch(1899, 12, 30);
    QDateTime dt = locale.toDateTime(s, QLocale::ShortFormat);
    if (!dt.isValid()) {
        QDate d = locale.toDate(s, QLocale::ShortFormat);
        if (!d.isValid()) return std::nullopt;
        dt = QDateTime(d, QTime(0, 0));
    }
    return static_cast<double>(epoch.daysTo(dt.date())) + dt.time().msecsSinceStartOfDay() / 86400000.0;
}

int compareText(std::string_view a, std::string_view b) {
    int r = a.compare(b); // char_traits<char>::compare orders bytes as unsigned
    return r > 0 ? 1 : r < 0 ? -1 : 0;
}

int compareCellTexts(std::string_view a, std::string_view b, bool autoFormat) {
    return autoFormat ? compareClassified(classifyCell(a), a, b) : compareText(a, b);
}

int compareClassified(CellClass classOfA, std::string_view a, std::string_view b) {
    switch (classOfA) {
    case CellClass::Number: {
        auto x = a.empty() ? std::optional<double>(0) : cellNumber(a);
        auto y = b.empty() ? std::optional<double>(0) : cellNumber(b);
        if (!x || !y) return 0;
        return sign(*x, *y);
    }
    case CellClass::DateTime:
        return sign(cellDateTime(a).value_or(0), cellDateTime(b).value_or(0));
    case CellClass::Text:
        break;
    }
    return compareText(a, b);
}
