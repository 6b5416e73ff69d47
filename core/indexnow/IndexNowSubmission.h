#pragma once

#include "core/store/StoreSelection.h"

#include "core/sitemaps/SitemapSource.h"
#include "http/Url.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class UrlTable;

// Profile keys of the IndexNow channel, beside the sixteen fields: the key, and where on the
// site its key file lies when that is not "/KEY.txt" (then it speaks only for URLs in its
// folder and below).
constexpr const char* IndexNowKeyKey = "IndexNowKey";
constexpr const char* IndexNowKeyLocationKey = "IndexNowKeyLocation";
// "all": the first run on a site announces every page, not only those of the last 48 hours.
constexpr const char* IndexNowFirstRunKey = "IndexNowFirstRun";
// The first run's rule for a profile: every page when --all-pages asked for it or the profile's
// IndexNowFirstRun says "all", else the recent pages.
FirstRun indexNowFirstRun(bool allPagesAsked, std::string_view profileSetting);
// The shared endpoint, which hands a submission on to every participating engine.
constexpr const char* DefaultIndexNowEndpoint = "https://api.indexnow.org/indexnow";
// The most URLs one submission may carry.
constexpr std::size_t IndexNowBatchSize = 10'000;

// The sentence that refuses a key of the wrong form; empty for a good key (8 to 128
// characters from a-z, A-Z, 0-9 and "-").
std::string indexNowKeyProblem(std::string_view key);
// The sentence that refuses a key location that is not the URL of a file on the profile URL's
// host (as typed, in the editor); empty for an empty location or a good one.
std::string indexNowKeyLocationProblem(std::string_view profileUrl, std::string_view location);
// The same for a run, which knows the site's origin: the location must lie on it.
std::string indexNowKeyLocationProblem(const Url& site, std::string_view location);
// A new key: 32 lowercase hexadecimal characters from the system's random source. Throws
// LarkspanError when the source cannot be read.
std::string generateIndexNowKey();

// The host a submission names: the URL's host name lowercased, with ":port" when the URL
// names a port other than its scheme's default. Empty when the URL names no host.
std::string indexNowHost(std::string_view url);
// Where the key file is: the location when one is given, else ORIGIN/KEY.txt on the site's
// origin (its scheme too). The second form takes the profile URL as typed, for the editor.
std::string indexNowKeyFileUrl(const Url& site, std::string_view key, std::string_view location);
std::string indexNowKeyFileUrl(std::string_view profileUrl, std::string_view key, std::string_view location);

// What the key file check found, and a sentence that says it plainly.
struct KeyFileCheck {
    bool holdsKey = false;
    std::string url;
    std::string message;
};
// Fetches the key file (following redirects only within the origin) and tells whether it
// holds exactly the key (white space at its end, such as the newline an editor adds, and a
// byte order mark at its start do not count).
KeyFileCheck checkIndexNowKeyFile(SitemapSource& source, const Url& site, std::string_view key,
                                  std::string_view location);
// Writes "KEY.txt" holding the key into the directory, for the user to upload to the site's
// root; returns its path. Throws LarkspanError "Unable to write to " + file.
std::string saveIndexNowKeyFile(const std::string& directory, std::string_view key);

// What an endpoint's status means by the protocol, such as "key not valid: no key file, or the
// file does not hold the key" for 403.
std::string indexNowStatusMeaning(int status);

// One profile's submission: the URLs to announce (the site's URL first, then the changed URLs
// of its sitemaps in document order, without duplicates, only those on the site's origin and in
// the key location's folder), cut into POST bodies of at most 10,000 URLs. The sitemap URLs
// stay in their table: the submission holds only their indices.
class IndexNowSubmission {
public:
    // Whether URLs off the host or outside the key location's folder are left out. Only a test
    // lets them through, to see what an endpoint makes of them.
    enum class Scope { Enforced, Unchecked };
    // Whether the profile URL goes first: it is left out when it did not change since it was sent.
    enum class ProfileUrl { Included, LeftOut };

    IndexNowSubmission(const Url& site, std::string key, std::string location, const UrlTable& sitemap,
                       const std::vector<std::size_t>& changed, Scope scope = Scope::Enforced,
                       ProfileUrl profile = ProfileUrl::Included);

    const std::string& host() const { return host_; }
    const std::string& key() const { return key_; }
    std::size_t size() const { return (profileIncluded_ ? 1 : 0) + indices_.size(); }
    std::string_view url(std::size_t i) const;
    // The table index of the i-th URL; none for the profile URL, which is not the table's.
    std::optional<std::size_t> tableIndex(std::size_t i) const;
    // URLs left out as off the origin or outside the key location's folder.
    std::size_t leftOut() const { return leftOut_; }

    std::size_t batchCount() const { return (size() + IndexNowBatchSize - 1) / IndexNowBatchSize; }
    // The URLs of one batch.
    std::vector<std::string_view> batch(std::size_t b) const;
    // {"host":H,"key":K,"keyLocation":L,"urlList":[...]} for one batch, without spaces;
    // keyLocation only when there is one.
    std::string body(std::size_t b) const;

private:
    std::string profileUrl_;
    std::string host_;
    std::string key_;
    std::string location_;
    const UrlTable& sitemap_;
    bool profileIncluded_ = true;
    // Sitemap entries to send, in document order; the profile URL comes before them.
    std::vector<std::size_t> indices_;
    std::size_t leftOut_ = 0;
};
