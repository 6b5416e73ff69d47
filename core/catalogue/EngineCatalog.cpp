#include "core/catalogue/EngineCatalog.h"

#include "core/catalogue/SubmissionFields.h"
#include "platform/Text.h"

#include <algorithm>
#include <utility>

namespace {

Piece L(std::string literal) {
    return Piece{false, std::move(literal), FieldName::Name, std::string::npos};
}
Piece F(FieldName field, std::size_t maxBytes = std::string::npos) {
    return Piece{true, {}, field, maxBytes};
}

using enum FieldName;

// FindLink's form takes no more than this many characters of description.
constexpr std::size_t FindLinkDescriptionLimit = 253;

// The display name of a row: its own, or one of the two names that the configuration sets.
struct RowName {
    constexpr RowName(const char* own) : own(own) {}
    constexpr RowName(std::string Config::*configured) : configured(configured) {}
    std::string_view own;
    std::string Config::*configured = nullptr;
};

// Where a row is sent: a configured host of its own, or the shared submission service under
// the engine's key.
struct Target {
    constexpr Target(HostSlot slot) : slot(slot) {}
    HostSlot slot;
    std::string_view sharedKey;
};
constexpr Target sharedService(std::string_view key) {
    Target target(HostSlot::Shared);
    target.sharedKey = key;
    return target;
}

// One entry of the catalogue. A row of the shared service names only the engine: the service
// takes the same form for every engine.
struct Row {
    RowName name;
    Target target;
    std::string_view method{};
    std::string_view path{};
    std::vector<Piece> pieces{};
    int expectedSize = DefaultExpectedSize;
};

using S = HostSlot;

// The catalogue itself: one row per engine, in catalogue order.
// size-check: data table
const Row Catalogue[] = {
    {"Alexa",
     S::Alexa,
     "post",
     "/cgi-bin/wtgn/site_change.pl?url=",
     {F(EncodedURL), L("&edit=edit&site_owner="), F(Company), L("&address1="), F(Address),
      L("&address2=&city="), F(City), L("&state="), F(State), L("&postal_code="), F(Zip), L("&country="),
      F(Country), L("&phone_number="), F(Phone), L("&email="), F(EMail), L("&submit=submit")},
     2052},
    {"Alexa (method 2)", sharedService("Alexa")},
    {"AltaVista", S::AltaVista, "get", "/cgi-bin/newurl?ad=1&q=", {F(EncodedURL)}},
    {"AltaVista (method 2)", sharedService("AltaVista")},
    {"Anzwers", S::Anzwers, "get", "/cgi-bin/print_addurl.pl?url=", {F(EncodedURL), L("&email="), F(EMail)}},
    {"Anzwers (method 2)", sharedService("Anzwers")},
    {"DirectHit", sharedService("DirectHit")},
    {"Corvane",
     S::Corvane,
     "get",
     "/cgi-bin/ffa.pl?account=Corvane&action=add&name=",
     {F(SiteTitle), L("&message="), F(EncodedURL), L("&SUBMIT=Add")},
     509},
    {"EuroFerret", sharedService("EuroFerret")},
    {"Excite, AOL Netfind, & Magellan", sharedService("ExciteAOLNetfindMagellan")},
    {"FindLink",
     S::FindLink,
     "get",
     "/searchit/addurl.cgi?rethtml=search.cgi&name=",
     {F(Name),
      L("&address="),
      F(Address),
      L("&apt=&city="),
      F(City),
      L("&zip="),
      F(Zip),
      L("&county=&phone="),
      F(Phone),
      L("&fax="),
      F(Fax),
      L("&recipient="),
      F(EMail),
      L("&linkaddr="),
      F(URL),
      L("&category="),
      F(Category),
      L("&state="),
      F(State),
      L("&country="),
      F(Country),
      L("&password=&sitename="),
      F(SiteTitle),
      L("&description="),
      F(SiteDescription, FindLinkDescriptionLimit)}},
    {"Google", S::Google, "get", "/addurl?q=", {F(EncodedURL), L("&dq="), F(Keywords)}},
    {"Google (method 2)", sharedService("Google")},
    {"HotBot",
     S::HotBot,
     "get",
     "/addurl.asp?newurl=",
     {F(EncodedURL), L("&MM=1&output=success&email="), F(EMail)}},
    {"HotBot (method 2)", sharedService("HotBot")},
    {&Config::entry16Name, S::Entry16, "get", "/add_url.sh?site=home_zz&url=", {F(URL), L("&Page=url")}},
    {"Infoseek",
     S::Infoseek,
     "get",
     "/AddUrl/AddingURL?sv=IS&lk=noframes&url=",
     {F(EncodedURL), L("&CAT=Add%2FUpdate+URL")},
     9698},
    {"Infoseek (method 2)", sharedService("Infoseek")},
    {"InfoSpace",
     S::InfoSpace,
     "get",
     "/homepage?title=",
     {F(SiteTitle), L("&url="), F(EncodedURL), L("&keywords="), F(Keywords), L("&org="), F(Company),
      L("&city="), F(City), L("&state="), F(State), L("&country="), F(Country), L("&name=&name=&email="),
      F(EMail), L("&descrip="), F(SiteDescription)}},
    // Jayde Online is sent the fixed word MyName, not the owner's name.
    {"Jayde Online",
     S::JaydeOnline,
     "post",
     "/cgi-bin/addurl.cgi?action=verify&name=MyName&email=",
     {F(EMail), L("&sname="), F(SiteTitle), L("&url="), F(URL), L("&cat="), F(Category), L("&desc="),
      F(SiteDescription),
      L("&jaydenews=off&comix=off&netdummy=off&list=off&y2k=off&maclinx=off&trueaccounts=off"
        "&todaysfaith=off&casinonews=off=&submit=Submit Site")}},
    {"Lycos",
     S::Lycos,
     "get",
     "/cgi-bin/spider_now.pl?query=",
     {F(EncodedURL), L("&email="), F(EMail)},
     8065},
    {"Lycos (method 2)", sharedService("Lycos")},
    {&Config::entry23Name, sharedService("MSNcom")},
    {"National Directory", sharedService("NationalDirectory")},
    {"Northern Light",
     S::NorthernLight,
     "post",
     "/cgi-bin/urlsubmit.pl?&page=",
     {F(URL), L("&contact="), F(Name), L("&email="), F(EMail), L("&submit=sb")}},
    {"PlanetSearch", S::PlanetSearch, "get", "/?a=20&flags=3&count=10&olda=0&url=", {F(EncodedURL)}, 2052},
    {"PlanetSearch (method 2)", sharedService("PlanetSearch")},
    {"Scrub The Web",
     S::ScrubTheWeb,
     "get",
     "/cgi-bin/addurl.cgi?Title=",
     {F(SiteTitle), L("&Email="), F(EMail), L("&URL="), F(EncodedURL), L("&cat=Misc&Description="),
      F(SiteDescription), L("&Keywords="), F(Keywords)},
     6812},
    {"Switchboard",
     S::Switchboard,
     "get",
     "/bin/cgireg.dll?FUNC=REGNEWUSER&MEM=1&E=",
     {F(EMail), L("&F="), F(FirstName), L("&L="), F(LastName), L("&A="), F(Address), L("&T="), F(City),
      L("&S="), F(State), L("&Z="), F(Zip), L("&P="), F(Phone), L("&Submit=Submit")}},
    {"WebCrawler",
     S::WebCrawler,
     "post",
     "/cgi-bin/add_url_new.cgi?url=",
     {F(URL), L("&email="), F(EMail), L("&country="), F(CountryCode), L("&language="), F(Language),
      L("&submit=Send")},
     5610},
    {"WebCrawler (method 2)", sharedService("WebCrawler")},
    {"WhatUSeek", sharedService("WhatUSeek")},
};
static_assert(sizeof Catalogue / sizeof Catalogue[0] == CatalogSize);

EngineEntry entryOf(const Row& row, const Config& config) {
    EngineEntry e;
    e.DisplayName = row.name.configured ? config.*row.name.configured : std::string(row.name.own);
    e.SubmitHost = config.host(row.target.slot);
    e.ExpectedSize = row.expectedSize;
    e.Host = row.target.slot;
    if (row.target.sharedKey.empty()) {
        e.Method = row.method;
        e.Path = row.path;
        e.Fields = row.pieces;
        return e;
    }
    // Every entry of the multi-engine service posts the same form; only the engine named in
    // its last field differs.
    const std::string key(row.target.sharedKey);
    e.Method = "post";
    e.Path = "/submit?url=";
    e.Fields = {F(URL), L("&email="), F(EMail), L("&savvynews checked=&submit=register&step=3&submit-to-"),
                L(key), L("=on")};
    e.SharedKey = key;
    return e;
}

const std::string& valueOf(const SubmissionFields& f, FieldName name) {
    switch (name) {
    case Name:
        return f.Name;
    case FirstName:
        return f.FirstName;
    case LastName:
        return f.LastName;
    case EMail:
        return f.EMail;
    case URL:
        return f.URL;
    case EncodedURL:
        return f.EncodedURL;
    case SiteTitle:
        return f.SiteTitle;
    case Category:
        return f.Category;
    case SiteDescription:
        return f.SiteDescription;
    case Keywords:
        return f.Keywords;
    case Language:
        return f.Language;
    case Company:
        return f.Company;
    case Address:
        return f.Address;
    case City:
        return f.City;
    case State:
        return f.State;
    case Zip:
        return f.Zip;
    case Country:
        return f.Country;
    case CountryCode:
        return f.CountryCode;
    case Phone:
        return f.Phone;
    case Fax:
        return f.Fax;
    }
    return f.Name;
}

} // namespace

std::vector<EngineEntry> engineCatalog(const Config& config) {
    std::vector<EngineEntry> entries;
    entries.reserve(CatalogSize);
    for (const Row& row : Catalogue)
        entries.push_back(entryOf(row, config));
    return entries;
}

int expectedSizeOf(const std::vector<EngineEntry>& catalog, std::string_view displayName) {
    for (const EngineEntry& e : catalog)
        if (e.DisplayName == displayName) return e.ExpectedSize;
    return DefaultExpectedSize;
}

bool isUniqueDisplayName(const std::vector<EngineEntry>& catalog, std::string_view name) {
    const auto same = std::count_if(catalog.begin(), catalog.end(), [&](const EngineEntry& e) {
        return equalsIgnoringCase(e.DisplayName, name);
    });
    return same <= 1 && !equalsIgnoringCase(name, "Shared");
}

EngineRequest BuildRequest(const EngineEntry& entry, const SubmissionFields& fields) {
    // The whole text as a GET would send it; a POST sends the same text as its body and
    // addresses the part before the query. A host configured with https changes only the
    // scheme of the address, never the body: the engine receives the same bytes either way.
    const std::string host(hostWithoutScheme(entry.SubmitHost));
    const std::string scheme = isSecureHost(entry.SubmitHost) ? "https://" : "http://";
    std::string text = "http://" + host + entry.Path;
    for (const Piece& piece : entry.Fields) {
        if (!piece.isField) {
            text += piece.literal;
            continue;
        }
        const std::string& value = valueOf(fields, piece.field);
        text.append(value, 0, utf8Prefix(value, piece.maxBytes));
    }
    EngineRequest request;
    request.method = entry.Method;
    if (entry.Method == "post") {
        auto query = entry.Path.find('?');
        request.url = scheme + host + entry.Path.substr(0, query);
        request.body = std::move(text);
    } else {
        request.url = scheme + text.substr(std::string_view("http://").size());
    }
    return request;
}

EngineRequest PrepareRequest(SubmissionFields& fields, const EngineEntry& entry) {
    fields.CurrentEngine = entry.DisplayName;
    URLtoSubmitName(fields, fields.URL);
    return BuildRequest(entry, fields);
}

ConfigPart catalogueConfigPart() {
    return {"Names", {}, [](Config& c, const ConfigSection& names) {
                const std::vector<EngineEntry> catalog = engineCatalog(c);
                for (auto [key, name] :
                     {std::pair{"Entry16", &c.entry16Name}, std::pair{"Entry23", &c.entry23Name}})
                    if (!isUniqueDisplayName(catalog, *name))
                        names.refuse(key, *name, "another entry already has this name");
            }};
}
