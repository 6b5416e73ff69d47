#include "core/checks/PageSignals.h"

#include "core/checks/PageUrl.h"
#include "platform/Text.h"

#include <algorithm>
#include <limits>
#include <regex>

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

void skipBlanks(std::string_view text, std::size_t& at) {
    while (at < text.size() && isBlank(text[at]))
        ++at;
}

bool hasRelation(std::string_view list, std::string_view relation) {
    for (std::size_t start = 0; start < list.size();) {
        std::size_t end = start;
        while (end < list.size() && !isBlank(list[end]))
            ++end;
        if (equalsIgnoringCase(list.substr(start, end - start), relation)) return true;
        start = end + 1;
    }
    return false;
}

// Past the next comma that stands outside a quoted string, or at the end.
void skipToNextLink(std::string_view text, std::size_t& at) {
    for (bool quoted = false; at < text.size(); ++at) {
        if (quoted && text[at] == '\\')
            ++at;
        else if (text[at] == '"')
            quoted = !quoted;
        else if (text[at] == ',' && !quoted)
            break;
    }
}

// One parameter's value: a quoted string (without its quotes; escapes stay as they are) or a
// token, which ends at a blank, ";" or ",".
std::string_view paramValue(std::string_view text, std::size_t& at) {
    const std::size_t start = at;
    if (at < text.size() && text[at] == '"') {
        for (++at; at < text.size() && text[at] != '"'; ++at)
            if (text[at] == '\\') ++at;
        at = std::min(at, text.size());
        const std::string_view inside = text.substr(start + 1, at - start - 1);
        if (at < text.size()) ++at;
        return inside;
    }
    while (at < text.size() && !isBlank(text[at]) && text[at] != ';' && text[at] != ',')
        ++at;
    return text.substr(start, at - start);
}

// The parameters after a link's target, up to the comma that ends the link: whether the
// first rel parameter lists "canonical".
bool canonicalParams(std::string_view text, std::size_t& at) {
    bool relSeen = false;
    bool canonical = false;
    for (;;) {
        skipBlanks(text, at);
        if (at >= text.size() || text[at] == ',') return canonical;
        if (text[at] != ';') {
            skipToNextLink(text, at);
            return canonical;
        }
        skipBlanks(text, ++at);
        const std::size_t nameStart = at;
        while (at < text.size() && !isBlank(text[at]) && text[at] != '=' && text[at] != ';' &&
               text[at] != ',')
            ++at;
        const std::string_view name = text.substr(nameStart, at - nameStart);
        skipBlanks(text, at);
        std::string_view value;
        if (at < text.size() && text[at] == '=') {
            skipBlanks(text, ++at);
            value = paramValue(text, at);
        }
        if (equalsIgnoringCase(name, "rel") && !relSeen) {
            relSeen = true;
            canonical = hasRelation(value, "canonical");
        }
    }
}

int monthNumber(std::string_view name) {
    static constexpr std::string_view months[] = {"jan", "feb", "mar", "apr", "may", "jun",
                                                  "jul", "aug", "sep", "oct", "nov", "dec"};
    for (int i = 0; i < 12; ++i)
        if (equalsIgnoringCase(name.substr(0, 3), months[i])) return i + 1;
    return 0;
}

// The zone's offset east of UTC in minutes: a name of RFC 822 or an offset "+hhmm", "+hh:mm",
// "+hh"; an empty zone is UTC.
std::optional<int> zoneMinutes(const std::string& zone) {
    static constexpr std::pair<std::string_view, int> named[] = {
        {"", 0},       {"z", 0},      {"ut", 0},     {"utc", 0},    {"gmt", 0},
        {"est", -300}, {"edt", -240}, {"cst", -360}, {"cdt", -300}, {"mst", -420},
        {"mdt", -360}, {"pst", -480}, {"pdt", -420}};
    for (const auto& [name, minutes] : named)
        if (equalsIgnoringCase(zone, name)) return minutes;
    if (zone[0] != '+' && zone[0] != '-') return std::nullopt;
    std::string digits;
    for (char c : zone.substr(1))
        if (c != ':') digits += c;
    if (digits.size() != 2 && digits.size() != 4) return std::nullopt;
    const int hours = std::stoi(digits.substr(0, 2));
    const int minutes = digits.size() == 4 ? std::stoi(digits.substr(2)) : 0;
    if (hours > 23 || minutes > 59) return std::nullopt;
    return (zone[0] == '-' ? -1 : 1) * (hours * 60 + minutes);
}

// Days since 1970-01-01 of a date of the proleptic Gregorian calendar.
std::int64_t daysFromCivil(std::int64_t y, int m, int d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const std::int64_t yoe = y - era * 400;
    const std::int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

std::optional<std::int64_t> secondsOf(int year, int month, int day, int hour, int minute, int second,
                                      const std::string& zone) {
    static constexpr int days[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    if (month < 1 || month > 12 || day < 1 || day > days[month - 1] || (month == 2 && day == 29 && !leap))
        return std::nullopt;
    const std::optional<int> offset = zoneMinutes(zone);
    if (!offset || hour > 23 || minute > 59 || second > 60) return std::nullopt;
    return daysFromCivil(year, month, day) * 86400 + hour * 3600 + minute * 60 + second -
           std::int64_t{*offset} * 60;
}

int number(const std::ssub_match& match) {
    return match.matched ? std::stoi(match.str()) : 0;
}

} // namespace

std::vector<std::string> linkHeaderCanonicals(std::string_view value, const std::string& base) {
    std::vector<std::string> targets;
    for (std::size_t at = 0; at < value.size() && targets.size() < 2;) {
        skipBlanks(value, at);
        if (at < value.size() && value[at] == ',') {
            ++at;
            continue;
        }
        if (at >= value.size()) break;
        if (value[at] != '<') {
            skipToNextLink(value, at);
            continue;
        }
        const std::size_t close = value.find('>', at + 1);
        if (close == std::string_view::npos) break;
        const std::string_view target = trimmed(value.substr(at + 1, close - at - 1), " \t\r\n\f");
        at = close + 1;
        if (!canonicalParams(value, at) || target.empty()) continue;
        std::string resolved = resolvePageUrl(base, target);
        if (!resolved.empty() && std::find(targets.begin(), targets.end(), resolved) == targets.end())
            targets.push_back(std::move(resolved));
    }
    return targets;
}

std::optional<MetaRefresh> parseMetaRefresh(std::string_view content) {
    std::size_t at = 0;
    skipBlanks(content, at);
    MetaRefresh refresh;
    const std::size_t digits = at;
    for (; at < content.size() && isDigit(content[at]); ++at)
        refresh.delay = refresh.delay > (std::numeric_limits<std::uint64_t>::max() - 9) / 10
                            ? std::numeric_limits<std::uint64_t>::max()
                            : refresh.delay * 10 + static_cast<std::uint64_t>(content[at] - '0');
    if (at == digits && (at >= content.size() || content[at] != '.')) return std::nullopt;
    while (at < content.size() && (isDigit(content[at]) || content[at] == '.'))
        ++at;
    if (at < content.size()) {
        if (content[at] != ';' && content[at] != ',' && !isBlank(content[at])) return std::nullopt;
        skipBlanks(content, at);
        if (at < content.size() && (content[at] == ';' || content[at] == ',')) skipBlanks(content, ++at);
    }
    if (at >= content.size()) return refresh;
    std::string_view url = content.substr(at);
    const auto next = [&](char letter) {
        return at < content.size() && lowerAscii(content[at]) == letter ? (++at, true) : false;
    };
    bool skipQuotes = !next('u');
    if (!skipQuotes && next('r') && next('l')) {
        skipBlanks(content, at);
        if (next('=')) {
            skipBlanks(content, at);
            skipQuotes = true;
        }
    }
    if (skipQuotes) {
        const char quote =
            at < content.size() && (content[at] == '"' || content[at] == '\'') ? content[at] : 0;
        url = content.substr(at + (quote ? 1 : 0));
        if (quote) url = url.substr(0, url.find(quote));
    }
    refresh.url = std::string(url);
    return refresh;
}

std::optional<std::int64_t> parseUnavailableAfter(std::string_view text) {
    static const std::regex iso(R"(^(\d{4})-(\d{2})-(\d{2})(?:[T ](\d{2}):(\d{2})(?::(\d{2})(?:[.,]\d+)?)?)?)"
                                R"(\s*(Z|UTC|GMT|[+-]\d{2}(?::?\d{2})?)?$)",
                                std::regex::icase);
    // RFC 1123 and RFC 822 ("Fri, 25 Jun 2010 15:00:00 GMT") and RFC 850 ("Friday, 25-Jun-10
    // 15:00:00 GMT").
    static const std::regex named(
        R"(^(?:[a-z]{3,9}\s*,?\s*)?(\d{1,2})[\s-]+([a-z]{3,9})[\s-]+(\d{4}|\d{2}))"
        R"((?:\s+(\d{1,2}):(\d{2})(?::(\d{2}))?)?\s*([a-z]{1,3}|[+-]\d{2}:?\d{2})?$)",
        std::regex::icase);
    const std::string date(trimmed(text, " \t\r\n\f"));
    if (date.empty() || date.size() > 64) return std::nullopt;
    std::smatch m;
    if (std::regex_match(date, m, iso))
        return secondsOf(number(m[1]), number(m[2]), number(m[3]), number(m[4]), number(m[5]), number(m[6]),
                         m[7].str());
    if (!std::regex_match(date, m, named)) return std::nullopt;
    const int month = monthNumber(m[2].str());
    int year = number(m[3]);
    // A year of two digits, as RFC 850 writes it: 70 to 99 are the last century's.
    if (m[3].length() == 2) year += year >= 70 ? 1900 : 2000;
    if (month == 0) return std::nullopt;
    return secondsOf(year, month, number(m[1]), number(m[4]), number(m[5]), number(m[6]), m[7].str());
}
