#include "platform/Time.h"

#include <array>
#include <cstdio>
#include <ctime>

namespace {

std::int64_t daysFromCivil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

bool isLeapYear(int y) {
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

int daysInMonth(int y, int m) {
    static constexpr std::array<int, 12> days{31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && isLeapYear(y) ? 29 : days[static_cast<std::size_t>(m - 1)];
}

// Reads exactly n digits at the front of s.
bool takeDigits(std::string_view& s, std::size_t n, int& out) {
    if (s.size() < n) return false;
    out = 0;
    for (std::size_t i = 0; i < n; ++i) {
        if (s[i] < '0' || s[i] > '9') return false;
        out = out * 10 + (s[i] - '0');
    }
    s.remove_prefix(n);
    return true;
}

bool takeChar(std::string_view& s, char c) {
    if (s.empty() || s.front() != c) return false;
    s.remove_prefix(1);
    return true;
}

} // namespace

std::int64_t unixNow() {
    return static_cast<std::int64_t>(std::time(nullptr));
}

std::optional<std::int64_t> parseW3cDatetime(std::string_view text) {
    std::string_view s = text;
    int year = 0, month = 1, day = 1, hour = 0, minute = 0, second = 0;
    if (!takeDigits(s, 4, year)) return std::nullopt;
    if (takeChar(s, '-')) {
        if (!takeDigits(s, 2, month) || month < 1 || month > 12) return std::nullopt;
        if (takeChar(s, '-')) {
            if (!takeDigits(s, 2, day) || day < 1 || day > daysInMonth(year, month)) return std::nullopt;
            if (takeChar(s, 'T') || takeChar(s, 't')) {
                if (!takeDigits(s, 2, hour) || hour > 23 || !takeChar(s, ':') || !takeDigits(s, 2, minute) ||
                    minute > 59)
                    return std::nullopt;
                if (takeChar(s, ':')) {
                    // 60 is a leap second.
                    if (!takeDigits(s, 2, second) || second > 60) return std::nullopt;
                    if (takeChar(s, '.')) {
                        // Fractions of a second are allowed in any length and do not count.
                        std::size_t n = 0;
                        while (n < s.size() && s[n] >= '0' && s[n] <= '9')
                            ++n;
                        if (n == 0) return std::nullopt;
                        s.remove_prefix(n);
                    }
                }
                // A time needs its zone.
                int offset = 0;
                if (takeChar(s, 'Z') || takeChar(s, 'z')) {
                } else if (!s.empty() && (s.front() == '+' || s.front() == '-')) {
                    const int sign = s.front() == '-' ? -1 : 1;
                    s.remove_prefix(1);
                    int oh = 0, om = 0;
                    if (!takeDigits(s, 2, oh) || oh > 23 || !takeChar(s, ':') || !takeDigits(s, 2, om) ||
                        om > 59)
                        return std::nullopt;
                    offset = sign * (oh * 3600 + om * 60);
                } else {
                    return std::nullopt;
                }
                if (!s.empty()) return std::nullopt;
                return daysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) * 86400 +
                       hour * 3600 + minute * 60 + second - offset;
            }
        }
    }
    if (!s.empty()) return std::nullopt;
    return daysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) * 86400;
}

std::string formatUtc(std::int64_t seconds) {
    std::int64_t days = seconds / 86400;
    std::int64_t rest = seconds % 86400;
    if (rest < 0) {
        rest += 86400;
        --days;
    }
    // The inverse of daysFromCivil.
    const std::int64_t z = days + 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const auto doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    const unsigned d = doy - (153 * mp + 2) / 5 + 1;
    const unsigned m = mp < 10 ? mp + 3 : mp - 9;
    const std::int64_t y = static_cast<std::int64_t>(yoe) + era * 400 + (m <= 2 ? 1 : 0);
    char out[40];
    std::snprintf(out, sizeof out, "%04lld-%02u-%02uT%02d:%02d:%02dZ", static_cast<long long>(y), m, d,
                  static_cast<int>(rest / 3600), static_cast<int>(rest / 60 % 60),
                  static_cast<int>(rest % 60));
    return out;
}
