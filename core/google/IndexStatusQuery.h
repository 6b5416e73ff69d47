#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Google's URL Inspection API: the request that asks where one URL of a Search Console
// property stands in Google's index, and the reading of its answer. Nothing here sends
// anything; the caller sends with the account's token (the scope is the webmasters scope of
// GoogleAuth.h) and keeps what comes back.

// The largest answer that is read. An inspection answer is a few kilobytes; one far larger is
// no inspection answer, and is refused before it is parsed.
constexpr std::size_t MaxInspectionAnswerBytes = 1 << 20;

// POST {base}/v1/urlInspection/index:inspect, base being the scheme, host and port of the API
// (Config::googleInspectionBase) without a trailing "/".
std::string urlInspectionUrl(std::string_view apiBase);
// {"inspectionUrl":URL,"siteUrl":PROPERTY}, without spaces. Bytes that are not UTF-8 become
// U+FFFD: Google could not take them either, and a request must never fail to be written.
std::string urlInspectionBody(std::string_view url, std::string_view property);

// What Google says of one URL, as its answer gives it. The enumerations are kept as the text
// Google sent, so that a value added after this was written is kept and shown rather than lost.
// A field the answer leaves out is empty (a page never crawled has no lastCrawlTime).
struct InspectionResult {
    std::string verdict;        // PASS, NEUTRAL, FAIL, PARTIAL, VERDICT_UNSPECIFIED
    std::string coverageState;  // a sentence: "Submitted and indexed", "Crawled - currently not indexed"
    std::string indexingState;  // INDEXING_ALLOWED, BLOCKED_BY_META_TAG, ...
    std::string robotsTxtState; // ALLOWED, DISALLOWED, ...
    std::string pageFetchState; // SUCCESSFUL, SOFT_404, NOT_FOUND, ...
    std::string lastCrawlTime;  // RFC 3339 text, such as "2026-12-01T08:12:40Z"
    std::string googleCanonical;
    std::string userCanonical;
    std::string crawledAs; // MOBILE, DESKTOP, ...
    std::string inspectionResultLink;
    // The names of the enumerated fields above whose value this version does not know, such
    // as "pageFetchState", for a log line that says Google has news.
    std::vector<std::string> unfamiliar;

    friend bool operator==(const InspectionResult&, const InspectionResult&) = default;
};

// Whether Google counts a page with this verdict as in its index: PASS ("URL is on Google"), and
// PARTIAL, which older answers gave for a page indexed with warnings.
bool isIndexedVerdict(std::string_view verdict);
// lastCrawlTime as seconds since 1970; nothing when the answer gave none or an unreadable one.
std::optional<std::int64_t> lastCrawlSeconds(const InspectionResult& result);

// What the caller does after an answer.
enum class InspectionOutcome {
    Result,          // keep the result
    Unreadable,      // a 200 that is no inspection answer: log it, go on with the next URL
    RenewToken,      // 401: the token is bad or expired; renew it once and ask again
    PropertyPaused,  // 429: no more inspections of the property before retryAt
    PaceExceeded,    // 429 of a per-minute limit: wait until retryAt (a few minutes at most), go on
    PropertyRefused, // 403 of permission or a disabled API, 404: no more inspections of the property
    UrlRefused,      // 400, other 403s and other refusals of this one request: go on with the next URL
    ServerFault,     // 5xx: stop inspecting the property in this run
};

// One answer, read: the result, or a sentence saying why there is none.
struct InspectionAnswer {
    InspectionOutcome outcome = InspectionOutcome::Unreadable;
    InspectionResult result; // set for Result only
    // For all but Result: what went wrong, as one line without the engine's name in front,
    // such as "https://www.example.com/a: 429 Too Many Requests, the inspection quota of
    // sc-domain:example.com is spent until 2026-12-08T08:00:00Z: Quota exceeded ...".
    std::string problem;
    // For PropertyPaused and PaceExceeded: when the property may be inspected again, seconds
    // since 1970.
    std::int64_t retryAt = 0;
};

// Reads the answer to the inspection of url in property, received at now (seconds since
// 1970). retryAfter is the answer's Retry-After value (empty when none); it counts for a 429
// and is held to at most 24 hours. The error's status and details (see ApiError.h) decide the
// rest: a 429 of a per-minute limit waits its RetryInfo delay, or a minute; any other 429 pauses
// the property until quotaDayEnd, the start of the next day as Google counts its quota (see
// IndexStatusQuota.h). A 403 of a disabled API names the Cloud project to enable it in, one of
// permission names the property and the account (the service account's e-mail address) to add
// as its user; both end the property's inspections. Another 403 refuses the one URL. An error
// without status or details is explained by its HTTP status. Never throws for what a server sent.
InspectionAnswer readInspectionAnswer(int status, std::string_view reason, std::string_view retryAfter,
                                      std::string_view body, std::string_view url, std::string_view property,
                                      std::int64_t now, std::int64_t quotaDayEnd,
                                      std::string_view account = {});

// What a 403 of Search Console's API refused: the property as a whole (the sitemaps), or the
// property or the one URL in it (an inspection of a URL outside the property is refused alike).
enum class ForbiddenScope { Property, PropertyOrUrl };
// The 403 sentence: it names the property and says that a URL-prefix property and a domain
// property are not the same one, the most common reason an account that was added is refused.
std::string searchConsoleForbidden(std::string_view property, ForbiddenScope scope);
