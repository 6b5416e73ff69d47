#pragma once

#include "core/channels/LiveSite.h"
#include "core/sitemaps/Sitemaps.h"

#include <optional>
#include <string>

class LiveClient;
class ProfileFiles;
struct Config;

// A profile's site as a run finds it (its origin after the profile URL's redirects) and what
// its sitemaps hold, read through the client.
struct ProfileSitemaps {
    SiteProbe probe;
    SiteSitemaps read;
};
// Reads them for the commands that look at a site without announcing it. The origin's note
// and every problem go to standard error with control characters replaced, since they came
// from the network. Nothing, after saying why, when the profile URL names no web site or no
// sitemap could be read (a failure of the work, exit status 1).
std::optional<ProfileSitemaps> readProfileSitemaps(LiveClient& client, const Config& config,
                                                   const ProfileFiles& store, const std::string& name);
