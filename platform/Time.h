#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// Times as the program keeps and shows them: whole seconds since 1970 UTC.

// The time now.
std::int64_t unixNow();
// A W3C Datetime (YYYY, YYYY-MM, YYYY-MM-DD, or a date with hh:mm, hh:mm:ss or hh:mm:ss.s and
// a zone "Z" or "+hh:mm"/"-hh:mm") as seconds since 1970 UTC. A date without a time is the
// start of that day (month, year) in UTC. Nothing for any other text.
std::optional<std::int64_t> parseW3cDatetime(std::string_view text);
// Seconds since 1970 as "YYYY-MM-DDThh:mm:ssZ".
std::string formatUtc(std::int64_t seconds);
