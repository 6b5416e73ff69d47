#include "http/Url.h"

#include "http/HostName.h"

#include <algorithm>
#include <array>
#include <charconv>

namespace {

bool isAlpha(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool isDigit(char c) {
    return c >= '0' && c <= '9';
}
bool isUnreserved(char c) {
    return isAlpha(c) || isDigit(c) || c == '-' || c == '.' || c == '_' || c == '~';
}

int hexValue(char c) {
    if (isDigit(c)) return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

char lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

void appendEncoded(std::string& out, unsigned char byte) {
    static constexpr char digits[] = "0123456789ABCDEF";
    out += '%';
    out += digits[byte >> 4];
    out += digits[byte & 15];
}

// Printable ASCII that RFC 3986 allows nowhere in a URL; browsers encode these too, and a
// server sees the same bytes either way.
bool mustEncode(unsigned char byte) {
    if (byte <= 0x20 || byte >= 0x7F) return true;
    switch (byte) {
    case '"':
    case '<':
    case '>':
    case '\\':
    case '^':
    case '`':
    case '{':
    case '|':
    case '}':
        return true;
    default:
        return false;
    }
}

// The bytes that the quick looks at a URL's text accept, one table each, since nearly every URL
// of a large sitemap passes through them: a host in its normal form, a path or query that
// needs no normalising (no escape, no fragment, nothing to encode), and text without escapes
// or anything to encode.
struct ByteClassTables {
    std::array<bool, 256> normalHost{};
    std::array<bool, 256> plainPath{};
    std::array<bool, 256> plainText{};
};
const ByteClassTables ByteClasses = [] {
    ByteClassTables t;
    for (int b = 0; b < 256; ++b) {
        const auto byte = static_cast<unsigned char>(b);
        const char c = static_cast<char>(b);
        t.normalHost[byte] = (c >= 'a' && c <= 'z') || isDigit(c) || c == '-' || c == '_' || c == '.';
        t.plainText[byte] = byte != '%' && !mustEncode(byte);
        t.plainPath[byte] = t.plainText[byte] && byte != '#';
    }
    return t;
}();

// RFC 3986, 5.2.4: "." and ".." segments removed from an absolute path.
std::string withoutDotSegments(std::string_view in) {
    std::string out;
    while (!in.empty()) {
        if (in.starts_with("../")) {
            in.remove_prefix(3);
        } else if (in.starts_with("./")) {
            in.remove_prefix(2);
        } else if (in.starts_with("/./")) {
            in.remove_prefix(2);
        } else if (in == "/.") {
            in = "/";
        } else if (in.starts_with("/../") || in == "/..") {
            in = in.size() == 3 ? std::string_view("/") : in.substr(3);
            const auto cut = out.rfind('/');
            out.erase(cut == std::string::npos ? 0 : cut);
        } else if (in == "." || in == "..") {
            in = {};
        } else {
            const auto next = in.find('/', 1);
            const auto segment = in.substr(0, next);
            out += segment;
            in.remove_prefix(segment.size());
        }
    }
    return out;
}

bool validScheme(std::string_view scheme) {
    if (scheme.empty() || !isAlpha(scheme[0])) return false;
    for (char c : scheme)
        if (!isAlpha(c) && !isDigit(c) && c != '+' && c != '-' && c != '.') return false;
    return true;
}

// The scheme of a reference, or empty when it has none (a relative reference).
std::string_view schemeOf(std::string_view reference) {
    const auto colon = reference.find(':');
    if (colon == std::string_view::npos) return {};
    const auto scheme = reference.substr(0, colon);
    return validScheme(scheme) ? scheme : std::string_view{};
}

// A host is a DNS name (letters, digits, "-", "_", "."), an IPv4 address, or an IPv6 address in
// brackets; a name with non-ASCII letters (an internationalised one) becomes its A-label form
// first. Anything else (controls, blanks, "%", "@", "\\") is refused outright, so that no such
// byte ever reaches a request line, a Host line or a log.
std::optional<std::string> normalisedHost(std::string_view host) {
    if (host.empty()) return std::nullopt;
    if (std::any_of(host.begin(), host.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; })) {
        const auto ascii = asciiHostName(host);
        return ascii ? normalisedHost(*ascii) : std::nullopt;
    }
    std::string out;
    if (host.front() == '[') {
        if (host.size() < 3 || host.back() != ']') return std::nullopt;
        for (char c : host.substr(1, host.size() - 2))
            if (hexValue(c) < 0 && c != ':' && c != '.') return std::nullopt;
    } else {
        for (char c : host)
            if (!isAlpha(c) && !isDigit(c) && c != '-' && c != '_' && c != '.') return std::nullopt;
    }
    for (char c : host)
        out += lower(c);
    return out;
}

struct Pieces {
    std::string_view scheme, authority, path, query;
    bool hasAuthority = false, hasQuery = false;
};

// Splits a reference into its parts (RFC 3986, appendix B); the fragment is dropped.
Pieces split(std::string_view text) {
    Pieces p;
    text = text.substr(0, text.find('#'));
    p.scheme = schemeOf(text);
    if (!p.scheme.empty()) text.remove_prefix(p.scheme.size() + 1);
    if (text.starts_with("//")) {
        text.remove_prefix(2);
        const auto end = text.find_first_of("/?");
        p.authority = text.substr(0, end);
        p.hasAuthority = true;
        text.remove_prefix(p.authority.size());
    }
    const auto question = text.find('?');
    p.path = text.substr(0, question);
    if (question != std::string_view::npos) {
        p.query = text.substr(question + 1);
        p.hasQuery = true;
    }
    return p;
}

int defaultPortOf(std::string_view scheme) {
    return scheme == "https" ? 443 : 80;
}

} // namespace

bool isPlainUrlText(std::string_view text) {
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return ByteClasses.plainText[static_cast<unsigned char>(c)]; });
}

std::string normalisePercentEncoding(std::string_view text, LonePercent lone) {
    if (isPlainUrlText(text)) return std::string(text);
    std::string out;
    out.reserve(text.size() + 8);
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte == '%' && i + 2 < text.size() && hexValue(text[i + 1]) >= 0 && hexValue(text[i + 2]) >= 0) {
            const auto decoded =
                static_cast<unsigned char>(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2]));
            if (isUnreserved(static_cast<char>(decoded)))
                out += static_cast<char>(decoded);
            else
                appendEncoded(out, decoded);
            i += 2;
        } else if ((byte == '%' && lone == LonePercent::Encoded) || mustEncode(byte)) {
            appendEncoded(out, byte);
        } else {
            out += static_cast<char>(byte);
        }
    }
    return out;
}

std::string percentEncodeSegment(std::string_view text) {
    std::string out;
    for (char c : text) {
        if (isUnreserved(c))
            out += c;
        else
            appendEncoded(out, static_cast<unsigned char>(c));
    }
    return out;
}

std::optional<Url> Url::parse(std::string_view text) {
    const Pieces p = split(text);
    if (!p.hasAuthority) return std::nullopt;
    Url url;
    for (char c : p.scheme)
        url.scheme_ += lower(c);
    if (url.scheme_ != "http" && url.scheme_ != "https") return std::nullopt;
    // Credentials in a URL have no place in live traffic, and "http://good@evil/" is a
    // classic disguise, so a URL with user information is refused rather than trimmed.
    std::string_view authority = p.authority;
    if (authority.find('@') != std::string_view::npos) return std::nullopt;
    const auto bracket = authority.rfind(']');
    const auto colon = authority.rfind(':');
    url.port_ = defaultPortOf(url.scheme_);
    if (colon != std::string_view::npos && (bracket == std::string_view::npos || colon > bracket)) {
        const auto digits = authority.substr(colon + 1);
        authority = authority.substr(0, colon);
        if (!digits.empty()) {
            int port = 0;
            const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), port);
            if (ec != std::errc() || end != digits.data() + digits.size() || port < 1 || port > 65535)
                return std::nullopt;
            url.port_ = port;
        }
    }
    auto host = normalisedHost(authority);
    if (!host) return std::nullopt;
    url.host_ = std::move(*host);
    url.path_ = withoutDotSegments(normalisePercentEncoding(p.path));
    if (url.path_.empty() || url.path_.front() != '/') url.path_.insert(0, "/");
    url.hasQuery_ = p.hasQuery;
    url.query_ = normalisePercentEncoding(p.query);
    return url;
}

bool Url::isNormal(std::string_view text) {
    std::string_view rest = text;
    int defaultPort = 80;
    if (rest.starts_with("https://")) {
        defaultPort = 443;
        rest.remove_prefix(8);
    } else if (rest.starts_with("http://")) {
        rest.remove_prefix(7);
    } else {
        return false;
    }
    std::size_t hostEnd = 0;
    while (hostEnd < rest.size() && ByteClasses.normalHost[static_cast<unsigned char>(rest[hostEnd])])
        ++hostEnd;
    if (hostEnd == 0 || hostEnd == rest.size() || (rest[hostEnd] != ':' && rest[hostEnd] != '/'))
        return false;
    rest.remove_prefix(hostEnd);
    if (rest.front() == ':') {
        // A port as the normal form writes it: no leading zero, in range, not the default.
        const auto slash = rest.find('/');
        const std::string_view digits = rest.substr(1, slash == std::string_view::npos ? 0 : slash - 1);
        int port = 0;
        const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), port);
        if (digits.empty() || digits.front() == '0' || ec != std::errc() ||
            end != digits.data() + digits.size() || port < 1 || port > 65535 || port == defaultPort)
            return false;
        rest.remove_prefix(digits.size() + 1);
    }
    // The path (and query): no escape to normalise, no byte to encode, no fragment, no dot
    // segment ("/." also rules out a few harmless names, which parsing then confirms).
    if (rest.empty() || rest.front() != '/' || rest.find("/.") != std::string_view::npos) return false;
    return std::all_of(rest.begin(), rest.end(),
                       [](char c) { return ByteClasses.plainPath[static_cast<unsigned char>(c)]; });
}

std::optional<Url> Url::resolve(std::string_view reference) const {
    const Pieces r = split(reference);
    if (!r.scheme.empty()) return parse(reference);
    if (r.hasAuthority) return parse(scheme_ + ":" + std::string(reference));
    std::string path;
    std::string_view query = r.query;
    bool hasQuery = r.hasQuery;
    if (r.path.empty()) {
        path = path_;
        if (!hasQuery) {
            query = query_;
            hasQuery = hasQuery_;
        }
    } else if (r.path.front() == '/') {
        path = r.path;
    } else {
        path = path_.substr(0, path_.rfind('/') + 1);
        path += r.path;
    }
    std::string text = origin() + path;
    if (hasQuery) text += "?" + std::string(query);
    return parse(text);
}

bool Url::defaultPort() const {
    return port_ == defaultPortOf(scheme_);
}

std::string Url::origin() const {
    return scheme_ + "://" + hostPort();
}

std::string Url::hostPort() const {
    return defaultPort() ? host_ : host_ + ":" + std::to_string(port_);
}

std::string Url::pathAndQuery() const {
    return hasQuery_ ? path_ + "?" + query_ : path_;
}

std::string Url::text() const {
    return origin() + pathAndQuery();
}

bool Url::sameOrigin(const Url& other) const {
    return scheme_ == other.scheme_ && host_ == other.host_ && port_ == other.port_;
}

bool Url::inFolderOf(const Url& other) const {
    const std::string folder = other.path_.substr(0, other.path_.rfind('/') + 1);
    return sameOrigin(other) && path_.starts_with(folder);
}

std::string urlKey(std::string_view text) {
    if (Url::isNormal(text)) return std::string(text);
    if (const std::optional<Url> parsed = Url::parse(text)) return parsed->text();
    return std::string(text);
}
