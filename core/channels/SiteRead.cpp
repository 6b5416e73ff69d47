#include "core/channels/SiteRead.h"

#include "core/Config.h"
#include "core/catalogue/SubmissionFields.h"
#include "core/channels/LiveChannel.h"
#include "core/checks/PageChecker.h"
#include "core/checks/RunPageChecks.h"
#include "core/profiles/SiteProfile.h"
#include "core/store/StoreFiles.h"
#include "core/store/StoreSelection.h"
#include "platform/EventLoop.h"
#include "platform/Time.h"

#include <algorithm>
#include <memory>

namespace {

// While another process holds the site, the wait keeps the program's events going, so that the
// window stays responsive.
void waitWithEvents(std::chrono::milliseconds time) {
    EventLoop& loop = EventLoop::instance();
    auto done = std::make_shared<bool>(false);
    loop.startTimer(time, EventLoop::TimerMode::SingleShot, [done] { *done = true; });
    while (!*done)
        loop.pump(EventLoop::PumpMode::WaitForEvents);
}

SiteStore openStore(const LiveRun& run) {
    const int wait = run.config().storeWaitSeconds;
    return run.dryRun() ? SiteStore::openToRead(run.profileDirectory(), wait)
                        : SiteStore::open(run.profileDirectory(), wait);
}

// Why the site could not be read when every sitemap it names got no answer at all.
std::string sitemapsUnanswered(const SiteSitemaps& sitemaps) {
    if (sitemaps.sitemaps.empty() || sitemaps.unanswered.size() < sitemaps.sitemaps.size()) return {};
    return (sitemaps.sitemaps.size() == 1 ? "its sitemap could not be fetched ("
                                          : "no sitemap could be fetched (") +
           sitemaps.unanswered.front() + ")";
}

// A validator as the answer gave it, when it may go back in a request line as it stands.
std::string validator(const LiveAnswer& answer, std::string_view name) {
    const std::string value = answer.header(name);
    const bool safe = value.size() <= 256 &&
                      std::all_of(value.begin(), value.end(), [](char c) { return c >= 0x20 && c <= 0x7E; });
    return safe ? value : std::string();
}

// The copy of a whole file (2xx) to keep for the next run, when its answer gave a validator.
std::optional<StoredFile> validatedCopy(const LiveAnswer& answer, const std::string& body) {
    if (answer.status < 200 || answer.status > 299) return std::nullopt;
    StoredFile file{validator(answer, "ETag"), validator(answer, "Last-Modified"), body};
    if (file.etag.empty() && file.lastModified.empty()) return std::nullopt;
    return file;
}

void addValidators(LiveRequest& request, const StoredFile& kept) {
    if (!kept.etag.empty()) request.headers.emplace_back("If-None-Match", kept.etag);
    if (!kept.lastModified.empty()) request.headers.emplace_back("If-Modified-Since", kept.lastModified);
}

} // namespace

SiteReading::SiteReading(LiveRun& run, const std::string& unreachable)
    : run_(run), store_(openStore(run)),
      site_(run.dryRun() ? store_.findSite(run.profileName()) : store_.site(run.profileName())) {
    const std::string& title = run.fields().SiteTitle;
    for (const std::string& notice : site_.notices)
        run.log(notice);
    if (!store_.exists())
        run.log("there is no store in " + run.profileDirectory() + " yet: every page counts as new");
    if (!run.dryRun()) claim_.emplace(store_, site_, run.config().storeWaitSeconds, waitWithEvents);
    if (claim_ && !claim_->takenOver().empty()) run.log(claim_->takenOver());

    unreadable_ = unreachable;
    if (unreadable_.empty()) readRobots(run);
    if (unreadable_.empty()) {
        ReadingSitemapSource source(run, robotsUrl_, robotsResult_, robotsBody_);
        sitemaps_ =
            readSitemaps(run.site(), run.profileValue(SitemapKey), source, sitemapBounds(run.config()));
        for (const std::string& problem : sitemaps_.problems)
            run.log(run.dryRun() ? problem : "sitemap of " + title + ": " + problem);
        unreadable_ = sitemapsUnanswered(sitemaps_);
    }
    if (!run.dryRun()) store_.setUnreadable(site_, unreadable_, unixNow());
}

void SiteReading::record() {
    if (recorded_ || run_.dryRun() || !unreadable_.empty()) return;
    recordSitemaps(store_, site_, sitemaps_.urls, run_.site().text(),
                   sitemaps_.problems.empty() ? SitemapRead::Complete : SitemapRead::Partial, unixNow());
    recorded_ = true;
}

std::string SiteReading::unreadableLine(const std::string& siteTitle, const std::string& cause) {
    return siteTitle + " could not be read: " + cause + "; nothing was announced";
}

void SiteReading::readRobots(LiveRun& run) {
    robotsUrl_ = run.site().origin() + "/robots.txt";
    auto body = std::make_shared<std::string>();
    LiveRequest request = robotsTxtRequest(run.site().origin(), body);
    // The copy the last run kept is asked for only if it changed, and a 304 reuses it.
    const std::optional<StoredFile> kept = storedFile(store_, site_, robotsUrl_);
    if (kept) addValidators(request, *kept);
    LiveAnswer answer = run.send(SiteEngine, std::move(request));
    if (kept && answer.answered() && answer.status == 304) {
        *body = kept->body;
        answer.status = 200;
    } else if (!run.dryRun() && answer.answered() && answer.status < 500 && answer.status != 429) {
        keepStoredFile(store_, site_, robotsUrl_, validatedCopy(answer, *body), unixNow());
    }
    robotsBody_ = std::move(*body);
    robotsResult_ = fetchResult(answer);
    RobotsReading robots = readRobotsAnswer(answer, robotsBody_);
    unreadable_ = robots.problem;
    if (!robots.note.empty()) run.log(run.fields().SiteTitle + ": " + robots.note);
    run.pageChecks().useRobots(run.site().origin(), std::move(robots));
}

std::vector<FetchResult> ReadingSitemapSource::fetchAll(std::vector<Fetch> fetches) {
    std::vector<FetchResult> results(fetches.size());
    std::vector<Fetch> rest;
    std::vector<std::size_t> restIndex;
    for (std::size_t i = 0; i < fetches.size(); ++i) {
        if (fetches[i].url != robotsUrl_) {
            rest.push_back(std::move(fetches[i]));
            restIndex.push_back(i);
            continue;
        }
        results[i] = robots_;
        if (robots_.ok() && fetches[i].sink) fetches[i].sink(body_);
    }
    if (rest.empty()) return results;
    std::vector<FetchResult> fetched = run_.fetchAll(std::move(rest));
    for (std::size_t k = 0; k < fetched.size(); ++k)
        results[restIndex[k]] = std::move(fetched[k]);
    return results;
}
