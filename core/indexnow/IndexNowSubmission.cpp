#include "core/indexnow/IndexNowSubmission.h"

#include "core/channels/LiveSite.h"
#include "core/sitemaps/UrlTable.h"
#include "platform/Error.h"
#include "platform/Json.h"
#include "platform/Text.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <ctime>
#include <sys/random.h>

namespace {

// The folder that a key location speaks for, as a URL ("https://x/shop/" for
// "https://x/shop/key.txt"); the origin's root without a location.
Url keyFolder(const Url& site, std::string_view location) {
    const std::optional<Url> at = location.empty() ? std::nullopt : Url::parse(location);
    const Url& base = at ? *at : site;
    const std::string& path = at ? base.path() : std::string("/");
    return Url::parse(base.origin() + path.substr(0, path.rfind('/') + 1)).value_or(base);
}

// The text of a URL after a prefix that is already normalised: nothing in it that
// normalisation would change (dot segments, percent-encoding, a backslash).
bool plainRest(std::string_view rest) {
    return !rest.empty() && rest.front() != '.' && rest.find("/.") == std::string_view::npos &&
           rest.find_first_of("%\\") == std::string_view::npos;
}

bool namesAFile(const Url& url) {
    return url.path().back() != '/';
}

} // namespace

std::string indexNowKeyProblem(std::string_view key) {
    bool formed = key.size() >= 8 && key.size() <= 128;
    for (char c : key)
        formed = formed &&
                 ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-');
    if (formed) return {};
    return "The IndexNow key must be 8 to 128 characters from a-z, A-Z, 0-9 and \"-\".";
}

std::string indexNowKeyLocationProblem(std::string_view profileUrl, std::string_view location) {
    if (location.empty()) return {};
    const std::optional<Url> site = profileSiteUrl(profileUrl);
    const std::optional<Url> at = Url::parse(location);
    // Without a profile URL yet, the location can only be checked for its form. The profile URL
    // as typed may still redirect to another scheme or port: the run checks the origin.
    if (at && namesAFile(*at) && (!site || at->host() == site->host())) return {};
    const std::string host = site ? site->host() : std::string();
    return "The IndexNow key location must be the URL of a file on " + (host.empty() ? "the site" : host) +
           " (such as https://" + (host.empty() ? "HOST" : host) + "/keys/KEY.txt).";
}

std::string indexNowKeyLocationProblem(const Url& site, std::string_view location) {
    if (location.empty()) return {};
    const std::optional<Url> at = Url::parse(location);
    if (at && namesAFile(*at) && at->sameOrigin(site)) return {};
    return "The IndexNow key location must be the URL of a file on the site's origin " + site.origin() +
           " (such as " + site.origin() + "/keys/KEY.txt).";
}

std::string generateIndexNowKey() {
    std::array<unsigned char, 16> bytes{};
    std::size_t got = 0;
    while (got < bytes.size()) {
        const ssize_t n = ::getrandom(bytes.data() + got, bytes.size() - got, 0);
        if (n < 0) {
            if (errno == EINTR) continue;
            throw LarkspanError("The system's random source cannot be read.");
        }
        got += static_cast<std::size_t>(n);
    }
    static constexpr char hex[] = "0123456789abcdef";
    std::string key;
    for (unsigned char b : bytes) {
        key += hex[b >> 4];
        key += hex[b & 15];
    }
    return key;
}

std::string indexNowHost(std::string_view url) {
    const std::optional<Url> parsed = Url::parse(url);
    return parsed ? parsed->hostPort() : std::string();
}

std::string indexNowKeyFileUrl(const Url& site, std::string_view key, std::string_view location) {
    if (!location.empty()) return std::string(location);
    return site.origin() + "/" + std::string(key) + ".txt";
}

std::string indexNowKeyFileUrl(std::string_view profileUrl, std::string_view key, std::string_view location) {
    if (!location.empty()) return std::string(location);
    const std::optional<Url> site = profileSiteUrl(profileUrl);
    return site ? indexNowKeyFileUrl(*site, key, location) : std::string();
}

KeyFileCheck checkIndexNowKeyFile(SitemapSource& source, const Url& site, std::string_view key,
                                  std::string_view location) {
    KeyFileCheck check;
    check.url = indexNowKeyFileUrl(site, key, location);
    if (std::string problem = indexNowKeyProblem(key); !problem.empty()) {
        check.message = problem;
        return check;
    }
    if (std::string problem = indexNowKeyLocationProblem(site, location); !problem.empty()) {
        check.message = problem;
        return check;
    }
    // A key file holds a key of at most 128 characters; a little more is read to see that
    // nothing else follows it. It must stay on the origin that it speaks for.
    constexpr std::size_t enough = 1024;
    std::string content;
    const FetchResult fetched = source.fetch(check.url, Redirects::SameOrigin, [&](std::string_view piece) {
        content.append(piece.substr(0, enough - std::min(enough, content.size())));
        return content.size() < enough;
    });
    if (!fetched.ok()) {
        check.message = "The key file " + check.url + " cannot be read: " + fetched.problem + ".";
        return check;
    }
    std::string_view text = content;
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
    text = trimmed(text, " \t\r\n");
    if (text == key) {
        check.holdsKey = true;
        check.message = "The key file " + check.url + " is there and holds the key.";
    } else if (text.empty()) {
        check.message = "The key file " + check.url + " is there but empty; it must hold the key.";
    } else {
        check.message =
            "The key file " + check.url + " is there but does not hold the key " + std::string(key) + ".";
    }
    return check;
}

std::string saveIndexNowKeyFile(const std::string& directory, std::string_view key) {
    std::string file = directory;
    if (!file.empty() && file.back() != '/') file += '/';
    file += std::string(key) + ".txt";
    std::FILE* f = std::fopen(file.c_str(), "wb");
    bool written = f && std::fwrite(key.data(), 1, key.size(), f) == key.size();
    if (f) written = std::fclose(f) == 0 && written;
    if (!written) throw LarkspanError("Unable to write to " + file);
    return file;
}

std::string indexNowStatusMeaning(int status) {
    switch (status) {
    case 200:
        return "received";
    case 202:
        return "received, key validation pending";
    case 400:
        return "bad request: invalid format";
    case 403:
        return "forbidden: key not valid (no key file, or the file does not hold the key)";
    case 422:
        return "unprocessable: URLs not on the host, or the key does not match the protocol's form";
    case 429:
        return "too many requests: seen as spam, slow down";
    default:
        return "an answer the protocol does not name";
    }
}

IndexNowSubmission::IndexNowSubmission(const Url& site, std::string key, std::string location,
                                       const UrlTable& sitemap, const std::vector<std::size_t>& changed,
                                       Scope scope, ProfileUrl profile)
    : profileUrl_(site.text()), host_(site.hostPort()), key_(std::move(key)), location_(std::move(location)),
      sitemap_(sitemap) {
    // Scope is the site's origin and the key location's folder, compared after normalisation
    // ("/k/../c" and "/k/%2e%2e/c" are not in "/k/"). Nearly every URL of a sitemap begins
    // with the folder's normalised text and holds nothing that normalisation would change:
    // such a URL needs no parsing.
    const Url folder = keyFolder(site, location_);
    const std::string prefix = folder.text();
    auto inScope = [&](std::string_view url) {
        if (scope == Scope::Unchecked) return true;
        if (url.size() > prefix.size() && url.compare(0, prefix.size(), prefix) == 0 &&
            plainRest(url.substr(prefix.size())))
            return true;
        const std::optional<Url> parsed = Url::parse(url);
        return parsed && parsed->inFolderOf(folder);
    };
    if (profile == ProfileUrl::Included) {
        profileIncluded_ = inScope(profileUrl_);
        if (!profileIncluded_) ++leftOut_;
    } else {
        profileIncluded_ = false;
    }
    indices_.reserve(changed.size());
    for (std::size_t i : changed) {
        const std::string_view url = sitemap_.url(i);
        if (url == profileUrl_) continue;
        if (inScope(url))
            indices_.push_back(i);
        else
            ++leftOut_;
    }
}

std::string_view IndexNowSubmission::url(std::size_t i) const {
    if (profileIncluded_) {
        if (i == 0) return profileUrl_;
        --i;
    }
    return sitemap_.url(indices_[i]);
}

FirstRun indexNowFirstRun(bool allPagesAsked, std::string_view profileSetting) {
    return allPagesAsked || profileSetting == "all" ? FirstRun::AllPages : FirstRun::RecentPages;
}

std::optional<std::size_t> IndexNowSubmission::tableIndex(std::size_t i) const {
    if (profileIncluded_) {
        if (i == 0) return std::nullopt;
        --i;
    }
    return indices_[i];
}

std::vector<std::string_view> IndexNowSubmission::batch(std::size_t b) const {
    std::vector<std::string_view> urls;
    const std::size_t first = b * IndexNowBatchSize;
    const std::size_t last = std::min(size(), first + IndexNowBatchSize);
    for (std::size_t i = first; i < last; ++i)
        urls.push_back(url(i));
    return urls;
}

std::string IndexNowSubmission::body(std::size_t b) const {
    std::string out = "{\"host\":" + jsonString(host_) + ",\"key\":" + jsonString(key_);
    if (!location_.empty()) out += ",\"keyLocation\":" + jsonString(location_);
    out += ",\"urlList\":[";
    const std::size_t first = b * IndexNowBatchSize;
    const std::size_t last = std::min(size(), first + IndexNowBatchSize);
    for (std::size_t i = first; i < last; ++i) {
        if (i > first) out += ',';
        out += jsonString(url(i));
    }
    out += "]}";
    return out;
}
