#include "http/live/LiveClient.h"

#include "http/live/LiveRedirect.h"
#include "http/live/LiveText.h"
#include "http/live/LiveTransfer.h"
#include "platform/EventLoop.h"
#include "platform/Text.h"

#include <curl/curl.h>

#include <algorithm>
#include <deque>
#include <map>
#include <mutex>
#include <unordered_map>

namespace {

bool initCurlOnce() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
    return true;
}

} // namespace

// The client drives curl's multi handle from the event loop: curl says which sockets it wants
// watched and when it wants a timeout (socket and timer callbacks); readiness and the timer come
// back as curl_multi_socket_action, and finished hops are collected after each call. Transfers
// wait in a queue per host until the limits let them run.
struct LiveClient::Impl {
    struct SocketWatch {
        EventLoop::Handle read = 0;
        EventLoop::Handle write = 0;
    };

    Settings settings;
    EventLoop& loop = EventLoop::instance();
    bool curlReady = initCurlOnce(); // before anything of curl's is made
    ExtraCertificates extra;
    CURLM* multi = nullptr;
    // What the transfers share beyond the multi handle's connections: TLS sessions, so that a
    // new connection to a host resumes the last one's session instead of a full handshake.
    CURLSH* share = nullptr;
    std::map<Id, std::unique_ptr<LiveTransfer>> transfers;
    std::map<std::string, std::deque<Id>> waiting; // by host
    std::map<std::string, int> activeByHost;
    int active = 0;
    std::uint64_t launched = 0; // hops handed to curl so far
    std::vector<Id> failing;    // refused before they ran; their done comes from the loop
    std::unordered_map<curl_socket_t, SocketWatch> sockets;
    EventLoop::Handle timer = 0;
    std::chrono::steady_clock::time_point timerDue;
    // Above zero while curl runs: callbacks of curl must not add or remove handles then.
    int insideCurl = 0;
    bool deferredPosted = false;
    std::shared_ptr<bool> alive = std::make_shared<bool>(true);
    Id nextId = 1;

    explicit Impl(Settings s) : settings(std::move(s)), extra(settings.caFile) {
        // A limit below one would leave every transfer waiting for ever.
        settings.perHost = std::max(settings.perHost, 1);
        settings.connections = std::max(settings.connections, 1);
        multi = curl_multi_init();
        curl_multi_setopt(multi, CURLMOPT_SOCKETFUNCTION, onSocket);
        curl_multi_setopt(multi, CURLMOPT_SOCKETDATA, this);
        curl_multi_setopt(multi, CURLMOPT_TIMERFUNCTION, onTimer);
        curl_multi_setopt(multi, CURLMOPT_TIMERDATA, this);
        curl_multi_setopt(multi, CURLMOPT_PIPELINING, CURLPIPE_MULTIPLEX);
        share = curl_share_init();
        curl_share_setopt(share, CURLSHOPT_SHARE, CURL_LOCK_DATA_SSL_SESSION);
    }

    ~Impl() {
        for (auto& [id, t] : transfers)
            if (t->easy) curl_multi_remove_handle(multi, t->easy);
        transfers.clear();
        curl_multi_cleanup(multi);
        curl_share_cleanup(share);
        for (auto& [fd, watch] : sockets) {
            if (watch.read) loop.unwatchDescriptor(watch.read);
            if (watch.write) loop.unwatchDescriptor(watch.write);
        }
        if (timer) loop.killTimer(timer);
    }

    static int onSocket(CURL*, curl_socket_t fd, int what, void* self, void*) {
        static_cast<Impl*>(self)->watch(fd, what);
        return 0;
    }

    static int onTimer(CURLM*, long ms, void* self) {
        static_cast<Impl*>(self)->arm(ms);
        return 0;
    }

    // Makes the timer fire no later than ms from now. A timer that is due earlier stays: firing
    // early costs one look of curl's, while stopping and starting a timer for every change of
    // curl's timeout costs far more when thousands of transfers start and end. After every
    // action curl is asked for its timeout again (act), so an early firing loses nothing.
    void arm(long ms) {
        if (ms < 0) return;
        const auto due = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        if (timer && timerDue <= due) return;
        if (timer) loop.killTimer(timer);
        timerDue = due;
        timer = loop.startTimer(std::chrono::milliseconds(ms), EventLoop::TimerMode::SingleShot, [this] {
            timer = 0;
            act(CURL_SOCKET_TIMEOUT, 0);
        });
    }

    void watchOne(EventLoop::Handle& handle, curl_socket_t fd, EventLoop::Readiness readiness, bool wanted) {
        if (wanted && !handle) {
            const int event = readiness == EventLoop::Readiness::Read ? CURL_CSELECT_IN : CURL_CSELECT_OUT;
            handle = loop.watchDescriptor(fd, readiness, [this, fd, event] { act(fd, event); });
        } else if (handle) {
            loop.setWatch(handle, wanted ? EventLoop::Watch::On : EventLoop::Watch::Off);
        }
    }

    void watch(curl_socket_t fd, int what) {
        auto& w = sockets[fd];
        if (what == CURL_POLL_REMOVE) {
            if (w.read) loop.unwatchDescriptor(w.read);
            if (w.write) loop.unwatchDescriptor(w.write);
            sockets.erase(fd);
            return;
        }
        watchOne(w.read, fd, EventLoop::Readiness::Read, what == CURL_POLL_IN || what == CURL_POLL_INOUT);
        watchOne(w.write, fd, EventLoop::Readiness::Write, what == CURL_POLL_OUT || what == CURL_POLL_INOUT);
    }

    void runCurl(curl_socket_t fd, int event) {
        int running = 0;
        ++insideCurl;
        curl_multi_socket_action(multi, fd, event, &running);
        --insideCurl;
    }

    void act(curl_socket_t fd, int event) {
        runCurl(fd, event);
        // Transfers that the finished ones made room for start in this same turn of the loop
        // rather than one timer later; a few rounds at most, so that the loop stays responsive.
        for (int round = 0;; ++round) {
            const auto before = launched;
            collectFinished();
            if (launched == before || round == 3) break;
            runCurl(CURL_SOCKET_TIMEOUT, 0);
        }
        long ms = -1;
        curl_multi_timeout(multi, &ms);
        arm(ms);
    }

    void collectFinished() {
        // One message at a time: a done callback may cancel another transfer, and curl then
        // drops that transfer's message instead of leaving a dangling one.
        int left = 0;
        while (CURLMsg* message = curl_multi_info_read(multi, &left)) {
            if (message->msg != CURLMSG_DONE) continue;
            LiveTransfer* t = nullptr;
            curl_easy_getinfo(message->easy_handle, CURLINFO_PRIVATE, reinterpret_cast<char**>(&t));
            const CURLcode code = message->data.result;
            curl_multi_remove_handle(multi, t->easy);
            release(*t);
            hopEnded(*t, code);
        }
        launchWaiting();
    }

    void release(LiveTransfer& t) {
        t.inMulti = false;
        --active;
        --activeByHost[t.url.host()];
    }

    void hopEnded(LiveTransfer& t, CURLcode code) {
        t.recordHop();
        if (t.cancelRequested) return finish(t.id, "stopped");
        if (code != CURLE_OK && !(code == CURLE_WRITE_ERROR && t.sinkStopped))
            return finish(t.id, t.failureText(code, settings));
        const std::string location = t.answer.header("Location");
        RedirectStep step =
            redirectStep(t.url, t.answer.status, location, t.request.redirects, t.redirectsFollowed);
        if (!step.error.empty()) return finish(t.id, step.error);
        if (!step.next) return finish(t.id, {});
        adaptForRedirect(t.request, t.answer.status, t.url, *step.next);
        ++t.redirectsFollowed;
        t.url = std::move(*step.next);
        t.answer.finalUrl = t.url.text();
        // The next hop waits in front of its host's queue, so that a redirect to a busy host
        // keeps to that host's limit too.
        waiting[t.url.host()].push_front(t.id);
    }

    // Ends a transfer and calls its done with the answer (or the error).
    void finish(Id id, std::string error) {
        auto found = transfers.find(id);
        if (found == transfers.end()) return;
        std::unique_ptr<LiveTransfer> t = std::move(found->second);
        transfers.erase(found);
        LiveAnswer answer = std::move(t->answer);
        if (!error.empty()) {
            // A failure is no answer, whatever the hop that failed had received.
            answer.error = std::move(error);
            answer.status = 0;
            answer.reason.clear();
            answer.headers.clear();
            answer.body.clear();
        }
        Done done = std::move(t->done);
        t.reset();
        try {
            if (done) done(std::move(answer));
        } catch (...) {
            EventLoop::handleException(std::current_exception());
        }
    }

    void launchWaiting() {
        if (insideCurl > 0) return scheduleDeferred();
        for (auto& [host, queue] : waiting) {
            int& busy = activeByHost[host];
            while (!queue.empty() && busy < settings.perHost && active < settings.connections) {
                const Id id = queue.front();
                queue.pop_front();
                auto found = transfers.find(id);
                if (found == transfers.end()) continue;
                LiveTransfer& t = *found->second;
                if (!t.prepareHop(settings, extra, share) ||
                    curl_multi_add_handle(multi, t.easy) != CURLM_OK) {
                    t.answer.error = "the transfer could not be started";
                    failing.push_back(id);
                    scheduleDeferred();
                    continue;
                }
                t.inMulti = true;
                ++launched;
                ++busy;
                ++active;
            }
        }
        std::erase_if(waiting, [](const auto& entry) { return entry.second.empty(); });
    }

    void scheduleDeferred() {
        if (deferredPosted) return;
        deferredPosted = true;
        loop.post([weak = std::weak_ptr<bool>(alive), this] {
            if (weak.expired()) return;
            deferredPosted = false;
            runDeferred();
        });
    }

    void runDeferred() {
        std::vector<Id> cancelled;
        for (auto& [id, t] : transfers)
            if (t->cancelRequested) cancelled.push_back(id);
        for (Id id : cancelled)
            cancelNow(id);
        const std::vector<Id> refused = std::exchange(failing, {});
        for (Id id : refused)
            if (auto found = transfers.find(id); found != transfers.end())
                finish(id, found->second->answer.error);
        launchWaiting();
    }

    Id start(LiveRequest request, Done done);
    void cancel(Id id);
    void cancelNow(Id id);
};

LiveClient::Id LiveClient::Impl::start(LiveRequest request, Done done) {
    auto t = std::make_unique<LiveTransfer>();
    const Id id = t->id = nextId++;
    t->deadline = request.deadline.count() > 0 ? request.deadline : settings.deadline;
    t->maxBodyBytes = request.maxBodyBytes > 0 ? request.maxBodyBytes : settings.maxBodyBytes;
    t->done = std::move(done);
    auto url = Url::parse(request.url);
    std::string fault = requestFault(request);
    if (!url)
        fault = "not an http or https URL: \"" + printable(request.url) + "\"";
    else if (fault.empty() && url->scheme() == "https")
        fault = extra.error();
    t->request = std::move(request);
    if (url) {
        t->url = *url;
        t->answer.finalUrl = url->text();
    }
    const std::string host = t->url.host();
    transfers.emplace(id, std::move(t));
    if (!fault.empty()) {
        // The caller learns of it from the loop, as of every other outcome, never before
        // start has returned the id.
        transfers[id]->answer.error = std::move(fault);
        failing.push_back(id);
        scheduleDeferred();
        return id;
    }
    waiting[host].push_back(id);
    launchWaiting();
    return id;
}

void LiveClient::Impl::cancel(Id id) {
    auto found = transfers.find(id);
    if (found == transfers.end()) return;
    if (insideCurl > 0) {
        // curl is inside one of its callbacks (a sink that stops a transfer): the handle cannot
        // be removed now, so the transfer ends as soon as curl has returned.
        found->second->cancelRequested = true;
        scheduleDeferred();
        return;
    }
    cancelNow(id);
}

void LiveClient::Impl::cancelNow(Id id) {
    auto found = transfers.find(id);
    if (found == transfers.end()) return;
    LiveTransfer& t = *found->second;
    const std::string host = t.url.host();
    if (auto queue = waiting.find(host); queue != waiting.end()) std::erase(queue->second, id);
    std::erase(failing, id);
    if (t.inMulti) {
        curl_multi_remove_handle(multi, t.easy);
        t.recordHop(); // the request log has a record of the hop that was cut short too
        release(t);
        launchWaiting();
    }
    finish(id, "stopped");
}

LiveClient::LiveClient(Settings settings) : impl_(std::make_unique<Impl>(std::move(settings))) {}

LiveClient::~LiveClient() = default;

LiveClient::Id LiveClient::start(LiveRequest request, Done done) {
    return impl_->start(std::move(request), std::move(done));
}

void LiveClient::cancel(Id id) {
    impl_->cancel(id);
}

void LiveClient::cancelAll() {
    std::vector<Id> ids;
    for (const auto& entry : impl_->transfers)
        ids.push_back(entry.first);
    for (Id id : ids)
        impl_->cancel(id);
}

std::size_t LiveClient::running() const {
    return impl_->transfers.size();
}

LiveAnswer LiveClient::perform(LiveRequest request) {
    std::optional<LiveAnswer> result;
    start(std::move(request), [&result](LiveAnswer answer) { result = std::move(answer); });
    while (!result)
        impl_->loop.pump(EventLoop::PumpMode::WaitForEvents);
    return std::move(*result);
}

void LiveClient::waitAll() {
    while (running() > 0)
        impl_->loop.pump(EventLoop::PumpMode::WaitForEvents);
}
