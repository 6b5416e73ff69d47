#include "core/google/SitemapStatus.h"

#include "core/google/ApiError.h"
#include "core/google/ApiJson.h"
#include "core/google/GoogleAuth.h"
#include "core/google/HeldSecrets.h"
#include "core/google/IndexStatusQuery.h"
#include "http/Url.h"
#include "platform/Text.h"

namespace {

using nlohmann::json;

SitemapStatus readOne(const json& entry) {
    if (!entry.is_object()) throw ApiJsonError("an entry of \"sitemap\" is not an object");
    SitemapStatus s;
    s.path = textMember(entry, "path");
    if (s.path.empty()) throw ApiJsonError("an entry of \"sitemap\" has no \"path\"");
    s.type = textMember(entry, "type");
    s.lastSubmitted = textMember(entry, "lastSubmitted");
    s.lastDownloaded = textMember(entry, "lastDownloaded");
    s.isPending = boolMember(entry, "isPending");
    s.isSitemapsIndex = boolMember(entry, "isSitemapsIndex");
    s.errors = countMember(entry, "errors");
    s.warnings = countMember(entry, "warnings");
    const auto contents = entry.find("contents");
    if (contents != entry.end() && !contents->is_null()) {
        if (!contents->is_array()) throw ApiJsonError("the field \"contents\" is not a list");
        for (const json& item : *contents) {
            if (!item.is_object()) throw ApiJsonError("an entry of \"contents\" is not an object");
            s.contents.push_back(
                {textMember(item, "type"), countMember(item, "submitted"), countMember(item, "indexed")});
        }
    }
    return s;
}

std::vector<SitemapStatus> readList(std::string_view body) {
    const json doc = parseApiJson(body, MaxSitemapListBytes);
    if (!doc.is_object()) throw ApiJsonError("the answer is not a JSON object");
    std::vector<SitemapStatus> list;
    // A property without sitemaps is answered with an empty object.
    const auto sitemaps = doc.find("sitemap");
    if (sitemaps == doc.end() || sitemaps->is_null()) return list;
    if (!sitemaps->is_array()) throw ApiJsonError("the field \"sitemap\" is not a list");
    for (const json& entry : *sitemaps)
        list.push_back(readOne(entry));
    return list;
}

std::string meaning(int status, std::string_view property, std::string_view account, std::string_view body,
                    const std::string& message) {
    const std::optional<ApiError> error = readApiError(body);
    switch (apiRefusal(status, error, message)) {
    case ApiRefusal::ServiceDisabled:
        return serviceDisabledSentence(disabledProject(error, message));
    case ApiRefusal::Permission:
        return permissionSentence(property, account);
    case ApiRefusal::PerMinuteQuota:
    case ApiRefusal::DailyQuota:
        return "too many requests; try again later";
    default:
        break;
    }
    switch (status) {
    case 400:
        return "the request was not understood";
    case 401:
        return "the token is bad or expired";
    case 403:
        return searchConsoleForbidden(property, ForbiddenScope::Property);
    case 404:
        return "the property " + std::string(property) + " is unknown";
    case 429:
        return "too many requests; try again later";
    default:
        if (status >= 500) return "a fault at Google; try again later";
        return "not a success";
    }
}

} // namespace

std::string searchConsoleSitemapListUrl(std::string_view apiBase, std::string_view property) {
    return std::string(apiBase) + "/webmasters/v3/sites/" + percentEncodeSegment(property) + "/sitemaps";
}

SitemapStatusList readSitemapStatus(int status, std::string_view reason, std::string_view body,
                                    std::string_view property, std::string_view account) {
    SitemapStatusList list;
    const std::string head =
        "the sitemaps of " + std::string(property) + ": " +
        (status == 0 ? std::string("an answer without a status")
                     : std::string(trimmed(std::to_string(status) + " " + withoutSecrets(reason))));
    if (status != 200) {
        const bool small = body.size() <= MaxSitemapListBytes;
        const std::string message = small ? apiErrorMessage(body) : std::string();
        list.problem = head + ", " + meaning(status, property, account, small ? body : "", message);
        if (!message.empty()) list.problem += ": " + message;
        return list;
    }
    try {
        list.sitemaps = readList(body);
    } catch (const ApiJsonError& e) {
        list.problem = head + ", but " + e.what();
    }
    return list;
}
