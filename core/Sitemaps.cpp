#include "core/Sitemaps.h"

#include "core/SitemapReader.h"
#include "core/SitemapSource.h"
#include "platform/Text.h"

#include <algorithm>
#include <optional>
#include <unordered_set>

namespace {

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

struct UrlParts {
    std::string scheme;    // lowercased
    std::string authority; // as written, without user information
    std::string origin;    // "scheme://host:port", lowercased, with the port always
    std::string path;      // from the first "/" (or "/" when there is none), query included
};

std::optional<UrlParts> splitUrl(std::string_view url) {
    const auto colon = url.find("://");
    if (colon == std::string_view::npos || colon == 0) return std::nullopt;
    UrlParts parts;
    parts.scheme = lowerAscii(url.substr(0, colon));
    if (parts.scheme != "http" && parts.scheme != "https") return std::nullopt;
    std::string_view rest = url.substr(colon + 3);
    const auto end = std::min(rest.find_first_of("/?#"), rest.size());
    std::string_view authority = rest.substr(0, end);
    if (const auto at = authority.rfind('@'); at != std::string_view::npos) authority.remove_prefix(at + 1);
    std::string_view host = authority;
    std::string port = parts.scheme == "https" ? "443" : "80";
    if (const auto p = authority.rfind(':'); p != std::string_view::npos) {
        host = authority.substr(0, p);
        std::string_view digits = authority.substr(p + 1);
        if (!digits.empty()) {
            if (digits.find_first_not_of("0123456789") != std::string_view::npos) return std::nullopt;
            while (digits.size() > 1 && digits.front() == '0')
                digits.remove_prefix(1);
            port = std::string(digits);
        }
    }
    if (host.empty()) return std::nullopt;
    parts.authority = std::string(authority);
    parts.origin = parts.scheme + "://" + lowerAscii(host) + ":" + port;
    std::string_view path = rest.substr(end);
    path = path.substr(0, path.find('#'));
    parts.path = path.empty() || path.front() != '/' ? "/" + std::string(path) : std::string(path);
    return parts;
}

// The scheme and authority of the profile URL, which users often type without a scheme.
std::string originOf(std::string_view url) {
    std::string text(trim(url));
    if (text.find("://") == std::string::npos) text = "http://" + text;
    auto parts = splitUrl(text);
    return parts ? parts->scheme + "://" + parts->authority : std::string();
}

bool namesRobots(std::string_view url) {
    auto parts = splitUrl(url);
    if (!parts) return false;
    std::string_view path = parts->path;
    path = path.substr(0, path.find('?'));
    return equalsIgnoringCase(path.substr(path.rfind('/') + 1), "robots.txt");
}

// Reads the sitemaps one after another into one result.
class Gatherer {
public:
    Gatherer(SitemapSource& source, std::size_t maxUrls, SiteSitemaps& out)
        : source_(source), maxUrls_(maxUrls), out_(out) {}

    void readTop(const std::string& url) {
        if (full_ || !seen_.insert(url).second) return;
        read(url, nullptr);
    }

private:
    void problem(const std::string& url, const std::string& text) {
        out_.problems.push_back(url + ": " + text);
    }

    // Reads one file; index is the index that lists it, or null for a sitemap the site names.
    void read(const std::string& url, const std::string* index) {
        const SitemapScope scope(url);
        std::vector<std::string> children;
        bool nested = false;
        SitemapReader* self = nullptr;
        SitemapReader reader([&](std::string_view loc, std::int64_t lastmod) {
            if (self->kind() == SitemapReader::Kind::Index) {
                if (index) {
                    nested = true;
                    return false;
                }
                children.emplace_back(loc);
                return true;
            }
            return take(loc, lastmod, scope);
        });
        self = &reader;
        const FetchResult fetched =
            source_.fetch(url, [&](std::string_view piece) { return reader.feed(piece); });
        if (fetched.ok()) reader.finish();
        if (reader.kind() != SitemapReader::Kind::Unknown) ++out_.filesRead;
        if (!fetched.ok()) {
            std::string text = fetched.problem;
            if (reader.entries() > 0)
                text += "; the " + withThousands(reader.entries()) + " entries read before are kept";
            problem(url, text);
        } else if (!reader.problem().empty()) {
            problem(url, reader.problem());
        }
        if (reader.overLimit()) ++out_.overLimit;
        if (nested) {
            problem(url, "it is a sitemap index inside the sitemap index " + *index +
                             "; sitemaps nest only one level deep, so it is not read");
        }
        if (full_) {
            ++out_.overLimit;
            problem(url, "the sitemaps list more than " + withThousands(maxUrls_) +
                             " URLs in all ([Sitemaps] MaxURLs); the first " + withThousands(maxUrls_) +
                             " are kept and nothing further is read");
            return;
        }
        readChildren(url, children);
    }

    // Keeps a URL of a sitemap when it is one, in the sitemap's scope, and not kept already;
    // false when the bound on all URLs is reached.
    bool take(std::string_view loc, std::int64_t lastmod, const SitemapScope& scope) {
        if (!isSitemapUrl(loc) || !scope.contains(loc)) {
            ++out_.dropped;
            return true;
        }
        std::optional<std::size_t> found;
        if (out_.urls.size() < maxUrls_) {
            auto [at, added] = out_.urls.insert(loc, lastmod);
            if (added) return true;
            found = at;
        } else {
            found = out_.urls.find(loc);
            if (!found) {
                full_ = true;
                return false;
            }
        }
        ++out_.duplicates;
        // The later of two dates stands for the page.
        out_.urls.setValue(*found, std::max(out_.urls.value(*found), lastmod));
        return true;
    }

    // Reads the sitemaps an index lists, one level deep, on the index's own host.
    void readChildren(const std::string& url, const std::vector<std::string>& children) {
        const std::string host = hostOfUrl(url);
        for (const std::string& child : children) {
            if (child == url) {
                problem(url, "the sitemap index lists itself; that entry is skipped");
                continue;
            }
            if (!isSitemapUrl(child)) {
                problem(url, "the sitemap index lists \"" + child + "\", which is not a URL; it is skipped");
                continue;
            }
            if (hostOfUrl(child) != host) {
                problem(url, "the sitemap index lists " + child + " on another host; it is not read");
                continue;
            }
            if (!seen_.insert(child).second) continue;
            read(child, &url);
            if (full_) return;
        }
    }

    SitemapSource& source_;
    std::size_t maxUrls_;
    SiteSitemaps& out_;
    std::unordered_set<std::string> seen_;
    bool full_ = false;
};

} // namespace

SitemapScope::SitemapScope(std::string_view sitemapUrl) {
    auto parts = splitUrl(sitemapUrl);
    if (!parts) return;
    valid_ = true;
    origin_ = parts->origin;
    std::string_view path = parts->path;
    path = path.substr(0, path.find('?'));
    folder_ = std::string(path.substr(0, path.rfind('/') + 1));
    written_ = std::string(sitemapUrl.substr(0, sitemapUrl.find("://") + 3)) + parts->authority + folder_;
    // With user information the authority as written differs; then every URL is parsed.
    if (sitemapUrl.compare(0, written_.size(), written_) != 0) written_ = std::string(1, '\0');
}

bool SitemapScope::contains(std::string_view url) const {
    if (!valid_) return false;
    // What follows the written prefix is path; whether it is a URL at all is isSitemapUrl's.
    if (url.compare(0, written_.size(), written_) == 0) return true;
    auto parts = splitUrl(url);
    return parts && parts->origin == origin_ && parts->path.compare(0, folder_.size(), folder_) == 0;
}

bool isSitemapUrl(std::string_view url) {
    if (url.size() >= 2048) return false;
    for (char c : url)
        if (static_cast<unsigned char>(c) <= 0x20 || c == 0x7F) return false;
    // The common forms need no parsing: a lowercase scheme and a host that starts at once.
    for (std::string_view scheme : {std::string_view("https://"), std::string_view("http://")})
        if (url.size() > scheme.size() && url.compare(0, scheme.size(), scheme) == 0) {
            const char first = url[scheme.size()];
            if (first != '/' && first != '?' && first != '#' && first != ':' && first != '@' &&
                url.find('@') == std::string_view::npos &&
                url.find(':', scheme.size()) == std::string_view::npos)
                return true;
        }
    return splitUrl(url).has_value();
}

std::vector<std::string> sitemapsOfRobots(std::string_view robots, std::string_view robotsUrl) {
    std::vector<std::string> found;
    for (std::string_view line : splitLines(robots)) {
        const auto colon = line.find(':');
        if (colon == std::string_view::npos || !equalsIgnoringCase(trim(line.substr(0, colon)), "sitemap"))
            continue;
        std::string_view value = trim(line.substr(colon + 1));
        // A comment after the value; a "#" inside a URL has no blank before it.
        for (std::size_t i = 1; i < value.size(); ++i)
            if (value[i] == '#' && (value[i - 1] == ' ' || value[i - 1] == '\t')) {
                value = trim(value.substr(0, i));
                break;
            }
        if (value.empty()) continue;
        if (value.front() == '/')
            found.push_back(originOf(robotsUrl) + std::string(value));
        else
            found.emplace_back(value);
    }
    return found;
}

std::vector<std::string> findSitemaps(std::string_view profileUrl, std::string_view sitemapKey,
                                      SitemapSource& source, std::vector<std::string>& problems) {
    const std::string key(trim(sitemapKey));
    if (!key.empty() && !namesRobots(key)) return {key};
    const std::string robotsUrl = key.empty() ? originOf(profileUrl) + "/robots.txt" : key;
    if (robotsUrl == "/robots.txt") {
        problems.push_back("the profile URL \"" + std::string(profileUrl) + "\" names no web site");
        return {};
    }
    std::string robots;
    bool cut = false;
    const FetchResult fetched = source.fetch(robotsUrl, [&](std::string_view piece) {
        const std::size_t room = RobotsMaxBytes - robots.size();
        robots.append(piece.substr(0, room));
        cut = piece.size() > room;
        return !cut;
    });
    std::vector<std::string> sitemaps;
    if (fetched.ok()) {
        if (cut) {
            problems.push_back(robotsUrl + ": it is larger than " + withThousands(RobotsMaxBytes) +
                               " bytes; only the lines in its first " + withThousands(RobotsMaxBytes) +
                               " bytes are read");
            // The line that the cut went through is not whole.
            robots.resize(robots.find_last_of("\r\n") == std::string::npos ? 0
                                                                           : robots.find_last_of("\r\n") + 1);
        }
        const std::string host = hostOfUrl(robotsUrl);
        for (std::string& url : sitemapsOfRobots(robots, robotsUrl)) {
            if (!isSitemapUrl(url))
                problems.push_back(robotsUrl + ": \"" + url + "\" is not a URL; it is skipped");
            else if (hostOfUrl(url) != host)
                problems.push_back(robotsUrl + ": the sitemap " + url +
                                   " is on another host; it is not read");
            else if (std::find(sitemaps.begin(), sitemaps.end(), url) == sitemaps.end())
                sitemaps.push_back(std::move(url));
        }
    } else if (fetched.status != 404 && fetched.status != 410) {
        // No robots.txt is usual; anything else is worth saying before trying /sitemap.xml.
        problems.push_back(robotsUrl + ": " + fetched.problem);
    }
    if (sitemaps.empty()) sitemaps.push_back(originOf(robotsUrl) + "/sitemap.xml");
    return sitemaps;
}

SiteSitemaps readSitemaps(std::string_view profileUrl, std::string_view sitemapKey, SitemapSource& source,
                          std::size_t maxUrls) {
    SiteSitemaps out;
    out.sitemaps = findSitemaps(profileUrl, sitemapKey, source, out.problems);
    Gatherer gatherer(source, maxUrls, out);
    for (const std::string& url : out.sitemaps)
        gatherer.readTop(url);
    return out;
}
