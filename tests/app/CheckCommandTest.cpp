// 'larkspan check' as the built program against the engine simulator's demo site www.example.net,
// reached through the simulator as the proxy, over TLS.
#include "core/profiles/SiteProfile.h"
#include "tests/common/RunProgram.h"
#include "tests/common/TempDir.h"
#include "tests/core/support/DemoCertificates.h"
#include "tools/simulator/EngineSimulator.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <map>
#include <sstream>

namespace {

// The lines of the output by their first field.
std::map<std::string, std::string> linesByUrl(const std::string& out) {
    std::map<std::string, std::string> lines;
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);)
        lines[line.substr(0, line.find('\t'))] = line;
    return lines;
}

TEST(CheckCommand, EachDemoPageGetsItsVerdict) {
    const std::string& certs = demoCertificates();
    if (certs.empty()) GTEST_SKIP() << "the demo certificates could not be made";
    TempDir dir;
    // The demo site, and a small one whose pages are all fine.
    std::filesystem::copy(LARKSPAN_SOURCE_DIR "/tools/demo/sites", dir.file("sites"),
                          std::filesystem::copy_options::recursive);
    dir.write("sites/www.example.org/index.html", "<!DOCTYPE html><title>Home</title><p>Welcome");
    dir.write("sites/www.example.org/robots.txt", "User-agent: *\nDisallow: /private/\n");
    // Without --all only what a run would announce is checked: on the site's first run, the
    // profile URL and the pages changed in the last 48 hours, not the old page that is missing.
    dir.write("sites/www.example.org/new.html", "<!DOCTYPE html><title>New</title><p>News");
    dir.write("sites/www.example.org/sitemap.xml",
              "<urlset xmlns=\"http://www.sitemaps.org/schemas/sitemap/0.9\">"
              "<url><loc>https://www.example.org/</loc></url>"
              "<url><loc>https://www.example.org/new.html</loc><lastmod>2099-01-01</lastmod></url>"
              "<url><loc>https://www.example.org/old.html</loc><lastmod>2001-01-01</lastmod></url></urlset>");
    EngineSimulator simulator({}, EngineSimulator::defaultScript(),
                              EngineSimulator::Tls{certs + "/server.pem", certs + "/server.key"},
                              {"--sites", dir.file("sites")});
    std::filesystem::create_directories(dir / "profiles");
    ProfileFiles store(dir.file("profiles"));
    SiteProfile fjord;
    fjord[fSiteTitle] = "Fjord";
    fjord[fURL] = "https://www.example.net/";
    store.save(fjord);
    SiteProfile fine;
    fine[fSiteTitle] = "Fine";
    fine[fURL] = "https://www.example.org/";
    store.save(fine);
    const std::vector<std::string> common{"--dir",    dir.file("profiles"), "--proxy", simulator.address(),
                                          "--cacert", certs + "/ca.pem"};
    auto larkspan = [&](std::vector<std::string> words) {
        std::vector<std::string> args{"check"};
        args.insert(args.end(), common.begin(), common.end());
        args.insert(args.end(), words.begin(), words.end());
        return runLarkspan(args);
    };

    // What an earlier version kept of the site is imported by the first command that needs it,
    // which says so.
    dir.write("profiles/Fjord.state.journal", "A\tindexnow\t1000\thttps://www.example.net/\ndamaged\n");
    const ProgramResult checked = larkspan({"--all", "Fjord"});
    EXPECT_EQ(checked.exitCode, 3) << checked.err;
    const std::string imported =
        "larkspan: Imported 1 acceptance of Fjord from Fjord.state.journal into " +
        dir.file("profiles/larkspan.db") +
        " (1 damaged line skipped); the file is renamed Fjord.state.journal.imported\n"
        "larkspan: The import of " +
        dir.file("profiles/Fjord.state.journal") +
        " skipped 1 damaged line (line 2); the file is kept as "
        "Fjord.state.journal.imported\n";
    const std::string site = "https://www.example.net/";
    const std::map<std::string, std::string> expected = {
        {site, site + "\tok\t"},
        {site + "tours/naeroyfjord.html", site + "tours/naeroyfjord.html\tok\t"},
        {site + "tours/hardangerfjord.html", site + "tours/hardangerfjord.html\tok\t"},
        {site + "tours/sunset-paddle.html", site + "tours/sunset-paddle.html\tok\t"},
        {site + "booking.html", site + "booking.html\tok\t"},
        {site + "about.html", site + "about.html\tok\t"},
        {site + "tours/naeroyfjord-summer.html",
         site + "tours/naeroyfjord-summer.html\tcanonical-elsewhere\t" + site + "tours/naeroyfjord.html"},
        {site + "tours/naeroyfjord-print.html",
         site + "tours/naeroyfjord-print.html\tcanonical-elsewhere\t" + site + "tours/naeroyfjord.html"},
        {site + "tours/private-group.html", site + "tours/private-group.html\tnoindex\trobots meta tag"},
        {site + "booking/confirm.html",
         site + "booking/confirm.html\tnoindex\tX-Robots-Tag: noindex, nofollow"},
        {site + "staff/rota.html", site + "staff/rota.html\tblocked\trobots.txt disallows Googlebot"},
        {site + "tours/winter-camp.html", site + "tours/winter-camp.html\tgone\tstatus 410"},
        {site + "tours/glacier-hike.html", site + "tours/glacier-hike.html\tnot-found\tstatus 404"},
    };
    EXPECT_EQ(linesByUrl(checked.out), expected);
    EXPECT_EQ(checked.err, imported + "larkspan: 13 pages checked, 7 not ok\n");

    // The JSON lines hold the recorded fields.
    const ProgramResult json = larkspan({"--json", "--all", "Fjord"});
    EXPECT_EQ(json.exitCode, 3) << json.err;
    EXPECT_EQ(json.err.find("Imported"), std::string::npos) << json.err;
    std::map<std::string, QJsonObject> records;
    std::istringstream in(json.out);
    for (std::string line; std::getline(in, line);) {
        const QJsonObject o = QJsonDocument::fromJson(QByteArray::fromStdString(line)).object();
        records[o.value("url").toString().toStdString()] = o;
    }
    ASSERT_EQ(records.size(), expected.size()) << json.out;
    const QJsonObject& gone = records.at(site + "tours/winter-camp.html");
    EXPECT_EQ(gone.value("status").toInt(), 410);
    EXPECT_EQ(gone.value("verdict").toString(), "gone");
    const QJsonObject& rota = records.at(site + "staff/rota.html");
    EXPECT_EQ(rota.value("googlebot").toString(), "disallowed");
    EXPECT_EQ(rota.value("bingbot").toString(), "disallowed");
    EXPECT_EQ(records.at(site + "booking/confirm.html").value("robotsHeader").toString(),
              "noindex, nofollow");

    // The pages a run would announce are all fine (exit 0); every sitemap URL is not (exit 3).
    struct Case {
        std::vector<std::string> words;
        int exitCode;
        std::map<std::string, std::string> lines;
    };
    const std::string org = "https://www.example.org/";
    const std::vector<Case> cases = {
        {{"Fine"}, 0, {{org, org + "\tok\t"}, {org + "new.html", org + "new.html\tok\t"}}},
        {{"--all", "Fine"},
         3,
         {{org, org + "\tok\t"},
          {org + "new.html", org + "new.html\tok\t"},
          {org + "old.html", org + "old.html\tnot-found\tstatus 404"}}},
    };
    for (const Case& c : cases) {
        const ProgramResult result = larkspan(c.words);
        EXPECT_EQ(result.exitCode, c.exitCode) << c.words.front() << result.err;
        EXPECT_EQ(linesByUrl(result.out), c.lines) << c.words.front();
    }
    EXPECT_EQ(larkspan({}).exitCode, 2);
    EXPECT_EQ(larkspan({"Nobody"}).exitCode, 1);
}

// Text from the network reaches the tab-separated output through the one filter: no escape
// sequence, no line break, no override of the text's direction, no byte that is not UTF-8 and
// no TAB that would shift the columns after it.
TEST(CheckCommand, HostileTextFromTheSiteDoesNotReachTheOutputRaw) {
    const std::string& certs = demoCertificates();
    if (certs.empty()) GTEST_SKIP() << "the demo certificates could not be made";
    TempDir dir;
    dir.write("sites/www.example.org/index.html", "<!DOCTYPE html><title>Home</title>");
    dir.write("sites/www.example.org/sitemap.xml",
              "<urlset xmlns=\"http://www.sitemaps.org/schemas/sitemap/0.9\">"
              "<url><loc>https://www.example.org/</loc></url></urlset>");
    // The header's bytes as the simulator sends them (each character one byte): ESC sequences
    // that set the terminal's title and its colour, a CR, a TAB, U+202E in UTF-8, and 0xFF.
    dir.write("sites/www.example.org/.answers.json",
              R"({"/": {"headers": [["X-Robots-Tag",
                  "noindex, \u001b]0;owned\u0007\u001b[31m\r forged\tcolumn \u00e2\u0080\u00aegpj.exe \u00ff"]]}})");
    EngineSimulator simulator({}, EngineSimulator::defaultScript(),
                              EngineSimulator::Tls{certs + "/server.pem", certs + "/server.key"},
                              {"--sites", dir.file("sites")});
    std::filesystem::create_directories(dir / "profiles");
    SiteProfile hostile;
    hostile[fSiteTitle] = "Hostile";
    hostile[fURL] = "https://www.example.org/";
    ProfileFiles(dir.file("profiles")).save(hostile);
    const ProgramResult checked =
        runLarkspan({"check", "--dir", dir.file("profiles"), "--proxy", simulator.address(), "--cacert",
                     certs + "/ca.pem", "--all", "Hostile"});
    EXPECT_EQ(checked.exitCode, 3) << checked.err;
    const std::string r = "\xEF\xBF\xBD";
    EXPECT_EQ(checked.out, "https://www.example.org/\tnoindex\tX-Robots-Tag: noindex, " + r + "]0;owned" + r +
                               r + "[31m" + r + " forged column " + r + "gpj.exe " + r + "\n");
}

} // namespace
