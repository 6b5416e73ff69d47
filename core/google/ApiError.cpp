#include "core/google/ApiError.h"

#include "core/google/ApiJson.h"

#include <algorithm>
#include <cctype>

namespace {

using nlohmann::json;

constexpr std::string_view TypePrefix = "type.googleapis.com/google.rpc.";
// A RetryInfo delay up to this long is a per-minute limit's; a longer one is not.
constexpr std::int64_t ShortDelay = 300;
// More than any error answer is.
constexpr std::size_t MaxErrorBytes = 1 << 20;

std::string lower(std::string_view s) {
    std::string out(s);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

bool says(std::string_view text, std::string_view words) {
    return lower(text).find(words) != std::string::npos;
}

// A google.protobuf.Duration as JSON writes it ("30s", "1.5s"), in whole seconds rounded up.
std::optional<std::int64_t> durationSeconds(const std::string& text) {
    if (text.size() < 2 || text.back() != 's') return std::nullopt;
    std::int64_t seconds = 0;
    std::size_t i = 0;
    for (; i + 1 < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i)
        if ((seconds = seconds * 10 + (text[i] - '0')) > 10'000'000'000) return std::nullopt;
    if (i == 0) return std::nullopt;
    bool fraction = false;
    if (text[i] == '.') {
        for (++i; i + 1 < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i)
            fraction = fraction || text[i] != '0';
    }
    if (i + 1 != text.size()) return std::nullopt;
    return seconds + (fraction ? 1 : 0);
}

// Reads an ErrorInfo (the first one, whose reason wins over the older form's) or a RetryInfo.
void readDetail(const json& detail, ApiError& error, bool& infoSeen) {
    const std::string type = textMember(detail, "@type");
    if (type == std::string(TypePrefix) + "ErrorInfo" && !infoSeen) {
        infoSeen = true;
        error.reason = textMember(detail, "reason");
        if (const json* metadata = objectMember(detail, "metadata"))
            for (const auto& [key, value] : metadata->items())
                if (value.is_string()) error.metadata[key] = value.get<std::string>();
    } else if (type == std::string(TypePrefix) + "RetryInfo" && !error.retryDelay) {
        error.retryDelay = durationSeconds(textMember(detail, "retryDelay"));
    }
}

std::string metadataValue(const std::optional<ApiError>& error, const char* key) {
    if (!error) return {};
    const auto it = error->metadata.find(key);
    return it == error->metadata.end() ? std::string() : it->second;
}

// The reasons of quota refusals, which older APIs answer with 403: the short-term ones first.
bool shortTermQuota(std::string_view reason) {
    return reason == "rateLimitExceeded" || reason == "userRateLimitExceeded";
}
bool quotaReason(std::string_view reason) {
    return shortTermQuota(reason) || reason == "RATE_LIMIT_EXCEEDED" || reason == "dailyLimitExceeded" ||
           reason == "quotaExceeded";
}

bool namesMinute(const std::optional<ApiError>& error) {
    return says(metadataValue(error, "quota_limit"), "minute") ||
           says(metadataValue(error, "quota_limit_value"), "minute");
}

} // namespace

std::optional<ApiError> readApiError(std::string_view body) {
    try {
        const json doc = parseApiJson(body, MaxErrorBytes);
        if (!doc.is_object()) return std::nullopt;
        const json* error = objectMember(doc, "error");
        if (!error) return std::nullopt;
        ApiError out;
        out.status = error->contains("status") && (*error)["status"].is_string()
                         ? (*error)["status"].get<std::string>()
                         : std::string();
        // The older form's first reason stands in for an ErrorInfo's.
        const auto errors = error->find("errors");
        if (errors != error->end() && errors->is_array() && !errors->empty() && errors->front().is_object()) {
            const auto reason = errors->front().find("reason");
            if (reason != errors->front().end() && reason->is_string())
                out.reason = reason->get<std::string>();
        }
        const auto details = error->find("details");
        if (details == error->end() || !details->is_array()) return out;
        out.hasDetails = true;
        bool infoSeen = false;
        for (const json& detail : *details) {
            if (!detail.is_object()) continue;
            try {
                readDetail(detail, out, infoSeen);
            } catch (const ApiJsonError&) {
                // A detail of an unexpected shape says nothing.
            }
        }
        return out;
    } catch (const ApiJsonError&) {
        return std::nullopt;
    }
}

ApiRefusal apiRefusal(int status, const std::optional<ApiError>& error, std::string_view message) {
    const std::string reason = error ? error->reason : std::string();
    const bool quota =
        status == 429 || (error && error->status == "RESOURCE_EXHAUSTED") || quotaReason(reason);
    if (status == 403 && !quota) {
        if (reason == "SERVICE_DISABLED" || reason == "accessNotConfigured" ||
            (says(message, "has not been used in project") && says(message, "or it is disabled")))
            return ApiRefusal::ServiceDisabled;
        if (error && error->status == "PERMISSION_DENIED") return ApiRefusal::Permission;
        return ApiRefusal::Other;
    }
    if (quota && (status == 403 || status == 429)) {
        const bool shortDelay = error && error->retryDelay && *error->retryDelay <= ShortDelay;
        if (namesMinute(error) || shortDelay || shortTermQuota(reason) || says(message, "per minute"))
            return ApiRefusal::PerMinuteQuota;
        return ApiRefusal::DailyQuota;
    }
    return ApiRefusal::Other;
}

std::string disabledProject(const std::optional<ApiError>& error, std::string_view message) {
    if (std::string consumer = metadataValue(error, "consumer"); !consumer.empty()) return consumer;
    std::string number = metadataValue(error, "containerInfo");
    if (number.empty()) {
        const std::string text = lower(message);
        const std::string_view words = "in project ";
        if (const auto at = text.find(words); at != std::string::npos) {
            std::size_t end = at + words.size();
            while (end < text.size() && std::isdigit(static_cast<unsigned char>(text[end])))
                ++end;
            number = text.substr(at + words.size(), end - at - words.size());
        }
    }
    if (number.empty()) return {};
    return number.rfind("projects/", 0) == 0 ? number : "projects/" + number;
}

std::string serviceDisabledSentence(std::string_view project) {
    const std::string where = project.empty() ? "the Google Cloud project of the service account"
                                              : "the Google Cloud project " + std::string(project);
    return "the Google Search Console API is not enabled in " + where +
           "; enable the Google Search Console API there";
}

std::string permissionSentence(std::string_view property, std::string_view account) {
    const std::string name(property);
    const bool domain = name.rfind("sc-domain:", 0) == 0;
    return "the service account has no access to the " + std::string(domain ? "domain" : "URL-prefix") +
           " property " + name + "; add " + (account.empty() ? "the service account" : std::string(account)) +
           " as a user of " + name +
           " in Search Console (a URL-prefix property, https://www.example.com/, and a domain property, "
           "sc-domain:example.com, are different properties)";
}
