#include "core/sitemaps/Sitemaps.h"

#include "core/Config.h"
#include "core/sitemaps/SitemapSource.h"
#include "platform/Text.h"

#include <algorithm>

namespace {

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

bool namesRobots(const Url& url) {
    const std::string& path = url.path();
    return equalsIgnoringCase(std::string_view(path).substr(path.rfind('/') + 1), "robots.txt");
}

// The folder of a URL's path as a URL of its own ("https://x/shop/" for "https://x/shop/a.xml").
Url folderUrl(const Url& url) {
    const std::string& path = url.path();
    return Url::parse(url.origin() + path.substr(0, path.rfind('/') + 1)).value_or(url);
}

// The text of a URL after a prefix that is already normalised: nothing in it that
// normalisation would change (dot segments, percent-encoding, a backslash).
bool plainRest(std::string_view rest) {
    return !rest.empty() && rest.front() != '.' && rest.find("/.") == std::string_view::npos &&
           rest.find_first_of("%\\") == std::string_view::npos;
}

// Reads at most RobotsMaxBytes of a robots.txt; its Sitemap lines are what counts.
std::vector<std::string> robotsSitemaps(const std::string& robotsUrl, SitemapSource& source,
                                        std::vector<std::string>& problems) {
    std::string robots;
    bool cut = false;
    // robots.txt may redirect to another host, which then speaks for the site.
    const FetchResult fetched = source.fetch(robotsUrl, Redirects::RobotsTxt, [&](std::string_view piece) {
        const std::size_t room = RobotsMaxBytes - robots.size();
        robots.append(piece.substr(0, room));
        cut = piece.size() > room;
        return !cut;
    });
    std::vector<std::string> sitemaps;
    if (!fetched.ok()) {
        // No robots.txt is usual; anything else is worth saying before trying /sitemap.xml.
        if (fetched.status != 404 && fetched.status != 410)
            problems.push_back(robotsUrl + ": " + fetched.problem);
        return sitemaps;
    }
    if (cut) {
        problems.push_back(robotsUrl + ": it is larger than " + withThousands(RobotsMaxBytes) +
                           " bytes; only the lines in its first " + withThousands(RobotsMaxBytes) +
                           " bytes are read");
        // The line that the cut went through is not whole.
        const std::size_t end = robots.find_last_of("\r\n");
        robots.resize(end == std::string::npos ? 0 : end + 1);
    }
    const Url base = Url::parse(fetched.finalUrl).value_or(*Url::parse(robotsUrl));
    for (std::string& url : sitemapsOfRobots(robots, base)) {
        if (!isSitemapUrl(url))
            problems.push_back(robotsUrl + ": \"" + url + "\" is not a URL; it is skipped");
        else if (std::find(sitemaps.begin(), sitemaps.end(), url) == sitemaps.end())
            sitemaps.push_back(std::move(url));
    }
    return sitemaps;
}

} // namespace

SitemapScope::SitemapScope(const Url& sitemap, const Url& site)
    : folder_(sitemap.sameOrigin(site) ? folderUrl(sitemap) : folderUrl(*Url::parse(site.origin() + "/"))),
      prefix_(folder_.text()) {}

bool SitemapScope::contains(std::string_view url) const {
    if (url.size() > prefix_.size() && url.compare(0, prefix_.size(), prefix_) == 0 &&
        plainRest(url.substr(prefix_.size())))
        return true;
    const std::optional<Url> parsed = Url::parse(url);
    return parsed && parsed->inFolderOf(folder_);
}

bool isSitemapUrl(std::string_view url) {
    if (url.size() >= 2048) return false;
    for (char c : url)
        if (static_cast<unsigned char>(c) <= 0x20 || c == 0x7F) return false;
    return Url::parse(url).has_value();
}

std::optional<std::string> sitemapKeyProblem(std::string_view value) {
    if (value.empty() || isSitemapUrl(value)) return std::nullopt;
    return "The Sitemap must be one http or https URL (of a sitemap, a sitemap index or a robots.txt), "
           "without blanks, line breaks or other control characters.";
}

std::vector<std::string> sitemapsOfRobots(std::string_view robots, const Url& robotsUrl) {
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
        const std::optional<Url> resolved =
            isSitemapUrl(value) || value.front() == '/' ? robotsUrl.resolve(value) : std::nullopt;
        found.push_back(resolved ? resolved->text() : std::string(value));
    }
    return found;
}

SitemapBounds sitemapBounds(const Config& config) {
    SitemapBounds bounds;
    bounds.maxUrls = config.sitemapMaxUrls;
    bounds.maxTime = std::chrono::seconds(config.sitemapMaxSeconds);
    bounds.atOnce = config.livePerHost;
    return bounds;
}

std::vector<std::string> findSitemaps(const Url& site, std::string_view sitemapKey, SitemapSource& source,
                                      std::vector<std::string>& problems) {
    const std::string key(trim(sitemapKey));
    std::string robotsUrl = site.origin() + "/robots.txt";
    if (!key.empty()) {
        const std::optional<Url> named = isSitemapUrl(key) ? Url::parse(key) : std::nullopt;
        if (!named) {
            problems.push_back("the Sitemap key \"" + key + "\" is not an http or https URL");
            return {};
        }
        if (!namesRobots(*named)) return {named->text()};
        robotsUrl = named->text();
    }
    std::vector<std::string> sitemaps = robotsSitemaps(robotsUrl, source, problems);
    if (sitemaps.empty()) sitemaps.push_back(site.origin() + "/sitemap.xml");
    return sitemaps;
}
