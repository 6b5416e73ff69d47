#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class SiteStore;
struct StoreSite;

// What the store knows of one URL of a site, for `larkspan history`.
struct UrlHistory {
    struct Answer {
        std::string channel;
        std::int64_t at = 0;
        // False: recorded as known when the channel met the site, never sent.
        bool accepted = false;
        std::string answer;
    };
    std::string url;
    std::int64_t firstSeen = 0;
    std::optional<std::int64_t> lastSeen;
    std::optional<std::int64_t> lastmod;
    std::optional<std::int64_t> left;
    std::vector<Answer> answers;
};

// Calls back with each URL of the site in the order the store met them, or only with the one
// URL (in any spelling) when one is given. Returns how many there were.
std::size_t forEachUrlHistory(const SiteStore& store, const StoreSite& site,
                              std::optional<std::string_view> url,
                              const std::function<void(const UrlHistory&)>& callback);
// "URL<TAB>FIRST-SEEN<TAB>LAST-SEEN<TAB>LASTMOD<TAB>LEFT", then per channel
// "<TAB>CHANNEL<TAB>TIME<TAB>ANSWER"; times as YYYY-MM-DDThh:mm:ssZ, empty for none.
std::string historyLine(const UrlHistory& history);
// One JSON object with the same fields.
std::string historyJson(const UrlHistory& history);
// The channels' answers as a JSON array of {"channel", "at", "accepted", "answer"}.
std::string channelAnswersJson(const std::vector<UrlHistory::Answer>& answers);
// A time as a JSON string in the form YYYY-MM-DDThh:mm:ssZ; null for none.
std::string timeJson(std::optional<std::int64_t> time);

// The counts of one site for `larkspan store --check`.
struct SiteCounts {
    std::string name;
    std::int64_t urls = 0;
    std::int64_t listed = 0;
    std::int64_t left = 0;
    // Per channel: accepted, and recorded as known without being sent.
    struct Channel {
        std::string name;
        std::int64_t accepted = 0;
        std::int64_t known = 0;
    };
    std::vector<Channel> channels;
};
std::vector<SiteCounts> siteCounts(const SiteStore& store);
// "NAME<TAB>N URLs<TAB>N in the sitemaps<TAB>N left", then "<TAB>CHANNEL: N accepted, N known".
std::string countsLine(const SiteCounts& counts);
// SQLite's full integrity check: "ok", or the problems it found, one a line.
std::string integrityCheck(const SiteStore& store);
