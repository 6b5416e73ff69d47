#include "app/SiteReading.h"

#include "app/CommandContext.h"
#include "core/sitemaps/SitemapSource.h"
#include "platform/Text.h"

#include <cstdio>

std::optional<SiteProbe> probeProfileSite(CommandContext& context) {
    std::optional<SiteProbe> probe = probeSite(*context.client, context.fields.URL);
    if (!probe) {
        std::fprintf(stderr, "larkspan: the profile URL of \"%s\" names no web site\n",
                     context.name().c_str());
        return std::nullopt;
    }
    if (!probe->note.empty()) std::fprintf(stderr, "larkspan: %s\n", printable(probe->note).c_str());
    return probe;
}

std::optional<ProfileSitemaps> readProfileSitemaps(CommandContext& context) {
    std::optional<SiteProbe> probe = probeProfileSite(context);
    if (!probe) return std::nullopt;
    ClientSitemapSource web(*context.client);
    SiteSitemaps read =
        readSitemaps(probe->site, context.profile.extra(SitemapKey), web, sitemapBounds(context.config));
    for (const std::string& problem : read.problems)
        std::fprintf(stderr, "larkspan: %s\n", printable(problem).c_str());
    if (read.filesRead == 0) {
        std::fprintf(stderr, "larkspan: no sitemap of \"%s\" could be read\n", context.name().c_str());
        return std::nullopt;
    }
    return ProfileSitemaps{std::move(*probe), std::move(read)};
}
