#pragma once

#include "core/channels/LiveSite.h"
#include "core/sitemaps/Sitemaps.h"

#include <optional>

struct CommandContext;

// The profile's site as a run finds it: the profile URL of the prepared fields, probed through
// the context's client for its origin after redirects. The probe's note goes to standard error
// with control characters replaced, since it came from the network. Nothing, after saying so,
// when the profile URL names no web site (a failure of the work, exit status 1).
std::optional<SiteProbe> probeProfileSite(CommandContext& context);

// A profile's site and what its sitemaps hold.
struct ProfileSitemaps {
    SiteProbe probe;
    SiteSitemaps read;
};
// Reads them through the context's client for the commands that look at a site without
// announcing it. Every problem goes to standard error with control characters replaced.
// Nothing, after saying why, when the profile URL names no web site or no sitemap could be read
// (a failure of the work, exit status 1).
std::optional<ProfileSitemaps> readProfileSitemaps(CommandContext& context);
