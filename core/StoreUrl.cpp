#include "core/StoreUrl.h"

#include <vector>

namespace {

char lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    c = lower(c);
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

bool unreserved(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '.' || c == '_' || c == '~';
}

// Percent-encoding in one form: unreserved characters as themselves, every other escape with
// upper-case digits, and bytes that may not stand in a URL (controls, space, non-ASCII) escaped.
void appendNormalisedEncoding(std::string& out, std::string_view part) {
    static const char* digits = "0123456789ABCDEF";
    for (std::size_t i = 0; i < part.size(); ++i) {
        const auto c = static_cast<unsigned char>(part[i]);
        if (c == '%' && i + 2 < part.size() && hexValue(part[i + 1]) >= 0 && hexValue(part[i + 2]) >= 0) {
            const auto decoded =
                static_cast<unsigned char>(hexValue(part[i + 1]) * 16 + hexValue(part[i + 2]));
            if (unreserved(decoded)) {
                out += static_cast<char>(decoded);
            } else {
                out += '%';
                out += digits[decoded >> 4];
                out += digits[decoded & 15];
            }
            i += 2;
        } else if (c <= 0x20 || c >= 0x7f || c == '"' || c == '<' || c == '>' || c == '\\' || c == '^' ||
                   c == '`' || c == '{' || c == '|' || c == '}') {
            out += '%';
            out += digits[c >> 4];
            out += digits[c & 15];
        } else {
            out += static_cast<char>(c);
        }
    }
}

// "/a/./b/../c" becomes "/a/c", as a browser resolves it.
std::string withoutDotSegments(std::string_view path) {
    if (path.find("/.") == std::string_view::npos) return std::string(path);
    std::vector<std::string_view> segments;
    std::size_t start = 1;
    bool trailingSlash = false;
    while (start <= path.size()) {
        const std::size_t slash = std::min(path.find('/', start), path.size());
        const std::string_view segment = path.substr(start, slash - start);
        trailingSlash = segment == "." || segment == "..";
        if (segment == "..") {
            if (!segments.empty()) segments.pop_back();
        } else if (segment != ".") {
            segments.push_back(segment);
        }
        start = slash + 1;
    }
    std::string out;
    for (std::string_view segment : segments)
        out.append("/").append(segment);
    if (trailingSlash || out.empty()) out += '/';
    return out;
}

} // namespace

std::string storeUrlKey(std::string_view url) {
    const std::size_t colon = url.find("://");
    if (colon == std::string_view::npos) return std::string(url);
    std::string scheme;
    for (char c : url.substr(0, colon))
        scheme += lower(c);
    if (scheme != "http" && scheme != "https") return std::string(url);
    std::string_view rest = url.substr(colon + 3);
    rest = rest.substr(0, rest.find('#'));
    const std::size_t pathStart = std::min(rest.find_first_of("/?"), rest.size());
    std::string_view authority = rest.substr(0, pathStart);
    std::string_view path = rest.substr(pathStart);
    std::string_view query;
    bool hasQuery = false;
    if (const std::size_t q = path.find('?'); q != std::string_view::npos) {
        query = path.substr(q + 1);
        path = path.substr(0, q);
        hasQuery = true;
    }
    std::string out = scheme + "://";
    // User information stays as written; the host and port after it are normalised.
    if (const std::size_t at = authority.rfind('@'); at != std::string_view::npos) {
        out.append(authority.substr(0, at + 1));
        authority = authority.substr(at + 1);
    }
    std::string_view host = authority;
    std::string_view port;
    if (const std::size_t c = authority.rfind(':');
        c != std::string_view::npos && authority.find(']', c) == std::string_view::npos) {
        host = authority.substr(0, c);
        port = authority.substr(c + 1);
    }
    for (char c : host)
        out += lower(c);
    while (port.size() > 1 && port.front() == '0')
        port.remove_prefix(1);
    const bool defaultPort =
        port.empty() || (scheme == "http" && port == "80") || (scheme == "https" && port == "443");
    if (!defaultPort) out.append(":").append(port);
    std::string encodedPath;
    appendNormalisedEncoding(encodedPath, path.empty() ? std::string_view("/") : path);
    out += withoutDotSegments(encodedPath);
    if (hasQuery) {
        out += '?';
        appendNormalisedEncoding(out, query);
    }
    return out;
}
