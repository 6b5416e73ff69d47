#include "core/checks/PageCheck.h"

#include "core/checks/BoundedHtml.h"
#include "core/checks/PageSignals.h"
#include "core/checks/PageUrl.h"
#include "platform/Text.h"
#include "platform/Time.h"

#include <algorithm>
#include <memory>
#include <vector>

namespace {

// Which crawler a directive addresses: every one, one of ours, Bing's under its former name,
// or another we do not check.
enum class Addressee { All, Googlebot, Bingbot, Msnbot, Other };

Addressee addresseeNamed(std::string_view name) {
    if (equalsIgnoringCase(name, "robots")) return Addressee::All;
    if (equalsIgnoringCase(name, "googlebot")) return Addressee::Googlebot;
    if (equalsIgnoringCase(name, "bingbot")) return Addressee::Bingbot;
    if (equalsIgnoringCase(name, "msnbot")) return Addressee::Msnbot;
    return Addressee::Other;
}

// What the directives of one kind of source (the X-Robots-Tag lines, or the meta tags) say.
// Bing honours msnbot's directives where none names bingbot.
struct Directives {
    // When the page was fetched, for unavailable_after; what could not be read goes to the note.
    std::int64_t now = 0;
    std::string* googleNote = nullptr;
    Noindex noindex;
    bool bingbotNamed = false;
    bool msnbotNoindex = false;

    void name(Addressee to) { bingbotNamed = bingbotNamed || to == Addressee::Bingbot; }
    void mark(Addressee to) {
        if (to == Addressee::All) noindex.all = true;
        if (to == Addressee::Googlebot) noindex.googlebot = true;
        if (to == Addressee::Bingbot) noindex.bingbot = true;
        if (to == Addressee::Msnbot) msnbotNoindex = true;
    }
    Noindex result() const {
        Noindex n = noindex;
        n.bingbot = n.bingbot || (msnbotNoindex && !bingbotNamed);
        return n;
    }
};

bool meansNoindex(std::string_view directive) {
    directive = trimmed(directive, " \t\r\n\f");
    return equalsIgnoringCase(directive, "noindex") || equalsIgnoringCase(directive, "none");
}

void addNote(std::string& notes, const std::string& note) {
    if (!note.empty()) notes += (notes.empty() ? "" : "; ") + note;
}

// Whether the item ends in "unavailable_after: WEEKDAY", whose date goes on after a comma.
bool endsInWeekday(std::string_view item) {
    const auto colon = item.rfind(':');
    if (colon == std::string_view::npos) return false;
    const std::string_view name = trimmed(item.substr(0, colon));
    const std::string_view day = trimmed(item.substr(colon + 1));
    constexpr std::string_view directive = "unavailable_after";
    return name.size() >= directive.size() &&
           equalsIgnoringCase(name.substr(name.size() - directive.size()), directive) && day.size() >= 3 &&
           day.size() <= 9 && std::all_of(day.begin(), day.end(), [](char c) {
               return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
           });
}

// The directives of a line, split at commas; the comma after the weekday of an RFC 850 or RFC
// 1123 date ("unavailable_after: Friday, 25-Jun-10 15:00:00 PST") splits nothing.
std::vector<std::string_view> splitCommas(std::string_view text) {
    std::vector<std::string_view> items;
    for (std::size_t start = 0, from = 0;;) {
        const auto comma = text.find(',', from);
        if (comma != std::string_view::npos && endsInWeekday(text.substr(start, comma - start))) {
            from = comma + 1;
            continue;
        }
        items.push_back(text.substr(start, comma - start));
        if (comma == std::string_view::npos) return items;
        start = from = comma + 1;
    }
}

// One directive for the crawler: noindex or none, or an unavailable_after date, which Google
// alone reads: passed, it is a noindex for googlebot.
void readDirective(std::string_view item, Addressee to, Directives& found) {
    if (meansNoindex(item)) return found.mark(to);
    const auto colon = item.find(':');
    if (colon == std::string_view::npos || (to != Addressee::All && to != Addressee::Googlebot) ||
        !equalsIgnoringCase(trimmed(item.substr(0, colon), " \t\r\n\f"), "unavailable_after"))
        return;
    const std::string_view date = trimmed(item.substr(colon + 1), " \t\r\n\f");
    const std::optional<std::int64_t> at = parseUnavailableAfter(date);
    if (at && *at < found.now) found.mark(Addressee::Googlebot);
    if (!at && found.googleNote)
        addNote(*found.googleNote, "unavailable_after date not understood: " + std::string(date));
}

// A crawler's name before a colon is one word; "unavailable_after: 25 Jun 2010 15:00:00 PST"
// and the other directives with values are no crawler's name.
bool crawlerPrefix(std::string_view name) {
    static constexpr std::string_view valued[] = {"unavailable_after", "max-snippet", "max-image-preview",
                                                  "max-video-preview", "indexifembedded"};
    if (name.empty()) return false;
    for (std::string_view v : valued)
        if (equalsIgnoringCase(name, v)) return false;
    return std::all_of(name.begin(), name.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
               c == '-';
    });
}

// One X-Robots-Tag line: "noindex, nofollow" for every crawler, or "googlebot: noindex" for
// one, which then holds for the directives after it on the same line.
void readRobotsHeader(std::string_view value, Directives& found) {
    Addressee to = Addressee::All;
    for (std::string_view item : splitCommas(value)) {
        item = trimmed(item);
        const auto colon = item.find(':');
        if (colon != std::string_view::npos && crawlerPrefix(trimmed(item.substr(0, colon)))) {
            const std::string_view name = trimmed(item.substr(0, colon));
            to = addresseeNamed(name);
            found.name(to);
            item = item.substr(colon + 1);
        }
        readDirective(item, to, found);
    }
}

bool isHtml(std::string_view contentType) {
    const std::string type = lowerAscii(trimmed(contentType.substr(0, contentType.find(';'))));
    return type.empty() || type == "text/html" || type == "application/xhtml+xml";
}

const GumboNode* childElement(const GumboNode* parent, GumboTag tag) {
    if (!parent || parent->type != GUMBO_NODE_ELEMENT) return nullptr;
    const GumboVector& children = parent->v.element.children;
    for (unsigned i = 0; i < children.length; ++i) {
        const auto* node = static_cast<const GumboNode*>(children.data[i]);
        if (node->type == GUMBO_NODE_ELEMENT && node->v.element.tag == tag) return node;
    }
    return nullptr;
}

// The head is complete when the body (or frameset) was opened by the document itself: by its
// tag, or by content that cannot stand in the head.
bool headComplete(const GumboOutput* output) {
    for (GumboTag tag : {GUMBO_TAG_BODY, GUMBO_TAG_FRAMESET}) {
        const GumboNode* node = childElement(output->root, tag);
        if (node && (!(node->parse_flags & GUMBO_INSERTION_BY_PARSER) || node->v.element.children.length > 0))
            return true;
    }
    return false;
}

// Where the document is cut so that at most this many tags reach the parser: the start of the
// next "<" with a letter after it (a tag's start, or text that only looks like one).
std::size_t cutAfterTags(std::string_view html, std::size_t tags) {
    std::size_t seen = 0;
    for (std::size_t at = html.find('<'); at != std::string_view::npos; at = html.find('<', at + 1)) {
        const char next = at + 1 < html.size() ? html[at + 1] : '\0';
        const bool letter = (next >= 'a' && next <= 'z') || (next >= 'A' && next <= 'Z');
        if (letter && ++seen > tags) return at;
    }
    return html.size();
}

// Just past the ">" that ends the first "<body" tag, case as it may be; npos when there is none.
std::size_t endOfBodyTag(std::string_view html) {
    for (std::size_t at = html.find('<'); at != std::string_view::npos; at = html.find('<', at + 1)) {
        if (!equalsIgnoringCase(html.substr(at + 1, 4), "body")) continue;
        const char next = at + 5 < html.size() ? html[at + 5] : '\0';
        if (next != '>' && next != '/' && next != ' ' && next != '\t' && next != '\n' && next != '\r' &&
            next != '\f')
            continue;
        const std::size_t end = html.find('>', at + 5);
        return end == std::string_view::npos ? end : end + 1;
    }
    return std::string_view::npos;
}

// Parses as much of the document as its head needs. The tree builder's cost grows with the
// square of the nesting depth, so a body nested a million levels deep must never reach it:
// the parse starts on the first 16 tags and doubles them until the head is complete, and the
// first body content that the parser sees is at most as deep as the head was long. Starting
// small keeps the body of a common page (a head of a dozen tags) out of the parse: the
// doubling costs at most twice the last parse. A head of more than 8,192 tags is read as far
// as that. Each parse has the bounds of BoundedHtml; a parse past them has no output, and the
// head cannot be read.
//
// Most pages open their body with a tag of its own: a first parse up to the end of the first
// "<body" tag reads exactly the head, when that tag is among the first 8,192 (so that the same
// bound holds). The scan may be fooled (the text may stand in a comment, a script or an
// attribute), but then the parser sees that tag cut off and the body not yet opened, and the
// doubling reads the document as usual.
std::unique_ptr<BoundedHtml> parseHead(std::string_view html) {
    constexpr std::size_t MaxTags = 8192;
    const HtmlBudget budget;
    const auto done = [](const BoundedHtml& parse) {
        return !parse.output() || headComplete(parse.output());
    };
    const std::size_t bodyEnd = endOfBodyTag(html);
    if (bodyEnd != std::string_view::npos && bodyEnd <= cutAfterTags(html, MaxTags)) {
        auto document = std::make_unique<BoundedHtml>(html.substr(0, bodyEnd), budget);
        if (done(*document)) return document;
    }
    for (std::size_t tags = 16;; tags *= 2) {
        const std::size_t cut = cutAfterTags(html, tags);
        auto document = std::make_unique<BoundedHtml>(html.substr(0, cut), budget);
        if (cut == html.size() || tags >= MaxTags || done(*document)) return document;
    }
}

// The attribute's value as the parser decoded it; it lives as long as the parse's tree.
std::string_view attribute(const GumboNode* node, const char* name) {
    const GumboAttribute* a = gumbo_get_attribute(&node->v.element.attributes, name);
    return a ? std::string_view(a->value) : std::string_view();
}

bool hasToken(std::string_view list, std::string_view token) {
    std::size_t start = 0;
    while (start < list.size()) {
        const auto end = std::min(list.find_first_of(" \t\r\n\f", start), list.size());
        if (equalsIgnoringCase(list.substr(start, end - start), token)) return true;
        start = end + 1;
    }
    return false;
}

struct HeadFindings {
    Directives meta;
    std::vector<std::string> canonicals; // resolved, in document order
    std::optional<MetaRefresh> refresh;  // the first that can be read, as browsers take it
};

void readHeadElements(const GumboNode* parent, const std::string& base, HeadFindings& found) {
    const GumboVector& children = parent->v.element.children;
    for (unsigned i = 0; i < children.length; ++i) {
        const auto* node = static_cast<const GumboNode*>(children.data[i]);
        if (node->type != GUMBO_NODE_ELEMENT) continue;
        const GumboTag tag = node->v.element.tag;
        if (tag == GUMBO_TAG_META) {
            const Addressee to = addresseeNamed(trimmed(attribute(node, "name"), " \t\r\n\f"));
            found.meta.name(to);
            for (std::string_view item : splitCommas(attribute(node, "content")))
                if (to != Addressee::Other) readDirective(item, to, found.meta);
            if (!found.refresh &&
                equalsIgnoringCase(trimmed(attribute(node, "http-equiv"), " \t\r\n\f"), "refresh"))
                found.refresh = parseMetaRefresh(attribute(node, "content"));
        } else if (tag == GUMBO_TAG_LINK && hasToken(attribute(node, "rel"), "canonical")) {
            const GumboAttribute* href = gumbo_get_attribute(&node->v.element.attributes, "href");
            if (href) found.canonicals.push_back(resolvePageUrl(base, href->value));
        } else if (tag == GUMBO_TAG_NOSCRIPT) {
            // Without scripts, which is how the page checks read a page, what a noscript of
            // the head holds is part of the head.
            readHeadElements(node, base, found);
        }
    }
}

// An instant refresh to another page is a redirect; a delayed one is noted. A refresh to the
// page itself is a reload.
void readRefresh(PageCheck& check, const std::optional<MetaRefresh>& refresh) {
    if (!refresh || !refresh->url) return;
    const std::string target = resolvePageUrl(check.finalUrl, *refresh->url);
    if (target.empty() || target == resolvePageUrl(check.finalUrl, "")) return;
    if (refresh->delay == 0)
        check.location = target;
    else
        addNote(check.note, "meta refresh after " + std::to_string(refresh->delay) + " s to " + target);
}

// The document's head; its canonical links are left in canonicals.
void readDocument(PageCheck& check, std::string_view body, std::int64_t now,
                  std::vector<std::string>& canonicals) {
    const std::unique_ptr<BoundedHtml> document = parseHead(body.substr(0, PageCheck::MaxBodyBytes));
    if (!document->output()) {
        check.error = PageCheck::HeadUnreadable;
        return;
    }
    const GumboNode* head = childElement(document->output()->root, GUMBO_TAG_HEAD);
    if (!head) return;
    HeadFindings found;
    found.meta.now = now;
    found.meta.googleNote = &check.googleNote;
    readHeadElements(head, check.finalUrl, found);
    check.meta = found.meta.result();
    readRefresh(check, found.refresh);
    canonicals = std::move(found.canonicals);
}

// The Link header's canonicals and the document's are signals of one kind: when they agree, the
// page has that canonical; when they disagree, engines ignore them all.
void judgeCanonicals(PageCheck& check, const std::vector<std::string>& header,
                     std::vector<std::string> html) {
    std::vector<std::string> all = header;
    all.insert(all.end(), html.begin(), html.end());
    std::sort(all.begin(), all.end());
    all.erase(std::unique(all.begin(), all.end()), all.end());
    check.canonicalConflict = all.size() > 1;
    if (all.size() == 1) check.canonical = all.front();
    if (check.canonicalConflict && !header.empty() && !html.empty())
        addNote(check.note,
                "the canonicals of the Link header and of the document disagree; both are ignored");
}

} // namespace

std::string_view crawlerToken(Crawler crawler) {
    return crawler == Crawler::Googlebot ? "Googlebot" : "bingbot";
}

bool Noindex::applies(Crawler crawler) const {
    return all || (crawler == Crawler::Googlebot ? googlebot : bingbot);
}

PageCheck analysePage(const PageFetch& fetch) {
    PageCheck check;
    check.url = fetch.url;
    check.time = fetch.time;
    check.hops = fetch.hops;
    check.status = fetch.error.empty() && !fetch.hops.empty() ? fetch.hops.back().status : 0;
    check.error = check.status == 0 && fetch.error.empty() ? "no answer" : fetch.error;
    check.finalUrl = fetch.finalUrl.empty() ? fetch.url : fetch.finalUrl;
    check.googlebot = fetch.googlebot;
    check.bingbot = fetch.bingbot;
    check.milliseconds = fetch.milliseconds;
    check.bytes = fetch.bytes;
    if (check.status == 0) return check;
    const std::int64_t now = parseW3cDatetime(fetch.time).value_or(unixNow());
    Directives header;
    header.now = now;
    header.googleNote = &check.googleNote;
    std::vector<std::string> headerCanonicals;
    std::vector<std::string> htmlCanonicals;
    bool contentTypeSeen = false;
    for (const auto& [name, value] : fetch.headers) {
        if (equalsIgnoringCase(name, "Content-Type") && !contentTypeSeen) {
            check.contentType = std::string(trimmed(value));
            contentTypeSeen = true;
        } else if (equalsIgnoringCase(name, "X-Robots-Tag")) {
            check.robotsHeader += (check.robotsHeader.empty() ? "" : ", ") + std::string(trimmed(value));
            readRobotsHeader(value, header);
        } else if (equalsIgnoringCase(name, "Link") && headerCanonicals.size() < 2) {
            for (std::string& target : linkHeaderCanonicals(value, check.finalUrl))
                if (std::find(headerCanonicals.begin(), headerCanonicals.end(), target) ==
                    headerCanonicals.end())
                    headerCanonicals.push_back(std::move(target));
        } else if (equalsIgnoringCase(name, "Location") && check.status >= 300 && check.status <= 399) {
            check.location = resolvePageUrl(check.finalUrl, value);
        }
    }
    check.header = header.result();
    if (check.status < 200 || check.status > 299) return check;
    if (isHtml(check.contentType)) readDocument(check, fetch.body, now, htmlCanonicals);
    judgeCanonicals(check, headerCanonicals, std::move(htmlCanonicals));
    return check;
}

std::string_view verdictName(Verdict verdict) {
    switch (verdict) {
    case Verdict::Ok:
        return "ok";
    case Verdict::Redirect:
        return "redirect";
    case Verdict::NotFound:
        return "not-found";
    case Verdict::Gone:
        return "gone";
    case Verdict::Error:
        return "error";
    case Verdict::Noindex:
        return "noindex";
    case Verdict::CanonicalElsewhere:
        return "canonical-elsewhere";
    case Verdict::Blocked:
        return "blocked";
    }
    return "error";
}

PageVerdict verdictFor(const PageCheck& check, Crawler crawler) {
    const RobotsDecision robots = crawler == Crawler::Googlebot ? check.googlebot : check.bingbot;
    if (robots == RobotsDecision::Disallowed)
        return {Verdict::Blocked, "robots.txt disallows " + std::string(crawlerToken(crawler))};
    if (check.status == 0) return {Verdict::Error, check.error};
    // The sitemap should name the page that answers, not an address that leads to it.
    if (check.hops.size() > 1) return {Verdict::Redirect, check.finalUrl};
    if (check.status >= 300 && check.status <= 399)
        return {Verdict::Redirect,
                check.location.empty() ? "status " + std::to_string(check.status) : check.location};
    if (check.status == 404) return {Verdict::NotFound, "status 404"};
    if (check.status == 410) return {Verdict::Gone, "status 410"};
    if (check.status < 200 || check.status > 299)
        return {Verdict::Error, "status " + std::to_string(check.status)};
    if (!check.error.empty()) return {Verdict::Error, check.error};
    // An instant meta refresh: the engines take it for a permanent redirect.
    if (!check.location.empty()) return {Verdict::Redirect, check.location};
    const auto noted = [&](Verdict verdict, std::string detail) {
        addNote(detail, check.note);
        if (crawler == Crawler::Googlebot) addNote(detail, check.googleNote);
        return PageVerdict{verdict, detail};
    };
    if (check.header.applies(crawler)) return noted(Verdict::Noindex, "X-Robots-Tag: " + check.robotsHeader);
    if (check.meta.applies(crawler)) return noted(Verdict::Noindex, "robots meta tag");
    if (!check.canonical.empty() && check.canonical != resolvePageUrl(check.finalUrl, ""))
        return noted(Verdict::CanonicalElsewhere, check.canonical);
    return noted(Verdict::Ok, check.robotsNote);
}
