#include "http/RetryAfter.h"

#include "platform/Text.h"

#include <algorithm>
#include <array>
#include <ctime>
#include <string_view>

namespace {

constexpr std::array<std::string_view, 12> Months = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                     "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
constexpr std::array<std::string_view, 7> Days = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
constexpr std::array<std::string_view, 7> LongDays = {"Monday", "Tuesday",  "Wednesday", "Thursday",
                                                      "Friday", "Saturday", "Sunday"};

bool digits(std::string_view s, int& out) {
    if (s.empty() || s.size() > 4 || s.find_first_not_of("0123456789") != std::string_view::npos)
        return false;
    out = 0;
    for (char c : s)
        out = out * 10 + (c - '0');
    return true;
}

template <std::size_t N> int indexOf(const std::array<std::string_view, N>& names, std::string_view name) {
    for (std::size_t i = 0; i < N; ++i)
        if (names[i] == name) return static_cast<int>(i);
    return -1;
}

// The date's fields as they stand in one of the three forms; year is the full year.
struct Date {
    int day = 0, month = -1, year = 0, hour = 0, minute = 0, second = 0;
};

// "08:49:37".
bool timeOfDay(std::string_view s, Date& d) {
    return s.size() == 8 && s[2] == ':' && s[5] == ':' && digits(s.substr(0, 2), d.hour) &&
           digits(s.substr(3, 2), d.minute) && digits(s.substr(6, 2), d.second);
}

// "Sun, 06 Nov 1994 08:49:37 GMT", the form HTTP sends today.
bool imfFixdate(std::string_view v, Date& d) {
    return v.size() == 29 && indexOf(Days, v.substr(0, 3)) >= 0 && v.substr(3, 2) == ", " && v[7] == ' ' &&
           v[11] == ' ' && v[16] == ' ' && v.substr(25) == " GMT" && digits(v.substr(5, 2), d.day) &&
           (d.month = indexOf(Months, v.substr(8, 3))) >= 0 && digits(v.substr(12, 4), d.year) &&
           timeOfDay(v.substr(17, 8), d);
}

// "Sunday, 06-Nov-94 08:49:37 GMT", the obsolete form with a two-digit year.
bool rfc850Date(std::string_view v, Date& d) {
    const std::size_t comma = v.find(", ");
    if (comma == std::string_view::npos || indexOf(LongDays, v.substr(0, comma)) < 0) return false;
    v.remove_prefix(comma + 2);
    return v.size() == 22 && v[2] == '-' && v[6] == '-' && v[9] == ' ' && v.substr(18) == " GMT" &&
           digits(v.substr(0, 2), d.day) && (d.month = indexOf(Months, v.substr(3, 3))) >= 0 &&
           digits(v.substr(7, 2), d.year) && timeOfDay(v.substr(10, 8), d);
}

// "Sun Nov  6 08:49:37 1994", C's asctime: the day of the month padded with a space.
bool asctimeDate(std::string_view v, Date& d) {
    return v.size() == 24 && indexOf(Days, v.substr(0, 3)) >= 0 && v[3] == ' ' && v[7] == ' ' &&
           v[10] == ' ' && v[19] == ' ' && (d.month = indexOf(Months, v.substr(4, 3))) >= 0 &&
           digits(v[8] == ' ' ? v.substr(9, 1) : v.substr(8, 2), d.day) && timeOfDay(v.substr(11, 8), d) &&
           digits(v.substr(20, 4), d.year);
}

// A two-digit year is the one nearest to now's: one that would lie more than 50 years ahead is
// of the century before.
int fullYear(int twoDigits, std::int64_t now) {
    const std::time_t t = static_cast<std::time_t>(now);
    std::tm tm{};
    gmtime_r(&t, &tm);
    const int thisYear = tm.tm_year + 1900;
    int year = thisYear - thisYear % 100 + twoDigits;
    if (year > thisYear + 50)
        year -= 100;
    else if (year <= thisYear - 50)
        year += 100;
    return year;
}

std::optional<std::int64_t> httpDate(std::string_view value, std::int64_t now) {
    Date d;
    if (!imfFixdate(value, d) && !asctimeDate(value, d)) {
        d = Date{};
        if (!rfc850Date(value, d)) return std::nullopt;
        d.year = fullYear(d.year, now);
    }
    if (d.day < 1 || d.day > 31 || d.hour > 23 || d.minute > 59 || d.second > 60) return std::nullopt;
    std::tm tm{};
    tm.tm_year = d.year - 1900;
    tm.tm_mon = d.month;
    tm.tm_mday = d.day;
    tm.tm_hour = d.hour;
    tm.tm_min = d.minute;
    tm.tm_sec = d.second;
    return static_cast<std::int64_t>(timegm(&tm));
}

} // namespace

std::optional<std::int64_t> parseRetryAfter(std::string_view value, std::int64_t now) {
    value = trimmed(value, " \t\r\n");
    // Seconds to wait, any number of digits: more than a day is held to a day.
    if (!value.empty() && value.find_first_not_of("0123456789") == std::string_view::npos) {
        std::int64_t seconds = 0;
        for (char c : value)
            if ((seconds = seconds * 10 + (c - '0')) >= MaxRetryAfter) return now + MaxRetryAfter;
        return now + seconds;
    }
    // A date in the past asks for no wait; one further ahead than a day is held to a day.
    if (const auto when = httpDate(value, now)) return std::clamp(*when, now, now + MaxRetryAfter);
    return std::nullopt;
}
