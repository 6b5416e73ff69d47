#include "core/google/IndexStatusOrder.h"

#include "core/google/IndexStatusQuery.h"
#include "http/Url.h"

#include <algorithm>
#include <tuple>

namespace {

constexpr std::int64_t Day = 86400;

enum class Group { Announced, NeverInspected, Inspected };

// The sort key of a candidate: its group, then the time that orders the group, then its place
// in the list, which makes every key distinct.
using Key = std::tuple<Group, std::int64_t, std::size_t>;

Key keyOf(const InspectionCandidate& c, std::size_t index) {
    const bool seenIndexedSince =
        c.inspectedAt && c.announcedAt && *c.inspectedAt >= *c.announcedAt && isIndexedVerdict(c.lastVerdict);
    if (c.announcedAt && !seenIndexedSince) return {Group::Announced, *c.announcedAt, index};
    if (!c.inspectedAt) return {Group::NeverInspected, 0, index};
    return {Group::Inspected, *c.inspectedAt, index};
}

} // namespace

std::vector<std::size_t> inspectionOrder(const std::vector<InspectionCandidate>& candidates, std::int64_t now,
                                         std::size_t limit) {
    std::vector<Key> keys;
    for (std::size_t i = 0; i < candidates.size(); ++i) {
        const InspectionCandidate& c = candidates[i];
        if (c.check != CheckResult::Ok) continue;
        if (c.inspectedAt && now - *c.inspectedAt < Day) continue;
        keys.push_back(keyOf(c, i));
    }
    // Only the first few are wanted from what may be a million URLs.
    const auto wanted = static_cast<std::ptrdiff_t>(std::min(limit, keys.size()));
    std::partial_sort(keys.begin(), keys.begin() + wanted, keys.end());
    std::vector<std::size_t> order;
    order.reserve(static_cast<std::size_t>(wanted));
    for (auto it = keys.begin(); it != keys.begin() + wanted; ++it)
        order.push_back(std::get<2>(*it));
    return order;
}

bool inSearchConsoleProperty(std::string_view url, std::string_view property) {
    const std::optional<Url> page = Url::parse(url);
    if (!page) return false;
    constexpr std::string_view DomainPrefix = "sc-domain:";
    if (property.substr(0, DomainPrefix.size()) == DomainPrefix) {
        // The domain in the host's normal form, as the URL's host is.
        const std::optional<Url> domain =
            Url::parse("http://" + std::string(property.substr(DomainPrefix.size())));
        if (!domain || !domain->defaultPort() || domain->path() != "/") return false;
        const std::string& host = page->host();
        const std::string& name = domain->host();
        return host == name || (host.size() > name.size() && host.ends_with("." + name));
    }
    const std::optional<Url> prefix = Url::parse(property);
    return prefix && page->scheme() == prefix->scheme() && page->host() == prefix->host() &&
           page->port() == prefix->port() && page->path().starts_with(prefix->path());
}
