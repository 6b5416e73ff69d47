#include "core/IndexNow.h"

#include "core/UrlTable.h"
#include "platform/Error.h"
#include "platform/Json.h"
#include "platform/Text.h"

#include <array>
#include <cstdio>
#include <ctime>
#include <sys/random.h>

namespace {

// A URL cut where a submission looks at it.
struct Parts {
    std::string scheme; // lowercased
    std::string host;   // as indexNowHost gives it
    std::string_view path;
};

std::optional<Parts> partsOf(std::string_view url) {
    const auto colon = url.find("://");
    if (colon == std::string_view::npos || colon == 0) return std::nullopt;
    Parts parts;
    parts.scheme = lowerAscii(url.substr(0, colon));
    std::string_view rest = url.substr(colon + 3);
    const std::size_t end = std::min(rest.find_first_of("/?#"), rest.size());
    std::string_view authority = rest.substr(0, end);
    if (const auto at = authority.rfind('@'); at != std::string_view::npos) authority.remove_prefix(at + 1);
    std::string_view name = authority;
    std::string_view port;
    if (const auto p = authority.rfind(':');
        p != std::string_view::npos && authority.find(']', p) == authority.npos) {
        name = authority.substr(0, p);
        port = authority.substr(p + 1);
        if (port.find_first_not_of("0123456789") != std::string_view::npos) return std::nullopt;
        while (port.size() > 1 && port.front() == '0')
            port.remove_prefix(1);
    }
    if (name.empty()) return std::nullopt;
    parts.host = lowerAscii(name);
    const bool defaultPort = port.empty() || (parts.scheme == "http" && port == "80") ||
                             (parts.scheme == "https" && port == "443");
    if (!defaultPort) parts.host += ":" + std::string(port);
    parts.path = rest.substr(end);
    if (parts.path.empty() || parts.path.front() != '/') parts.path = "/";
    return parts;
}

bool webScheme(std::string_view scheme) {
    return scheme == "http" || scheme == "https";
}

// The folder of the key location ("/shop/" for "/shop/key.txt"), query and fragment left out.
std::string_view folderOf(std::string_view path) {
    path = path.substr(0, path.find_first_of("?#"));
    return path.substr(0, path.rfind('/') + 1);
}

constexpr std::array<const char*, 12> Months = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

bool digits(std::string_view s, int& out) {
    if (s.empty() || s.find_first_not_of("0123456789") != std::string_view::npos) return false;
    out = 0;
    for (char c : s)
        out = out * 10 + (c - '0');
    return true;
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
    const std::string host = indexNowHost(indexNowProfileUrl(profileUrl));
    const auto parts = partsOf(location);
    // Without a profile URL yet, the location can only be checked for its form.
    if (parts && webScheme(parts->scheme) && (host.empty() || parts->host == host) &&
        folderOf(parts->path) != parts->path)
        return {};
    return "The IndexNow key location must be the URL of a file on " + (host.empty() ? "the site" : host) +
           " (such as https://" + (host.empty() ? "HOST" : host) + "/keys/KEY.txt).";
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

std::string indexNowProfileUrl(std::string_view profileUrl) {
    std::string url(trimmed(profileUrl, " \t\r\n"));
    if (!url.empty() && url.find("://") == std::string::npos) url = "http://" + url;
    return url;
}

std::string indexNowHost(std::string_view url) {
    const auto parts = partsOf(url);
    return parts ? parts->host : std::string();
}

std::string indexNowKeyFileUrl(std::string_view profileUrl, std::string_view key, std::string_view location) {
    if (!location.empty()) return std::string(location);
    return "https://" + indexNowHost(indexNowProfileUrl(profileUrl)) + "/" + std::string(key) + ".txt";
}

KeyFileCheck checkIndexNowKeyFile(SitemapSource& source, std::string_view profileUrl, std::string_view key,
                                  std::string_view location) {
    KeyFileCheck check;
    check.url = indexNowKeyFileUrl(profileUrl, key, location);
    if (std::string problem = indexNowKeyProblem(key); !problem.empty()) {
        check.message = problem;
        return check;
    }
    if (std::string problem = indexNowKeyLocationProblem(profileUrl, location); !problem.empty()) {
        check.message = problem;
        return check;
    }
    // A key file holds a key of at most 128 characters; a little more is read to see that
    // nothing else follows it.
    constexpr std::size_t enough = 1024;
    std::string content;
    const FetchResult fetched = source.fetch(check.url, [&](std::string_view piece) {
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

std::optional<std::int64_t> parseRetryAfter(std::string_view value, std::int64_t now) {
    value = trimmed(value, " \t\r\n");
    int seconds = 0;
    if (value.size() <= 9 && digits(value, seconds)) return now + seconds;
    // "Sun, 06 Nov 1994 08:49:37 GMT", the one form of date that HTTP sends today.
    if (value.size() != 29 || value.substr(3, 2) != ", " || value.substr(25) != " GMT") return std::nullopt;
    std::tm tm{};
    int day = 0, year = 0, hour = 0, minute = 0, second = 0;
    if (!digits(value.substr(5, 2), day) || !digits(value.substr(12, 4), year) ||
        !digits(value.substr(17, 2), hour) || !digits(value.substr(20, 2), minute) ||
        !digits(value.substr(23, 2), second) || value[16] != ' ' || value[19] != ':' || value[22] != ':')
        return std::nullopt;
    int month = -1;
    for (std::size_t m = 0; m < Months.size(); ++m)
        if (value.substr(8, 3) == Months[m]) month = static_cast<int>(m);
    if (month < 0 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 60) return std::nullopt;
    tm.tm_year = year - 1900;
    tm.tm_mon = month;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_sec = second;
    return static_cast<std::int64_t>(timegm(&tm));
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

IndexNowSubmission::IndexNowSubmission(std::string_view profileUrl, std::string key, std::string location,
                                       const UrlTable& sitemap, const std::vector<std::size_t>& changed,
                                       Scope scope, ProfileUrl profile)
    : profileUrl_(indexNowProfileUrl(profileUrl)), host_(indexNowHost(profileUrl_)), key_(std::move(key)),
      location_(std::move(location)), sitemap_(sitemap) {
    std::string folder = "/";
    if (!location_.empty())
        if (const auto parts = partsOf(location_)) folder = std::string(folderOf(parts->path));
    // Nearly every URL of a sitemap begins with the same scheme and host as the last one: a
    // URL that starts like the last one that passed needs no parsing.
    std::string passedOrigin;
    auto inScope = [&](std::string_view url) {
        if (scope == Scope::Unchecked) return true;
        if (!passedOrigin.empty() && url.substr(0, passedOrigin.size()) == passedOrigin &&
            url.substr(passedOrigin.size(), folder.size()) == folder)
            return true;
        const auto parts = partsOf(url);
        if (!parts || !webScheme(parts->scheme) || parts->host != host_) return false;
        const std::string_view path = parts->path;
        if (path.substr(0, folder.size()) != folder) return false;
        passedOrigin = std::string(url.substr(0, url.size() - path.size()));
        // Only an origin followed directly by the path may stand for the next URL.
        if (passedOrigin.find('@') != std::string::npos || url.substr(passedOrigin.size(), 1) != "/")
            passedOrigin.clear();
        return true;
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
