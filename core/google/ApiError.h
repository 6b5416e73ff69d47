#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

// The error answers of Google's APIs, as google.rpc.Status writes them:
//   {"error": {"code": 403, "message": "...", "status": "PERMISSION_DENIED", "details": [
//     {"@type": "type.googleapis.com/google.rpc.ErrorInfo", "reason": "SERVICE_DISABLED",
//      "domain": "googleapis.com", "metadata": {"consumer": "projects/123456", ...}},
//     {"@type": "type.googleapis.com/google.rpc.RetryInfo", "retryDelay": "30s"}]}}
// read, and what they mean for the program: which refusal it is, and how long to wait.

struct ApiError {
    std::string status; // PERMISSION_DENIED, RESOURCE_EXHAUSTED, ...; empty when not given
    bool hasDetails = false;
    // The ErrorInfo detail; empty when there is none. Without details, the reason of the first
    // entry of the older "errors" list ("dailyLimitExceeded", "accessNotConfigured", ...).
    std::string reason;
    std::map<std::string, std::string> metadata;
    // The RetryInfo detail's delay in whole seconds (rounded up); nothing when there is none.
    std::optional<std::int64_t> retryDelay;
};

// The error of an answer's body; nothing for a body that is not JSON or has no "error" object.
// Details of other types, and members of the wrong type, are passed over.
std::optional<ApiError> readApiError(std::string_view body);

// What a refusal of Search Console's APIs means.
enum class ApiRefusal {
    Other,           // nothing more is known than the HTTP status
    ServiceDisabled, // the Search Console API is not enabled in the account's Cloud project
    Permission,      // the account has no access to the property
    PerMinuteQuota,  // a per-minute limit was hit: wait a little and go on
    DailyQuota,      // the day's quota is spent
};

// Reads the status and the body (with its message, one line, as apiErrorMessage gives it).
// A 429 is a quota refusal, and so is a 403 of status RESOURCE_EXHAUSTED or with a quota's reason
// (RATE_LIMIT_EXCEEDED, or the older rateLimitExceeded, userRateLimitExceeded, dailyLimitExceeded,
// quotaExceeded). One is PerMinuteQuota when the ErrorInfo's quota_limit or quota_limit_value
// names a minute, when a RetryInfo delay of at most five minutes is given, when the reason is a
// short-term one, or when the message says "per minute"; otherwise DailyQuota. Another 403 is
// ServiceDisabled when the reason is SERVICE_DISABLED (accessNotConfigured in the older form) or
// the message says the API "has not been used in project ... or it is disabled", else Permission
// when error.status is PERMISSION_DENIED; otherwise Other.
ApiRefusal apiRefusal(int status, const std::optional<ApiError>& error, std::string_view message);

// The Cloud project of a SERVICE_DISABLED error, as "projects/123456": the ErrorInfo's consumer,
// else its containerInfo, else the number the message names; empty when none says.
std::string disabledProject(const std::optional<ApiError>& error, std::string_view message);

// The sentences of the two refusals that need the user to act.
std::string serviceDisabledSentence(std::string_view project);
std::string permissionSentence(std::string_view property, std::string_view account);
