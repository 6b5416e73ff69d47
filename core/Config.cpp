#include "core/Config.h"

#include "core/EngineCatalog.h"
#include "platform/Error.h"
#include "platform/IniFile.h"
#include "platform/Text.h"

#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

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
constexpr const char* SectionIndexNow = "IndexNow";
constexpr const char* SectionGoogle = "Google";

struct KnownSection {
    const char* name;
    std::vector<std::string> keys;
};

std::string env(const char* name) {
    const char* v = std::getenv(name);
    return v ? v : "";
}

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

bool readableFile(const std::string& name) {
    struct stat st {};
    return ::stat(name.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(name.c_str(), R_OK) == 0;
}

// An https URL with a host and no blanks or control bytes: the Google values carry secrets,
// which never travel in the clear.
bool isHttpsUrl(std::string_view url) {
    if (url.size() <= SecureScheme.size() ||
        !equalsIgnoringCase(url.substr(0, SecureScheme.size()), SecureScheme))
        return false;
    if (url[SecureScheme.size()] == '/' || url[SecureScheme.size()] == ':') return false;
    for (char c : url)
        if (static_cast<unsigned char>(c) <= 0x20 || c == 0x7F) return false;
    return true;
}

bool isHostByte(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
           c == '-' || c == '_';
}

} // namespace

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
    if (!readableFile(file)) throw LarkspanError("--cacert " + file + ": not a readable file");
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
    std::string base = env("XDG_CONFIG_HOME");
    // A relative XDG_CONFIG_HOME is invalid and is ignored, as the base directory rules say.
    if (base.empty() || base.front() != '/') {
        std::string home = env("HOME");
        if (home.empty()) return {};
        base = home + "/.config";
    }
    return base + "/larkspan/larkspan.ini";
}

Config Config::load(const std::optional<std::string>& path, std::vector<std::string>& warnings) {
    Config config;
    std::string file = path ? *path : defaultPath();
    if (file.empty()) return config;
    struct stat st {};
    if (::stat(file.c_str(), &st) != 0) {
        int error = errno;
        // Nobody has to write a configuration file; only one asked for by name must exist.
        if (!path && error == ENOENT) return config;
        throw LarkspanError("The configuration file " + file + " cannot be read: " + std::strerror(error));
    }
    if (!S_ISREG(st.st_mode))
        throw LarkspanError("The configuration file " + file + " cannot be read: it is not a file");
    std::ifstream in(file, std::ios::binary);
    if (!in)
        throw LarkspanError("The configuration file " + file + " cannot be read: " + std::strerror(errno));
    std::ostringstream content;
    if (st.st_size > 0 && !(content << in.rdbuf()))
        throw LarkspanError("The configuration file " + file + " cannot be read");
    config.apply(IniFile::parse(content.str()), file, warnings);
    return config;
}

void Config::apply(const IniFile& ini, const std::string& origin, std::vector<std::string>& warnings) {
    // Names first: the sixteenth entry's [Hosts] key is its display name.
    for (auto [key, target] : {std::pair{"Entry16", &entry16Name}, std::pair{"Entry23", &entry23Name}}) {
        std::string value = readValue(ini, SectionNames, key, *target);
        if (value.empty() || hasControlByte(value))
            badValue(origin, SectionNames, key, value, "a display name must be a non-empty line of text");
        *target = value;
    }
    // Display names must stay unique: the progress display and the [Hosts] keys find an
    // entry by its name.
    std::vector<EngineEntry> catalog = engineCatalog(*this);
    for (auto [key, name] : {std::pair{"Entry16", &entry16Name}, std::pair{"Entry23", &entry23Name}}) {
        int same = 0;
        for (const EngineEntry& e : catalog)
            same += equalsIgnoringCase(e.DisplayName, *name) ? 1 : 0;
        if (same > 1 || equalsIgnoringCase(*name, "Shared"))
            badValue(origin, SectionNames, key, *name, "another entry already has this name");
    }

    for (std::size_t i = 0; i < HostSlotCount; ++i) {
        std::string key = hostKey(static_cast<HostSlot>(i));
        std::string value = readValue(ini, SectionHosts, key, hosts[i]);
        if (!validHostValue(value)) badValue(origin, SectionHosts, key, value, "not a host or host:port");
        hosts[i] = value;
    }

    std::string maker = readValue(ini, SectionHome, "Maker", makerHomePage);
    while (!maker.empty() && maker.back() == '/')
        maker.pop_back();
    if (maker.empty() || hasControlByte(maker))
        badValue(origin, SectionHome, "Maker", maker, "the maker's home page must be an address");
    makerHomePage = maker;
    std::string help = readValue(ini, SectionHome, "HelpFile", helpFile);
    if (help.empty()) badValue(origin, SectionHome, "HelpFile", help, "the help file must be named");
    helpFile = help;

    std::string size = readValue(ini, SectionRun, "MaxBodySize", std::to_string(maxBodySize));
    std::uint64_t bytes = 0;
    if (!parseDecimal(size, bytes) || bytes == 0)
        badValue(origin, SectionRun, "MaxBodySize", size, "a number of bytes greater than 0 is expected");
    maxBodySize = bytes;
    std::string deadline = readValue(ini, SectionRun, "Deadline", std::to_string(requestDeadlineSeconds));
    int seconds = 0;
    if (!parseDecimal(deadline, seconds) || seconds <= 0)
        badValue(origin, SectionRun, "Deadline", deadline, "a number of seconds greater than 0 is expected");
    requestDeadlineSeconds = seconds;
    std::string proxyValue = readValue(ini, SectionRun, "Proxy", proxy);
    if (!proxyValue.empty() && !parseHostPort(proxyValue))
        badValue(origin, SectionRun, "Proxy", proxyValue, "not a host or host:port");
    proxy = proxyValue;
    std::string ca = readValue(ini, SectionRun, "CAFile", caFile);
    if (!ca.empty() && !readableFile(ca)) badValue(origin, SectionRun, "CAFile", ca, "not a readable file");
    caFile = ca;
    std::string sendCatalogue = readValue(ini, SectionRun, "Catalogue", catalogue ? "1" : "0");
    if (sendCatalogue != "0" && sendCatalogue != "1")
        badValue(origin, SectionRun, "Catalogue", sendCatalogue,
                 "1 (send to the catalogue) or 0 is expected");
    catalogue = sendCatalogue == "1";
    std::string maxUrls = readValue(ini, SectionSitemaps, "MaxURLs", std::to_string(sitemapMaxUrls));
    std::uint64_t urls = 0;
    // The bound is kept below what the URL table can index.
    if (!parseDecimal(maxUrls, urls) || urls == 0 || urls > 100'000'000)
        badValue(origin, SectionSitemaps, "MaxURLs", maxUrls,
                 "a number of URLs from 1 to 100000000 is expected");
    sitemapMaxUrls = urls;
    std::string endpointList;
    for (const std::string& endpoint : indexNowEndpoints)
        endpointList += (endpointList.empty() ? "" : ",") + endpoint;
    endpointList = readValue(ini, SectionIndexNow, "Endpoints", endpointList);
    std::vector<std::string> endpoints;
    std::size_t start = 0;
    while (start <= endpointList.size()) {
        std::size_t comma = std::min(endpointList.find(',', start), endpointList.size());
        std::string endpoint = endpointList.substr(start, comma - start);
        endpoint.erase(0, endpoint.find_first_not_of(" \t"));
        endpoint.erase(endpoint.find_last_not_of(" \t") + 1);
        const bool web = endpoint.rfind("https://", 0) == 0 || endpoint.rfind("http://", 0) == 0;
        if (!web || endpoint.find("://") + 3 >= endpoint.size() || hasControlByte(endpoint) ||
            endpoint.find(' ') != std::string::npos)
            badValue(origin, SectionIndexNow, "Endpoints", endpointList,
                     "a comma list of http or https URLs is expected");
        endpoints.push_back(endpoint);
        start = comma + 1;
    }
    indexNowEndpoints = endpoints;
    std::string tokenUrl = readValue(ini, SectionGoogle, "TokenURL", googleTokenUrl);
    if (!tokenUrl.empty() && !isHttpsUrl(tokenUrl))
        badValue(origin, SectionGoogle, "TokenURL", tokenUrl, "an https URL is expected");
    googleTokenUrl = tokenUrl;
    std::string apiBase = readValue(ini, SectionGoogle, "APIBase", googleApiBase);
    if (!apiBase.empty() && apiBase.back() == '/') apiBase.pop_back();
    if (!isHttpsUrl(apiBase) || apiBase.find('/', SecureScheme.size()) != std::string::npos ||
        apiBase.find_first_of("?#", SecureScheme.size()) != std::string::npos)
        badValue(origin, SectionGoogle, "APIBase", apiBase, "https://host or https://host:port is expected");
    googleApiBase = apiBase;

    // Whatever the file holds beyond these values has no effect; say so rather than let a
    // misspelt key pass unnoticed.
    std::vector<KnownSection> known{{SectionHosts, {}},
                                    {SectionNames, {"Entry16", "Entry23"}},
                                    {SectionHome, {"Maker", "HelpFile"}},
                                    {SectionRun, {"MaxBodySize", "Deadline", "Proxy", "CAFile", "Catalogue"}},
                                    {SectionSitemaps, {"MaxURLs"}},
                                    {SectionIndexNow, {"Endpoints"}},
                                    {SectionGoogle, {"TokenURL", "APIBase"}}};
    for (std::size_t i = 0; i < HostSlotCount; ++i)
        known[0].keys.push_back(hostKey(static_cast<HostSlot>(i)));
    const std::vector<std::string> sections = ini.sections();
    // For each header: the known section it opens, or null; and whether it is the first
    // header of that name, which is the only one that reads see.
    std::vector<const KnownSection*> sectionOf(sections.size(), nullptr);
    std::vector<bool> firstOfName(sections.size(), true);
    for (std::size_t i = 0; i < sections.size(); ++i) {
        for (std::size_t j = 0; j < i; ++j)
            if (equalsIgnoringCase(sections[j], sections[i])) firstOfName[i] = false;
        for (const KnownSection& s : known)
            if (equalsIgnoringCase(s.name, sections[i])) sectionOf[i] = &s;
        if (!sectionOf[i])
            warnings.push_back(origin + ": unknown section [" + sections[i] + "] is ignored");
        else if (!firstOfName[i])
            warnings.push_back(origin + ": section [" + sections[i] +
                               "] appears again; only its first appearance counts");
    }
    std::vector<IniFile::KeyLine> keys = ini.keyLines();
    for (std::size_t k = 0; k < keys.size(); ++k) {
        const IniFile::KeyLine& line = keys[k];
        if (line.sectionIndex == std::string::npos) {
            warnings.push_back(origin + ": key " + line.key + " outside any section is ignored");
            continue;
        }
        const KnownSection* section = sectionOf[line.sectionIndex];
        if (!section || !firstOfName[line.sectionIndex]) continue; // already reported with its section
        const std::string& sectionName = sections[line.sectionIndex];
        bool isKnown = false;
        for (const std::string& name : section->keys)
            isKnown = isKnown || equalsIgnoringCase(name, line.key);
        bool repeated = false;
        for (std::size_t j = 0; j < k; ++j)
            repeated = repeated || (keys[j].sectionIndex == line.sectionIndex &&
                                    equalsIgnoringCase(keys[j].key, line.key));
        if (!isKnown)
            warnings.push_back(origin + ": unknown key " + line.key + " in section [" + sectionName +
                               "] is ignored");
        else if (repeated)
            warnings.push_back(origin + ": key " + line.key + " appears again in section [" + sectionName +
                               "]; only the first counts");
    }
    for (const std::string& line : ini.strayLines())
        warnings.push_back(origin + ": line \"" + line +
                           "\" is neither a section, a key nor a comment; ignored");
}
