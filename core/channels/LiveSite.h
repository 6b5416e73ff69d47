#pragma once

#include "http/Url.h"
#include "http/live/LiveClient.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>

struct Config;

// What every live request says it is: "Larkspan/VERSION (+HOME-PAGE)".
std::string liveUserAgent(const Config& config);
// The live client's settings from the configuration: the proxy, the CA file, the user agent,
// the transfers at once, the body bound and the deadline of one request.
LiveClient::Settings liveClientSettings(const Config& config);

// The profile URL as a URL: blanks around it removed, "http://" put in front when it names no
// scheme. Nothing when it names no http or https site.
std::optional<Url> profileSiteUrl(std::string_view profileUrl);

// What the probe of a profile URL found: the site (where its home page answers from, whose
// scheme, host and port are the origin) and, when that is worth telling, a line for the log.
struct SiteProbe {
    Url site;
    std::string note;
    // Why the profile URL got no answer at all (refused, DNS, TLS, time-out): the site could not
    // be read. Empty when it answered.
    std::string unreachable;
};
// Fetches the profile URL with GET, following redirects to any host, and takes the final
// URL as the site. Without an answer the URL as typed stands, and the note says why (as does
// `unreachable` when nothing answered at all). Nothing
// when the profile URL is no http or https URL (nothing is sent then).
std::optional<SiteProbe> probeSite(std::string_view profileUrl,
                                   const std::function<LiveAnswer(LiveRequest)>& send);
// The same with a client of the caller's (the headless commands and the window).
std::optional<SiteProbe> probeSite(LiveClient& client, std::string_view profileUrl);
