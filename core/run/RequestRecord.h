#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// What happened to one request of a run: the record the request log shows, keeps and prints.
struct RequestRecord {
    enum class Outcome {
        // The server sent a response (whatever its status).
        Answered,
        // No complete response: no connection, a time-out, a broken transfer, a bound exceeded.
        Failed,
        // Not sent, because the same target failed before.
        Skipped,
        // Ended by the Stop button (or Ctrl+C) while it was on its way.
        Stopped,
    };

    // When the request started, as ISO 8601 UTC with milliseconds: 2026-12-07T11:30:00.250Z.
    std::string time;
    // The profile's site title.
    std::string profile;
    // The display name of the engine or service.
    std::string engine;
    // The HTTP method as sent: "GET", "POST", "PUT".
    std::string method;
    // The request URL, or the target of a request with a body.
    std::string url;
    Outcome outcome = Outcome::Answered;
    // The status code of the answer; none without an answer or when it had no status line.
    std::optional<int> status;
    // The reason phrase of the answer's status line.
    std::string reason;
    // The failure's message.
    std::string message;
    // Body bytes received.
    std::int64_t bytes = 0;
    // Milliseconds from the start of the request to its end.
    std::int64_t ms = 0;
};

// "answered", "failed", "skipped", "stopped".
std::string_view outcomeName(RequestRecord::Outcome outcome);
// The outcome of that name, or nothing.
std::optional<RequestRecord::Outcome> outcomeNamed(std::string_view name);

// The time as the records write it.
std::string recordTime(std::chrono::system_clock::time_point when);

// The record as one JSON object on one line, with its line break. The keys, always all and in
// this order: time, profile, engine, method, url, outcome, status (a number, or null), reason,
// bytes, ms. "reason" holds the reason phrase of an answer, the message of a failure, and is
// empty for a skipped or stopped request. Every line is valid JSON whatever bytes the texts hold.
std::string recordLine(const RequestRecord& record);

// The record that one line holds, as recordLine writes it (with or without its line break);
// nothing when the line holds no record: not a JSON object, or without a known outcome or an
// engine. A key that is missing or of another type reads as empty; "reason" becomes the reason
// of an answer and the message of a failure. A line that recordLine wrote gives back the same
// line.
std::optional<RequestRecord> parseRecordLine(std::string_view line);

// The records of a run's file, in their order.
struct RecordLines {
    std::vector<RequestRecord> records;
    // The lines that are not blank and hold no record.
    int unreadable = 0;
};
RecordLines parseRecordLines(std::string_view text);
// The records of a kept run's file; nothing when the file cannot be read.
std::optional<RecordLines> readRecordLines(const std::string& path);

// The counts at the top of the request log: "29 answered (27 with 2xx), 2 failed, 1 skipped",
// followed by ", 1 stopped" when a request was stopped.
std::string recordCounts(const std::vector<RequestRecord>& records);
