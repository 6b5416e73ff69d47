#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// The check of one page before it is announced: what its answer says about whether a search
// engine would index it. The analysis sees a page that was fetched already (its redirect hops,
// headers and the start of its body) and the robots.txt decisions for its URL; it sends nothing.

// The crawlers whose rules count: Google's announcements follow Googlebot's, IndexNow's follow
// bingbot's (Bing runs IndexNow, and the other members read the same rules).
enum class Crawler { Googlebot, Bingbot };
// The robots.txt product token of the crawler: "Googlebot", "bingbot".
std::string_view crawlerToken(Crawler crawler);

enum class RobotsDecision { Allowed, Disallowed };

// One hop of the fetch: the URL asked for and the status of its answer (0 for none).
struct PageHop {
    std::string url;
    int status = 0;
};

// What the fetch brought back.
struct PageFetch {
    // The sitemap's URL that was checked.
    std::string url;
    // Every hop in order, the final one included; empty when nothing was sent.
    std::vector<PageHop> hops;
    // Where the answer came from after the redirects that were followed.
    std::string finalUrl;
    // The final answer's header lines (name, value), in the order they came.
    std::vector<std::pair<std::string, std::string>> headers;
    // The start of the body; more than MaxBodyBytes of it is not looked at.
    std::string body;
    // Why there was no answer ("connection refused", "no complete answer within 60 s", ...);
    // empty when there was one.
    std::string error;
    RobotsDecision googlebot = RobotsDecision::Allowed;
    RobotsDecision bingbot = RobotsDecision::Allowed;
    // When the check started (ISO 8601 UTC), how long it took and the body bytes received.
    std::string time;
    std::int64_t milliseconds = 0;
    std::uint64_t bytes = 0;
};

// Which crawlers a "noindex" (or "none") addresses, from one kind of source.
struct Noindex {
    bool all = false;       // no crawler named: every crawler
    bool googlebot = false; // addressed to googlebot
    bool bingbot = false;   // addressed to bingbot
    bool applies(Crawler crawler) const;
};

// The record of one check, as the store keeps it and the window shows it.
struct PageCheck {
    static constexpr std::size_t MaxBodyBytes = 2u << 20;
    // The error of an answer whose head went past the parser's bounds (see BoundedHtml).
    static constexpr std::string_view HeadUnreadable = "the page's head could not be read";

    std::string url;
    std::string time;
    // The status of the final answer; 0 when there was none (error says why). A 2xx answer has
    // an error when its head could not be read.
    int status = 0;
    std::string error;
    std::vector<PageHop> hops;
    std::string finalUrl;
    // Where a final 3xx answer that was not followed points, or where the instant meta refresh
    // of a 2xx answer leads (search engines take it for a permanent redirect), resolved.
    std::string location;
    std::string contentType;
    // The X-Robots-Tag lines as they came (joined by ", ") and what they say.
    std::string robotsHeader;
    Noindex header;
    // The robots, googlebot and bingbot meta tags of the document's head (msnbot's for bingbot
    // where none names bingbot; an unavailable_after date that passed for googlebot).
    Noindex meta;
    // The canonical of the Link header lines and the head's canonical links, resolved against
    // the final URL and normalised; empty when there is none, or when several disagree
    // (engines then ignore them all).
    std::string canonical;
    bool canonicalConflict = false;
    // What changes no verdict by itself but is worth a word in the details: a delayed meta
    // refresh, canonicals of the Link header and of the document that disagree (for every
    // crawler); an unavailable_after date that could not be read (for Google alone).
    std::string note;
    std::string googleNote;
    RobotsDecision googlebot = RobotsDecision::Allowed;
    RobotsDecision bingbot = RobotsDecision::Allowed;
    // What the origin's robots.txt gave reason to note (it redirected too often); the detail of
    // an ok verdict.
    std::string robotsNote;
    std::int64_t milliseconds = 0;
    std::uint64_t bytes = 0;
};

// Reads the answer: status, X-Robots-Tag, Link, the head's robots meta tags, meta refresh and
// canonical link. An unavailable_after date counts as passed when it lies before the fetch's
// time (or the clock's, when the fetch has none).
PageCheck analysePage(const PageFetch& fetch);

// What a check means for one crawler. Only Ok pages are announced.
enum class Verdict { Ok, Redirect, NotFound, Gone, Error, Noindex, CanonicalElsewhere, Blocked };
// "ok", "redirect", "not-found", "gone", "error", "noindex", "canonical-elsewhere", "blocked".
std::string_view verdictName(Verdict verdict);

struct PageVerdict {
    Verdict verdict = Verdict::Ok;
    // Where a redirect or a canonical points; the status or failure of an error; the source of
    // a noindex ("X-Robots-Tag", "meta robots"); empty for the others.
    std::string detail;
};

// The verdict for the crawler. robots.txt comes first (a blocked crawler never sees the answer),
// then the answer's status and an instant meta refresh, then noindex, then the canonical link.
// The notes follow the detail of the last three, after "; ".
PageVerdict verdictFor(const PageCheck& check, Crawler crawler);
