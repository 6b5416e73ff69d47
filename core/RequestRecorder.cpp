#include "core/RequestRecorder.h"

#include "core/RunHost.h"

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
