#include "app/Commands.h"
#include "app/Startup.h"
#include "core/Config.h"
#include "core/EngineCatalog.h"
#include "core/IndexNow.h"
#include "core/IndexNowSubmitter.h"
#include "core/LiveSite.h"
#include "core/SiteProfile.h"
#include "core/SiteStore.h"
#include "core/SitemapReader.h"
#include "core/Sitemaps.h"
#include "core/StoreSelection.h"
#include "core/SubmissionFields.h"
#include "platform/Json.h"
#include "platform/Text.h"

#include <cstdio>
#include <ctime>
#include <string>

namespace {

// One line per POST to each endpoint that has not asked for a pause.
void printPosts(const Config& config, const SiteStore& siteStore, const StoreSite& site,
                const IndexNowSubmission& submission, std::int64_t now) {
    for (const std::string& endpoint : config.indexNowEndpoints) {
        // An endpoint that asked for a pause is not called before its time.
        const std::int64_t until = siteStore.pausedUntil(site, IndexNowChannel, endpoint);
        if (until > now) {
            std::fprintf(stderr, "larkspan: %s is not called before %s, as it asked\n", endpoint.c_str(),
                         formatUtc(until).c_str());
            continue;
        }
        const std::string head = "{\"engine\": " + jsonString(IndexNowSubmitter::engineName(endpoint)) +
                                 ", \"method\": \"post\", \"url\": " + jsonString(endpoint) + ", \"body\": ";
        for (std::size_t b = 0; b < submission.batchCount(); ++b) {
            const std::string line = head + jsonString(submission.body(b)) + "}\n";
            std::fwrite(line.data(), 1, line.size(), stdout);
        }
    }
}

// The IndexNow POSTs a run would send for the profile, after the catalogue's lines: its
// sitemaps are read (and their problems told on standard error), nothing is submitted.
// Returns false when the profile's key or key location cannot be used.
bool printIndexNowPosts(const Config& config, const ProfileStore& store, const std::string& name,
                        const LoadedProfile& profile, const SubmissionFields& fields) {
    const std::string key = profile.extra(IndexNowKeyKey);
    if (key.empty()) return true;
    const std::string location = profile.extra(IndexNowKeyLocationKey);
    std::string problem = indexNowKeyProblem(key);
    if (problem.empty()) problem = indexNowKeyLocationProblem(fields.URL, location);
    LiveClient client(liveClientSettings(config));
    // The site's origin, as a run finds it, decides the host, the key file and the scope.
    const std::optional<SiteProbe> probe = problem.empty() ? probeSite(client, fields.URL) : std::nullopt;
    if (problem.empty() && !probe) problem = "the profile URL \"" + fields.URL + "\" names no web site";
    if (problem.empty()) problem = indexNowKeyLocationProblem(probe->site, location);
    if (!problem.empty()) {
        std::fprintf(stderr, "larkspan: %s\n", printable(problem).c_str());
        return false;
    }
    if (!probe->note.empty()) std::fprintf(stderr, "larkspan: %s\n", printable(probe->note).c_str());
    ClientSitemapSource web(client);
    const SiteSitemaps sitemaps =
        readSitemaps(probe->site, profile.extra(SitemapKey), web, sitemapBounds(config));
    for (const std::string& p : sitemaps.problems)
        std::fprintf(stderr, "larkspan: %s\n", printable(p).c_str());
    // What the next run would send, the first run's rule included; the store is not changed.
    SiteStore siteStore = SiteStore::open(store.directory(), config.storeWaitSeconds);
    const StoreSite site = siteStore.site(name);
    for (const std::string& notice : site.notices)
        std::fprintf(stderr, "larkspan: %s\n", notice.c_str());
    const bool all = config.firstRunAllPages || profile.extra(IndexNowFirstRunKey) == "all";
    const auto now = static_cast<std::int64_t>(std::time(nullptr));
    const AnnounceSelection selection = selectAnnouncements(
        siteStore, site, sitemaps.urls,
        {IndexNowChannel, probe->site.text(), all ? FirstRun::AllPages : FirstRun::RecentPages,
         SelectionMode::Preview, SitemapRead::Complete, now});
    if (selection.recordedUnsent > 0)
        std::fprintf(stderr,
                     "larkspan: first run: %zu URL%s would be recorded as known without being sent "
                     "(--all-pages sends them)\n",
                     selection.recordedUnsent, selection.recordedUnsent == 1 ? "" : "s");
    const IndexNowSubmission submission(probe->site, key, location, sitemaps.urls, selection.indices,
                                        IndexNowSubmission::Scope::Enforced,
                                        selection.profileUrl ? IndexNowSubmission::ProfileUrl::Included
                                                             : IndexNowSubmission::ProfileUrl::LeftOut);
    if (submission.leftOut() > 0)
        std::fprintf(stderr, "larkspan: %zu URL%s left out: not on %s%s\n", submission.leftOut(),
                     submission.leftOut() == 1 ? "" : "s", probe->site.origin().c_str(),
                     location.empty() ? "" : " or outside the key location's folder");
    printPosts(config, siteStore, site, submission, now);
    return true;
}

} // namespace

// Prints the 32 requests that a run would send for one profile, one JSON object a line,
// in catalogue order, then the IndexNow POSTs of a profile with a key. Nothing is submitted;
// only the profile's sitemaps are read.
int runRequests(const CommandLine& cl) {
    if (cl.args.size() != 1) {
        std::fprintf(stderr, "larkspan: requests takes exactly one profile name\n");
        return 2;
    }
    const Config config = startupConfig(cl);

    ProfileStore store(ProfileStore::resolveDirectory(cl.dir));
    const LoadedProfile profile = store.loadWhole(cl.args.front());
    SubmissionFields fields;
    PreparedProfile prepared = PrepareProfile(fields, profile.fields);
    if (!prepared.complete) {
        std::fprintf(stderr, "%.*s\n", static_cast<int>(IncompleteProfileMessage.size()),
                     IncompleteProfileMessage.data());
        return 1;
    }
    std::string out;
    for (const EngineEntry& entry : engineCatalog(config)) {
        EngineRequest request = PrepareRequest(fields, entry);
        out += "{\"engine\": " + jsonString(entry.DisplayName) +
               ", \"method\": " + jsonString(request.method) + ", \"url\": " + jsonString(request.url) +
               ", \"body\": " + jsonString(request.body) + "}\n";
    }
    std::fwrite(out.data(), 1, out.size(), stdout);
    const bool usable = printIndexNowPosts(config, store, cl.args.front(), profile, fields);
    return std::fflush(stdout) == 0 && !std::ferror(stdout) && usable ? 0 : 1;
}
