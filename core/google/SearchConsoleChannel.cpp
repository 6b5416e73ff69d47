#include "core/google/SearchConsoleChannel.h"

#include "core/Config.h"
#include "core/catalogue/SubmissionFields.h"
#include "core/channels/ChannelTable.h"
#include "core/channels/SiteRead.h"
#include "core/checks/RunPageChecks.h"
#include "core/google/ApiError.h"
#include "core/google/GoogleAuth.h"
#include "core/google/HeldSecrets.h"
#include "core/google/IndexStatusRun.h"
#include "core/profiles/SiteProfile.h"
#include "core/sitemaps/Sitemaps.h"
#include "core/store/SiteStore.h"
#include "http/RetryAfter.h"
#include "http/Url.h"
#include "platform/Error.h"
#include "platform/Time.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <ctime>
#include <memory>

#include <sys/stat.h>
#include <unistd.h>

namespace {

const std::string Prefix = std::string(SearchConsoleEngine) + ": ";
// A token is given up this long before its end, so that it never runs out on the way.
constexpr std::chrono::seconds ExpiryMargin{60};
// The name under which the channel keeps its notes in a profile's state, and the note of the
// time before which Google asked not to be called.
constexpr const char* SearchConsoleStateChannel = SearchConsoleChannelId;
// The pause after a 429 or 5xx that names no Retry-After.
constexpr std::int64_t DefaultPause = 60;

std::string lower(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

std::string trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return std::string(s);
}

bool hasBlankOrControl(std::string_view s) {
    for (char c : s)
        if (static_cast<unsigned char>(c) <= 0x20 || c == 0x7F) return true;
    return false;
}

// What the API's statuses mean for a sitemap submission.
std::string meaning(int status) {
    switch (status) {
    case 400:
        return "the request was not understood";
    case 401:
        return "the token is bad or expired";
    case 403:
        return "the service account is not a user of the property";
    case 301:
    case 302:
    case 303:
    case 307:
    case 308:
        return "a redirect, which a request with a token never follows";
    case 404:
        return "the property is unknown";
    case 429:
        return "too many requests; try again later";
    default:
        if (status >= 500) return "a fault at Google; try again later";
        return "not a success";
    }
}

std::string statusText(const LiveAnswer& answer) {
    if (answer.status == 0) return "an answer without a status";
    return trim(std::to_string(answer.status) + " " + withoutSecrets(answer.reason));
}

} // namespace

std::string searchConsoleKeyFile(const std::string& value, const std::string& profileDirectory) {
    if (value.rfind("~/", 0) == 0) {
        const char* home = std::getenv("HOME");
        if (home && *home) return std::string(home) + value.substr(1);
    }
    if (value.empty() || value.front() == '/' || profileDirectory.empty()) return value;
    return profileDirectory + "/" + value;
}

std::string defaultSearchConsoleProperty(std::string_view profileUrl) {
    const std::string url = trim(profileUrl);
    const auto colon = url.find("://");
    if (colon == std::string::npos) return {};
    const std::string scheme = lower(url.substr(0, colon));
    if (scheme != "http" && scheme != "https") return {};
    std::string authority = url.substr(colon + 3);
    authority = authority.substr(0, authority.find_first_of("/?#"));
    if (const auto at = authority.rfind('@'); at != std::string::npos) authority.erase(0, at + 1);
    if (authority.empty() || authority.front() == ':' || hasBlankOrControl(authority)) return {};
    return scheme + "://" + lower(authority) + "/";
}

std::optional<std::string> searchConsolePropertyProblem(std::string_view property) {
    const std::string_view domain = "sc-domain:";
    const std::string text(property);
    if (hasBlankOrControl(text)) return "The Search Console property may not hold blanks.";
    if (text.rfind(domain, 0) == 0) {
        if (text.size() == domain.size() || text.find('/') != std::string::npos)
            return "A domain property is sc-domain: and the domain, such as sc-domain:example.com.";
        return std::nullopt;
    }
    const std::string base = defaultSearchConsoleProperty(text);
    if (base.empty() || text.back() != '/')
        return "The Search Console property is a URL prefix ending in \"/\" (https://www.example.com/) "
               "or sc-domain: and a domain.";
    return std::nullopt;
}

std::string searchConsoleSitemapUrl(std::string_view apiBase, std::string_view property,
                                    std::string_view feed) {
    return std::string(apiBase) + "/webmasters/v3/sites/" + percentEncodeSegment(property) + "/sitemaps/" +
           percentEncodeSegment(feed);
}

bool SearchConsoleChannel::uses(const LiveRun& run) const {
    return !trim(run.profileValue(GoogleServiceAccountKey)).empty();
}

void SearchConsoleChannel::announce(LiveRun& run) {
    const std::string keyValue = trim(run.profileValue(GoogleServiceAccountKey));
    if (keyValue.empty()) return;

    ServiceAccount account;
    std::string warning;
    try {
        account = readServiceAccount(searchConsoleKeyFile(keyValue, run.profileDirectory()), warning);
    } catch (const LarkspanError& e) {
        run.refused(Prefix + e.what());
        return;
    }
    if (!warning.empty()) run.log(Prefix + "warning: " + warning);

    const Config& config = run.config();
    const std::string tokenUrl = config.googleTokenUrl.empty() ? account.tokenUri : config.googleTokenUrl;
    const std::optional<Url> token = Url::parse(tokenUrl);
    if (!token || token->scheme() != "https" || hasBlankOrControl(tokenUrl)) {
        // The assertion is as good as the key for an hour: it never travels in the clear.
        run.refused(Prefix + "the token URL " + tokenUrl + " of the key file is not an https URL");
        return;
    }

    std::string property = trim(run.profileValue(SearchConsolePropertyKey));
    if (property.empty()) property = run.site().origin() + "/";
    if (auto problem = searchConsolePropertyProblem(property)) {
        run.refused(Prefix + "the property \"" + property + "\" cannot be used. " + *problem);
        return;
    }
    if (work_ == Work::InspectOnly) return inspect(run, account, tokenUrl, property);
    // Google's pause of the sitemaps holds the inspections back no more than a refused sitemap does.
    if (pausedUntil(run)) {
        if (!run.dryRun()) inspect(run, account, tokenUrl, property);
        return;
    }

    const std::vector<std::string> feeds = readableSitemaps(run);
    if (feeds.empty()) {
        run.refused(Prefix + "no sitemap of " + run.site().origin() + " could be read; nothing is submitted");
        return;
    }
    // Google takes whole sitemaps, so no page can be left out of them; the verdicts of the pages
    // checked for this profile under Googlebot's rules tell the owner what Google will find.
    if (const VerdictCounts counts = run.pageChecks().counts(run.profileName(), Crawler::Googlebot);
        counts.total() > 0)
        run.log(Prefix + "page checks of " + run.fields().SiteTitle +
                " (Googlebot's rules): " + counts.text());
    for (const std::string& feed : feeds) {
        const Submitted submitted = submit(run, account, tokenUrl, property, feed);
        if (submitted == Submitted::NoToken) return;
        if (submitted == Submitted::NoMore) break;
    }
    // A dry run ends with the submissions: the inspections that follow only ask Google.
    if (run.dryRun()) return;
    // A refused sitemap does not hold the inspections back: their own answers say what stands.
    inspect(run, account, tokenUrl, property);
}

void SearchConsoleChannel::inspect(LiveRun& run, const ServiceAccount& account, const std::string& tokenUrl,
                                   const std::string& property) {
    // The pages to inspect are the store's: the sitemaps' pages are recorded first.
    run.reading().record();
    inspectIndexStatus(run, property, account.clientEmail, [&](TokenRenewal renewal) {
        return token(run, account, tokenUrl,
                     renewal == TokenRenewal::Now ? Renewal::Now : Renewal::WhenExpired);
    });
}

std::vector<std::string> SearchConsoleChannel::readableSitemaps(LiveRun& run) {
    // Google is only told of a sitemap that the run could read and that is one.
    const SiteSitemaps& sitemaps = run.reading().sitemaps();
    const std::vector<std::string>& read = sitemaps.sitemapsRead;
    for (const std::string& url : sitemaps.sitemaps)
        if (std::find(read.begin(), read.end(), url) == read.end())
            run.log(Prefix + url + ": it could not be read as a sitemap; it is not submitted");
    return read;
}

bool SearchConsoleChannel::pausedUntil(LiveRun& run) {
    const std::string api = run.config().googleApiBase;
    std::int64_t until = 0;
    if (auto it = notBefore_.find(api); it != notBefore_.end()) until = it->second;
    SiteReading& reading = run.reading();
    until = std::max(until, reading.store().pausedUntil(reading.storeSite(), SearchConsoleStateChannel, api));
    until = std::min(until, unixNow() + MaxRetryAfter);
    if (until <= unixNow()) return false;
    run.refused(Prefix + "not called before " + formatUtc(until) + ", as Google asked; the sitemaps of " +
                run.fields().SiteTitle + " stay unsubmitted");
    return true;
}

void SearchConsoleChannel::pause(LiveRun& run, const LiveAnswer& answer, std::string& line) {
    const std::int64_t until =
        parseRetryAfter(answer.header("Retry-After"), unixNow()).value_or(unixNow() + DefaultPause);
    notBefore_[run.config().googleApiBase] = until;
    SiteReading& reading = run.reading();
    reading.store().setPause(reading.storeSite(), SearchConsoleStateChannel, run.config().googleApiBase,
                             until);
    line += "; Search Console is not called before " + formatUtc(until);
}

SearchConsoleChannel::Submitted SearchConsoleChannel::submit(LiveRun& run, const ServiceAccount& account,
                                                             const std::string& tokenUrl,
                                                             const std::string& property,
                                                             const std::string& feed) {
    const std::string url = searchConsoleSitemapUrl(run.config().googleApiBase, property, feed);
    for (Renewal renewal : {Renewal::WhenExpired, Renewal::Now}) {
        const std::optional<std::string> bearer = token(run, account, tokenUrl, renewal);
        if (!bearer) return Submitted::NoToken;
        // The token travels in a header line only: the request log records URLs. The PUT has
        // no body, and it follows no redirect, which would carry the token elsewhere.
        LiveRequest put;
        put.method = Method::Put;
        put.url = url;
        put.headers = {{"Authorization", "Bearer " + *bearer}};
        put.redirects = Redirects::Refuse;
        const LiveAnswer answer = run.send(SearchConsoleEngine, std::move(put));
        if (!answer.error.empty()) {
            run.refused(Prefix + "the sitemap " + feed + " could not be submitted: " + answer.error);
            return Submitted::Next;
        }
        if (answer.status == 200 || answer.status == 204) {
            run.accepted(SearchConsoleEngine);
            return Submitted::Next;
        }
        // A token that Google no longer takes although its time has not run out (it was
        // revoked, or the clocks differ) is renewed once, and the sitemap sent once more.
        if (answer.status == 401 && renewal == Renewal::WhenExpired) continue;
        return refusedSitemap(run, answer, property, feed) ? Submitted::Next : Submitted::NoMore;
    }
    return Submitted::Next;
}

bool SearchConsoleChannel::refusedSitemap(LiveRun& run, const LiveAnswer& answer, const std::string& property,
                                          const std::string& feed) {
    const std::string message = apiErrorMessage(answer.body);
    const std::optional<ApiError> error = readApiError(answer.body);
    const bool disabled = apiRefusal(answer.status, error, message) == ApiRefusal::ServiceDisabled;
    std::string line =
        Prefix + "the sitemap " + feed + " of " + property + " was not taken: " + statusText(answer) + ", " +
        (disabled ? serviceDisabledSentence(disabledProject(error, message)) : meaning(answer.status));
    if (answer.status >= 300 && answer.status <= 399) line += " (to " + answer.header("Location") + ")";
    if (!message.empty()) line += ": " + message;
    if (answer.status == 403 && !disabled)
        line += std::string(line.back() == '.' ? "" : ".") + " The property is \"" + property +
                "\": a URL-prefix property (https://www.example.com/) and a domain property "
                "(sc-domain:example.com) are different properties, and the service account must be a user of "
                "this one";
    const bool pauses = answer.status == 429 || answer.status >= 500;
    if (pauses) pause(run, answer, line);
    run.refused(line);
    // After a pause nothing more is sent to Google for this profile.
    return !pauses;
}

std::optional<std::string> SearchConsoleChannel::token(LiveRun& run, const ServiceAccount& account,
                                                       const std::string& tokenUrl, Renewal renewal) {
    // A dry run's token is a stand-in, held apart so that it never answers for a real one.
    const std::string key = (run.dryRun() ? "dry run\n" : "") + tokenUrl + '\n' + account.clientEmail + '\n' +
                            account.privateKeyId;
    const auto now = std::chrono::steady_clock::now();
    if (auto held = tokens_.find(key); held != tokens_.end()) {
        if (renewal == Renewal::WhenExpired && now + ExpiryMargin < held->second.expires)
            return held->second.value;
        tokens_.erase(held);
    }

    // The assertion is as good as the key for an hour: a dry run, which only shows the request,
    // signs none.
    std::string assertion = "(signed when sent)";
    try {
        if (!run.dryRun()) assertion = makeAssertion(account, tokenUrl, unixNow());
    } catch (const LarkspanError& e) {
        run.refused(Prefix + "no token for " + account.clientEmail + ": " + e.what());
        return std::nullopt;
    }
    // The signed assertion goes to the token endpoint and nowhere else.
    LiveRequest grant;
    grant.method = Method::Post;
    grant.url = tokenUrl;
    grant.headers = {{"Content-Type", "application/x-www-form-urlencoded"}};
    grant.body = tokenRequestBody(assertion);
    grant.redirects = Redirects::Refuse;
    const LiveAnswer answer = run.send(SearchConsoleEngine, std::move(grant));
    if (!answer.error.empty()) {
        run.refused(Prefix + "the token request to " + tokenUrl + " failed: " + answer.error);
        return std::nullopt;
    }
    if (answer.status >= 300 && answer.status <= 399) {
        run.refused(Prefix + "no token for " + account.clientEmail + ": " + statusText(answer) +
                    ", a redirect to " + answer.header("Location") +
                    ", which the token request never follows");
        return std::nullopt;
    }
    // A dry run's answer is a stand-in: its token lasts the hour that Google's do.
    const TokenAnswer answered =
        run.dryRun() ? TokenAnswer{"(stand-in)", 3600, {}, {}} : parseTokenAnswer(answer.status, answer.body);
    if (!answered.ok()) {
        std::string line = Prefix + "no token for " + account.clientEmail + ": " + statusText(answer) + ", " +
                           answered.error;
        if (!answered.description.empty()) line += ": " + answered.description;
        run.refused(line);
        return std::nullopt;
    }
    tokens_[key] = {answered.accessToken, now + std::chrono::seconds(answered.expiresIn)};
    return answered.accessToken;
}

namespace {

// [Google] TokenURL, APIBase and InspectPerRun.
void readGoogleConfig(Config& c, const ConfigSection& section) {
    std::string tokenUrl = section.value("TokenURL", c.googleTokenUrl);
    if (!tokenUrl.empty() && !isHttpsUrl(tokenUrl))
        section.refuse("TokenURL", tokenUrl, "an https URL is expected");
    c.googleTokenUrl = tokenUrl;
    std::string apiBase = section.value("APIBase", c.googleApiBase);
    if (!apiBase.empty() && apiBase.back() == '/') apiBase.pop_back();
    const std::size_t afterScheme = std::string_view("https://").size();
    if (!isHttpsUrl(apiBase) || apiBase.find('/', afterScheme) != std::string::npos ||
        apiBase.find_first_of("?#", afterScheme) != std::string::npos)
        section.refuse("APIBase", apiBase, "https://host or https://host:port is expected");
    // A base of its own stands for every Google host, the inspection API's included; the
    // built-in one leaves each API on Google's host for it.
    if (apiBase != c.googleApiBase) c.googleInspectionBase = apiBase;
    c.googleApiBase = apiBase;
    const std::string perRun = section.value("InspectPerRun", std::to_string(c.googleInspectPerRun));
    int inspections = 0;
    // More than Google's 2,000 a day would only be refused; 0 turns inspection off.
    const auto [end, ec] = std::from_chars(perRun.data(), perRun.data() + perRun.size(), inspections);
    if (perRun.empty() || ec != std::errc() || end != perRun.data() + perRun.size() || inspections < 0 ||
        inspections > 2000)
        section.refuse("InspectPerRun", perRun, "a number of inspections from 0 to 2000 is expected");
    c.googleInspectPerRun = inspections;
}

std::optional<std::string> checkGoogleKeys(const ProfileExtras& values, const ChannelKeyContext& context) {
    const std::string key = channelValue(values, GoogleServiceAccountKey);
    const std::string property = channelValue(values, SearchConsolePropertyKey);
    if (!property.empty()) {
        if (auto problem = searchConsolePropertyProblem(property)) return problem;
        if (key.empty()) return "A Search Console property needs the service account's key file.";
    }
    if (key.empty()) return std::nullopt;
    // The run reads the file each time; a path that leads nowhere is caught here already.
    const std::string path = searchConsoleKeyFile(key, context.profileDirectory);
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || ::access(path.c_str(), R_OK) != 0)
        return "The service account key file " + path + " cannot be read.";
    return std::nullopt;
}

} // namespace

const ChannelDeclaration& searchConsoleDeclaration() {
    static const ChannelDeclaration declaration{
        SearchConsoleStateChannel,
        SearchConsoleEngine,
        "Go! submits the site's sitemaps to Google Search Console as a service account that the property's "
        "owner has added as a user. Without a key file the site is not submitted to Google.",
        {{GoogleServiceAccountKey, "Key file",
          "Service account key file|The JSON key file that Google Cloud issued for the service account; a "
          "relative path is taken from the profiles' folder. Keep it readable by you only (chmod 600)."},
         {SearchConsolePropertyKey, "Property",
          "Search Console property|The property as Search Console names it: a URL prefix ending in \"/\" or "
          "sc-domain: and the domain; empty: the URL's scheme and host with \"/\""}},
        checkGoogleKeys,
        {"Google", {"TokenURL", "APIBase", "InspectPerRun"}, readGoogleConfig},
        [] { return std::unique_ptr<LiveChannel>(std::make_unique<SearchConsoleChannel>()); },
        "google-search-console.md"};
    return declaration;
}
