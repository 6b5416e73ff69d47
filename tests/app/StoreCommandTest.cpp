// 'larkspan history' and 'larkspan store' run as the built program on a store made here.
#include "core/indexnow/IndexNowChannel.h"
#include "core/sitemaps/UrlTable.h"
#include "core/store/SiteStore.h"
#include "core/store/StoreSelection.h"
#include "tests/common/RunProgram.h"
#include "tests/common/TempDir.h"

#include <gtest/gtest.h>

namespace {

constexpr std::int64_t Met = 1'700'000'000; // 2023-11-14T22:13:20Z

TEST(StoreCommands, HistoryCheckAndForget) {
    TempDir dir;
    EXPECT_EQ(runLarkspan({"history", "--dir", dir.str(), "Shop"}).err,
              "larkspan: there is no store in " + dir.str() +
                  " yet; a run of a profile with a live channel makes it\n");
    {
        SiteStore store = SiteStore::open(dir.str());
        const StoreSite site = store.site("Shop");
        UrlTable urls;
        urls.insert("https://shop.example/new", Met - 3600);
        urls.insert("https://shop.example/old", 1'600'000'000);
        selectAnnouncements(store, site, urls,
                            {IndexNowChannelId, "https://shop.example/", FirstRun::RecentPages,
                             SelectionMode::Record, SitemapRead::Complete, Met});
        store.recordAccepted(site, IndexNowChannelId, {"https://shop.example/", "https://shop.example/new"},
                             Met + 60, "202 Accepted from api.indexnow.org");
        store.site("Garden");
    }
    const std::string answer = "\tindexnow\t2023-11-14T22:14:20Z\t202 Accepted from api.indexnow.org";
    struct Case {
        std::vector<std::string> args;
        int exitCode;
        std::string out;
        std::string err;
    };
    const std::vector<Case> cases{
        {{"history", "Shop"},
         0,
         "https://shop.example/new\t2023-11-14T22:13:20Z\t2023-11-14T22:13:20Z\t2023-11-14T21:13:20Z\t" +
             answer +
             "\nhttps://shop.example/old\t2023-11-14T22:13:20Z\t2023-11-14T22:13:20Z\t2020-09-13T12:26:40Z\t"
             "\tindexnow\t2023-11-14T22:13:20Z\tknown\n"
             "https://shop.example/\t2023-11-14T22:13:20Z\t\t\t" +
             answer + "\n",
         ""},
        {{"history", "--json", "Shop", "HTTPS://SHOP.example:443/old"},
         0,
         "{\"url\": \"https://shop.example/old\", \"first_seen\": \"2023-11-14T22:13:20Z\", \"last_seen\": "
         "\"2023-11-14T22:13:20Z\", \"lastmod\": \"2020-09-13T12:26:40Z\", \"left\": null, \"channels\": "
         "[{\"channel\": \"indexnow\", \"at\": \"2023-11-14T22:13:20Z\", \"accepted\": false, \"answer\": "
         "\"known\"}]}\n",
         ""},
        {{"history", "Shop", "https://shop.example/none"},
         1,
         "",
         "larkspan: the store holds no URL https://shop.example/none of \"Shop\"\n"},
        {{"history"},
         2,
         "",
         "larkspan: history takes a profile name and at most one URL\n"
         "usage: larkspan history [--dir DIR] [--json] NAME [URL]\n"},
        {{"store", "--check"},
         0,
         SiteStore::fileName(dir.str()) +
             ": ok\nGarden\t0 URLs\t0 in the sitemaps\t0 left\n"
             "Shop\t3 URLs\t2 in the sitemaps\t0 left\tindexnow: 2 accepted, 1 known\n",
         ""},
        {{"store", "--forget", "Shop"},
         0,
         "Removed \"Shop\" from " + SiteStore::fileName(dir.str()) + ": 3 URLs\n",
         ""},
        {{"store", "--forget", "Shop"},
         1,
         "",
         "larkspan: the store " + SiteStore::fileName(dir.str()) + " holds nothing of \"Shop\"\n"},
        {{"store", "--check"},
         0,
         SiteStore::fileName(dir.str()) + ": ok\nGarden\t0 URLs\t0 in the sitemaps\t0 left\n",
         ""},
        {{"store"},
         2,
         "",
         "larkspan: store takes --check or --forget NAME\n"
         "usage: larkspan store [--dir DIR] [--check|--forget NAME]\n"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = c.args;
        args.insert(args.begin() + 1, {"--dir", dir.str()});
        const ProgramResult r = runLarkspan(args);
        EXPECT_EQ(r.exitCode, c.exitCode) << args[0] << " " << args.back() << ": " << r.err;
        EXPECT_EQ(r.out, c.out) << args[0] << " " << args.back();
        EXPECT_EQ(r.err, c.err) << args[0] << " " << args.back();
    }

    // A store that is no database is refused, and left as it is.
    writeFile(SiteStore::fileName(dir.str()), "not a database at all");
    const ProgramResult refused = runLarkspan({"store", "--dir", dir.str(), "--check"});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_EQ(refused.err,
              "larkspan: The store " + SiteStore::fileName(dir.str()) +
                  " is not a database; it is left as it is, and nothing is sent for its sites\n");
    EXPECT_EQ(readFile(SiteStore::fileName(dir.str())), "not a database at all");
}

} // namespace
