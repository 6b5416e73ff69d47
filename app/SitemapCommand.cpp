#include "app/Commands.h"
#include "app/SiteReading.h"
#include "core/Config.h"
#include "core/channels/LiveSite.h"
#include "core/indexnow/IndexNowChannel.h"
#include "core/indexnow/IndexNowSubmission.h"
#include "core/profiles/SiteProfile.h"
#include "core/sitemaps/SitemapReader.h"
#include "core/sitemaps/SitemapSource.h"
#include "core/sitemaps/Sitemaps.h"
#include "core/store/SiteStore.h"
#include "core/store/StoreSelection.h"
#include "platform/Text.h"
#include "platform/Time.h"

#include <algorithm>
#include <cstdio>
#include <numeric>
#include <string>
#include <unistd.h>

namespace {

// "1 URL", "2 URLs".
std::string counted(std::size_t n, const std::string& noun) {
    return std::to_string(n) + " " + noun + (n == 1 ? "" : "s");
}

// The indices of the URLs to print: every one with --all, else the sitemap's own URLs as the
// store would choose them for the next run (no profile URL is set apart from them).
std::vector<std::size_t> shownUrls(const CommandContext& context, const SiteSitemaps& read) {
    std::vector<std::size_t> shown;
    if (context.line.all) {
        shown.resize(read.urls.size());
        std::iota(shown.begin(), shown.end(), std::size_t{0});
        return shown;
    }
    const Config& config = context.config;
    // A look that changes nothing: without a store, every URL is new.
    SiteStore siteStore = SiteStore::openToRead(context.profiles.directory(), config.storeWaitSeconds);
    if (!siteStore.exists())
        std::fprintf(stderr, "larkspan: there is no store in %s yet: every URL counts as new\n",
                     context.profiles.directory().c_str());
    return selectAnnouncements(
               siteStore, siteStore.findSite(context.name()), read.urls,
               {IndexNowChannelId, "",
                indexNowFirstRun(config.firstRunAllPages, context.profile.extra(IndexNowFirstRunKey)),
                SelectionMode::Preview, SitemapRead::Complete, unixNow()})
        .indices;
}

} // namespace

std::string refuseSitemap(const CommandLine& cl) {
    return cl.args.size() == 1 ? "" : usageMessage("sitemap", "sitemap takes exactly one profile name");
}

// Prints the URLs of a profile's sitemaps that its next submission would send, as
// "URL<TAB>lastmod" lines: those the IndexNow channel has not accepted since they last
// changed, or all of them with --all. Only the GETs of robots.txt and the sitemaps are sent.
int runSitemap(CommandContext& context) {
    const std::optional<ProfileSitemaps> site = readProfileSitemaps(context);
    if (!site) return 1;
    const SiteSitemaps& read = site->read;

    const std::vector<std::size_t> shown = shownUrls(context, read);
    std::string out;
    for (std::size_t i : shown) {
        out += printableField(read.urls.url(i));
        out += '\t';
        if (read.urls.value(i) != NoLastmod) out += formatUtc(read.urls.value(i));
        out += '\n';
        if (out.size() >= (1 << 16)) {
            std::fwrite(out.data(), 1, out.size(), stdout);
            out.clear();
        }
    }
    std::fwrite(out.data(), 1, out.size(), stdout);
    std::fprintf(stderr, "larkspan: %s read, %s kept, %zu dropped, %s, %d over a limit; %zu %s\n",
                 counted(static_cast<std::size_t>(read.filesRead), "sitemap file").c_str(),
                 counted(read.urls.size(), "URL").c_str(), read.dropped,
                 counted(read.duplicates, "duplicate").c_str(), read.overLimit, shown.size(),
                 context.line.all ? "printed" : "changed");
    return std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : 1;
}
