#include "app/Commands.h"
#include "app/SiteReading.h"
#include "core/Config.h"
#include "core/channels/LiveSite.h"
#include "core/checks/PageChecker.h"
#include "core/indexnow/IndexNowChannel.h"
#include "core/indexnow/IndexNowSubmission.h"
#include "core/profiles/SiteProfile.h"
#include "core/sitemaps/SitemapSource.h"
#include "core/sitemaps/Sitemaps.h"
#include "core/store/SiteStore.h"
#include "core/store/StoreChecks.h"
#include "core/store/StoreSelection.h"
#include "platform/Json.h"
#include "platform/Text.h"
#include "platform/Time.h"

#include <cstdio>
#include <set>
#include <string>
#include <vector>

namespace {

std::string jsonBool(bool value) {
    return value ? "true" : "false";
}

std::string jsonNoindex(const Noindex& noindex) {
    return "{\"all\":" + jsonBool(noindex.all) + ",\"googlebot\":" + jsonBool(noindex.googlebot) +
           ",\"bingbot\":" + jsonBool(noindex.bingbot) + "}";
}

std::string jsonRobots(RobotsDecision decision) {
    return decision == RobotsDecision::Allowed ? "\"allowed\"" : "\"disallowed\"";
}

// One JSON object with the recorded fields and the verdicts for both crawlers.
std::string jsonLine(const PageCheck& check) {
    std::string hops;
    for (const PageHop& hop : check.hops)
        hops += std::string(hops.empty() ? "" : ",") + "{\"url\":" + jsonString(hop.url) +
                ",\"status\":" + std::to_string(hop.status) + "}";
    const PageVerdict google = verdictFor(check, Crawler::Googlebot);
    const PageVerdict bing = verdictFor(check, Crawler::Bingbot);
    return "{\"url\":" + jsonString(check.url) + ",\"time\":" + jsonString(check.time) +
           ",\"status\":" + std::to_string(check.status) + ",\"error\":" + jsonString(check.error) +
           ",\"hops\":[" + hops + "],\"finalUrl\":" + jsonString(check.finalUrl) +
           ",\"location\":" + jsonString(check.location) +
           ",\"contentType\":" + jsonString(check.contentType) +
           ",\"robotsHeader\":" + jsonString(check.robotsHeader) +
           ",\"header\":" + jsonNoindex(check.header) + ",\"meta\":" + jsonNoindex(check.meta) +
           ",\"canonical\":" + jsonString(check.canonical) +
           ",\"canonicalConflict\":" + jsonBool(check.canonicalConflict) +
           ",\"googlebot\":" + jsonRobots(check.googlebot) + ",\"bingbot\":" + jsonRobots(check.bingbot) +
           ",\"milliseconds\":" + std::to_string(check.milliseconds) +
           ",\"bytes\":" + std::to_string(check.bytes) +
           ",\"verdict\":" + jsonString(verdictName(google.verdict)) +
           ",\"detail\":" + jsonString(google.detail) +
           ",\"bingbotVerdict\":" + jsonString(verdictName(bing.verdict)) +
           ",\"bingbotDetail\":" + jsonString(bing.detail) + "}\n";
}

// The profile URL first, then the sitemap's URLs (all of them, or those the selection names),
// each once.
std::vector<std::string> pagesToCheck(const std::string& profileUrl, const UrlTable& sitemapUrls,
                                      const AnnounceSelection* selection) {
    std::vector<std::string> urls;
    if (!selection || selection->profileUrl) urls.push_back(profileUrl);
    std::set<std::string> seen(urls.begin(), urls.end());
    const auto add = [&](std::size_t i) {
        std::string url(sitemapUrls.url(i));
        if (seen.insert(url).second) urls.push_back(std::move(url));
    };
    if (selection)
        for (std::size_t i : selection->indices)
            add(i);
    else
        for (std::size_t i = 0; i < sitemapUrls.size(); ++i)
            add(i);
    return urls;
}

// The pages a run would announce to IndexNow now, as the store's selection makes it (the first
// run's rule included), without changing the store.
AnnounceSelection runSelection(SiteStore& siteStore, const StoreSite& site, const Config& config,
                               const LoadedProfile& profile, const ProfileSitemaps& read) {
    return selectAnnouncements(siteStore, site, read.read.urls,
                               {IndexNowChannelId, read.probe.site.text(),
                                indexNowFirstRun(config.firstRunAllPages, profile.extra(IndexNowFirstRunKey)),
                                SelectionMode::Preview, SitemapRead::Complete, unixNow()});
}

} // namespace

std::string refuseCheck(const CommandLine& cl) {
    return cl.args.size() == 1 ? "" : usageMessage("check", "check takes exactly one profile name");
}

// Checks the profile URL and its sitemaps' URLs as a crawler would see them, announcing
// nothing: one "URL<TAB>VERDICT<TAB>DETAIL" line per page as its check ends (Googlebot's
// verdict), or one JSON object a line with --json. Exit 0 when every page is ok, 3 when some
// are not.
int runCheck(CommandContext& context) {
    const CommandLine& cl = context.line;
    const Config& config = context.config;
    const std::optional<ProfileSitemaps> site = readProfileSitemaps(context);
    // With --all the profile URL itself is checked: a redirect of it is a verdict of its own.
    // Otherwise it is the URL a run announces, where the site answers from.
    const std::optional<Url> profileUrl = profileSiteUrl(context.fields.URL);
    if (!site || !profileUrl) return 1;
    SiteStore siteStore = SiteStore::open(context.profiles.directory(), config.storeWaitSeconds);
    const StoreSite storeSite = siteStore.site(context.name());
    for (const std::string& notice : storeSite.notices)
        std::fprintf(stderr, "larkspan: %s\n", notice.c_str());
    // The pages checked are kept by their rows, whatever channels the profile uses.
    recordSitemaps(siteStore, storeSite, site->read.urls, site->probe.site.text(),
                   site->read.problems.empty() ? SitemapRead::Complete : SitemapRead::Partial, unixNow());
    std::optional<AnnounceSelection> selection;
    if (!cl.all) selection = runSelection(siteStore, storeSite, config, context.profile, *site);

    PageChecker checker(*context.client, pageCheckerSettings(config));
    std::size_t notOk = 0;
    std::size_t checked = 0;
    std::vector<PageCheck> records;
    checker.check(pagesToCheck(selection ? site->probe.site.text() : profileUrl->text(), site->read.urls,
                               selection ? &*selection : nullptr),
                  [&](const PageCheck& check) {
                      const PageVerdict verdict = verdictFor(check, Crawler::Googlebot);
                      if (verdict.verdict != Verdict::Ok) ++notOk;
                      ++checked;
                      const std::string line = cl.json ? jsonLine(check)
                                                       : printableField(check.url) + "\t" +
                                                             std::string(verdictName(verdict.verdict)) +
                                                             "\t" + printableField(verdict.detail) + "\n";
                      std::fwrite(line.data(), 1, line.size(), stdout);
                      std::fflush(stdout);
                      records.push_back(check);
                  });
    // The window's Page Checks show what the store keeps.
    recordPageChecks(siteStore, storeSite, records);
    std::fprintf(stderr, "larkspan: %zu %s checked, %zu not ok\n", checked, checked == 1 ? "page" : "pages",
                 notOk);
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) return 1;
    return notOk == 0 ? 0 : 3;
}
