#include "core/checks/PageChecker.h"

#include "core/Config.h"
#include "core/sitemaps/SitemapSource.h"
#include "http/RetryAfter.h"
#include "http/Url.h"
#include "platform/EventLoop.h"
#include "platform/Time.h"

#include <algorithm>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

// How often one page is asked for again after the site asked the checks to slow down.
constexpr int MaxRetries = 3;
// The pause after a 429 or 503 that names no time.
constexpr std::chrono::seconds DefaultPause{60};
// A page of a round that went back into the queue.
constexpr std::size_t NoPage = static_cast<std::size_t>(-1);
// At most this many fetched pages wait for their analysis (each body up to 2 MiB): when the
// parsing falls behind the network, no further page is fetched until it catches up.
constexpr std::size_t MaxWaiting = 32;

} // namespace

// A body as a sink collects it: at most limit bytes kept, the transfer ended there (which is no
// failure), and the bytes that arrived counted.
struct PageChecker::Collected {
    std::string bytes;
    std::uint64_t received = 0;
};

namespace {

using Collected = PageChecker::Collected;

std::function<bool(std::string_view)> collectInto(const std::shared_ptr<Collected>& into, std::size_t limit) {
    return [into, limit](std::string_view piece) {
        into->received += piece.size();
        into->bytes.append(piece.substr(0, limit - std::min(limit, into->bytes.size())));
        return into->bytes.size() < limit;
    };
}

RobotsDecision decision(const RobotsTxt& robots, Crawler crawler, const Url& url) {
    return robots.allows(crawlerToken(crawler), url.pathAndQuery()) ? RobotsDecision::Allowed
                                                                    : RobotsDecision::Disallowed;
}

} // namespace

PageCheckerSettings pageCheckerSettings(const Config& config) {
    PageCheckerSettings settings;
    settings.perHost = config.checkPerHost;
    settings.maxPages = static_cast<std::size_t>(config.checkMaxPages);
    return settings;
}

// Reads the answers off the event loop, so that parsing one page overlaps with fetching the
// next ones: a thread of its own analyses the pages in the order they were handed over, and the
// main thread takes the records whenever it has pumped the loop, which a finished page wakes.
class PageChecker::Analysis {
public:
    Analysis() : thread_([this] { work(); }) {}
    ~Analysis() {
        {
            const std::lock_guard lock(mutex_);
            stop_ = true;
        }
        wanted_.notify_one();
        thread_.join();
    }
    Analysis(const Analysis&) = delete;
    Analysis& operator=(const Analysis&) = delete;

    void push(PageFetch fetch) {
        ++pending_;
        {
            const std::lock_guard lock(mutex_);
            jobs_.push_back(std::move(fetch));
        }
        wanted_.notify_one();
    }
    // Reports the records that are ready (main thread); a failure of the analysis comes out
    // here. Returns whether pages are still being read.
    bool deliver(const Report& report) {
        std::vector<PageCheck> done;
        std::exception_ptr failure;
        {
            const std::lock_guard lock(mutex_);
            done.swap(done_);
            std::swap(failure, failure_);
            pending_ -= done.size() + failed_;
            failed_ = 0;
        }
        for (const PageCheck& check : done)
            report(check);
        if (failure) std::rethrow_exception(failure);
        return pending_ > 0;
    }
    // Reports what is ready, waiting until fewer than limit pages are left to read.
    void waitBelow(std::size_t limit, const Report& report) {
        while (deliver(report) && pending_ >= limit)
            EventLoop::instance().pump(EventLoop::PumpMode::WaitForEvents);
    }
    // Waits for every page handed over and reports it.
    void drain(const Report& report) { waitBelow(1, report); }
    std::size_t pending() const { return pending_; }

private:
    void work() {
        std::unique_lock lock(mutex_);
        while (true) {
            wanted_.wait(lock, [this] { return stop_ || !jobs_.empty(); });
            if (stop_) return;
            PageFetch fetch = std::move(jobs_.front());
            jobs_.pop_front();
            lock.unlock();
            std::optional<PageCheck> check;
            std::exception_ptr failure;
            try {
                check = analysePage(fetch);
            } catch (...) {
                failure = std::current_exception();
            }
            lock.lock();
            if (check) done_.push_back(std::move(*check));
            if (failure) {
                failure_ = failure;
                ++failed_;
            }
            // Wakes a pump that waits, at the main thread's next turn.
            EventLoop::instance().post([] {});
        }
    }

    std::size_t pending_ = 0; // handed over and not reported yet; main thread only
    std::size_t failed_ = 0;  // analyses that threw since the last delivery
    std::mutex mutex_;
    std::condition_variable wanted_;
    std::deque<PageFetch> jobs_;
    std::vector<PageCheck> done_;
    std::exception_ptr failure_;
    bool stop_ = false;
    std::thread thread_;
};

struct PageChecker::Run {
    Run(std::vector<std::string> pages, const Report& reportTo) : urls(std::move(pages)), report(reportTo) {}
    std::vector<std::string> urls;
    const Report& report;
    Analysis analysis;
    std::deque<std::size_t> queue;
    std::vector<int> retries;
    Clock::time_point resumeAt{};
    std::chrono::seconds paused{0};
};

// A page on its way: the record in the making and its body.
struct PageChecker::Page {
    std::size_t index = 0;
    PageFetch fetch;
    std::shared_ptr<Collected> body = std::make_shared<Collected>();
};

PageChecker::PageChecker(LiveClient& client, PageCheckerSettings settings)
    : send_([&client](std::vector<LiveRequest> requests) {
          return ClientSitemapSource::sendAll(client, std::move(requests));
      }),
      client_(&client), settings_(settings) {}

PageChecker::PageChecker(Send send, PageCheckerSettings settings)
    : send_(std::move(send)), settings_(settings) {}

const RobotsTxt& PageChecker::robotsFor(const std::string& origin) {
    const auto found = robots_.find(origin);
    if (found != robots_.end()) return *found->second.rules;
    auto body = std::make_shared<std::string>();
    std::vector<LiveRequest> one;
    one.push_back(robotsTxtRequest(origin, body));
    const LiveAnswer answer = std::move(send_(std::move(one)).front());
    return *robots_.emplace(origin, readRobotsAnswer(answer, *body)).first->second.rules;
}

std::string PageChecker::robotsProblem(const std::string& origin) const {
    const auto found = robots_.find(origin);
    return found == robots_.end() ? std::string() : found->second.problem;
}

void PageChecker::useRobots(const std::string& origin, RobotsReading robots) {
    robots_[origin] = std::move(robots);
}

std::size_t PageChecker::check(const std::vector<std::string>& urls, const Report& reportTo) {
    const std::size_t count = std::min(urls.size(), settings_.maxPages);
    // A record says what robots.txt noted of its page's origin. robots.txt is fetched as the
    // origin's first page is, so each record asks again; origins are few.
    const Report report = [this, &reportTo](const PageCheck& check) {
        if (std::none_of(robots_.begin(), robots_.end(),
                         [](const auto& r) { return !r.second.note.empty(); }))
            return reportTo(check);
        const std::optional<Url> url = Url::parse(check.url);
        const auto found = url ? robots_.find(url->origin()) : robots_.end();
        if (found == robots_.end() || found->second.note.empty()) return reportTo(check);
        PageCheck withNote = check;
        withNote.robotsNote = found->second.note;
        reportTo(withNote);
    };
    Run run(std::vector<std::string>(urls.begin(), urls.begin() + static_cast<std::ptrdiff_t>(count)),
            report);
    run.retries.assign(run.urls.size(), 0);
    for (std::size_t i = 0; i < run.urls.size(); ++i)
        run.queue.push_back(i);
    try {
        if (client_)
            checkRolling(run);
        else
            checkInRounds(run);
    } catch (...) {
        // A stopped run still keeps what the pages that came back said.
        run.analysis.drain(report);
        throw;
    }
    run.analysis.drain(report);
    return count;
}

void PageChecker::checkInRounds(Run& run) {
    const auto perRound = static_cast<std::size_t>(std::max(settings_.perHost, 1));
    while (!run.queue.empty()) {
        waitForResume(run);
        std::vector<std::size_t> round;
        while (round.size() < perRound && !run.queue.empty()) {
            round.push_back(run.queue.front());
            run.queue.pop_front();
        }
        sendRound(run, std::move(round));
        run.analysis.waitBelow(MaxWaiting, run.report);
    }
}

// With a client of its own the checker keeps perHost pages in flight: a new page starts as
// soon as one ends, so that reading one answer overlaps with waiting for the others.
void PageChecker::checkRolling(Run& run) {
    EventLoop& loop = EventLoop::instance();
    int running = 0;
    while (true) {
        // Each page is reported as soon as it was read, not when the last one is.
        const bool reading = run.analysis.deliver(run.report);
        if (run.queue.empty() && running == 0 && !reading) break;
        while (running < settings_.perHost && !run.queue.empty() && Clock::now() >= run.resumeAt &&
               run.analysis.pending() < MaxWaiting) {
            auto page = std::make_shared<Page>();
            page->index = run.queue.front();
            run.queue.pop_front();
            std::optional<LiveRequest> request = prepare(run, *page);
            if (!request) continue;
            ++running;
            client_->start(std::move(*request), [this, &run, &running, page](LiveAnswer answer) {
                --running;
                answered(run, *page, std::move(answer));
            });
        }
        // Nothing in flight during a pause: a timer ends the wait. (A page that was read wakes
        // the loop itself.)
        EventLoop::Handle timer = 0;
        if (running == 0 && !run.queue.empty() && Clock::now() < run.resumeAt) {
            const auto wait = std::chrono::ceil<std::chrono::milliseconds>(run.resumeAt - Clock::now());
            timer = loop.startTimer(std::max(wait, std::chrono::milliseconds{1}),
                                    EventLoop::TimerMode::SingleShot, [] {});
        }
        loop.pump(EventLoop::PumpMode::WaitForEvents);
        if (timer != 0) loop.killTimer(timer);
    }
}

void PageChecker::waitForResume(const Run& run) {
    EventLoop& loop = EventLoop::instance();
    while (Clock::now() < run.resumeAt) {
        // The wait goes in steps of at most a second, each ended by asking the sender for
        // nothing: a run's sender then waits while the run is paused and lets Stop through.
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(run.resumeAt - Clock::now());
        const auto step = std::clamp(left, std::chrono::milliseconds{1}, std::chrono::milliseconds{1000});
        auto done = std::make_shared<bool>(false);
        const EventLoop::Handle timer =
            loop.startTimer(step, EventLoop::TimerMode::SingleShot, [done] { *done = true; });
        while (!*done)
            loop.pump(EventLoop::PumpMode::WaitForEvents);
        loop.killTimer(timer);
        send_({});
    }
}

std::optional<LiveRequest> PageChecker::prepare(Run& run, Page& page) {
    page.fetch.url = run.urls[page.index];
    page.fetch.time = formatUtc(unixNow());
    const std::optional<Url> url = Url::parse(page.fetch.url);
    if (!url) {
        page.fetch.error = "no http or https URL";
        run.report(analysePage(page.fetch));
        return std::nullopt;
    }
    const RobotsTxt& robots = robotsFor(url->origin());
    if (std::string problem = robotsProblem(url->origin()); !problem.empty()) {
        // Whether a crawler may fetch the page cannot be known: the page is not fetched either.
        page.fetch.error = std::move(problem);
        run.report(analysePage(page.fetch));
        return std::nullopt;
    }
    page.fetch.googlebot = decision(robots, Crawler::Googlebot, *url);
    page.fetch.bingbot = decision(robots, Crawler::Bingbot, *url);
    LiveRequest request;
    request.url = page.fetch.url;
    request.redirects = Redirects::AnyHost;
    request.sink = collectInto(page.body, PageCheck::MaxBodyBytes);
    return request;
}

void PageChecker::answered(Run& run, Page& page, LiveAnswer answer) {
    if (holdBack(run, page.index, answer)) return;
    // The page's own time: its hops' times together.
    for (const LiveHop& hop : answer.hops)
        page.fetch.milliseconds += hop.milliseconds;
    finishPage(run, page.fetch, std::move(answer), *page.body);
}

void PageChecker::sendRound(Run& run, std::vector<std::size_t> indices) {
    std::vector<Page> pages;
    std::vector<LiveRequest> requests;
    for (std::size_t index : indices) {
        Page page;
        page.index = index;
        std::optional<LiveRequest> request = prepare(run, page);
        if (!request) continue;
        requests.push_back(std::move(*request));
        pages.push_back(std::move(page));
    }
    if (requests.empty()) return;
    std::vector<LiveAnswer> answers = send_(std::move(requests));
    // A page the site asked to wait for goes back to the front of the queue, in its order.
    for (std::size_t i = pages.size(); i-- > 0;)
        if (holdBack(run, pages[i].index, answers[i])) pages[i].index = NoPage;
    for (std::size_t i = 0; i < pages.size(); ++i)
        if (pages[i].index != NoPage) answered(run, pages[i], std::move(answers[i]));
}

void PageChecker::finishPage(Run& run, PageFetch& fetch, LiveAnswer answer, Collected& body) {
    for (const LiveHop& hop : answer.hops)
        fetch.hops.push_back({hop.url, hop.status});
    fetch.finalUrl = answer.finalUrl;
    fetch.headers = std::move(answer.headers);
    fetch.error = std::move(answer.error);
    // A 2xx body came through the sink; another one is in the answer.
    if (body.bytes.empty() && body.received == 0) {
        body.received = answer.body.size();
        body.bytes = std::move(answer.body);
        if (body.bytes.size() > PageCheck::MaxBodyBytes) body.bytes.resize(PageCheck::MaxBodyBytes);
    }
    fetch.body = std::move(body.bytes);
    fetch.bytes = body.received;
    run.analysis.push(std::move(fetch));
}

// A 429 or 503 asks the crawler to come back later: the page goes back to the front of the
// queue and no page of the run starts before the time it names.
bool PageChecker::holdBack(Run& run, std::size_t index, const LiveAnswer& answer) {
    if (answer.status != 429 && answer.status != 503) return false;
    const auto budget = settings_.maxPause - run.paused;
    if (run.retries[index] >= MaxRetries || budget <= std::chrono::seconds{0}) return false;
    const std::int64_t now = unixNow();
    const std::optional<std::int64_t> until = parseRetryAfter(answer.header("Retry-After"), now);
    const std::chrono::seconds wanted = until ? std::chrono::seconds{*until - now} : DefaultPause;
    const std::chrono::seconds wait = std::min(wanted, budget);
    run.paused += wait;
    run.resumeAt = std::max(run.resumeAt, Clock::now() + wait);
    ++run.retries[index];
    run.queue.push_front(index);
    return true;
}
