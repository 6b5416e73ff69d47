#include "core/PageUrl.h"

#include "core/RobotsTxt.h"
#include "platform/Text.h"

#include <optional>

namespace {

struct Parts {
    std::string scheme;
    std::string authority;
    std::string path;
    std::optional<std::string> query;
};

bool schemeChar(char c, bool first) {
    const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    return letter || (!first && ((c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.'));
}

// The scheme of a reference, or nothing when it has none (it then starts with a path).
std::optional<std::string> schemeOf(std::string_view s) {
    const auto colon = s.find(':');
    if (colon == std::string_view::npos || colon == 0) return std::nullopt;
    for (std::size_t i = 0; i < colon; ++i)
        if (!schemeChar(s[i], i == 0)) return std::nullopt;
    return lowerAscii(s.substr(0, colon));
}

// Splits what follows the scheme (or the whole of a relative reference) into its parts.
void splitRest(std::string_view rest, Parts& parts, bool& hasAuthority) {
    rest = rest.substr(0, rest.find('#'));
    hasAuthority = rest.substr(0, 2) == "//";
    if (hasAuthority) {
        rest.remove_prefix(2);
        const auto end = rest.find_first_of("/?");
        parts.authority = std::string(rest.substr(0, end));
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end);
    }
    const auto q = rest.find('?');
    parts.path = std::string(rest.substr(0, q));
    if (q != std::string_view::npos) parts.query = std::string(rest.substr(q + 1));
}

std::string removeDotSegments(std::string_view path) {
    std::string out;
    while (!path.empty()) {
        if (path.substr(0, 3) == "../")
            path.remove_prefix(3);
        else if (path.substr(0, 2) == "./")
            path.remove_prefix(2);
        else if (path.substr(0, 3) == "/./")
            path.remove_prefix(2);
        else if (path == "/.")
            path = "/";
        else if (path.substr(0, 4) == "/../" || path == "/..") {
            path = path.size() == 3 ? std::string_view("/") : path.substr(3);
            const auto slash = out.rfind('/');
            out.erase(slash == std::string::npos ? 0 : slash);
        } else if (path == "." || path == "..")
            path = {};
        else {
            const auto next = path.find('/', 1);
            out += path.substr(0, next);
            path = next == std::string_view::npos ? std::string_view() : path.substr(next);
        }
    }
    return out;
}

// Host in lower case, the scheme's default port dropped; nothing for an empty host or a
// user name (page links with credentials are not canonical URLs).
std::optional<std::string> normalAuthority(const std::string& scheme, std::string_view authority) {
    if (authority.empty() || authority.find('@') != std::string_view::npos) return std::nullopt;
    std::string result = lowerAscii(authority);
    const auto colon = result.rfind(':');
    if (colon != std::string::npos && result.find(']', colon) == std::string::npos) {
        const std::string port = result.substr(colon + 1);
        if (port.empty() || (scheme == "http" && port == "80") || (scheme == "https" && port == "443"))
            result.erase(colon);
    }
    for (char c : result)
        if (static_cast<unsigned char>(c) <= 0x20 || c == '/' || c == '\\') return std::nullopt;
    return result;
}

std::string withoutBlanks(std::string_view reference) {
    // Browsers drop tabs and line breaks anywhere in an href, and blanks around it.
    std::string out;
    for (char c : trimmed(reference, " \t\r\n\f"))
        if (c != '\t' && c != '\r' && c != '\n') out += c;
    return out;
}

} // namespace

std::string resolvePageUrl(std::string_view baseText, std::string_view referenceText) {
    const std::optional<std::string> baseScheme = schemeOf(baseText);
    if (!baseScheme || (*baseScheme != "http" && *baseScheme != "https")) return {};
    Parts base;
    bool baseAuthority = false;
    splitRest(baseText.substr(baseScheme->size() + 1), base, baseAuthority);
    if (!baseAuthority) return {};
    base.scheme = *baseScheme;

    const std::string reference = withoutBlanks(referenceText);
    Parts target;
    bool hasAuthority = false;
    const std::optional<std::string> scheme = schemeOf(reference);
    splitRest(std::string_view(reference).substr(scheme ? scheme->size() + 1 : 0), target, hasAuthority);
    if (scheme) {
        target.scheme = *scheme;
        if (!hasAuthority) return {};
    } else if (hasAuthority) {
        target.scheme = base.scheme;
    } else {
        target.scheme = base.scheme;
        target.authority = base.authority;
        if (target.path.empty()) {
            target.path = base.path;
            if (!target.query) target.query = base.query;
        } else if (target.path.front() != '/') {
            const auto slash = base.path.rfind('/');
            target.path = (slash == std::string::npos ? "/" : base.path.substr(0, slash + 1)) + target.path;
        }
    }
    if (target.scheme != "http" && target.scheme != "https") return {};
    const std::optional<std::string> authority = normalAuthority(target.scheme, target.authority);
    if (!authority) return {};
    std::string path = removeDotSegments(normaliseRobotsPath(target.path));
    if (path.empty() || path.front() != '/') path.insert(0, "/");
    std::string url = target.scheme + "://" + *authority + path;
    if (target.query) url += "?" + normaliseRobotsPath(*target.query);
    return url;
}
