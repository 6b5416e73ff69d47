#include "core/google/IndexStatusRun.h"

#include "core/Config.h"
#include "core/channels/LiveChannel.h"
#include "core/google/IndexStatusOrder.h"
#include "core/google/IndexStatusQuery.h"
#include "core/google/SearchConsoleChannel.h"
#include "core/google/SitemapStatus.h"
#include "core/store/SiteStore.h"
#include "core/store/StoreStatus.h"
#include "platform/EventLoop.h"
#include "platform/Text.h"

#include <algorithm>

namespace {

const std::string Prefix = std::string(SearchConsoleEngine) + ": ";

// Waits with the event loop going, so that the window stays live while the pace holds a run.
void waitPumping(std::chrono::milliseconds duration) {
    EventLoop& loop = EventLoop::instance();
    bool done = false;
    const EventLoop::Handle timer =
        loop.startTimer(duration, EventLoop::TimerMode::SingleShot, [&done] { done = true; });
    if (timer == 0) return;
    while (!done)
        loop.pump(EventLoop::PumpMode::WaitForEvents);
}

// What became of one URL: go on with the next one, ask about it again (after a wait for a
// per-minute limit), or stop inspecting the property.
enum class Next { Continue, Again, Stop };

// Per-minute refusals in a row after which the run stops asking: Google's pace is not this side's.
constexpr int MostPaceWaits = 3;

class Inspector {
public:
    Inspector(LiveRun& run, const std::string& property, const std::string& account, const TokenSource& token,
              const InspectionPacing& pacing, SiteStore& store, const StoreSite& site)
        : run_(run), property_(property), account_(account), token_(token),
          clock_(pacing.clock ? *pacing.clock : systemClock_), wait_(pacing.wait ? pacing.wait : waitPumping),
          store_(store), site_(site), counts_(store, site),
          quota_(counts_, clock_, run.config().googleInspectPerRun) {}

    void inspectAll();
    void keepSitemaps();
    const InspectionTally& tally() const { return tally_; }

private:
    // Waits for the pace; false, after logging why, when the quota allows no more.
    bool mayGo();
    Next inspect(const std::string& url);
    // Sits out a per-minute limit; Stop when Google refused so too often in a row.
    Next waitForPace(const InspectionAnswer& read, std::int64_t now);
    LiveRequest inspectionRequest(const std::string& url) const;
    LiveAnswer send(LiveRequest request, const std::string& bearer);

    LiveRun& run_;
    const std::string& property_;
    const std::string& account_;
    const TokenSource& token_;
    SystemQuotaClock systemClock_;
    const QuotaClock& clock_;
    std::function<void(std::chrono::milliseconds)> wait_;
    SiteStore& store_;
    const StoreSite& site_;
    StoreQuotaCounts counts_;
    InspectionQuota quota_;
    InspectionTally tally_;
    int paceWaits_ = 0;
};

bool Inspector::mayGo() {
    while (true) {
        const InspectionQuota::Decision decision = quota_.next(property_);
        if (decision.kind == InspectionQuota::Decision::Kind::Go) return true;
        if (decision.kind == InspectionQuota::Decision::Kind::Stop) {
            run_.log(Prefix + "no more inspections in this run: " + decision.reason);
            return false;
        }
        wait_(decision.wait);
    }
}

void Inspector::inspectAll() {
    const int perRun = run_.config().googleInspectPerRun;
    if (perRun <= 0) return;
    const UncheckedPages unchecked =
        run_.config().checkPages ? UncheckedPages::Skip : UncheckedPages::Inspect;
    std::vector<StoredCandidate> stored = inspectionCandidates(store_, site_, unchecked);
    // Google inspects only the URLs of the property; it refuses the others.
    const auto outside =
        std::stable_partition(stored.begin(), stored.end(), [this](const StoredCandidate& c) {
            return inSearchConsoleProperty(c.url, property_);
        });
    if (const auto left = static_cast<std::uint64_t>(stored.end() - outside); left > 0)
        run_.log(Prefix + withThousands(left) + " URLs of the sitemaps lie outside the property " +
                 property_ + " and are not inspected");
    stored.erase(outside, stored.end());
    std::vector<InspectionCandidate> candidates;
    candidates.reserve(stored.size());
    for (const StoredCandidate& c : stored)
        candidates.push_back(c.candidate);
    const std::vector<std::size_t> order =
        inspectionOrder(candidates, clock_.wallSeconds(), static_cast<std::size_t>(perRun));
    for (const std::size_t index : order) {
        Next next = Next::Again;
        while (next == Next::Again)
            next = mayGo() ? inspect(stored[index].url) : Next::Stop;
        if (next == Next::Stop) break;
    }
    if (tally_.inspected > 0)
        run_.log(Prefix + "inspected " + withThousands(static_cast<std::uint64_t>(tally_.inspected)) +
                 " URLs of " + property_ + ": " + withThousands(static_cast<std::uint64_t>(tally_.indexed)) +
                 " indexed; " + withThousands(static_cast<std::uint64_t>(quota_.usedToday(property_))) +
                 " of the day's " + withThousands(InspectionQuota::PerDay) + " inspections used");
}

LiveAnswer Inspector::send(LiveRequest request, const std::string& bearer) {
    request.headers.push_back({"Authorization", "Bearer " + bearer});
    request.redirects = Redirects::Refuse;
    return run_.send(SearchConsoleEngine, std::move(request));
}

LiveRequest Inspector::inspectionRequest(const std::string& url) const {
    LiveRequest request;
    request.method = Method::Post;
    request.url = urlInspectionUrl(run_.config().googleInspectionBase);
    request.headers = {{"Content-Type", "application/json"}};
    request.body = urlInspectionBody(url, property_);
    // A little more than the largest answer read, so that a larger one is seen as such.
    request.maxBodyBytes = MaxInspectionAnswerBytes + 1;
    return request;
}

Next Inspector::waitForPace(const InspectionAnswer& read, std::int64_t now) {
    if (++paceWaits_ > MostPaceWaits) {
        run_.log(Prefix + "no more inspections in this run: Google refused " +
                 std::to_string(MostPaceWaits + 1) + " in a row for its per-minute limit");
        return Next::Stop;
    }
    wait_(std::chrono::seconds(std::max<std::int64_t>(read.retryAt - now, 0)));
    return Next::Again;
}

Next Inspector::inspect(const std::string& url) {
    for (TokenRenewal renewal : {TokenRenewal::WhenExpired, TokenRenewal::Now}) {
        const std::optional<std::string> bearer = token_(renewal);
        if (!bearer) return Next::Stop;
        if (renewal == TokenRenewal::Now && !mayGo()) return Next::Stop;
        // Counted before it goes: Google may count a request whose answer is lost.
        quota_.sent(property_);
        const LiveAnswer answer = send(inspectionRequest(url), *bearer);
        if (!answer.error.empty()) {
            run_.log(Prefix + "the inspection of " + url + " failed: " + answer.error);
            return Next::Stop;
        }
        const std::int64_t now = clock_.wallSeconds();
        const InspectionAnswer read =
            readInspectionAnswer(answer.status, answer.reason, answer.header("Retry-After"), answer.body, url,
                                 property_, now, quota_.dayEnd(property_), account_);
        switch (read.outcome) {
        case InspectionOutcome::Result:
            paceWaits_ = 0;
            recordInspection(store_, site_, url, property_, now, read.result);
            ++tally_.inspected;
            if (isIndexedVerdict(read.result.verdict)) ++tally_.indexed;
            for (const std::string& field : read.result.unfamiliar)
                run_.log(Prefix + url + ": Google answered a " + field +
                         " this version does not know, kept as it is");
            return Next::Continue;
        case InspectionOutcome::RenewToken:
            if (renewal == TokenRenewal::WhenExpired) continue;
            break;
        case InspectionOutcome::PropertyPaused:
            quota_.pauseUntil(property_, read.retryAt);
            break;
        case InspectionOutcome::PaceExceeded:
            run_.log(Prefix + read.problem);
            return waitForPace(read, now);
        default:
            break;
        }
        run_.log(Prefix + read.problem);
        const bool goOn =
            read.outcome == InspectionOutcome::Unreadable || read.outcome == InspectionOutcome::UrlRefused;
        return goOn ? Next::Continue : Next::Stop;
    }
    return Next::Stop;
}

void Inspector::keepSitemaps() {
    LiveAnswer answer;
    // A token Google no longer takes is renewed once, as for the inspections.
    for (TokenRenewal renewal : {TokenRenewal::WhenExpired, TokenRenewal::Now}) {
        const std::optional<std::string> bearer = token_(renewal);
        if (!bearer) return;
        LiveRequest request;
        request.url = searchConsoleSitemapListUrl(run_.config().googleApiBase, property_);
        request.maxBodyBytes = MaxSitemapListBytes + 1;
        answer = send(std::move(request), *bearer);
        if (answer.status != 401) break;
    }
    if (!answer.error.empty()) {
        run_.log(Prefix + "the sitemaps of " + property_ + " could not be listed: " + answer.error);
        return;
    }
    const SitemapStatusList list =
        readSitemapStatus(answer.status, answer.reason, answer.body, property_, account_);
    if (!list.ok()) {
        run_.log(Prefix + list.problem);
        return;
    }
    recordSitemapStatuses(store_, site_, property_, clock_.wallSeconds(), list.sitemaps);
    tally_.sitemapsKept = true;
}

} // namespace

InspectionTally inspectIndexStatus(LiveRun& run, const std::string& property, const std::string& account,
                                   const TokenSource& token, const InspectionPacing& pacing) {
    try {
        SiteStore store = SiteStore::open(run.profileDirectory(), run.config().storeWaitSeconds);
        const StoreSite site = store.site(run.profileName());
        for (const std::string& notice : site.notices)
            run.log(Prefix + notice);
        Inspector inspector(run, property, account, token, pacing, store, site);
        inspector.inspectAll();
        inspector.keepSitemaps();
        return inspector.tally();
    } catch (const StoreError& e) {
        run.log(Prefix + "nothing is inspected: " + e.what());
        return {};
    }
}
