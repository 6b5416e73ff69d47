#pragma once

#include "core/run/RequestRecord.h"
#include "http/live/LiveClient.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

class RunResults;

// Records one request of a run: started just before the request is sent, it times it and,
// ended with exactly one of answered, failed or stopped, hands the record to the host. The
// catalogue's requests and every other request of a run go through it, so that they all reach
// the request log the same way. A request that is not sent at all is recorded by skipped alone.
class RequestRecorder {
public:
    // What is known before anything is sent.
    struct Request {
        std::string profile; // site title
        std::string engine;  // display name
        std::string method;  // as sent: "GET", "POST", "PUT"
        std::string url;     // the URL, or the target of a request with a body
    };

    RequestRecorder(RunResults& host, Request request);
    RequestRecorder(const RequestRecorder&) = delete;
    RequestRecorder& operator=(const RequestRecorder&) = delete;

    // A response arrived; status is none when it had no status line.
    void answered(std::optional<int> status, std::string reason, std::int64_t bytes);
    void failed(std::string message, std::int64_t bytes);
    void stopped(std::int64_t bytes);

    // A request that is not sent because its target failed before.
    static void skipped(RunResults& host, Request request);

    // A live request, which the live client timed: one record per hop (each redirect its own),
    // from the time it started. With Ending::Stopped, a hop that got no answer, or an answer
    // that the request still failed after, was ended by Stop.
    enum class Ending { Ran, Stopped };
    static void recordHops(RunResults& host, Request request, const LiveAnswer& answer,
                           std::chrono::system_clock::time_point started, Ending ending);

private:
    void finish(RequestRecord::Outcome outcome, std::int64_t bytes);

    RunResults& host_;
    RequestRecord record_;
    std::chrono::steady_clock::time_point started_;
    bool finished_ = false;
};
