#include "core/indexnow/IndexNowChannel.h"

#include "core/Config.h"
#include "core/catalogue/SubmissionFields.h"
#include "core/channels/ChannelTable.h"
#include "core/channels/LiveSite.h"
#include "core/channels/SiteRead.h"
#include "core/checks/RunPageChecks.h"
#include "core/profiles/SiteProfile.h"
#include "core/sitemaps/Sitemaps.h"
#include "core/store/SiteStore.h"
#include "core/store/StoreSelection.h"
#include "http/RetryAfter.h"
#include "platform/Text.h"
#include "platform/Time.h"

#include <algorithm>
#include <memory>
#include <optional>

namespace {

std::string count(std::size_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

// "; 1 URL of Garden stays pending", "; 3 URLs of Garden stay pending".
std::string stillPending(std::size_t n, const std::string& site) {
    return "; " + count(n, "URL", "URLs") + " of " + site + (n == 1 ? " stays" : " stay") + " pending";
}

// "202 Accepted from api.indexnow.org", as the store keeps an endpoint's answer.
std::string answerText(const LiveAnswer& answer, const std::string& endpoint) {
    const std::optional<Url> url = Url::parse(endpoint);
    return std::to_string(answer.status) + " " + answer.reason + " from " + (url ? url->host() : endpoint);
}

// Why the profile's key or its location cannot be used; empty when both can.
std::string keyProblem(LiveRun& run) {
    std::string problem = indexNowKeyProblem(run.profileValue(IndexNowKeyKey));
    if (problem.empty())
        problem = indexNowKeyLocationProblem(run.site(), run.profileValue(IndexNowKeyLocationKey));
    return problem;
}

FirstRun firstRunRule(LiveRun& run) {
    return indexNowFirstRun(run.config().firstRunAllPages, run.profileValue(IndexNowFirstRunKey));
}

// What the channel tells of one profile. A run's log holds every site of the run, so each line
// names the channel and the site; a dry run speaks of the one profile it was asked about, and
// of what a run would do.
struct Wording {
    bool dryRun = false;
    std::string site;

    std::string nothingSent(const std::string& why) const {
        return dryRun ? why : "IndexNow: nothing sent for " + site + ": " + why;
    }
    std::string recordedUnsent(std::size_t n) const {
        if (dryRun)
            return "first run: " + count(n, "URL", "URLs") +
                   " would be recorded as known without being sent (--all-pages sends them)";
        return "IndexNow: first run for " + site + ": " + count(n, "URL", "URLs") +
               " recorded as known without being sent; only the profile URL and pages changed in the last "
               "48 hours are announced";
    }
    std::string baselinePending() const {
        return dryRun ? "first run: the sitemaps could not all be read, so the run after it would be a first "
                        "run again"
                      : "IndexNow: the sitemaps of " + site +
                            " could not all be read, so the next run is a first run again";
    }
    std::string leftOut(std::size_t n, const std::string& origin, const std::string& location) const {
        const std::string where =
            " left out: not on " + origin + (location.empty() ? "" : " or outside the key location's folder");
        return dryRun ? count(n, "URL", "URLs") + where
                      : "IndexNow: " + count(n, "URL", "URLs") + " of " + site + where;
    }
};

// What the channel announces of the site that the run read: the sitemaps' URLs that are new or
// changed since this channel took them. A dry run's selection only tells what a run would choose.
AnnounceSelection selectFor(LiveRun& run, SiteReading& reading) {
    const SiteSitemaps& sitemaps = reading.sitemaps();
    return selectAnnouncements(reading.store(), reading.storeSite(), sitemaps.urls,
                               {IndexNowChannelId, run.site().text(), firstRunRule(run),
                                run.dryRun() ? SelectionMode::Preview : SelectionMode::Record,
                                sitemaps.problems.empty() ? SitemapRead::Complete : SitemapRead::Partial,
                                unixNow(), NewRows::InBackground});
}

// The store's rows of one batch's URLs, as the selection found or made them; none when one has
// no row there (the batch is then recorded by its URLs' text).
std::optional<std::vector<std::int64_t>> batchRows(const IndexNowSubmission& submission, std::size_t b,
                                                   const AnnounceSelection& selection) {
    std::vector<std::int64_t> rows;
    const std::size_t first = b * IndexNowBatchSize;
    const std::size_t last = std::min(submission.size(), first + IndexNowBatchSize);
    for (std::size_t i = first; i < last; ++i) {
        const std::optional<std::size_t> index = submission.tableIndex(i);
        const std::int64_t row = index ? selection.rows.at(*index) : selection.profileRow;
        if (row == 0) return std::nullopt;
        rows.push_back(row);
    }
    return rows;
}

// Records an accepted batch with the endpoint's answer.
void recordBatch(SiteStore& store, const StoreSite& site, const IndexNowSubmission& submission, std::size_t b,
                 const AnnounceSelection& selection, const std::string& answer) {
    if (auto rows = batchRows(submission, b, selection))
        store.recordAcceptedRows(site, IndexNowChannelId, *rows, unixNow(), answer);
    else
        store.recordAccepted(site, IndexNowChannelId, submission.batch(b), unixNow(), answer);
}

} // namespace

std::string IndexNowChannel::engineName(const std::string& endpoint) {
    const std::optional<Url> url = Url::parse(endpoint);
    return "IndexNow (" + (url ? url->host() : endpoint) + ")";
}

bool IndexNowChannel::uses(const LiveRun& run) const {
    return !run.profileValue(IndexNowKeyKey).empty();
}

void IndexNowChannel::announce(LiveRun& run) {
    const std::string key = run.profileValue(IndexNowKeyKey);
    if (key.empty()) return;
    const Wording say{run.dryRun(), run.fields().SiteTitle};
    if (std::string problem = keyProblem(run); !problem.empty()) {
        run.refused(say.nothingSent(problem));
        return;
    }
    const std::string location = run.profileValue(IndexNowKeyLocationKey);

    SiteReading& reading = run.reading();
    SiteSitemaps& sitemaps = reading.sitemaps();
    SiteStore& store = reading.store();
    const StoreSite& storeSite = reading.storeSite();
    AnnounceSelection selection;
    try {
        selection = selectFor(run, reading);
        // A run's selection recorded the sitemaps too, its many new rows beside the POSTs.
        if (!run.dryRun()) reading.recorded();
    } catch (const StoreFull&) {
        throw;
    } catch (const StoreError& e) {
        // A dry run is no run that could go on with its other channels: what went wrong ends it.
        if (run.dryRun()) throw;
        run.refused(say.nothingSent(e.what()));
        return;
    }
    if (selection.recordedUnsent > 0) run.log(say.recordedUnsent(selection.recordedUnsent));
    if (selection.baselinePending) run.log(say.baselinePending());
    // Only pages that bingbot would index are announced, and pages that left the sitemaps and
    // are gone are announced once.
    screenSelection(run, store, storeSite, sitemaps.urls, selection, Crawler::Bingbot, "IndexNow",
                    IndexNowChannelId, LeftPages::Announce);
    const IndexNowSubmission submission(run.site(), key, location, sitemaps.urls, selection.indices, scope_,
                                        selection.profileUrl ? IndexNowSubmission::ProfileUrl::Included
                                                             : IndexNowSubmission::ProfileUrl::LeftOut);
    if (submission.leftOut() > 0) run.log(say.leftOut(submission.leftOut(), run.site().origin(), location));
    // A dry run still names the endpoints that asked for a pause when there is nothing to send.
    if (submission.size() == 0 && !run.dryRun()) return;
    // The key file is checked before a run posts again; a dry run posts nothing.
    if (!run.dryRun() && store.keyStatus(storeSite, IndexNowChannelId) == "pending") {
        RunSitemapSource source(run, "IndexNow");
        checkPendingKey(run, source, key, location);
    }
    for (const std::string& endpoint : run.config().indexNowEndpoints)
        submit(run, submission, endpoint, store, storeSite, selection);
}

void IndexNowChannel::checkPendingKey(LiveRun& run, SitemapSource& source, const std::string& key,
                                      const std::string& location) {
    // An engine took the last submission before it had seen the key file; if the file cannot
    // be read now, the engines will refuse what follows, and the user should hear why first.
    const KeyFileCheck check = checkIndexNowKeyFile(source, run.site(), key, location);
    if (check.holdsKey) {
        run.log("IndexNow: the key of " + run.fields().SiteTitle + " was pending validation; " +
                check.message);
        return;
    }
    run.log("IndexNow: the key of " + run.fields().SiteTitle +
            " is still pending validation, and the engines will refuse it: " + check.message);
}

bool IndexNowChannel::waitAsked(LiveRun& run, const std::string& endpoint, const SiteStore& store,
                                const StoreSite& storeSite, const std::string& pending) {
    const std::string engine = engineName(endpoint);
    if (run.dryRun()) {
        // Nothing would be sent there, which is no refusal of the profile.
        const std::int64_t until = store.pausedUntil(storeSite, IndexNowChannelId, endpoint);
        if (until <= unixNow()) return false;
        run.log(endpoint + " is not called before " + formatUtc(until) + ", as it asked");
        return true;
    }
    if (pausedThisRun_.count(endpoint)) {
        run.refused(engine + ": not called again in this run after 429 Too Many Requests" + pending);
        return true;
    }
    std::int64_t until = 0;
    if (auto it = notBefore_.find(endpoint); it != notBefore_.end()) until = it->second;
    until = std::max(until, store.pausedUntil(storeSite, IndexNowChannelId, endpoint));
    // A pause kept before waits were held to a day is held to a day from now.
    until = std::min(until, unixNow() + MaxRetryAfter);
    if (until <= unixNow()) return false;
    run.refused(engine + ": not called before " + formatUtc(until) +
                ", as it asked with 429 Too Many Requests" + pending);
    return true;
}

void IndexNowChannel::submit(LiveRun& run, const IndexNowSubmission& submission, const std::string& endpoint,
                             SiteStore& store, const StoreSite& storeSite,
                             const AnnounceSelection& selection) {
    const std::string engine = engineName(endpoint);
    const std::string& site = run.fields().SiteTitle;
    const std::string pending = stillPending(submission.size(), site);
    if (waitAsked(run, endpoint, store, storeSite, pending)) return;

    bool rowAdded = false;
    bool validationPending = false;
    // Written when it changes only: each write is a commit with a full sync of its own.
    std::string keyStatus = store.keyStatus(storeSite, IndexNowChannelId);
    for (std::size_t b = 0; b < submission.batchCount(); ++b) {
        LiveRequest post;
        post.method = Method::Post;
        post.url = endpoint;
        post.headers = {{"Content-Type", "application/json; charset=utf-8"}};
        post.body = submission.body(b);
        // The body names the site and its key: it goes to the endpoint and nowhere else.
        post.redirects = Redirects::Refuse;
        const LiveAnswer answer = run.send(engine, std::move(post));
        if (!answer.error.empty()) {
            run.refused(engine + " could not be reached: " + answer.error + pending);
            return;
        }
        if (answer.status == 200 || answer.status == 202) {
            // Committed before anything else happens, the next POST included, so that neither Stop
            // nor a crash can lose it. A dry run's answer is a stand-in, and nothing is written.
            const std::string status = answer.status == 202 ? "pending" : "valid";
            if (!run.dryRun()) {
                recordBatch(store, storeSite, submission, b, selection, answerText(answer, endpoint));
                if (status != keyStatus) store.setKeyStatus(storeSite, IndexNowChannelId, status, unixNow());
            }
            keyStatus = status;
            if (!rowAdded) run.accepted(engine);
            rowAdded = true;
            validationPending = validationPending || answer.status == 202;
            continue;
        }
        refusedBatch(run, submission, endpoint, store, storeSite, answer, b);
        return;
    }
    if (validationPending)
        run.log(engine + ": " + count(submission.size(), "URL", "URLs") + " of " + site +
                " received, key validation pending; the next run checks the key file first");
}

void IndexNowChannel::refusedBatch(LiveRun& run, const IndexNowSubmission& submission,
                                   const std::string& endpoint, SiteStore& store, const StoreSite& storeSite,
                                   const LiveAnswer& answer, std::size_t b) {
    const std::string engine = engineName(endpoint);
    const std::size_t left = submission.size() - b * IndexNowBatchSize;
    const std::size_t sent = std::min(left, IndexNowBatchSize);
    std::string line = engine + " refused " + count(sent, "URL", "URLs") + " of " + run.fields().SiteTitle +
                       ": " + std::to_string(answer.status) + " " + answer.reason + " (" +
                       indexNowStatusMeaning(answer.status) + "); " + count(left, "URL stays", "URLs stay") +
                       " pending";
    if (answer.status >= 300 && answer.status <= 399)
        line += "; it redirects to " + answer.header("Location") + ", which a submission never follows";
    if (answer.status == 403) store.setKeyStatus(storeSite, IndexNowChannelId, "not valid", unixNow());
    if (answer.status == 429) {
        pausedThisRun_.insert(endpoint);
        const std::optional<Url> url = Url::parse(endpoint);
        line += "; no more submissions to " + (url ? url->host() : endpoint) + " in this run";
        if (auto retry = parseRetryAfter(answer.header("Retry-After"), unixNow())) {
            notBefore_[endpoint] = *retry;
            store.setPause(storeSite, IndexNowChannelId, endpoint, *retry);
            line += " nor before " + formatUtc(*retry);
        }
    }
    run.refused(line);
}

namespace {

// [IndexNow] Endpoints: a comma list of http or https URLs.
void readIndexNowConfig(Config& config, const ConfigSection& section) {
    std::string endpointList;
    for (const std::string& endpoint : config.indexNowEndpoints)
        endpointList += (endpointList.empty() ? "" : ",") + endpoint;
    endpointList = section.value("Endpoints", endpointList);
    std::vector<std::string> endpoints;
    std::size_t start = 0;
    while (start <= endpointList.size()) {
        std::size_t comma = std::min(endpointList.find(',', start), endpointList.size());
        std::string endpoint(trimmed(std::string_view(endpointList).substr(start, comma - start)));
        const bool web = endpoint.rfind("https://", 0) == 0 || endpoint.rfind("http://", 0) == 0;
        const bool control = std::any_of(endpoint.begin(), endpoint.end(), [](char c) {
            return static_cast<unsigned char>(c) < 0x20 || c == 0x7F;
        });
        if (!web || endpoint.find("://") + 3 >= endpoint.size() || control ||
            endpoint.find(' ') != std::string::npos || !Url::parse(endpoint))
            section.refuse("Endpoints", endpointList, "a comma list of http or https URLs is expected");
        endpoints.push_back(endpoint);
        start = comma + 1;
    }
    config.indexNowEndpoints = endpoints;
}

std::optional<std::string> checkIndexNowKeys(const ProfileExtras& values, const ChannelKeyContext& context) {
    const std::string key = channelValue(values, IndexNowKeyKey);
    if (!key.empty())
        if (std::string problem = indexNowKeyProblem(key); !problem.empty()) return problem;
    if (std::string problem =
            indexNowKeyLocationProblem(context.profileUrl, channelValue(values, IndexNowKeyLocationKey));
        !problem.empty())
        return problem;
    return std::nullopt;
}

} // namespace

const ChannelDeclaration& indexNowDeclaration() {
    static const ChannelDeclaration declaration{
        IndexNowChannelId,
        "IndexNow",
        "With a key, Go! announces the profile URL and the changed pages of its sitemap to the IndexNow "
        "engines (Bing, Yandex, Seznam, Naver, Yep and others). The site proves the key with a text file "
        "that holds it.",
        {{IndexNowKeyKey, "Key", "Key|8 to 128 characters from a-z, A-Z, 0-9 and -"},
         {IndexNowKeyLocationKey, "Key location",
          "Key location|Where the key file lies when not at the site's root; it then speaks only for pages "
          "in "
          "its folder and below"},
         {IndexNowFirstRunKey, "First run", "First run|all: the first run announces every page"}},
        checkIndexNowKeys,
        {"IndexNow", {"Endpoints"}, readIndexNowConfig},
        [] { return std::unique_ptr<LiveChannel>(std::make_unique<IndexNowChannel>()); },
        "indexnow.md"};
    return declaration;
}
