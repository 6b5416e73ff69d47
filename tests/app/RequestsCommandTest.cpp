#include "tests/common/RunProgram.h"
#include "tests/common/TempDir.h"

#include <QStringList>
#include <gtest/gtest.h>

#include <sstream>

namespace {

const char* const Binary = LARKSPAN_BINARY_DIR "/app/larkspan";
const char* const Checker = LARKSPAN_SOURCE_DIR "/tests/app/check_json_lines.py";

// Runs the program with no user configuration of its own in reach.
ProgramResult run(const TempDir& dir, const QStringList& args) {
    RunOptions options;
    options.environment.insert("XDG_CONFIG_HOME", QString::fromStdString(dir.file("xdg")));
    options.environment.insert("HOME", QString::fromStdString(dir.str()));
    options.environment.remove("LARKSPAN_HOME");
    options.timeoutMs = 30000;
    return runProgram(Binary, args, options);
}

QStringList requestsOf(const TempDir& dir, const std::string& name, const std::string& config = {}) {
    QStringList args{"requests", "--dir", QString::fromStdString(dir.file("profiles"))};
    if (!config.empty()) args << "--config" << QString::fromStdString(dir.file(config));
    args << QString::fromStdString(name);
    return args;
}

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

// The test data holds no control bytes and only valid UTF-8, so quotes and backslashes
// are all that JSON needs escaped.
std::string q(const std::string& s) {
    std::string out = "\"";
    for (char c : s) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    return out + "\"";
}

std::string line(const std::string& engine, const std::string& method, const std::string& url,
                 const std::string& body) {
    return "{\"engine\": " + q(engine) + ", \"method\": " + q(method) + ", \"url\": " + q(url) +
           ", \"body\": " + q(body) + "}";
}

std::string get(const std::string& engine, const std::string& host, const std::string& rest) {
    return line(engine, "get", "http://" + host + rest, "");
}

std::string post(const std::string& engine, const std::string& host, const std::string& path,
                 const std::string& query) {
    return line(engine, "post", "http://" + host + path, "http://" + host + path + "?" + query);
}

// The profile: spaces, "&", "=", "~", "_", "-", quotes, a backslash and non-ASCII letters.
const std::string N = "Mary Ann Smith";
const std::string E = "mary-ann_smith@example.org";
const std::string U = "http://www.example.org/~mary_ann-smith/a b.htm?x=1&y=2";
const std::string T = "Caf\xC3\xA9 & Bar = Best";
const std::string C = "Business:Travel";
const std::string K = "search, \"quoted\" words\\here";
const std::string Co = "Smith & Sons = Co";
const std::string A = "1 Main St.";
const std::string Ci = "Z\xC3\xBCrich";

// 300 characters: 252 ASCII ones, then "é" across the 253rd and 254th byte, then 47 more.
std::string description() {
    std::string d;
    while (d.size() < 252)
        d += "Tours & travel = fun_for-all~ ";
    d.resize(252);
    return d + "\xC3\xA9" + std::string(47, 'x');
}

std::string profileText(const std::string& country, const std::string& city = Ci) {
    return "[Settings]\nName=" + N + "\nEMail=" + E + "\nURL=" + U + "\nSite Title=" + T + "\nCategory=" + C +
           "\nSite Description=" + description() + "\nKeywords=" + K + "\nLanguage=English\nCompany=" + Co +
           "\nAddress=" + A + "\nCity=" + city + "\nState=ZH\nZip=12345-6789\nCountry=" + country +
           "\nPhone=(555) 123-4567\nFax=(555) 765-4321\n";
}

const char* const ConfigText =
    "[Names]\nEntry16=Go.example\nEntry23=MSN.example\n"
    "[Hosts]\nAlexa=alexa.test:8001\nAltaVista=altavista.test\nAnzwers=anzwers.test\n"
    "Corvane=ffa.test:81\nFindLink=findlink.test\nGoogle=google.test\n"
    "HotBot=hotbot.test\nGo.example=go.test\nInfoseek=infoseek.test\n"
    "InfoSpace=infospace.test\nJayde Online=jayde.test\nLycos=lycos.test\n"
    "Northern Light=nlight.test\nPlanetSearch=planet.test\n"
    "Scrub The Web=scrub.test\nSwitchboard=switch.test\nWebCrawler=crawler.test\n"
    "Shared=shared.test:8080\n";

std::vector<std::string> expectedLines() {
    const std::string enc = "http%3A%2F%2Fwww%2Eexample%2Eorg%2F%7Emary%5Fann%2Dsmith%2Fa b%2Ehtm?x=1&y=2";
    const std::string D = description();
    const std::string D253 = D.substr(0, 252);
    const std::string Z = "12345", P = "5551234567", F = "(555) 765-4321", Cn = "Afganistan";
    auto shared = [&](const std::string& engine, const std::string& key) {
        return post(engine, "shared.test:8080", "/submit",
                    "url=" + U + "&email=" + E + "&savvynews checked=&submit=register&step=3&submit-to-" +
                        key + "=on");
    };
    return {
        post("Alexa", "alexa.test:8001", "/cgi-bin/wtgn/site_change.pl",
             "url=" + enc + "&edit=edit&site_owner=" + Co + "&address1=" + A + "&address2=&city=" + Ci +
                 "&state=ZH&postal_code=" + Z + "&country=" + Cn + "&phone_number=" + P + "&email=" + E +
                 "&submit=submit"),
        shared("Alexa (method 2)", "Alexa"),
        get("AltaVista", "altavista.test", "/cgi-bin/newurl?ad=1&q=" + enc),
        shared("AltaVista (method 2)", "AltaVista"),
        get("Anzwers", "anzwers.test", "/cgi-bin/print_addurl.pl?url=" + enc + "&email=" + E),
        shared("Anzwers (method 2)", "Anzwers"),
        shared("DirectHit", "DirectHit"),
        get("Corvane", "ffa.test:81",
            "/cgi-bin/ffa.pl?account=Corvane&action=add&name=" + T + "&message=" + enc + "&SUBMIT=Add"),
        shared("EuroFerret", "EuroFerret"),
        shared("Excite, AOL Netfind, & Magellan", "ExciteAOLNetfindMagellan"),
        get("FindLink", "findlink.test",
            "/searchit/addurl.cgi?rethtml=search.cgi&name=" + N + "&address=" + A + "&apt=&city=" + Ci +
                "&zip=" + Z + "&county=&phone=" + P + "&fax=" + F + "&recipient=" + E + "&linkaddr=" + U +
                "&category=" + C + "&state=ZH&country=" + Cn + "&password=&sitename=" + T +
                "&description=" + D253),
        get("Google", "google.test", "/addurl?q=" + enc + "&dq=" + K),
        shared("Google (method 2)", "Google"),
        get("HotBot", "hotbot.test", "/addurl.asp?newurl=" + enc + "&MM=1&output=success&email=" + E),
        shared("HotBot (method 2)", "HotBot"),
        get("Go.example", "go.test", "/add_url.sh?site=home_zz&url=" + U + "&Page=url"),
        get("Infoseek", "infoseek.test",
            "/AddUrl/AddingURL?sv=IS&lk=noframes&url=http%3A%2F%2Fwww.example.org%2F~mary_ann-smith%2Fa b.htm"
            "?x=1&y=2&CAT=Add%2FUpdate+URL"),
        shared("Infoseek (method 2)", "Infoseek"),
        get("InfoSpace", "infospace.test",
            "/homepage?title=" + T + "&url=" + enc + "&keywords=" + K + "&org=" + Co + "&city=" + Ci +
                "&state=ZH&country=" + Cn + "&name=&name=&email=" + E + "&descrip=" + D),
        post("Jayde Online", "jayde.test", "/cgi-bin/addurl.cgi",
             "action=verify&name=MyName&email=" + E + "&sname=" + T + "&url=" + U + "&cat=" + C +
                 "&desc=" + D +
                 "&jaydenews=off&comix=off&netdummy=off&list=off&y2k=off&maclinx=off&trueaccounts=off"
                 "&todaysfaith=off&casinonews=off=&submit=Submit Site"),
        get("Lycos", "lycos.test", "/cgi-bin/spider_now.pl?query=" + enc + "&email=" + E),
        shared("Lycos (method 2)", "Lycos"),
        shared("MSN.example", "MSNcom"),
        shared("National Directory", "NationalDirectory"),
        post("Northern Light", "nlight.test", "/cgi-bin/urlsubmit.pl",
             "&page=" + U + "&contact=" + N + "&email=" + E + "&submit=sb"),
        get("PlanetSearch", "planet.test", "/?a=20&flags=3&count=10&olda=0&url=" + enc),
        shared("PlanetSearch (method 2)", "PlanetSearch"),
        get("Scrub The Web", "scrub.test",
            "/cgi-bin/addurl.cgi?Title=" + T + "&Email=" + E + "&URL=" + enc + "&cat=Misc&Description=" + D +
                "&Keywords=" + K),
        get("Switchboard", "switch.test",
            "/bin/cgireg.dll?FUNC=REGNEWUSER&MEM=1&E=" + E + "&F=Mary&L=Ann Smith&A=" + A + "&T=" + Ci +
                "&S=ZH&Z=" + Z + "&P=" + P + "&Submit=Submit"),
        post("WebCrawler", "crawler.test", "/cgi-bin/add_url_new.cgi",
             "url=" + U + "&email=" + E + "&country= AF&language=English&submit=Send"),
        shared("WebCrawler (method 2)", "WebCrawler"),
        shared("WhatUSeek", "WhatUSeek"),
    };
}

} // namespace

TEST(RequestsCommand, PrintsThe32RequestsOfAProfileByteForByte) {
    TempDir dir;
    dir.write("profiles/" + T + ".ini", profileText("Afganistan"));
    dir.write("larkspan.ini", ConfigText);
    ProgramResult r = run(dir, requestsOf(dir, T, "larkspan.ini"));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err.find("warning"), std::string::npos) << r.err;
    std::vector<std::string> lines = linesOf(r.out);
    std::vector<std::string> expected = expectedLines();
    ASSERT_EQ(lines.size(), 32u) << r.out;
    for (std::size_t i = 0; i < expected.size(); ++i)
        EXPECT_EQ(lines[i], expected[i]) << "line " << i + 1;
    EXPECT_EQ(r.out.back(), '\n');

    // Pieces written out in full, as a server would receive them.
    EXPECT_EQ(lines[29], R"({"engine": "WebCrawler", "method": "post", )"
                         R"("url": "http://crawler.test/cgi-bin/add_url_new.cgi", )"
                         R"("body": "http://crawler.test/cgi-bin/add_url_new.cgi?url=http://www.example.org/)"
                         R"(~mary_ann-smith/a b.htm?x=1&y=2&email=mary-ann_smith@example.org&country= AF)"
                         R"(&language=English&submit=Send"})");
    EXPECT_NE(lines[11].find(R"(&dq=search, \"quoted\" words\\here")"), std::string::npos);
    EXPECT_NE(lines[28].find("&F=Mary&L=Ann Smith&A=1 Main St.&T=Z\xC3\xBCrich&S=ZH&Z=12345&P=5551234567&"),
              std::string::npos);
    EXPECT_NE(lines[24].find("urlsubmit.pl?&page=http://www.example.org/"), std::string::npos);

    // Every line is a JSON object of the four keys in order, checked by another parser.
    dir.write("out.jsonl", r.out);
    ProgramResult check =
        runProgram("python3", {Checker, QString::fromStdString(dir.file("out.jsonl")), "32"});
    EXPECT_EQ(check.exitCode, 0) << check.err;
}

TEST(RequestsCommand, BytesThatAreNotUtf8StillGiveValidJson) {
    TempDir dir;
    // A city typed in the system's old single-byte code page.
    dir.write("profiles/old.ini", profileText("Germany", "K\xF6ln"));
    ProgramResult r = run(dir, requestsOf(dir, "old"));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    std::vector<std::string> lines = linesOf(r.out);
    ASSERT_EQ(lines.size(), 32u);
    EXPECT_NE(lines[28].find("&T=K\\ufffdln&"), std::string::npos) << lines[28];
    // Without a configuration file the built-in names are used.
    EXPECT_NE(lines[15].find("\"engine\": \"Go2Net.com\""), std::string::npos) << lines[15];
    EXPECT_NE(lines[22].find("\"engine\": \"MSN.com\""), std::string::npos) << lines[22];
    dir.write("out.jsonl", r.out);
    ProgramResult check =
        runProgram("python3", {Checker, QString::fromStdString(dir.file("out.jsonl")), "32"});
    EXPECT_EQ(check.exitCode, 0) << check.err;
}

TEST(RequestsCommand, AnIncompleteOrMissingProfileSendsNothing) {
    TempDir dir;
    dir.write("profiles/nocountry.ini", profileText(""));
    for (const char* name : {"nocountry", "missing"}) {
        ProgramResult r = run(dir, requestsOf(dir, name));
        EXPECT_EQ(r.exitCode, 1) << name;
        EXPECT_EQ(r.out, "") << name;
        EXPECT_NE(r.err.find("Please complete all fields!\n"), std::string::npos) << name << ": " << r.err;
    }
    // A country that is not in the table is still a country: the code stays empty.
    dir.write("profiles/atlantis.ini", profileText("Atlantis"));
    ProgramResult r = run(dir, requestsOf(dir, "atlantis"));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("&country=&language=English"), std::string::npos);
}

TEST(RequestsCommand, ReportsUsageAndConfigurationProblems) {
    TempDir dir;
    dir.write("profiles/site.ini", profileText("Afganistan"));
    ProgramResult noName = run(dir, {"requests", "--dir", QString::fromStdString(dir.file("profiles"))});
    EXPECT_EQ(noName.exitCode, 2);
    EXPECT_EQ(noName.out, "");

    ProgramResult missing = run(dir, requestsOf(dir, "site", "absent.ini"));
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_EQ(missing.out, "");
    EXPECT_NE(missing.err.find("absent.ini cannot be read"), std::string::npos) << missing.err;

    dir.write("bad.ini", "[Hosts]\nShared=shared.test:http\n");
    ProgramResult bad = run(dir, requestsOf(dir, "site", "bad.ini"));
    EXPECT_EQ(bad.exitCode, 1);
    EXPECT_EQ(bad.out, "");
    EXPECT_NE(bad.err.find("[Hosts] Shared=shared.test:http: not a host or host:port"), std::string::npos)
        << bad.err;

    // Unknown keys are reported and the requests still printed, with the known values applied.
    dir.write("extra.ini", "[Hosts]\nShared=127.0.0.1:9\nAltavista2=x\n");
    ProgramResult extra = run(dir, requestsOf(dir, "site", "extra.ini"));
    EXPECT_EQ(extra.exitCode, 0);
    EXPECT_NE(extra.err.find("warning: " + dir.file("extra.ini") +
                             ": unknown key Altavista2 in section [Hosts] is ignored"),
              std::string::npos)
        << extra.err;
    std::vector<std::string> lines = linesOf(extra.out);
    ASSERT_EQ(lines.size(), 32u);
    EXPECT_NE(lines[1].find("\"url\": \"http://127.0.0.1:9/submit\""), std::string::npos) << lines[1];

    // The default configuration file is read when no other is named.
    dir.write("xdg/larkspan/larkspan.ini", "[Hosts]\nLycos=127.0.0.1:7\n");
    ProgramResult byDefault = run(dir, requestsOf(dir, "site"));
    ASSERT_EQ(byDefault.exitCode, 0) << byDefault.err;
    EXPECT_NE(byDefault.out.find("\"url\": \"http://127.0.0.1:7/cgi-bin/spider_now.pl?query="),
              std::string::npos);
}
