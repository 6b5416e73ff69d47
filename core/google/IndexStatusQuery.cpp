#include "core/google/IndexStatusQuery.h"

#include "core/google/ApiError.h"
#include "core/google/ApiJson.h"
#include "core/google/GoogleAuth.h"
#include "core/google/HeldSecrets.h"
#include "http/RetryAfter.h"
#include "platform/Text.h"
#include "platform/Time.h"

#include <algorithm>
#include <array>
#include <initializer_list>
#include <tuple>

namespace {

using nlohmann::json;

constexpr std::int64_t LongestPause = 24 * 3600;
// A per-minute limit's pause when the answer names no delay, and the longest the run waits for one.
constexpr std::int64_t MinutePause = 60;
constexpr std::int64_t LongestWait = 300;

// The values of each enumerated field that this version knows. Google documents them; a value
// outside these is kept all the same, and named so that the log can say so.
struct EnumeratedField {
    const char* name;
    std::initializer_list<std::string_view> values;
};
// size-check: data table
const std::array<EnumeratedField, 5> EnumeratedFields{{
    {"verdict", {"VERDICT_UNSPECIFIED", "PASS", "PARTIAL", "FAIL", "NEUTRAL"}},
    {"indexingState",
     {"INDEXING_STATE_UNSPECIFIED", "INDEXING_ALLOWED", "BLOCKED_BY_META_TAG", "BLOCKED_BY_HTTP_HEADER",
      "BLOCKED_BY_ROBOTS_TXT"}},
    {"robotsTxtState", {"ROBOTS_TXT_STATE_UNSPECIFIED", "ALLOWED", "DISALLOWED"}},
    {"pageFetchState",
     {"PAGE_FETCH_STATE_UNSPECIFIED", "SUCCESSFUL", "SOFT_404", "BLOCKED_ROBOTS_TXT", "NOT_FOUND",
      "ACCESS_DENIED", "SERVER_ERROR", "REDIRECT_ERROR", "ACCESS_FORBIDDEN", "BLOCKED_4XX",
      "INTERNAL_CRAWL_ERROR", "INVALID_URL"}},
    {"crawledAs", {"CRAWLING_USER_AGENT_UNSPECIFIED", "DESKTOP", "MOBILE"}},
}};

bool familiar(const EnumeratedField& field, std::string_view value) {
    return value.empty() || std::find(field.values.begin(), field.values.end(), value) != field.values.end();
}

// The fields of indexStatusResult that are kept, beside where each goes.
std::array<std::pair<const char*, std::string*>, 9> keptFields(InspectionResult& r) {
    return {{{"verdict", &r.verdict},
             {"coverageState", &r.coverageState},
             {"indexingState", &r.indexingState},
             {"robotsTxtState", &r.robotsTxtState},
             {"pageFetchState", &r.pageFetchState},
             {"lastCrawlTime", &r.lastCrawlTime},
             {"googleCanonical", &r.googleCanonical},
             {"userCanonical", &r.userCanonical},
             {"crawledAs", &r.crawledAs}}};
}

// The result of a 200 answer; ApiJsonError for one that holds none.
InspectionResult parseResult(std::string_view body) {
    const json doc = parseApiJson(body, MaxInspectionAnswerBytes);
    if (!doc.is_object()) throw ApiJsonError("the answer is not a JSON object");
    const json* inspection = objectMember(doc, "inspectionResult");
    if (!inspection) throw ApiJsonError("the answer holds no \"inspectionResult\"");
    const json* index = objectMember(*inspection, "indexStatusResult");
    if (!index) throw ApiJsonError("the answer holds no \"indexStatusResult\"");
    InspectionResult result;
    for (const auto& [name, target] : keptFields(result))
        *target = textMember(*index, name);
    result.inspectionResultLink = textMember(*inspection, "inspectionResultLink");
    const auto fields = keptFields(result);
    for (const EnumeratedField& field : EnumeratedFields) {
        const auto kept = std::find_if(fields.begin(), fields.end(), [&](const auto& f) {
            return std::string_view(f.first) == field.name;
        });
        if (!familiar(field, *kept->second)) result.unfamiliar.push_back(field.name);
    }
    return result;
}

std::string statusLine(int status, std::string_view reason) {
    if (status == 0) return "an answer without a status";
    return std::string(trimmed(std::to_string(status) + " " + withoutSecrets(reason)));
}

// When a property refused with 429 may be inspected again: the Retry-After time, else the end of
// Google's quota day; never before now, never more than a day ahead.
std::int64_t pauseEnd(std::string_view retryAfter, std::int64_t now, std::int64_t quotaDayEnd) {
    const std::int64_t wanted = parseRetryAfter(retryAfter, now).value_or(quotaDayEnd);
    return std::clamp(wanted, now, now + LongestPause);
}

std::pair<InspectionOutcome, std::string> refusal(int status, std::string_view property) {
    switch (status) {
    case 400:
        return {InspectionOutcome::UrlRefused, "the request was not understood"};
    case 401:
        return {InspectionOutcome::RenewToken, "the token is bad or expired"};
    case 403:
        // Neither a permission error nor a disabled API: a refusal of this one URL.
        return {InspectionOutcome::UrlRefused,
                searchConsoleForbidden(property, ForbiddenScope::PropertyOrUrl)};
    case 404:
        return {InspectionOutcome::PropertyRefused, "the property " + std::string(property) + " is unknown"};
    default:
        if (status >= 500) return {InspectionOutcome::ServerFault, "a fault at Google; try again later"};
        return {InspectionOutcome::UrlRefused, "not a success"};
    }
}

} // namespace

std::string urlInspectionUrl(std::string_view apiBase) {
    return std::string(apiBase) + "/v1/urlInspection/index:inspect";
}

std::string urlInspectionBody(std::string_view url, std::string_view property) {
    // Members in the order Google's documentation shows them.
    const nlohmann::ordered_json body{{"inspectionUrl", url}, {"siteUrl", property}};
    return body.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

bool isIndexedVerdict(std::string_view verdict) {
    return verdict == "PASS" || verdict == "PARTIAL";
}

std::optional<std::int64_t> lastCrawlSeconds(const InspectionResult& result) {
    return parseW3cDatetime(result.lastCrawlTime);
}

std::string searchConsoleForbidden(std::string_view property, ForbiddenScope scope) {
    const std::string name(property);
    const bool domain = name.rfind("sc-domain:", 0) == 0;
    return "the service account is not a user of the " + std::string(domain ? "domain" : "URL-prefix") +
           " property " + name +
           (scope == ForbiddenScope::PropertyOrUrl ? " (or the URL is not part of it)" : "") +
           "; URL-prefix properties (https://www.example.com/) and sc-domain: properties "
           "(sc-domain:example.com) "
           "are different properties, and the account must be a user of the one named";
}

namespace {

// The 429: a pause of the property until the quota day's end, or a short wait for a per-minute
// limit, which the run sits out. Retry-After wins over both.
void quotaRefusal(InspectionAnswer& answer, std::string& meaning, bool perMinute,
                  const std::optional<ApiError>& error, std::string_view retryAfter,
                  std::string_view property, std::int64_t now, std::int64_t quotaDayEnd) {
    const std::int64_t delay = error && error->retryDelay ? *error->retryDelay : MinutePause;
    answer.retryAt = pauseEnd(retryAfter, now, perMinute ? now + delay : quotaDayEnd);
    if (perMinute && answer.retryAt - now <= LongestWait) {
        answer.outcome = InspectionOutcome::PaceExceeded;
        meaning = "the per-minute inspection quota of " + std::string(property) +
                  " is spent; inspections go on at " + formatUtc(answer.retryAt);
        return;
    }
    answer.outcome = InspectionOutcome::PropertyPaused;
    meaning =
        "the inspection quota of " + std::string(property) + " is spent until " + formatUtc(answer.retryAt);
}

} // namespace

InspectionAnswer readInspectionAnswer(int status, std::string_view reason, std::string_view retryAfter,
                                      std::string_view body, std::string_view url, std::string_view property,
                                      std::int64_t now, std::int64_t quotaDayEnd, std::string_view account) {
    InspectionAnswer answer;
    const std::string prefix = std::string(url) + ": ";
    if (status == 200) {
        try {
            answer.result = parseResult(body);
            answer.outcome = InspectionOutcome::Result;
        } catch (const ApiJsonError& e) {
            answer.outcome = InspectionOutcome::Unreadable;
            answer.problem = prefix + statusLine(status, reason) + ", but " + e.what();
        }
        return answer;
    }
    // Google's own words, one line and bounded; an error body is read as far as it is small.
    const bool small = body.size() <= MaxInspectionAnswerBytes;
    const std::string message = small ? apiErrorMessage(body) : std::string();
    const std::optional<ApiError> error = small ? readApiError(body) : std::nullopt;
    const ApiRefusal refused = apiRefusal(status, error, message);
    std::string meaning;
    if (refused == ApiRefusal::PerMinuteQuota || refused == ApiRefusal::DailyQuota) {
        quotaRefusal(answer, meaning, refused == ApiRefusal::PerMinuteQuota, error, retryAfter, property, now,
                     quotaDayEnd);
    } else if (refused == ApiRefusal::ServiceDisabled) {
        answer.outcome = InspectionOutcome::PropertyRefused;
        meaning = serviceDisabledSentence(disabledProject(error, message));
    } else if (refused == ApiRefusal::Permission) {
        answer.outcome = InspectionOutcome::PropertyRefused;
        meaning = permissionSentence(property, account);
    } else {
        std::tie(answer.outcome, meaning) = refusal(status, property);
    }
    answer.problem = prefix + statusLine(status, reason) + ", " + meaning;
    if (!message.empty()) answer.problem += ": " + message;
    return answer;
}
