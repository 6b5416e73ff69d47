#pragma once

#include "core/checks/PageCheck.h"
#include "core/checks/PageChecker.h"
#include "core/store/StoreChecks.h"

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

class LiveRun;
class SiteStore;
class UrlTable;
struct AnnounceSelection;
struct Config;
struct StoreSite;

// The engine of the checks' request-log records.
constexpr const char* PageCheckEngine = "Page check";

// The page checks of one run. A page of a profile is checked once in a run, whichever channel
// asks first; the channels after it read its verdicts. The checks are requests of the run
// (recorded under "Page check", paused and stopped with it), several at a time ([Checks]
// PerHost), and [Checks] MaxPages bounds the whole run. Every record goes to the site store.
// With [Checks] Pages=0 nothing is checked and every page counts as ok.
class RunPageChecks {
public:
    explicit RunPageChecks(const Config& config);

    bool enabled() const { return enabled_; }

    // Checks those of the URLs that were not checked for the run's profile yet, and keeps the
    // records as the latest of their URLs. URLs past the run's bound stay unchecked.
    void check(LiveRun& run, SiteStore& store, const StoreSite& site, const std::vector<std::string>& urls);

    // The robots.txt of an origin as the run read it for the profile, used by every check of the
    // run instead of fetching it again.
    void useRobots(const std::string& origin, RobotsReading robots);

    // The verdict of a URL (any spelling) checked for the run's profile; nothing for a URL not
    // checked. Ok for every URL when checks are off.
    std::optional<Verdict> verdict(std::string_view url, Crawler crawler) const;
    // The status of a URL's final answer (0 for none, or for a URL not checked).
    int status(std::string_view url) const;
    // The verdicts of the pages checked for the profile in this run.
    VerdictCounts counts(const std::string& profile, Crawler crawler) const;

private:
    struct Outcome {
        Verdict google = Verdict::Ok;
        Verdict bing = Verdict::Ok;
        int status = 0;
    };
    const Outcome* find(std::string_view url) const;

    bool enabled_ = true;
    PageCheckerSettings settings_;
    // Pages the run may still check.
    std::size_t budget_ = 0;
    std::string profile_;
    std::unordered_map<std::string, Outcome> outcomes_;
    std::unordered_map<std::string, RobotsReading> robots_;
};

// What the checks leave of a channel's selection, for the crawler whose rules the channel
// follows: the sitemap entries and the profile URL that are ok. The others stay unannounced,
// and a line of the run's log gives the counts per verdict, after PREFIX (such as "IndexNow").
// With LeftPages::Announce, the pages that left the sitemaps and are due to the channel of
// channelId (its name in the store) are checked too: those that now answer 404 or 410 are added
// to the table and the selection (announced once, as gone), and those still served are named
// in the log.
enum class LeftPages { Ignore, Announce };
void screenSelection(LiveRun& run, SiteStore& store, const StoreSite& site, UrlTable& urls,
                     AnnounceSelection& selection, Crawler crawler, const std::string& channel,
                     std::string_view channelId, LeftPages left);
