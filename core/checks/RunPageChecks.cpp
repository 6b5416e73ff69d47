#include "core/checks/RunPageChecks.h"

#include "core/Config.h"
#include "core/catalogue/SubmissionFields.h"
#include "core/channels/LiveChannel.h"
#include "core/sitemaps/UrlTable.h"
#include "core/store/SiteStore.h"
#include "core/store/StoreSelection.h"
#include "http/Url.h"

#include <algorithm>
#include <unordered_set>

namespace {

// Records go to the store in batches of this many, so that a long run keeps what it found
// without one transaction per page.
constexpr std::size_t RecordBatch = 256;
// The pages still served after they left the sitemaps that the log names one by one.
constexpr std::size_t NamedServedPages = 20;

std::string count(std::size_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

} // namespace

RunPageChecks::RunPageChecks(const Config& config)
    : enabled_(config.checkPages), settings_(pageCheckerSettings(config)), budget_(settings_.maxPages) {}

void RunPageChecks::useRobots(const std::string& origin, RobotsReading robots) {
    robots_[origin] = std::move(robots);
}

void RunPageChecks::check(LiveRun& run, SiteStore& store, const StoreSite& site,
                          const std::vector<std::string>& urls) {
    if (!enabled_) return;
    if (run.profileName() != profile_) {
        profile_ = run.profileName();
        outcomes_.clear();
    }
    std::vector<std::string> due;
    std::unordered_set<std::string> seen;
    for (const std::string& url : urls)
        if (!find(url) && seen.insert(urlKey(url)).second) due.push_back(url);
    if (due.empty() || budget_ == 0) return;

    PageCheckerSettings settings = settings_;
    settings.maxPages = budget_;
    PageChecker checker(
        [&run](std::vector<LiveRequest> requests) {
            return run.sendAll(PageCheckEngine, std::move(requests));
        },
        settings);
    for (const auto& [origin, robots] : robots_)
        checker.useRobots(origin, robots);
    std::vector<PageCheck> batch;
    const auto keep = [&] {
        recordPageChecks(store, site, batch);
        batch.clear();
    };
    try {
        budget_ -= checker.check(due, [&](const PageCheck& check) {
            outcomes_[urlKey(check.url)] = {verdictFor(check, Crawler::Googlebot).verdict,
                                            verdictFor(check, Crawler::Bingbot).verdict, check.status};
            batch.push_back(check);
            if (batch.size() >= RecordBatch) keep();
        });
    } catch (const LiveRun::Stopped&) {
        // What was found before Stop is kept.
        keep();
        throw;
    }
    keep();
}

const RunPageChecks::Outcome* RunPageChecks::find(std::string_view url) const {
    const auto found = outcomes_.find(urlKey(url));
    return found == outcomes_.end() ? nullptr : &found->second;
}

std::optional<Verdict> RunPageChecks::verdict(std::string_view url, Crawler crawler) const {
    if (!enabled_) return Verdict::Ok;
    const Outcome* outcome = find(url);
    if (!outcome) return std::nullopt;
    return crawler == Crawler::Googlebot ? outcome->google : outcome->bing;
}

int RunPageChecks::status(std::string_view url) const {
    const Outcome* outcome = find(url);
    return outcome ? outcome->status : 0;
}

VerdictCounts RunPageChecks::counts(const std::string& profile, Crawler crawler) const {
    VerdictCounts counts;
    if (profile != profile_) return counts;
    for (const auto& [url, outcome] : outcomes_)
        counts.add(crawler == Crawler::Googlebot ? outcome.google : outcome.bing);
    return counts;
}

namespace {

// The left pages that answer 404 or 410 join the selection, with their rows when it records by
// rows; those still served are named.
void screenLeftPages(LiveRun& run, const RunPageChecks& checks, const std::vector<LeftPage>& left,
                     UrlTable& urls, AnnounceSelection& selection, const std::string& prefix) {
    std::size_t gone = 0;
    std::vector<std::string> served;
    for (const auto& [url, row] : left) {
        const int status = checks.status(url);
        if (status == 404 || status == 410) {
            const auto [index, added] = urls.insert(url, 0);
            if (added) {
                selection.indices.push_back(index);
                if (!selection.rows.empty()) {
                    selection.rows.resize(urls.size());
                    selection.rows[index] = row;
                }
            }
            ++gone;
        } else if (status >= 200 && status < 300) {
            served.push_back(url);
        }
    }
    const std::string& title = run.fields().SiteTitle;
    if (gone > 0)
        run.log(prefix + count(gone, "page", "pages") + " that left the sitemaps of " + title +
                (gone == 1 ? " answers 404 or 410 and is" : " answer 404 or 410 and are") +
                " announced as gone");
    for (std::size_t i = 0; i < served.size() && i < NamedServedPages; ++i)
        run.log(prefix + served[i] + " is served but no longer in the sitemap");
    if (served.size() > NamedServedPages)
        run.log(prefix + count(served.size() - NamedServedPages, "more page", "more pages") + " of " + title +
                " served but no longer in the sitemap");
}

} // namespace

void screenSelection(LiveRun& run, SiteStore& store, const StoreSite& site, UrlTable& urls,
                     AnnounceSelection& selection, Crawler crawler, const std::string& channel,
                     std::string_view channelId, LeftPages left) {
    RunPageChecks& checks = run.pageChecks();
    if (!checks.enabled()) return;
    const std::string prefix = channel + ": ";
    const std::string profileUrl = run.site().text();
    std::vector<std::string> pages;
    if (selection.profileUrl) pages.push_back(profileUrl);
    for (std::size_t i : selection.indices)
        pages.emplace_back(urls.url(i));
    std::vector<LeftPage> leftPages;
    if (left == LeftPages::Announce) leftPages = leftPagesDue(store, site, channelId);
    std::vector<std::string> all = pages;
    for (const LeftPage& page : leftPages)
        all.push_back(page.url);
    checks.check(run, store, site, all);

    VerdictCounts counts;
    std::size_t unchecked = 0;
    const auto keeps = [&](std::string_view url) {
        const std::optional<Verdict> verdict = checks.verdict(url, crawler);
        if (!verdict)
            ++unchecked;
        else
            counts.add(*verdict);
        return verdict == Verdict::Ok;
    };
    if (selection.profileUrl) selection.profileUrl = keeps(profileUrl);
    const auto end = std::remove_if(selection.indices.begin(), selection.indices.end(),
                                    [&](std::size_t i) { return !keeps(urls.url(i)); });
    selection.indices.erase(end, selection.indices.end());

    const std::string& title = run.fields().SiteTitle;
    const std::size_t notOk = counts.total() - counts.of(Verdict::Ok);
    if (counts.total() > 0)
        run.log(prefix + "page checks of " + title + " (" + std::string(crawlerToken(crawler)) +
                "'s rules): " + counts.text() +
                (notOk == 0 ? ""
                            : "; " + count(notOk, "page that is not ok stays", "pages that are not ok stay") +
                                  " unannounced"));
    if (unchecked > 0)
        run.log(prefix + count(unchecked, "page", "pages") + " of " + title +
                " not checked in this run ([Checks] MaxPages); " +
                (unchecked == 1 ? "it stays" : "they stay") + " unannounced");
    if (left == LeftPages::Announce) screenLeftPages(run, checks, leftPages, urls, selection, prefix);
}
