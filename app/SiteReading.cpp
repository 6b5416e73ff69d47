#include "app/SiteReading.h"

#include "core/Config.h"
#include "core/profiles/SiteProfile.h"
#include "core/sitemaps/SitemapSource.h"
#include "http/live/LiveClient.h"
#include "platform/Text.h"

#include <cstdio>

std::optional<ProfileSitemaps> readProfileSitemaps(LiveClient& client, const Config& config,
                                                   const ProfileFiles& store, const std::string& name) {
    const SiteProfile profile = store.load(name);
    std::optional<SiteProbe> probe = probeSite(client, profile[fURL]);
    if (!probe) {
        std::fprintf(stderr, "larkspan: the profile URL of \"%s\" names no web site\n", name.c_str());
        return std::nullopt;
    }
    if (!probe->note.empty()) std::fprintf(stderr, "larkspan: %s\n", printable(probe->note).c_str());
    ClientSitemapSource web(client);
    SiteSitemaps read =
        readSitemaps(probe->site, store.loadExtra(name, SitemapKey), web, sitemapBounds(config));
    for (const std::string& problem : read.problems)
        std::fprintf(stderr, "larkspan: %s\n", printable(problem).c_str());
    if (read.filesRead == 0) {
        std::fprintf(stderr, "larkspan: no sitemap of \"%s\" could be read\n", name.c_str());
        return std::nullopt;
    }
    return ProfileSitemaps{std::move(*probe), std::move(read)};
}
