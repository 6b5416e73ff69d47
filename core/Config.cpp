#include "core/Config.h"

#include "http/Url.h"

#include "platform/Directories.h"
#include "platform/Error.h"
#include "platform/IniFile.h"
#include "platform/ReadFile.h"
#include "platform/Text.h"

#include <cerrno>
#include <charconv>
#include <cstring>

#ifndef LARKSPAN_HELP_FILE
#define LARKSPAN_HELP_FILE "/usr/local/share/larkspan/Larkspan.hlp"
#endif

namespace {

// The [Hosts] keys of the slots with fixed display names, in slot order; the sixteenth
// entry's key is its configured name.
constexpr const char* FixedHostKeys[HostSlotCount] = {
    "Alexa",          "AltaVista",    "Anzwers",       "Corvane",     "FindLink",     "Google",
    "HotBot",         nullptr,        "Infoseek",      "InfoSpace",   "Jayde Online", "Lycos",
    "Northern Light", "PlanetSearch", "Scrub The Web", "Switchboard", "WebCrawler",   "Shared"};

constexpr const char* SectionHosts = "Hosts";
constexpr const char* SectionNames = "Names";
constexpr const char* SectionHome = "Home";
constexpr const char* SectionRun = "Run";
constexpr const char* SectionSitemaps = "Sitemaps";
constexpr const char* SectionLive = "Live";
constexpr const char* SectionChecks = "Checks";

// A value without the blanks around it: hand-written files often put spaces after "=".
std::string readValue(const IniFile& ini, std::string_view section, std::string_view key,
                      const std::string& fallback) {
    std::string value = ini.read(section, key, fallback);
    auto first = value.find_first_not_of(" \t");
    if (first == std::string::npos) return {};
    return value.substr(first, value.find_last_not_of(" \t") - first + 1);
}

bool hasControlByte(std::string_view s) {
    for (char c : s)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return true;
    return false;
}

[[noreturn]] void badValue(const std::string& origin, const char* section, std::string_view key,
                           std::string_view value, const std::string& why) {
    throw LarkspanError(origin + ": [" + section + "] " + std::string(key) + "=" + std::string(value) + ": " +
                        why);
}

template <typename Int> bool parseDecimal(std::string_view text, Int& out) {
    if (text.empty()) return false;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
    return ec == std::errc() && end == text.data() + text.size();
}

bool isHostByte(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
           c == '-' || c == '_';
}

} // namespace

bool isHttpsUrl(std::string_view url) {
    if (url.size() <= SecureScheme.size() ||
        !equalsIgnoringCase(url.substr(0, SecureScheme.size()), SecureScheme))
        return false;
    if (url[SecureScheme.size()] == '/' || url[SecureScheme.size()] == ':') return false;
    for (char c : url)
        if (static_cast<unsigned char>(c) <= 0x20 || c == 0x7F) return false;
    // The live client parses it the same way: a host it would refuse is refused here.
    return Url::parse(url).has_value();
}

std::string ConfigSection::value(std::string_view key, const std::string& fallback) const {
    return readValue(ini_, name_, key, fallback);
}

void ConfigSection::refuse(std::string_view key, std::string_view value, const std::string& why) const {
    badValue(origin_, name_.c_str(), key, value, why);
}

std::optional<HostPort> parseHostPort(std::string_view text) {
    HostPort result;
    auto colon = text.find(':');
    std::string_view host = text.substr(0, colon);
    if (host.empty() || host.front() == '.' || host.front() == '-') return std::nullopt;
    for (char c : host)
        if (!isHostByte(c)) return std::nullopt;
    result.host = std::string(host);
    if (colon != std::string_view::npos) {
        std::string_view port = text.substr(colon + 1);
        if (port.empty() || port.front() == '+' || port.front() == '-' || !parseDecimal(port, result.port) ||
            result.port < 1 || result.port > 65535)
            return std::nullopt;
    }
    return result;
}

bool isSecureHost(std::string_view value) {
    return value.size() >= SecureScheme.size() &&
           equalsIgnoringCase(value.substr(0, SecureScheme.size()), SecureScheme);
}

std::string_view hostWithoutScheme(std::string_view value) {
    return isSecureHost(value) ? value.substr(SecureScheme.size()) : value;
}

bool Config::validHostValue(std::string_view value) {
    return parseHostPort(hostWithoutScheme(value)).has_value();
}

std::array<std::string, HostSlotCount> Config::defaultHosts() {
    // Plausible addresses of the engines' own sites. Tests never send anything to them:
    // they configure loopback hosts or a loopback proxy.
    return {
        "www.alexa.com",         // Alexa
        "add-url.altavista.com", // AltaVista
        "www.anzwers.com.au",    // Anzwers
        "www.corvane.com",       // Corvane, the free-for-all link page
        "www.findlink.com",      // FindLink
        "www.google.com",        // Google
        "hotbot.lycos.com",      // HotBot
        "www.go2net.com",        // the sixteenth entry
        "www.infoseek.com",      // Infoseek
        "www.infospace.com",     // InfoSpace
        "www.jayde.com",         // Jayde Online
        "www.lycos.com",         // Lycos
        "www.northernlight.com", // Northern Light
        "www.planetsearch.com",  // PlanetSearch
        "www.scrubtheweb.com",   // Scrub The Web
        "www.switchboard.com",   // Switchboard
        "www.webcrawler.com",    // WebCrawler
        "www.submit-it.com",     // the shared multi-engine submission service
    };
}

std::string Config::defaultHelpFile() {
    return LARKSPAN_HELP_FILE;
}

void Config::useCAFile(const std::string& file) {
    if (!isReadableFile(file)) throw LarkspanError("--cacert " + file + ": not a readable file");
    caFile = file;
}

std::string Config::hostKey(HostSlot slot) const {
    if (slot == HostSlot::Entry16) return entry16Name;
    return FixedHostKeys[static_cast<std::size_t>(slot)];
}

std::string Config::productHomePage() const {
    return makerHomePage + "/Larkspan/";
}

std::string Config::footerAddress() const {
    return makerHomePage + "/Larkspan/Default.htm";
}

std::string Config::defaultPath() {
    return userDirectory(BaseDirectory::Config, "larkspan/larkspan.ini").value_or("");
}

bool Config::setsCatalogue(const std::string& path) {
    if (path.empty() || !isReadableFile(path)) return false;
    const IniFile ini = IniFile::load(path);
    const std::vector<std::string> sections = ini.sections();
    for (const IniFile::KeyLine& line : ini.keyLines())
        if (line.sectionIndex < sections.size() &&
            equalsIgnoringCase(sections[line.sectionIndex], SectionRun) &&
            equalsIgnoringCase(line.key, "Catalogue"))
            return true;
    return false;
}

void Config::saveCatalogue(const std::string& path, bool catalogue) {
    const std::string directory = path.substr(0, path.find_last_of('/'));
    if (!directory.empty() && directory != path && !isDirectory(directory) &&
        !makePrivateDirectories(directory))
        throw LarkspanError("Unable to write to " + path);
    IniFile ini = IniFile::load(path);
    ini.write(SectionRun, "Catalogue", catalogue ? "1" : "0");
    ini.save(path);
}

Config Config::load(const std::optional<std::string>& path, std::vector<std::string>& warnings) {
    Config config;
    std::string file = path ? *path : defaultPath();
    if (file.empty()) return config;
    if (!pathExists(file)) {
        const int error = errno;
        // Nobody has to write a configuration file; only one asked for by name must exist.
        if (!path && error == ENOENT) return config;
        throw LarkspanError("The configuration file " + file + " cannot be read: " + std::strerror(error));
    }
    if (!isRegularFile(file))
        throw LarkspanError("The configuration file " + file + " cannot be read: it is not a file");
    const std::optional<std::string> content = readWholeFile(file);
    if (!content)
        throw LarkspanError("The configuration file " + file + " cannot be read: " + std::strerror(errno));
    config.apply(IniFile::parse(*content), file, warnings);
    return config;
}

namespace {

// One reader per section: each takes its values from the file, checks them, and throws for a
// value that cannot be used.

void readNames(Config& c, const IniFile& ini, const std::string& origin) {
    for (auto [key, target] : {std::pair{"Entry16", &c.entry16Name}, std::pair{"Entry23", &c.entry23Name}}) {
        std::string value = readValue(ini, SectionNames, key, *target);
        if (value.empty() || hasControlByte(value))
            badValue(origin, SectionNames, key, value, "a display name must be a non-empty line of text");
        *target = value;
    }
}

void readHosts(Config& c, const IniFile& ini, const std::string& origin) {
    for (std::size_t i = 0; i < HostSlotCount; ++i) {
        std::string key = c.hostKey(static_cast<HostSlot>(i));
        std::string value = readValue(ini, SectionHosts, key, c.hosts[i]);
        if (!Config::validHostValue(value))
            badValue(origin, SectionHosts, key, value, "not a host or host:port");
        c.hosts[i] = value;
    }
}

void readHome(Config& c, const IniFile& ini, const std::string& origin) {
    std::string maker = readValue(ini, SectionHome, "Maker", c.makerHomePage);
    while (!maker.empty() && maker.back() == '/')
        maker.pop_back();
    if (maker.empty() || hasControlByte(maker))
        badValue(origin, SectionHome, "Maker", maker, "the maker's home page must be an address");
    c.makerHomePage = maker;
    std::string help = readValue(ini, SectionHome, "HelpFile", c.helpFile);
    if (help.empty()) badValue(origin, SectionHome, "HelpFile", help, "the help file must be named");
    c.helpFile = help;
}

void readRun(Config& c, const IniFile& ini, const std::string& origin) {
    std::string size = readValue(ini, SectionRun, "MaxBodySize", std::to_string(c.maxBodySize));
    if (!parseDecimal(size, c.maxBodySize) || c.maxBodySize == 0)
        badValue(origin, SectionRun, "MaxBodySize", size, "a number of bytes greater than 0 is expected");
    std::string deadline = readValue(ini, SectionRun, "Deadline", std::to_string(c.requestDeadlineSeconds));
    if (!parseDecimal(deadline, c.requestDeadlineSeconds) || c.requestDeadlineSeconds <= 0)
        badValue(origin, SectionRun, "Deadline", deadline, "a number of seconds greater than 0 is expected");
    std::string proxy = readValue(ini, SectionRun, "Proxy", c.proxy);
    if (!proxy.empty() && !parseHostPort(proxy))
        badValue(origin, SectionRun, "Proxy", proxy, "not a host or host:port");
    c.proxy = proxy;
    std::string ca = readValue(ini, SectionRun, "CAFile", c.caFile);
    if (!ca.empty() && !isReadableFile(ca)) badValue(origin, SectionRun, "CAFile", ca, "not a readable file");
    c.caFile = ca;
    std::string sendCatalogue = readValue(ini, SectionRun, "Catalogue", c.catalogue ? "1" : "0");
    if (sendCatalogue != "0" && sendCatalogue != "1")
        badValue(origin, SectionRun, "Catalogue", sendCatalogue,
                 "1 (send to the catalogue) or 0 is expected");
    c.catalogue = sendCatalogue == "1";
    std::string wait = readValue(ini, SectionRun, "StoreWait", std::to_string(c.storeWaitSeconds));
    if (!parseDecimal(wait, c.storeWaitSeconds) || c.storeWaitSeconds < 0 || c.storeWaitSeconds > 86400)
        badValue(origin, SectionRun, "StoreWait", wait, "a number of seconds from 0 to 86400 is expected");
}

void readSitemaps(Config& c, const IniFile& ini, const std::string& origin) {
    std::string maxUrls = readValue(ini, SectionSitemaps, "MaxURLs", std::to_string(c.sitemapMaxUrls));
    std::uint64_t urls = 0;
    // The bound is kept below what the URL table can index.
    if (!parseDecimal(maxUrls, urls) || urls == 0 || urls > 100'000'000)
        badValue(origin, SectionSitemaps, "MaxURLs", maxUrls,
                 "a number of URLs from 1 to 100000000 is expected");
    c.sitemapMaxUrls = urls;
    std::string seconds = readValue(ini, SectionSitemaps, "MaxSeconds", std::to_string(c.sitemapMaxSeconds));
    if (!parseDecimal(seconds, c.sitemapMaxSeconds) || c.sitemapMaxSeconds <= 0 ||
        c.sitemapMaxSeconds > 86400)
        badValue(origin, SectionSitemaps, "MaxSeconds", seconds,
                 "a number of seconds from 1 to 86400 is expected");
}

void readLive(Config& c, const IniFile& ini, const std::string& origin) {
    for (auto [key, target] :
         {std::pair{"PerHost", &c.livePerHost}, std::pair{"Connections", &c.liveConnections}}) {
        std::string value = readValue(ini, SectionLive, key, std::to_string(*target));
        if (!parseDecimal(value, *target) || *target <= 0 || *target > 256)
            badValue(origin, SectionLive, key, value, "a number of transfers from 1 to 256 is expected");
    }
}

void readChecks(Config& c, const IniFile& ini, const std::string& origin) {
    std::string pages = readValue(ini, SectionChecks, "Pages", c.checkPages ? "1" : "0");
    if (pages != "0" && pages != "1")
        badValue(origin, SectionChecks, "Pages", pages, "1 (check pages before announcing) or 0 is expected");
    c.checkPages = pages == "1";
    std::string perHost = readValue(ini, SectionChecks, "PerHost", std::to_string(c.checkPerHost));
    if (!parseDecimal(perHost, c.checkPerHost) || c.checkPerHost <= 0 || c.checkPerHost > 64)
        badValue(origin, SectionChecks, "PerHost", perHost, "a number of checks from 1 to 64 is expected");
    std::string maxPages = readValue(ini, SectionChecks, "MaxPages", std::to_string(c.checkMaxPages));
    if (!parseDecimal(maxPages, c.checkMaxPages) || c.checkMaxPages == 0 || c.checkMaxPages > 100'000'000)
        badValue(origin, SectionChecks, "MaxPages", maxPages,
                 "a number of pages from 1 to 100000000 is expected");
}

} // namespace

void Config::apply(const IniFile& ini, const std::string& origin, std::vector<std::string>& warnings) {
    // Names first: the sixteenth entry's [Hosts] key is its display name.
    readNames(*this, ini, origin);
    for (const ConfigPart& part : configParts())
        if (part.keys.empty()) part.read(*this, ConfigSection(ini, part.section, origin));
    readHosts(*this, ini, origin);
    readHome(*this, ini, origin);
    readRun(*this, ini, origin);
    readSitemaps(*this, ini, origin);
    readLive(*this, ini, origin);
    readChecks(*this, ini, origin);
    for (const ConfigPart& part : configParts())
        if (!part.keys.empty()) part.read(*this, ConfigSection(ini, part.section, origin));

    IniFile::Schema schema{
        {{SectionHosts, {}},
         {SectionNames, {"Entry16", "Entry23"}},
         {SectionHome, {"Maker", "HelpFile"}},
         {SectionRun, {"MaxBodySize", "Deadline", "Proxy", "CAFile", "Catalogue", "StoreWait"}},
         {SectionSitemaps, {"MaxURLs", "MaxSeconds"}},
         {SectionLive, {"PerHost", "Connections"}},
         {SectionChecks, {"Pages", "PerHost", "MaxPages"}}}};
    for (std::size_t i = 0; i < HostSlotCount; ++i)
        schema.sections[0].keys.push_back(hostKey(static_cast<HostSlot>(i)));
    for (const ConfigPart& part : configParts())
        if (!part.keys.empty())
            schema.sections.push_back({part.section, {part.keys.begin(), part.keys.end()}});
    for (std::string& warning : ini.beyondSchema(schema, origin))
        warnings.push_back(std::move(warning));
}
