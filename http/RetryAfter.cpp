#include "http/RetryAfter.h"

#include "platform/Text.h"

#include <algorithm>
#include <array>
#include <ctime>
#include <string_view>

namespace {

constexpr std::array<const char*, 12> Months = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

bool digits(std::string_view s, int& out) {
    if (s.empty() || s.find_first_not_of("0123456789") != std::string_view::npos) return false;
    out = 0;
    for (char c : s)
        out = out * 10 + (c - '0');
    return true;
}

} // namespace

std::optional<std::int64_t> parseRetryAfter(std::string_view value, std::int64_t now) {
    value = trimmed(value, " \t\r\n");
    int seconds = 0;
    if (value.size() <= 9 && digits(value, seconds))
        return now + std::min<std::int64_t>(seconds, MaxRetryAfter);
    // "Sun, 06 Nov 1994 08:49:37 GMT", the one form of date that HTTP sends today.
    if (value.size() != 29 || value.substr(3, 2) != ", " || value.substr(25) != " GMT") return std::nullopt;
    std::tm tm{};
    int day = 0, year = 0, hour = 0, minute = 0, second = 0;
    if (!digits(value.substr(5, 2), day) || !digits(value.substr(12, 4), year) ||
        !digits(value.substr(17, 2), hour) || !digits(value.substr(20, 2), minute) ||
        !digits(value.substr(23, 2), second) || value[16] != ' ' || value[19] != ':' || value[22] != ':')
        return std::nullopt;
    int month = -1;
    for (std::size_t m = 0; m < Months.size(); ++m)
        if (value.substr(8, 3) == Months[m]) month = static_cast<int>(m);
    if (month < 0 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 60) return std::nullopt;
    tm.tm_year = year - 1900;
    tm.tm_mon = month;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_sec = second;
    // A date in the past asks for no wait; one further ahead than a day is held to a day.
    return std::clamp<std::int64_t>(static_cast<std::int64_t>(timegm(&tm)), now, now + MaxRetryAfter);
}
