#pragma once

#include <optional>
#include <string>
#include <string_view>

// An absolute http or https URL, normalised once when it is parsed (RFC 3986, 6.2.2 and 6.2.3):
// scheme and host in lower case, an internationalised host in its A-label form ("xn--..."),
// the port without leading zeros and the scheme's default port dropped, dot segments removed,
// percent-encoding normalised (unreserved characters decoded, hexadecimal digits in upper case, bytes outside
// printable ASCII encoded as UTF-8), an empty path made "/", the fragment dropped. Every piece of live code
// (the live client, scopes, robots.txt, sitemaps, the channels) compares URLs through this one type, so two
// spellings of one page are one URL everywhere.
class Url {
public:
    // Nothing for a text that is not an absolute http or https URL with a host, or whose host
    // holds a control character, a space, text that is not UTF-8 or another byte that no host
    // name may hold.
    static std::optional<Url> parse(std::string_view text);
    // Whether the text is a URL in its normal form already (parse(text)->text() == text), told
    // by one look at its bytes, without the work of parsing it: nearly every URL of a sitemap
    // is. False also for normal forms that only parsing can confirm (escapes, IPv6 hosts).
    static bool isNormal(std::string_view text);
    // The reference (absolute, or relative as in a Location line or an href) resolved against
    // this URL; nothing when the result is no http or https URL.
    std::optional<Url> resolve(std::string_view reference) const;

    const std::string& scheme() const { return scheme_; }
    const std::string& host() const { return host_; }
    // The port the URL names, or its scheme's default.
    int port() const { return port_; }
    bool defaultPort() const;
    // The path, always starting with "/", and the query without its "?" (empty for none).
    const std::string& path() const { return path_; }
    const std::string& query() const { return query_; }
    bool hasQuery() const { return hasQuery_; }

    // "scheme://host[:port]", the port only when it is not the scheme's default.
    std::string origin() const;
    // "host[:port]" as a Host line or IndexNow's host names it.
    std::string hostPort() const;
    // The path with "?query" when there is one: what a request line names.
    std::string pathAndQuery() const;
    // The whole normalised URL.
    std::string text() const;

    bool sameOrigin(const Url& other) const;
    // Same origin, and the path lies in the folder of the other URL's path (the part up to its
    // last "/"), compared after normalisation: "/k/../c" is not in "/k/".
    bool inFolderOf(const Url& other) const;

    friend bool operator==(const Url& a, const Url& b) { return a.text() == b.text(); }

private:
    std::string scheme_;
    std::string host_;
    int port_ = 0;
    std::string path_ = "/";
    std::string query_;
    bool hasQuery_ = false;
};

// A URL's key: its normal form (Url::text()), or the text as it stands when it is no http or
// https URL. A URL gets its key once, where it comes in (a sitemap's table of URLs, a profile
// URL); from there the selection, the page checks, the POST bodies, the acceptances and the
// store's rows all name the page by it, so that two spellings of one page are one page.
std::string urlKey(std::string_view text);

// How a "%" that starts no escape is spelt: as "%25", in a URL's normal form, or as it stands,
// as robots.txt patterns are compared.
enum class LonePercent { Encoded, Kept };
// One spelling for each byte of a path or a query: unreserved characters decoded, every other
// escape kept with upper-case digits, and the bytes no URL may hold (controls, space, non-ASCII
// UTF-8, and "<", ">", '"', "\\", "^", "`", "{", "|", "}") encoded. The normal form of Url's
// path and query, and of robots.txt's rules and the paths they are matched with.
std::string normalisePercentEncoding(std::string_view text, LonePercent lone = LonePercent::Encoded);
// Whether the text holds no "%" and no byte that must be encoded: then it is its own normal form,
// as nearly every path is.
bool isPlainUrlText(std::string_view text);
// The text as one path segment: every byte but letters, digits and "-._~" percent-encoded.
std::string percentEncodeSegment(std::string_view text);
