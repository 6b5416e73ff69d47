#include "core/RequestRecord.h"

#include "platform/Json.h"

#include <array>
#include <cstdio>
#include <ctime>

namespace {

constexpr std::array<std::string_view, 4> OutcomeNames{"answered", "failed", "skipped", "stopped"};

} // namespace

std::string_view outcomeName(RequestRecord::Outcome outcome) {
    return OutcomeNames.at(static_cast<std::size_t>(outcome));
}

std::optional<RequestRecord::Outcome> outcomeNamed(std::string_view name) {
    for (std::size_t i = 0; i < OutcomeNames.size(); ++i)
        if (OutcomeNames[i] == name) return static_cast<RequestRecord::Outcome>(i);
    return std::nullopt;
}

std::string recordTime(std::chrono::system_clock::time_point when) {
    using namespace std::chrono;
    const auto sinceEpoch = duration_cast<milliseconds>(when.time_since_epoch());
    const std::time_t seconds = static_cast<std::time_t>(floor<std::chrono::seconds>(sinceEpoch).count());
    const auto millis = sinceEpoch.count() - static_cast<std::int64_t>(seconds) * 1000;
    std::tm utc{};
    ::gmtime_r(&seconds, &utc);
    char text[96];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", utc.tm_year + 1900,
                  utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec, static_cast<int>(millis));
    return text;
}

std::string recordLine(const RequestRecord& r) {
    const bool answered = r.outcome == RequestRecord::Outcome::Answered;
    const bool failed = r.outcome == RequestRecord::Outcome::Failed;
    std::string line = "{\"time\": " + jsonString(r.time);
    line += ", \"profile\": " + jsonString(r.profile);
    line += ", \"engine\": " + jsonString(r.engine);
    line += ", \"method\": " + jsonString(r.method);
    line += ", \"url\": " + jsonString(r.url);
    line += ", \"outcome\": " + jsonString(outcomeName(r.outcome));
    line += ", \"status\": " + (r.status ? std::to_string(*r.status) : std::string("null"));
    line += ", \"reason\": " + jsonString(answered ? r.reason : failed ? r.message : std::string());
    line += ", \"bytes\": " + std::to_string(r.bytes);
    line += ", \"ms\": " + std::to_string(r.ms) + "}\n";
    return line;
}

std::string recordCounts(const std::vector<RequestRecord>& records) {
    std::array<int, OutcomeNames.size()> counts{};
    int success = 0;
    for (const RequestRecord& r : records) {
        ++counts[static_cast<std::size_t>(r.outcome)];
        if (r.outcome == RequestRecord::Outcome::Answered && r.status && *r.status >= 200 && *r.status <= 299)
            ++success;
    }
    std::string text = std::to_string(counts[0]) + " answered (" + std::to_string(success) + " with 2xx), " +
                       std::to_string(counts[1]) + " failed, " + std::to_string(counts[2]) + " skipped";
    if (counts[3] > 0) text += ", " + std::to_string(counts[3]) + " stopped";
    return text;
}
