#include "core/catalogue/EngineCatalog.h"
#include "core/Config.h"
#include "core/catalogue/SubmissionFields.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

namespace {

const std::vector<std::string> Names = {"Alexa",
                                        "Alexa (method 2)",
                                        "AltaVista",
                                        "AltaVista (method 2)",
                                        "Anzwers",
                                        "Anzwers (method 2)",
                                        "DirectHit",
                                        "Corvane",
                                        "EuroFerret",
                                        "Excite, AOL Netfind, & Magellan",
                                        "FindLink",
                                        "Google",
                                        "Google (method 2)",
                                        "HotBot",
                                        "HotBot (method 2)",
                                        "Sixteen.test",
                                        "Infoseek",
                                        "Infoseek (method 2)",
                                        "InfoSpace",
                                        "Jayde Online",
                                        "Lycos",
                                        "Lycos (method 2)",
                                        "TwentyThree.test",
                                        "National Directory",
                                        "Northern Light",
                                        "PlanetSearch",
                                        "PlanetSearch (method 2)",
                                        "Scrub The Web",
                                        "Switchboard",
                                        "WebCrawler",
                                        "WebCrawler (method 2)",
                                        "WhatUSeek"};

// A configuration whose every host is a distinct loopback port, so a request shows which
// host it was built for.
Config testConfig() {
    Config c;
    for (std::size_t i = 0; i < HostSlotCount; ++i)
        c.hosts[i] = "127.0.0.1:" + std::to_string(9000 + i);
    c.entry16Name = "Sixteen.test";
    c.entry23Name = "TwentyThree.test";
    return c;
}

// Each field holds a marker that appears nowhere else, to see which entries send it.
SubmissionFields markedFields() {
    SubmissionFields f;
    f.Name = "<Name>";
    f.FirstName = "<FirstName>";
    f.LastName = "<LastName>";
    f.EMail = "<EMail>";
    f.URL = "mark:/URL";
    f.SiteTitle = "<SiteTitle>";
    f.Category = "<Category>";
    f.SiteDescription = "<SiteDescription>";
    f.Keywords = "<Keywords>";
    f.Language = "<Language>";
    f.Company = "<Company>";
    f.Address = "<Address>";
    f.City = "<City>";
    f.State = "<State>";
    f.Zip = "<Zip>";
    f.Country = "<Country>";
    f.CountryCode = "<CountryCode>";
    f.Phone = "<Phone>";
    f.Fax = "<Fax>";
    return f;
}

std::string wire(const EngineRequest& r) {
    return r.method == "post" ? r.body : r.url;
}

} // namespace

TEST(EngineCatalog, HasThe32EntriesInSendingOrderWithConfiguredNamesAndHosts) {
    Config config = testConfig();
    auto catalog = engineCatalog(config);
    ASSERT_EQ(catalog.size(), CatalogSize);
    for (std::size_t i = 0; i < catalog.size(); ++i) {
        const EngineEntry& e = catalog[i];
        EXPECT_EQ(e.DisplayName, Names[i]);
        EXPECT_TRUE(e.Method == "get" || e.Method == "post") << e.DisplayName;
        EXPECT_EQ(e.SubmitHost, config.host(e.Host)) << e.DisplayName;
        // The [Hosts] key of an entry's own endpoint is its display name.
        if (e.Host != HostSlot::Shared) {
            EXPECT_EQ(config.hostKey(e.Host), e.DisplayName);
        }
    }
    // Seventeen entries have a host of their own, each a different one.
    std::set<std::string> ownHosts;
    for (const EngineEntry& e : catalog)
        if (e.Host != HostSlot::Shared) ownHosts.insert(e.SubmitHost);
    EXPECT_EQ(ownHosts.size(), 17u);
}

TEST(EngineCatalog, SharedServiceEntriesDifferOnlyInTheirKey) {
    auto catalog = engineCatalog(testConfig());
    const std::vector<std::string> keys = {
        "Alexa",        "AltaVista",  "Anzwers",  "DirectHit", "EuroFerret", "ExciteAOLNetfindMagellan",
        "Google",       "HotBot",     "Infoseek", "Lycos",     "MSNcom",     "NationalDirectory",
        "PlanetSearch", "WebCrawler", "WhatUSeek"};
    const std::set<std::size_t> positions = {2, 4, 6, 7, 9, 10, 13, 15, 18, 22, 23, 24, 27, 31, 32};
    SubmissionFields f;
    f.URL = "http://www.x.org/~a_b";
    f.EMail = "a&b=c@x.org";
    std::vector<std::string> seen;
    for (std::size_t i = 0; i < catalog.size(); ++i) {
        const EngineEntry& e = catalog[i];
        ASSERT_EQ(positions.count(i + 1) == 1, e.Host == HostSlot::Shared) << e.DisplayName;
        if (e.Host != HostSlot::Shared) continue;
        seen.push_back(e.SharedKey);
        EngineRequest r = PrepareRequest(f, e);
        EXPECT_EQ(r.method, "post");
        EXPECT_EQ(r.url, "http://127.0.0.1:9017/submit");
        // The URL goes unencoded, and the space inside "savvynews checked=" is kept.
        EXPECT_EQ(r.body, "http://127.0.0.1:9017/submit?url=http://www.x.org/~a_b&email=a&b=c@x.org"
                          "&savvynews checked=&submit=register&step=3&submit-to-" +
                              e.SharedKey + "=on");
    }
    EXPECT_EQ(seen, keys);
}

TEST(EngineCatalog, ExpectedSizeGoesByTheExactDisplayName) {
    auto catalog = engineCatalog(testConfig());
    std::map<std::string, int> sizes = {{"Alexa", 2052}, {"PlanetSearch", 2052},  {"Infoseek", 9698},
                                        {"Lycos", 8065}, {"Scrub The Web", 6812}, {"WebCrawler", 5610},
                                        {"Corvane", 509}};
    for (const EngineEntry& e : catalog) {
        int expected = sizes.count(e.DisplayName) ? sizes[e.DisplayName] : 9000;
        EXPECT_EQ(expectedSizeOf(catalog, e.DisplayName), expected) << e.DisplayName;
    }
    EXPECT_EQ(expectedSizeOf(catalog, "Lycos (method 2)"), 9000);
    EXPECT_EQ(expectedSizeOf(catalog, "lycos"), 9000);
    EXPECT_EQ(expectedSizeOf(catalog, "Lycos "), 9000);
    EXPECT_EQ(expectedSizeOf(catalog, ""), 9000);
}

TEST(EngineCatalog, EachEntrySendsTheFieldsItsFormTakes) {
    auto catalog = engineCatalog(testConfig());
    SubmissionFields f = markedFields();
    // Entry numbers (1-based) that send each prepared field.
    std::map<std::string, std::set<std::size_t>> uses;
    std::set<std::size_t> shared = {2, 4, 6, 7, 9, 10, 13, 15, 18, 22, 23, 24, 27, 31, 32};
    uses["EncodedURL"] = {1, 3, 5, 8, 12, 14, 17, 19, 21, 26, 28};
    uses["URL"] = {11, 16, 20, 25, 30};
    uses["URL"].insert(shared.begin(), shared.end());
    uses["CountryCode"] = {30};
    uses["FirstName"] = {29};
    uses["LastName"] = {29};
    uses["Fax"] = {11};
    uses["Phone"] = {1, 11, 29};
    uses["Name"] = {11, 25};
    for (std::size_t i = 0; i < catalog.size(); ++i) {
        std::string text = wire(PrepareRequest(f, catalog[i]));
        bool encoded = text.find("mark%3A%2FURL") != std::string::npos;
        bool plain = text.find("mark:/URL") != std::string::npos;
        EXPECT_EQ(encoded, uses["EncodedURL"].count(i + 1) == 1) << catalog[i].DisplayName;
        EXPECT_EQ(plain, uses["URL"].count(i + 1) == 1) << catalog[i].DisplayName;
        for (const char* field : {"CountryCode", "FirstName", "LastName", "Fax", "Phone", "Name"}) {
            std::string marker = std::string("<") + field + ">";
            EXPECT_EQ(text.find(marker) != std::string::npos, uses[field].count(i + 1) == 1)
                << catalog[i].DisplayName << " " << field;
        }
    }
}

TEST(EngineCatalog, GetAndPostRequestsAreBuiltByPlainConcatenation) {
    auto catalog = engineCatalog(testConfig());
    SubmissionFields f;
    f.Name = "Mary Ann Smith";
    f.FirstName = "Mary";
    f.LastName = "Ann Smith";
    f.EMail = "mary@x.org";
    f.URL = "http://www.x.org/~m_a-s.htm";
    f.SiteTitle = "Tom & Jerry = Fun";
    f.Category = "Business:Travel";
    f.Keywords = "a&b";
    f.Language = "English";
    f.City = "Oslo";
    f.Zip = "12345";
    f.Country = "United States";
    f.CountryCode = " US";
    f.Phone = "5551234567";
    f.SiteDescription = "Short";
    std::map<std::string, EngineRequest> built;
    for (const EngineEntry& e : catalog)
        built[e.DisplayName] = PrepareRequest(f, e);

    const std::string enc = "http%3A%2F%2Fwww%2Ex%2Eorg%2F%7Em%5Fa%2Ds%2Ehtm";
    EXPECT_EQ(built["AltaVista"].url, "http://127.0.0.1:9001/cgi-bin/newurl?ad=1&q=" + enc);
    EXPECT_EQ(built["AltaVista"].body, "");
    // "&" and "=" in a value are sent as they are.
    EXPECT_EQ(built["Corvane"].url, "http://127.0.0.1:9003/cgi-bin/ffa.pl?account=Corvane&action=add"
                                    "&name=Tom & Jerry = Fun&message=" +
                                        enc + "&SUBMIT=Add");
    EXPECT_EQ(built["Infoseek"].url, "http://127.0.0.1:9008/AddUrl/AddingURL?sv=IS&lk=noframes"
                                     "&url=http%3A%2F%2Fwww.x.org%2F~m_a-s.htm&CAT=Add%2FUpdate+URL");
    EXPECT_EQ(built["Sixteen.test"].url,
              "http://127.0.0.1:9007/add_url.sh?site=home_zz&url=http://www.x.org/~m_a-s.htm&Page=url");
    // Empty fields still send their keys.
    EXPECT_EQ(built["Switchboard"].url, "http://127.0.0.1:9015/bin/cgireg.dll?FUNC=REGNEWUSER&MEM=1"
                                        "&E=mary@x.org&F=Mary&L=Ann Smith&A=&T=Oslo&S=&Z=12345&P=5551234567"
                                        "&Submit=Submit");
    EXPECT_EQ(built["FindLink"].url,
              "http://127.0.0.1:9004/searchit/addurl.cgi?rethtml=search.cgi"
              "&name=Mary Ann Smith&address=&apt=&city=Oslo&zip=12345&county=&phone="
              "5551234567&fax=&recipient=mary@x.org&linkaddr=http://www.x.org/~m_a-s.htm"
              "&category=Business:Travel&state=&country=United States&password="
              "&sitename=Tom & Jerry = Fun&description=Short");

    // A POST goes to the path before "?"; its body is the whole GET text, target first.
    const EngineRequest& alexa = built["Alexa"];
    EXPECT_EQ(alexa.method, "post");
    EXPECT_EQ(alexa.url, "http://127.0.0.1:9000/cgi-bin/wtgn/site_change.pl");
    EXPECT_EQ(alexa.body,
              "http://127.0.0.1:9000/cgi-bin/wtgn/site_change.pl?url=" + enc +
                  "&edit=edit&site_owner=&address1=&address2=&city=Oslo&state=&postal_code=12345"
                  "&country=United States&phone_number=5551234567&email=mary@x.org&submit=submit");
    EXPECT_EQ(built["Northern Light"].url, "http://127.0.0.1:9012/cgi-bin/urlsubmit.pl");
    EXPECT_EQ(built["Northern Light"].body,
              "http://127.0.0.1:9012/cgi-bin/urlsubmit.pl?&page=http://www.x.org/"
              "~m_a-s.htm&contact=Mary Ann Smith&email=mary@x.org&submit=sb");
    // Jayde Online is sent the fixed word MyName, not the owner's name.
    EXPECT_EQ(built["Jayde Online"].url, "http://127.0.0.1:9010/cgi-bin/addurl.cgi");
    EXPECT_EQ(built["Jayde Online"].body.rfind("http://127.0.0.1:9010/cgi-bin/addurl.cgi?action=verify"
                                               "&name=MyName&email=mary@x.org&sname=Tom & Jerry = Fun&url=",
                                               0),
              0u);
    EXPECT_EQ(built["Jayde Online"].body.find("Mary"), std::string::npos);
    // The country code keeps its leading space.
    EXPECT_EQ(built["WebCrawler"].body,
              "http://127.0.0.1:9016/cgi-bin/add_url_new.cgi?url=http://www.x.org/"
              "~m_a-s.htm&email=mary@x.org&country= US&language=English&submit=Send");
    for (const auto& [name, r] : built) {
        if (r.method == "post") {
            EXPECT_EQ(r.body.rfind(r.url + "?", 0), 0u) << name;
            EXPECT_EQ(r.url.find('?'), std::string::npos) << name;
        } else {
            EXPECT_EQ(r.body, "") << name;
        }
    }
}

TEST(EngineCatalog, OnlyFindLinkCutsTheDescriptionAt253Bytes) {
    auto catalog = engineCatalog(testConfig());
    SubmissionFields f;
    std::string description;
    for (int i = 0; i < 300; ++i)
        description += static_cast<char>('a' + i % 26);
    f.SiteDescription = description;
    std::map<std::string, std::string> sent;
    for (const EngineEntry& e : catalog)
        sent[e.DisplayName] = wire(PrepareRequest(f, e));
    const std::string findLink = sent["FindLink"];
    ASSERT_GE(findLink.size(), 253u);
    EXPECT_EQ(findLink.substr(findLink.size() - 254), "=" + description.substr(0, 253));
    for (const char* whole : {"InfoSpace", "Jayde Online", "Scrub The Web"})
        EXPECT_NE(sent[whole].find(description), std::string::npos) << whole;

    // A character that straddles the limit is left out whole rather than cut in two.
    f.SiteDescription = std::string(252, 'd') + "\xC3\xA9" + std::string(46, 'e');
    std::string cut = wire(PrepareRequest(f, catalog[10]));
    ASSERT_EQ(catalog[10].DisplayName, "FindLink");
    EXPECT_EQ(cut.substr(cut.size() - 253), "=" + std::string(252, 'd'));
    f.SiteDescription = std::string(251, 'd') + "\xC3\xA9" + std::string(46, 'e');
    cut = wire(PrepareRequest(f, catalog[10]));
    EXPECT_EQ(cut.substr(cut.size() - 253), std::string(251, 'd') + "\xC3\xA9");
    // A short description goes whole, and an empty one leaves the key at the end.
    f.SiteDescription = "";
    std::string empty = wire(PrepareRequest(f, catalog[10]));
    EXPECT_EQ(empty.substr(empty.size() - 23), "&sitename=&description=");
}

TEST(EngineCatalog, TheUrlIsEncodedAfreshForEachEngine) {
    auto catalog = engineCatalog(testConfig());
    SubmissionFields f;
    f.URL = "http://a.b/~c";
    std::string infoseek, method2;
    for (const EngineEntry& e : catalog) {
        PrepareRequest(f, e);
        EXPECT_EQ(f.CurrentEngine, e.DisplayName);
        if (e.DisplayName == "Infoseek") infoseek = f.EncodedURL;
        if (e.DisplayName == "Infoseek (method 2)") method2 = f.EncodedURL;
    }
    EXPECT_EQ(infoseek, "http%3A%2F%2Fa.b%2F~c");
    EXPECT_EQ(method2, "http%3A%2F%2Fa%2Eb%2F%7Ec");
    // The entry after Infoseek gets the full encoding again.
    f.URL = "http://a.b/~c";
    EngineRequest lycos = PrepareRequest(f, catalog[20]);
    EXPECT_NE(lycos.url.find("query=http%3A%2F%2Fa%2Eb%2F%7Ec&"), std::string::npos);
}

TEST(EngineCatalog, AnHttpsHostChangesOnlyTheSchemeOfTheAddress) {
    Config plain = testConfig();
    Config secure = testConfig();
    for (std::string& host : secure.hosts)
        host = "https://" + host;
    auto plainCatalog = engineCatalog(plain);
    auto secureCatalog = engineCatalog(secure);
    SubmissionFields f = markedFields();
    for (std::size_t i = 0; i < plainCatalog.size(); ++i) {
        const EngineRequest a = PrepareRequest(f, plainCatalog[i]);
        const EngineRequest b = PrepareRequest(f, secureCatalog[i]);
        ASSERT_EQ(a.url.rfind("http://", 0), 0u);
        EXPECT_EQ(b.url, "https://" + a.url.substr(7)) << plainCatalog[i].DisplayName;
        EXPECT_EQ(b.body, a.body) << plainCatalog[i].DisplayName;
    }
}
