#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

// The longest wait a Retry-After is honoured for: a day.
constexpr std::int64_t MaxRetryAfter = 24 * 60 * 60;

// The time a Retry-After value names (seconds to wait, or an HTTP date), in seconds since
// 1970, at most a day from now and never before now; nothing for a value that is neither.
// A date may stand in any of the three forms of HTTP (IMF-fixdate, the obsolete RFC 850 form
// with a two-digit year, and C's asctime).
std::optional<std::int64_t> parseRetryAfter(std::string_view value, std::int64_t now);
