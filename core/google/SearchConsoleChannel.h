#pragma once

#include "core/channels/LiveChannel.h"

#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct ServiceAccount;

// The profile keys beside the sixteen fields that the Search Console channel reads.
// The path of the service account's JSON key file; a relative path is taken from the
// directory of the profiles. Without it, the profile is not announced to Google.
constexpr const char* GoogleServiceAccountKey = "GoogleServiceAccount";
// The Search Console property: a URL prefix ("https://www.example.com/") or a domain
// ("sc-domain:example.com"); empty: the profile URL's scheme and host with a trailing "/".
constexpr const char* SearchConsolePropertyKey = "SearchConsoleProperty";
// The channel's name in the site store and the channel table.
constexpr const char* SearchConsoleChannelId = "searchconsole";
// The engine of the channel's result rows, log lines and request records.
constexpr const char* SearchConsoleEngine = "Google Search Console";

// The key file a GoogleServiceAccount value names: "~/" is the home directory, and a relative
// path lies in the profiles' directory, where a user most likely keeps it.
std::string searchConsoleKeyFile(const std::string& value, const std::string& profileDirectory);
// The property a profile without SearchConsoleProperty uses: "https://www.example.com/" for
// "https://WWW.Example.com/shop/"; empty when the URL names no http or https site.
std::string defaultSearchConsoleProperty(std::string_view profileUrl);
// Why the text cannot be a property, as a sentence for the editor; nothing when it can.
std::optional<std::string> searchConsolePropertyProblem(std::string_view property);
// The API's address of a sitemap of a property.
std::string searchConsoleSitemapUrl(std::string_view apiBase, std::string_view property,
                                    std::string_view feed);

// Submits each sitemap of a profile that names a service account to Google Search Console:
// a token for the account (kept in memory while it lasts), then a PUT for each sitemap that
// could be read. Neither follows a redirect. A 429 or 5xx pauses the channel until its
// Retry-After (at most a day).
class SearchConsoleChannel final : public LiveChannel {
public:
    // After the sitemaps, the channel asks Google where the site's pages stand (see
    // IndexStatusRun.h); `larkspan status --inspect` asks only that.
    enum class Work { SubmitAndInspect, InspectOnly };
    explicit SearchConsoleChannel(Work work = Work::SubmitAndInspect) : work_(work) {}

    bool uses(const LiveRun& run) const override;
    // A dry run takes the token request (with no signed assertion in it) and one PUT for each
    // sitemap that can be read, and ends there.
    void announce(LiveRun& run) override;

private:
    struct Token {
        std::string value;
        std::chrono::steady_clock::time_point expires;
    };
    enum class Renewal { WhenExpired, Now };

    // The account's token, fetched when there is none that lasts, or when the API refused
    // the one held; nothing when the token endpoint did not give one (which was logged).
    std::optional<std::string> token(LiveRun& run, const ServiceAccount& account, const std::string& tokenUrl,
                                     Renewal renewal);
    // What follows one sitemap: the next one, no more sitemaps (Google asked for a pause), or
    // nothing more at all, as the account's token could not be had.
    enum class Submitted { Next, NoMore, NoToken };
    Submitted submit(LiveRun& run, const ServiceAccount& account, const std::string& tokenUrl,
                     const std::string& property, const std::string& feed);

    // The profile's sitemaps that answer 2xx and are sitemaps; what is left out is logged.
    std::vector<std::string> readableSitemaps(LiveRun& run);
    // Whether Google asked (with 429 or 5xx) not to be called yet; then that is refused.
    bool pausedUntil(LiveRun& run);
    // Keeps the time of a 429 or 5xx's Retry-After (at most a day) and tells it in the line.
    void pause(LiveRun& run, const LiveAnswer& answer, std::string& line);
    // Refuses a sitemap the API did not take; false when no more should be sent.
    bool refusedSitemap(LiveRun& run, const LiveAnswer& answer, const std::string& property,
                        const std::string& feed);

    // The URL Inspections and sitemap statuses of the property, with the channel's token.
    void inspect(LiveRun& run, const ServiceAccount& account, const std::string& tokenUrl,
                 const std::string& property);

    Work work_ = Work::SubmitAndInspect;
    // Times before which Google asked not to be called, by API base, while the program runs.
    std::map<std::string, std::int64_t> notBefore_;
    // By token endpoint, account and key, so that a new key or another endpoint is never
    // answered with an old token. Never written anywhere.
    std::map<std::string, Token> tokens_;
};
