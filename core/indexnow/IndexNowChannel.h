#pragma once

#include "core/channels/LiveChannel.h"
#include "core/indexnow/IndexNowSubmission.h"

#include <cstdint>
#include <map>
#include <set>
#include <string>

struct AnnounceSelection;
class SiteStore;
struct StoreSite;

// The channel's name in the site store, in request records and in the channel table.
constexpr const char* IndexNowChannelId = "indexnow";

// Announces a profile with an IndexNow key to every endpoint of [IndexNow] Endpoints: the
// site's URL and its sitemaps' new and changed URLs, in POSTs of at most 10,000 URLs that never
// follow a redirect. An endpoint that accepts (200, 202) gets a result row once per profile,
// and the URLs of each accepted POST are recorded in the site store at once, so a run that
// ends early keeps them. A 202 means the key is not validated yet: the log says so, and the
// next run checks the key file before it posts. Any other answer is a refusal with its meaning
// in the log, and the endpoint gets nothing more of that profile; the URLs stay pending for
// the next run. A 429 stops the endpoint for the rest of the run and, with Retry-After
// (held to a day at most), until that time in later runs too.
class IndexNowChannel final : public LiveChannel {
public:
    explicit IndexNowChannel(IndexNowSubmission::Scope scope = IndexNowSubmission::Scope::Enforced)
        : scope_(scope) {}

    void beginRun() override { pausedThisRun_.clear(); }
    bool uses(const LiveRun& run) const override;
    // In a dry run, the sitemaps are read and the store consulted (the first run's rule
    // included), but nothing is recorded; an endpoint that asked for a pause is named in the log.
    void announce(LiveRun& run) override;

    // "IndexNow (HOST)": the engine column of an endpoint's rows and the name of its records.
    static std::string engineName(const std::string& endpoint);

private:
    // Sends the submission to one endpoint, batch by batch, and records each accepted batch by
    // the rows of the selection that chose it.
    void submit(LiveRun& run, const IndexNowSubmission& submission, const std::string& endpoint,
                SiteStore& store, const StoreSite& storeSite, const AnnounceSelection& selection);
    // The log line of a refused batch, and the pause that a 429 asks for.
    void refusedBatch(LiveRun& run, const IndexNowSubmission& submission, const std::string& endpoint,
                      SiteStore& store, const StoreSite& storeSite, const LiveAnswer& answer,
                      std::size_t batch);
    // Whether the endpoint asked not to be called yet (which is then refused in the log).
    bool waitAsked(LiveRun& run, const std::string& endpoint, const SiteStore& store,
                   const StoreSite& storeSite, const std::string& pending);
    // Checks the key file before posting again after a 202, and says what it found.
    void checkPendingKey(LiveRun& run, SitemapSource& source, const std::string& key,
                         const std::string& location);

    IndexNowSubmission::Scope scope_;
    // Endpoints that answered 429 in this run.
    std::set<std::string> pausedThisRun_;
    // Endpoints that named a time before which they want no call, for as long as the program
    // runs (the store keeps it per site for later programs).
    std::map<std::string, std::int64_t> notBefore_;
};
