#include "core/run/RequestRecorder.h"

#include "core/run/RunHost.h"

#include <utility>

namespace {

RequestRecord startRecord(RequestRecorder::Request&& request) {
    RequestRecord record;
    record.time = recordTime(std::chrono::system_clock::now());
    record.profile = std::move(request.profile);
    record.engine = std::move(request.engine);
    record.method = std::move(request.method);
    record.url = std::move(request.url);
    return record;
}

} // namespace

RequestRecorder::RequestRecorder(RunResults& host, Request request)
    : host_(host), record_(startRecord(std::move(request))), started_(std::chrono::steady_clock::now()) {}

void RequestRecorder::answered(std::optional<int> status, std::string reason, std::int64_t bytes) {
    record_.status = status;
    record_.reason = std::move(reason);
    finish(RequestRecord::Outcome::Answered, bytes);
}

void RequestRecorder::failed(std::string message, std::int64_t bytes) {
    record_.message = std::move(message);
    finish(RequestRecord::Outcome::Failed, bytes);
}

void RequestRecorder::stopped(std::int64_t bytes) {
    finish(RequestRecord::Outcome::Stopped, bytes);
}

void RequestRecorder::skipped(RunResults& host, Request request) {
    RequestRecord record = startRecord(std::move(request));
    record.outcome = RequestRecord::Outcome::Skipped;
    host.record(record);
}

void RequestRecorder::finish(RequestRecord::Outcome outcome, std::int64_t bytes) {
    // One request is one record, however often a caller ends it.
    if (finished_) return;
    finished_ = true;
    record_.outcome = outcome;
    record_.bytes = bytes;
    record_.ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started_)
            .count();
    host_.record(record_);
}

void RequestRecorder::recordHops(RunResults& host, Request request, const LiveAnswer& answer,
                                 std::chrono::system_clock::time_point started, Ending ending) {
    std::vector<LiveHop> hops = answer.hops;
    // A request that ended before it reached a server still gets its record.
    if (hops.empty()) hops.push_back({request.url, 0, {}, 0, 0});
    const RequestRecord::Outcome ended =
        ending == Ending::Stopped ? RequestRecord::Outcome::Stopped : RequestRecord::Outcome::Failed;
    auto at = started;
    for (std::size_t h = 0; h < hops.size(); ++h) {
        const LiveHop& hop = hops[h];
        RequestRecord record = startRecord(Request(request));
        record.time = recordTime(at);
        // A 303 turns the next hop into a GET; the other redirects keep the method.
        if (h > 0 && hops[h - 1].status == 303) record.method = "GET";
        record.url = hop.url;
        record.bytes = static_cast<std::int64_t>(hop.bytes);
        record.ms = hop.milliseconds;
        const bool last = h + 1 == hops.size();
        if (hop.status > 0) {
            record.status = hop.status;
            record.reason = hop.reason;
        } else {
            record.outcome = last ? ended : RequestRecord::Outcome::Failed;
            if (last && record.outcome == RequestRecord::Outcome::Failed) record.message = answer.error;
        }
        // A hop's answer that the request still failed after (a bound, a deadline) ends in failure.
        if (last && hop.status > 0 && !answer.error.empty()) {
            record.outcome = ended;
            record.message = answer.error;
        }
        host.record(record);
        at += std::chrono::milliseconds(hop.milliseconds);
    }
}
