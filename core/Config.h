#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class IniFile;

// The hosts a run talks to: one per catalogue entry with an endpoint of its own (sixteen
// engines and the free-for-all link page "Corvane") and one shared by the entries that go
// through the multi-engine submission service.
enum class HostSlot : std::size_t {
    Alexa,
    AltaVista,
    Anzwers,
    Corvane,
    FindLink,
    Google,
    HotBot,
    Entry16,
    Infoseek,
    InfoSpace,
    JaydeOnline,
    Lycos,
    NorthernLight,
    PlanetSearch,
    ScrubTheWeb,
    Switchboard,
    WebCrawler,
    Shared
};
constexpr std::size_t HostSlotCount = 18;

// A host with its port, as "host" (port 80) or "host:port".
struct HostPort {
    std::string host;
    int port = 80;
};
// Nothing for a text that is not a host name or IPv4 address with an optional port 1-65535.
std::optional<HostPort> parseHostPort(std::string_view text);
// The scheme that a [Hosts] value may begin with to have its entry sent over TLS.
constexpr std::string_view SecureScheme = "https://";
// Whether a [Hosts] value names its host with the https scheme.
bool isSecureHost(std::string_view value);
// A [Hosts] value without its scheme: "host" or "host:port".
std::string_view hostWithoutScheme(std::string_view value);

// An https URL with a host and no blanks or control bytes, as the live client parses it: the
// values that carry secrets never travel in the clear.
bool isHttpsUrl(std::string_view url);

// One section of a configuration file as its reader sees it: values without the blanks around
// them, and the refusal of a value that cannot be used.
class ConfigSection {
public:
    ConfigSection(const IniFile& ini, std::string name, std::string origin)
        : ini_(ini), name_(std::move(name)), origin_(std::move(origin)) {}

    const std::string& name() const { return name_; }
    // The key's value, or the fallback when the section has no such key.
    std::string value(std::string_view key, const std::string& fallback) const;
    // Throws LarkspanError "FILE: [SECTION] KEY=VALUE: WHY".
    [[noreturn]] void refuse(std::string_view key, std::string_view value, const std::string& why) const;

private:
    const IniFile& ini_;
    std::string name_;
    std::string origin_;
};

struct Config;

// A part of the configuration that a subject of core reads or checks itself, so that the
// configuration knows none of them by name: a live channel's own section ([IndexNow],
// [Google]), or the catalogue's check that the display names of [Names] are not taken already.
struct ConfigPart {
    // The section's name; nullptr for a part that reads none.
    const char* section = nullptr;
    // Every key of the section that the part reads; any other is warned of as unknown. A part
    // without keys checks values that the configuration has read already, before the rest.
    std::vector<const char*> keys;
    // Reads the section's values into the configuration and checks them; a value that cannot
    // be used is refused through the section (a LarkspanError naming the file, key and value).
    void (*read)(Config& config, const ConfigSection& section) = nullptr;
};
// The parts, in the order they are read. The subjects declare theirs (the channel table each
// channel's, the catalogue its check); this list is put together above them, in
// core/run/ConfigParts.cpp.
const std::vector<ConfigPart>& configParts();

// The values the program is built with, each of which a user configuration file may
// override. The file is INI text with the sections "Hosts", "Names", "Home", "Run", "Sitemaps",
// "Live" and "Checks", and one section for each live channel that declares one ("IndexNow",
// "Google"), which the channel reads and checks itself.
struct Config {
    std::array<std::string, HostSlotCount> hosts = defaultHosts();
    // The display names of the sixteenth and the twenty-third catalogue entries, which
    // are the engines' own web-address style names.
    std::string entry16Name = "Go2Net.com";
    std::string entry23Name = "MSN.com";
    // The maker's home page, without a trailing "/".
    std::string makerHomePage = "http://www.tessaly.com";
    // Where the help viewer looks for the help file when the program starts.
    std::string helpFile = defaultHelpFile();
    // The largest response body the HTTP client keeps, in bytes.
    std::uint64_t maxBodySize = 8u << 20;
    // The longest a whole request may take, in seconds.
    int requestDeadlineSeconds = 60;
    // "host:port" of a proxy that every request goes through, or empty for none.
    std::string proxy;
    // A PEM file of certificates that https trusts besides the system's store, or empty.
    std::string caFile;
    // How long a run waits for a site's live channels while another process holds them, and
    // for the store's own locks ([Run] StoreWait, seconds).
    int storeWaitSeconds = 60;
    // The first run of a live channel on a site announces every page (`submit --all-pages`), as a
    // profile's IndexNowFirstRun=all does; not read from the file.
    bool firstRunAllPages = false;
    // Whether runs send to the 32 entries of the catalogue; the live channels go either way.
    bool catalogue = true;
    // The most URLs kept from one profile's sitemaps, which bounds the memory they take.
    std::uint64_t sitemapMaxUrls = 1'000'000;
    // The longest that reading one profile's sitemaps may take, in seconds ([Sitemaps]
    // MaxSeconds); what was read by then is kept.
    int sitemapMaxSeconds = 300;
    // Live transfers at once to one host ([Live] PerHost) and in all ([Live] Connections).
    int livePerHost = 4;
    int liveConnections = 16;
    // Page checks before announcing: whether pages are checked at all ([Checks] Pages), how many
    // of one host at once ([Checks] PerHost) and the most pages one run checks ([Checks] MaxPages).
    bool checkPages = true;
    int checkPerHost = 4;
    std::uint64_t checkMaxPages = 50'000;
    // The IndexNow endpoints a profile with a key is announced to ([IndexNow] Endpoints, a
    // comma list of http or https URLs).
    std::vector<std::string> indexNowEndpoints = {"https://api.indexnow.org/indexnow"};
    // Google's token endpoint in place of the key file's token_uri; empty: the key file's.
    std::string googleTokenUrl;
    // The scheme, host and port of Google's APIs, without a trailing "/".
    std::string googleApiBase = "https://www.googleapis.com";
    // The same for the URL Inspection API, which lives on a host of its own. A configured
    // APIBase replaces both, so that tests and the simulator play them on one port.
    std::string googleInspectionBase = "https://searchconsole.googleapis.com";
    // The most URLs of one property that a run inspects; Google allows 2,000 a day.
    int googleInspectPerRun = 200;
    // The checked values of a channel's section that has no member of its own above, by
    // "Section/Key": a channel added later keeps its settings here.
    std::map<std::string, std::string, std::less<>> channelValues;

    const std::string& host(HostSlot slot) const { return hosts[static_cast<std::size_t>(slot)]; }
    // A host of the [Hosts] section: "host", "host:port", or either after "https://".
    static bool validHostValue(std::string_view value);
    // The slot's key in the "Hosts" section: the entry's display name, or "Shared".
    std::string hostKey(HostSlot slot) const;
    // The maker's address followed by "/Larkspan/".
    std::string productHomePage() const;
    // The address a run's report names as the source of the latest version.
    std::string footerAddress() const;

    // The file used without --config: $XDG_CONFIG_HOME/larkspan/larkspan.ini, by default
    // ~/.config/larkspan/larkspan.ini. Empty when neither variable gives a directory.
    static std::string defaultPath();
    // The built-in values overridden by the file. With no path given, the default file is
    // read when it exists; a given file must exist. Throws LarkspanError for a file that
    // cannot be read and for a value that cannot be used; unknown sections, keys and
    // lines become warning texts for the caller to show.
    static Config load(const std::optional<std::string>& path, std::vector<std::string>& warnings);
    // Overrides values from INI text; origin names the file in errors and warnings.
    void apply(const IniFile& ini, const std::string& origin, std::vector<std::string>& warnings);

    // Whether the file sets [Run] Catalogue: the user has chosen whether runs send to the
    // catalogue. A missing or unreadable file sets nothing.
    static bool setsCatalogue(const std::string& path);
    // Writes [Run] Catalogue (1 or 0) into the file, keeping every other line of it; a missing
    // file and its directory are made. Throws LarkspanError "Unable to write to " + path.
    static void saveCatalogue(const std::string& path, bool catalogue);

    // Replaces caFile with a file named on the command line; throws LarkspanError
    // "--cacert FILE: not a readable file" for one that cannot be used.
    void useCAFile(const std::string& file);

    static std::array<std::string, HostSlotCount> defaultHosts();
    static std::string defaultHelpFile();
};
