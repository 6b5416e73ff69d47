#include "core/run/RequestRecord.h"

#include "platform/Json.h"
#include "platform/ReadFile.h"

#include <nlohmann/json.hpp>

#include <array>
#include <cstdio>
#include <ctime>
#include <limits>

namespace {

constexpr std::array<std::string_view, 4> OutcomeNames{"answered", "failed", "skipped", "stopped"};

std::string textOf(const nlohmann::json& object, const char* key) {
    const auto found = object.find(key);
    return found != object.end() && found->is_string() ? found->get<std::string>() : std::string();
}

// A whole number of the object; records write no fractions, and a number past the range is none.
std::optional<std::int64_t> wholeNumber(const nlohmann::json& object, const char* key) {
    const auto found = object.find(key);
    if (found == object.end()) return std::nullopt;
    if (found->is_number_unsigned()) {
        const auto n = found->get<std::uint64_t>();
        if (n > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) return std::nullopt;
        return static_cast<std::int64_t>(n);
    }
    if (found->is_number_integer()) return found->get<std::int64_t>();
    return std::nullopt;
}

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

std::optional<RequestRecord> parseRecordLine(std::string_view line) {
    // Not a record is an answer here, not an error: no exceptions.
    const nlohmann::json o = nlohmann::json::parse(line, nullptr, false);
    if (o.is_discarded() || !o.is_object()) return std::nullopt;
    const auto outcome = o.find("outcome");
    const auto named =
        outcome != o.end() && outcome->is_string() ? outcomeNamed(outcome->get<std::string>()) : std::nullopt;
    const auto engine = o.find("engine");
    if (!named || engine == o.end() || !engine->is_string()) return std::nullopt;
    RequestRecord r;
    r.time = textOf(o, "time");
    r.profile = textOf(o, "profile");
    r.engine = engine->get<std::string>();
    r.method = textOf(o, "method");
    r.url = textOf(o, "url");
    r.outcome = *named;
    if (const auto status = wholeNumber(o, "status");
        status && *status >= std::numeric_limits<int>::min() && *status <= std::numeric_limits<int>::max())
        r.status = static_cast<int>(*status);
    (r.outcome == RequestRecord::Outcome::Answered ? r.reason : r.message) = textOf(o, "reason");
    r.bytes = wholeNumber(o, "bytes").value_or(0);
    r.ms = wholeNumber(o, "ms").value_or(0);
    return r;
}

RecordLines parseRecordLines(std::string_view text) {
    RecordLines read;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        const std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (line.find_first_not_of(" \t\r") == std::string_view::npos) continue;
        if (auto record = parseRecordLine(line))
            read.records.push_back(std::move(*record));
        else
            ++read.unreadable;
    }
    return read;
}

std::optional<RecordLines> readRecordLines(const std::string& path) {
    const std::optional<std::string> content = readWholeFile(path);
    if (!content) return std::nullopt;
    return parseRecordLines(*content);
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
