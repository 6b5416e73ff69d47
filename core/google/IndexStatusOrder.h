#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Which URLs of a site a run inspects, and in what order, so that Google's small daily quota
// goes first to the question a site owner asks most: did the pages just announced get into the
// index?

// Whether a page passed its check before announcement. Only pages that did are inspected: a
// page that is gone, redirects or forbids indexing has nothing to learn from Google.
enum class CheckResult { Ok, NotOk };

// What is known of one URL of the site. Times are seconds since 1970 UTC.
struct InspectionCandidate {
    std::optional<std::int64_t> announcedAt; // the latest announcement a channel accepted
    std::optional<std::int64_t> inspectedAt; // the latest inspection with a result
    std::string lastVerdict;                 // that inspection's verdict; empty when none
    CheckResult check = CheckResult::NotOk;
};

// The indices of the candidates to inspect, in order, at most limit of them:
//   1. announced URLs that no inspection since their announcement has seen indexed, the
//      oldest announcement first;
//   2. then URLs never inspected;
//   3. then the others, the longest ago inspected first.
// Ties keep the order of the list (the sitemaps' order). No URL inspected less than a day
// before now is chosen, whatever its group: a day is what Google's quota is counted in, and an
// hourly run would otherwise spend it on the same pages. An inspection time after now (a clock
// that went back) counts as just now.
std::vector<std::size_t> inspectionOrder(const std::vector<InspectionCandidate>& candidates, std::int64_t now,
                                         std::size_t limit);

// Whether a Search Console property covers the URL, the only URLs Google inspects for it: a
// URL-prefix property ("https://www.example.com/shop/") the URLs of the same scheme, host and
// port whose path starts with its path; a domain property ("sc-domain:example.com") the http
// and https URLs of the domain and its subdomains. Both are compared in normal form.
bool inSearchConsoleProperty(std::string_view url, std::string_view property);
