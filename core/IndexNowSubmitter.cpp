#include "core/IndexNowSubmitter.h"

#include "core/Config.h"
#include "core/LiveSite.h"
#include "core/SiteProfile.h"
#include "core/SitemapReader.h"
#include "core/SitemapState.h"
#include "core/Sitemaps.h"
#include "core/SubmissionFields.h"

#include <algorithm>
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
    const std::optional<Url> url = Url::parse(endpoint);
    return "IndexNow (" + (url ? url->host() : endpoint) + ")";
}

std::string IndexNowSubmitter::retryNote(const std::string& endpoint) {
    return "retry-after " + endpoint;
}

bool IndexNowSubmitter::uses(const LiveRun& run) const {
    return !run.profileValue(IndexNowKeyKey).empty();
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
    if (std::string problem = indexNowKeyLocationProblem(run.site(), location); !problem.empty()) {
        run.refused("IndexNow: nothing sent for " + site + ": " + problem);
        return;
    }

    // The sitemaps are requests of the run like the submissions: recorded, paused and stopped.
    RunSitemapSource source(run, "IndexNow");
    const SiteSitemaps sitemaps =
        readSitemaps(run.site(), run.profileValue(SitemapKey), source, sitemapBounds(run.config()));
    for (const std::string& problem : sitemaps.problems)
        run.log("IndexNow: sitemap of " + site + ": " + problem);

    SitemapState state = SitemapState::load(run.profileDirectory(), run.profileName());
    Compaction compaction(state);
    const IndexNowSubmission submission(run.site(), key, location, sitemaps.urls,
                                        state.changed(IndexNowChannel, sitemaps.urls), scope_);
    if (submission.leftOut() > 0)
        run.log("IndexNow: " + count(submission.leftOut(), "URL", "URLs") + " of " + site +
                " left out: not on " + run.site().origin() +
                (location.empty() ? "" : " or outside the key location's folder"));
    if (submission.size() == 0) return;
    if (state.note(IndexNowChannel, PendingNote) == key) checkPendingKey(run, source, key, location);
    for (const std::string& endpoint : run.config().indexNowEndpoints)
        submit(run, submission, endpoint, state);
}

void IndexNowSubmitter::checkPendingKey(LiveRun& run, SitemapSource& source, const std::string& key,
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

bool IndexNowSubmitter::waitAsked(LiveRun& run, const std::string& endpoint, const SitemapState& state,
                                  const std::string& pending) {
    const std::string engine = engineName(endpoint);
    if (pausedThisRun_.count(endpoint)) {
        run.refused(engine + ": not called again in this run after 429 Too Many Requests" + pending);
        return true;
    }
    std::int64_t until = 0;
    if (auto it = notBefore_.find(endpoint); it != notBefore_.end()) until = it->second;
    const std::string note = state.note(IndexNowChannel, retryNote(endpoint));
    std::int64_t noted = 0;
    if (std::from_chars(note.data(), note.data() + note.size(), noted).ec == std::errc())
        until = std::max(until, noted);
    // A note written before waits were held to a day is held to a day from now.
    until = std::min(until, now() + MaxRetryAfter);
    if (until <= now()) return false;
    run.refused(engine + ": not called before " + formatUtc(until) +
                ", as it asked with 429 Too Many Requests" + pending);
    return true;
}

void IndexNowSubmitter::submit(LiveRun& run, const IndexNowSubmission& submission,
                               const std::string& endpoint, SitemapState& state) {
    const std::string engine = engineName(endpoint);
    const std::string& site = run.fields().SiteTitle;
    const std::string pending = stillPending(submission.size(), site);
    if (waitAsked(run, endpoint, state, pending)) return;

    bool rowAdded = false;
    bool validationPending = false;
    for (std::size_t b = 0; b < submission.batchCount(); ++b) {
        const std::vector<std::string_view> urls = submission.batch(b);
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
            // Recorded before anything else happens, so that Stop cannot lose it.
            state.recordAccepted(IndexNowChannel, urls, now());
            if (!rowAdded) run.accepted(engine);
            rowAdded = true;
            validationPending = validationPending || answer.status == 202;
            continue;
        }
        refusedBatch(run, submission, endpoint, state, answer, b);
        return;
    }
    state.setNote(IndexNowChannel, PendingNote, validationPending ? submission.key() : "");
    if (validationPending)
        run.log(engine + ": " + count(submission.size(), "URL", "URLs") + " of " + site +
                " received, key validation pending; the next run checks the key file first");
}

void IndexNowSubmitter::refusedBatch(LiveRun& run, const IndexNowSubmission& submission,
                                     const std::string& endpoint, SitemapState& state,
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
    if (answer.status == 429) {
        pausedThisRun_.insert(endpoint);
        const std::optional<Url> url = Url::parse(endpoint);
        line += "; no more submissions to " + (url ? url->host() : endpoint) + " in this run";
        if (auto retry = parseRetryAfter(answer.header("Retry-After"), now())) {
            notBefore_[endpoint] = *retry;
            state.setNote(IndexNowChannel, retryNote(endpoint), std::to_string(*retry));
            line += " nor before " + formatUtc(*retry);
        }
    }
    run.refused(line);
}
