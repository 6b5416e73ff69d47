#include "core/IndexNowSubmitter.h"

#include "core/Config.h"
#include "core/SiteProfile.h"
#include "core/SitemapReader.h"
#include "core/SitemapState.h"
#include "core/Sitemaps.h"
#include "core/SubmissionFields.h"

#include <charconv>
#include <ctime>

namespace {

std::int64_t now() {
    return static_cast<std::int64_t>(std::time(nullptr));
}

std::string count(std::size_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

// "; 1 URL of Garden stays pending", "; 3 URLs of Garden stay pending".
std::string stillPending(std::size_t n, const std::string& site) {
    return "; " + count(n, "URL", "URLs") + " of " + site + (n == 1 ? " stays" : " stay") + " pending";
}

// Compacts the state file when the profile is done, however it ends: what was accepted is
// in the journal already, so a failure here loses nothing and is not worth a message.
class Compaction {
public:
    explicit Compaction(SitemapState& state) : state_(state) {}
    ~Compaction() {
        try {
            state_.compact();
        } catch (...) {
        }
    }
    Compaction(const Compaction&) = delete;
    Compaction& operator=(const Compaction&) = delete;

private:
    SitemapState& state_;
};

} // namespace

std::string IndexNowSubmitter::engineName(const std::string& endpoint) {
    return "IndexNow (" + hostOfUrl(endpoint) + ")";
}

std::string IndexNowSubmitter::retryNote(const std::string& endpoint) {
    return "retry-after " + endpoint;
}

void IndexNowSubmitter::announce(LiveRun& run) {
    const std::string key = run.profileValue(IndexNowKeyKey);
    if (key.empty()) return;
    const std::string& site = run.fields().SiteTitle;
    if (std::string problem = indexNowKeyProblem(key); !problem.empty()) {
        run.refused("IndexNow: nothing sent for " + site + ": " + problem);
        return;
    }
    const std::string location = run.profileValue(IndexNowKeyLocationKey);
    if (std::string problem = indexNowKeyLocationProblem(run.fields().URL, location); !problem.empty()) {
        run.refused("IndexNow: nothing sent for " + site + ": " + problem);
        return;
    }

    // The sitemaps are requests of the run like the submissions: recorded, paused and stopped.
    RunSitemapSource source(run, "IndexNow");
    const SiteSitemaps sitemaps =
        readSitemaps(run.fields().URL, run.profileValue(SitemapKey), source, run.config().sitemapMaxUrls);
    for (const std::string& problem : sitemaps.problems)
        run.log("IndexNow: sitemap of " + site + ": " + problem);

    SitemapState state = SitemapState::load(run.profileDirectory(), run.profileName());
    Compaction compaction(state);
    const IndexNowSubmission submission(run.fields().URL, key, location, sitemaps.urls,
                                        state.changed(IndexNowChannel, sitemaps.urls), scope_);
    if (submission.leftOut() > 0)
        run.log("IndexNow: " + count(submission.leftOut(), "URL", "URLs") + " of " + site +
                " left out: not on " + submission.host() +
                (location.empty() ? "" : " or outside the key location's folder"));
    if (submission.size() == 0) return;
    for (const std::string& endpoint : run.config().indexNowEndpoints)
        submit(run, submission, endpoint, state);
}

void IndexNowSubmitter::submit(LiveRun& run, const IndexNowSubmission& submission,
                               const std::string& endpoint, SitemapState& state) {
    const std::string engine = engineName(endpoint);
    const std::string& site = run.fields().SiteTitle;
    const std::string pending = stillPending(submission.size(), site);
    if (pausedThisRun_.count(endpoint)) {
        run.refused(engine + ": not called again in this run after 429 Too Many Requests" + pending);
        return;
    }
    std::int64_t until = 0;
    if (auto it = notBefore_.find(endpoint); it != notBefore_.end()) until = it->second;
    const std::string note = state.note(IndexNowChannel, retryNote(endpoint));
    std::int64_t noted = 0;
    if (std::from_chars(note.data(), note.data() + note.size(), noted).ec == std::errc())
        until = std::max(until, noted);
    if (until > now()) {
        run.refused(engine + ": not called before " + formatUtc(until) +
                    ", as it asked with 429 Too Many Requests" + pending);
        return;
    }

    bool rowAdded = false;
    for (std::size_t b = 0; b < submission.batchCount(); ++b) {
        const std::vector<std::string_view> urls = submission.batch(b);
        RunClient::Exchange post{
            "POST", endpoint, {{"Content-Type", "application/json; charset=utf-8"}}, submission.body(b)};
        RunClient::Answer answer;
        try {
            answer = run.send(engine, post);
        } catch (const LiveRun::Stopped&) {
            throw;
        } catch (const std::exception& e) {
            run.refused(engine + " could not be reached: " + e.what() + pending);
            return;
        }
        if (answer.status == 200 || answer.status == 202) {
            // Recorded before anything else happens, so that Stop cannot lose it.
            state.recordAccepted(IndexNowChannel, urls, now());
            if (!rowAdded) run.accepted(engine);
            rowAdded = true;
            continue;
        }
        const std::size_t left = submission.size() - b * IndexNowBatchSize;
        std::string line = engine + " refused " + count(urls.size(), "URL", "URLs") + " of " + site + ": " +
                           std::to_string(answer.status) + " " + answer.reason + " (" +
                           indexNowStatusMeaning(answer.status) + "); " +
                           count(left, "URL stays", "URLs stay") + " pending";
        if (answer.status == 429) {
            pausedThisRun_.insert(endpoint);
            line += "; no more submissions to " + hostOfUrl(endpoint) + " in this run";
            if (auto retry = parseRetryAfter(answer.headerValue("Retry-After"), now())) {
                notBefore_[endpoint] = *retry;
                state.setNote(IndexNowChannel, retryNote(endpoint), std::to_string(*retry));
                line += " nor before " + formatUtc(*retry);
            }
        }
        run.refused(line);
        return;
    }
}
