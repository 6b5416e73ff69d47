#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The parts of a page's answer that point to another page or name a date, read as browsers
// and search engines read them.

// The targets of the links of one Link header line (RFC 8288: "<URI>; rel=canonical", several
// links separated by commas, parameters quoted or not) whose first rel parameter lists the
// relation "canonical" (ignoring case), resolved against base. Empty targets and targets that
// name no http or https URL are left out; the scan stops at the second distinct target, which
// is enough to tell that they disagree. The work is linear in the length of the line.
std::vector<std::string> linkHeaderCanonicals(std::string_view value, const std::string& base);

// The content of a <meta http-equiv="refresh">, read by HTML's declarative refresh steps:
// "5", "0;URL=x", "0; url='x'", "0 , x". Nothing when the content is no refresh.
struct MetaRefresh {
    // Whole seconds; a delay too large to count is the largest there is.
    std::uint64_t delay = 0;
    // The target as written, to be resolved against the page's URL; nothing for a reload.
    std::optional<std::string> url;
};
std::optional<MetaRefresh> parseMetaRefresh(std::string_view content);

// The date of an "unavailable_after" directive as seconds since 1970 UTC, in the forms Google
// reads: RFC 850 ("Friday, 25-Jun-10 15:00:00 PST"), RFC 1123 and RFC 822 ("Fri, 25 Jun 2010
// 15:00:00 GMT", the weekday optional) and ISO 8601 ("2010-06-25", "2010-06-25T15:00:00+02:00").
// A time without a zone is UTC. Nothing for any other text.
std::optional<std::int64_t> parseUnavailableAfter(std::string_view text);
