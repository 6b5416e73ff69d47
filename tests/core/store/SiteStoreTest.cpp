// The site store: what a channel announces on its first and later runs, the import of the old
// state files, two processes on one site, crashes, damaged files and a full disk.
#include "core/store/SiteStore.h"

#include "core/indexnow/IndexNowChannel.h"
#include "core/sitemaps/SitemapReader.h"
#include "core/sitemaps/UrlTable.h"
#include "core/store/StoreChecks.h"
#include "core/store/StoreClaim.h"
#include "core/store/StoreSelection.h"
#include "http/Url.h"
#include "platform/Time.h"
#include "tests/common/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <csignal>
#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr std::int64_t Now = 1'800'000'000;
constexpr std::int64_t Hour = 3600;
const std::string Home = "https://shop.example/";

struct Page {
    std::string url;
    std::int64_t lastmod = NoLastmod;
};

UrlTable tableOf(const std::vector<Page>& pages) {
    UrlTable table;
    for (const Page& page : pages)
        table.insert(page.url, page.lastmod);
    return table;
}

std::vector<Page> pagesOf(int count, std::int64_t lastmod, const std::string& prefix = "p/") {
    std::vector<Page> pages;
    for (int i = 0; i < count; ++i)
        pages.push_back({Home + prefix + std::to_string(i), lastmod});
    return pages;
}

// A connection of the test's own to the store's file, to look at what the store wrote.
SqliteDatabase peek(const TempDir& dir) {
    SqliteDatabase db(SiteStore::fileName(dir.str()), SqliteDatabase::Mode::ReadWrite);
    db.setBusyTimeout(60'000);
    return db;
}

std::vector<std::string> urlsOf(const UrlTable& table, const AnnounceSelection& selection) {
    std::vector<std::string> urls;
    for (std::size_t i : selection.indices)
        urls.emplace_back(table.url(i));
    return urls;
}

AnnounceSelection select(SiteStore& store, const StoreSite& site, const UrlTable& urls,
                         FirstRun rule = FirstRun::RecentPages, SelectionMode mode = SelectionMode::Record,
                         std::int64_t now = Now) {
    return selectAnnouncements(store, site, urls,
                               {IndexNowChannelId, Home, rule, mode, SitemapRead::Complete, now});
}

// A run that is accepted in full: what it selected is recorded as accepted.
AnnounceSelection acceptedRun(SiteStore& store, const StoreSite& site, const UrlTable& urls,
                              FirstRun rule = FirstRun::RecentPages, std::int64_t now = Now) {
    AnnounceSelection selection = select(store, site, urls, rule, SelectionMode::Record, now);
    std::vector<std::string_view> sent;
    if (selection.profileUrl) sent.push_back(Home);
    for (std::size_t i : selection.indices)
        sent.push_back(urls.url(i));
    store.recordAccepted(site, IndexNowChannelId, sent, now, "200 OK");
    return selection;
}

TEST(SiteStoreSelection, FirstRunRecordsABaselineAndSendsOnlyTheLast48Hours) {
    TempDir dir;
    const std::vector<Page> pages{{Home + "old", Now - 400 * 24 * Hour},
                                  {Home + "hour", Now - Hour},
                                  {Home + "edge", Now - 48 * Hour},
                                  {Home + "past-edge", Now - 48 * Hour - 1},
                                  {Home + "undated"},
                                  {Home + "future", Now + 24 * Hour}};
    const UrlTable urls = tableOf(pages);
    SiteStore store = SiteStore::open(dir.str());
    const StoreSite site = store.site("Shop");

    const AnnounceSelection preview =
        select(store, site, urls, FirstRun::RecentPages, SelectionMode::Preview);
    const AnnounceSelection first = acceptedRun(store, site, urls);
    for (const AnnounceSelection& s : {preview, first}) {
        EXPECT_TRUE(s.firstRun);
        EXPECT_TRUE(s.profileUrl);
        EXPECT_EQ(urlsOf(urls, s), (std::vector<std::string>{Home + "hour", Home + "edge", Home + "future"}));
        EXPECT_EQ(s.recordedUnsent, 3u);
    }
    // The preview wrote nothing: the run that followed was still the first.
    EXPECT_EQ(store.acceptedCount(site, IndexNowChannelId), 4);

    // Nothing changed: nothing is sent, the home page neither, nor the page whose lastmod lies
    // in the future and so is still later than its acceptance.
    const AnnounceSelection second =
        select(store, site, urls, FirstRun::RecentPages, SelectionMode::Record, Now + Hour);
    EXPECT_FALSE(second.firstRun);
    EXPECT_FALSE(second.profileUrl);
    EXPECT_EQ(urlsOf(urls, second), std::vector<std::string>{});
    // A page of the baseline that changes after it is sent.
    const UrlTable later = tableOf({{Home + "old", Now + 2 * Hour}, {Home + "undated"}});
    EXPECT_EQ(urlsOf(later, select(store, site, later, FirstRun::RecentPages, SelectionMode::Preview)),
              std::vector<std::string>{Home + "old"});
}

// A first run whose sitemap answered 503 (or was cut short) saw none or only some of the pages:
// it is no baseline, and the run that reads the sitemaps is the first run, not one that takes
// every page as new. A key's status written meanwhile does not make the channel's first run.
TEST(SiteStoreSelection, AFirstRunWithoutItsSitemapsIsNoBaseline) {
    TempDir dir;
    SiteStore store = SiteStore::open(dir.str());
    const StoreSite site = store.site("Shop");
    const auto partial = [&](const UrlTable& urls) {
        return selectAnnouncements(store, site, urls,
                                   {IndexNowChannelId, Home, FirstRun::RecentPages, SelectionMode::Record,
                                    SitemapRead::Partial, Now});
    };
    const AnnounceSelection unread = partial(UrlTable());
    EXPECT_TRUE(unread.firstRun && unread.baselinePending && unread.profileUrl);
    store.recordAccepted(site, IndexNowChannelId, {Home}, Now, "202 Accepted");
    store.setKeyStatus(site, IndexNowChannelId, "pending", Now);
    const AnnounceSelection some = partial(tableOf({{Home + "old", Now - 400 * 24 * Hour}}));
    EXPECT_TRUE(some.firstRun && some.baselinePending);
    EXPECT_EQ(some.recordedUnsent, 1u);

    const UrlTable urls = tableOf({{Home + "old", Now - 400 * 24 * Hour},
                                   {Home + "older", Now - 500 * 24 * Hour},
                                   {Home + "hour", Now}});
    const AnnounceSelection read =
        select(store, site, urls, FirstRun::RecentPages, SelectionMode::Record, Now + Hour);
    EXPECT_TRUE(read.firstRun);
    EXPECT_FALSE(read.baselinePending);
    EXPECT_FALSE(read.profileUrl); // accepted by the run before
    EXPECT_EQ(urlsOf(urls, read), std::vector<std::string>{Home + "hour"});
    EXPECT_EQ(read.recordedUnsent, 1u); // "old" was recorded already
    EXPECT_EQ(store.keyStatus(site, IndexNowChannelId), "pending");
    EXPECT_FALSE(
        select(store, site, urls, FirstRun::RecentPages, SelectionMode::Preview, Now + Hour).firstRun);
}

TEST(SiteStoreAccepted, UrlsNewToTheStoreAndOtherSpellingsAreRecordedOnce) {
    TempDir dir;
    SiteStore store = SiteStore::open(dir.str());
    const StoreSite site = store.site("Shop");
    acceptedRun(store, site, tableOf({{Home + "known"}}), FirstRun::AllPages);
    ASSERT_EQ(store.acceptedCount(site, IndexNowChannelId), 2);
    // A known URL comes first, so that the rows it changed cannot pass for the next one's.
    store.recordAccepted(site, IndexNowChannelId,
                         {Home + "known", "HTTPS://Shop.Example:443/new", Home + "new", Home + "other"},
                         Now + Hour, "200 OK");
    EXPECT_EQ(store.acceptedCount(site, IndexNowChannelId), 4);
    EXPECT_EQ(store.acceptedAt(site, IndexNowChannelId, Home + "new"), Now + Hour);
    EXPECT_EQ(store.acceptedAt(site, IndexNowChannelId, Home + "other"), Now + Hour);

    // By rows, out of order, twice over and with a gap: the row in the gap stays unsent.
    const StoreSite other = store.site("Other");
    const UrlTable pages = tableOf(pagesOf(4, NoLastmod));
    const AnnounceSelection selection = select(store, other, pages, FirstRun::AllPages);
    const std::vector<std::int64_t>& r = selection.rows;
    store.recordAcceptedRows(other, IndexNowChannelId, {r[3], r[0], r[1], r[0]}, Now, "200 OK");
    EXPECT_EQ(store.acceptedCount(other, IndexNowChannelId), 3);
    EXPECT_EQ(store.acceptedAt(other, IndexNowChannelId, Home + "p/2"), std::nullopt);
    EXPECT_EQ(store.acceptedAt(other, IndexNowChannelId, Home + "p/3"), Now);
}

TEST(SiteStoreSelection, AllPagesOnTheFirstRunSendsEverything) {
    TempDir dir;
    SiteStore store = SiteStore::open(dir.str());
    const StoreSite site = store.site("Shop");
    const UrlTable urls = tableOf(pagesOf(50, Now - 1000 * Hour));
    const AnnounceSelection first = acceptedRun(store, site, urls, FirstRun::AllPages);
    EXPECT_TRUE(first.profileUrl);
    EXPECT_EQ(first.indices.size(), 50u);
    EXPECT_EQ(first.recordedUnsent, 0u);
    EXPECT_EQ(store.acceptedCount(site, IndexNowChannelId), 51);
}

TEST(SiteStoreSelection, ManyNewRowsOfAnnouncedUrlsAreWrittenBesideTheRunWithTheIdsTheSelectionGave) {
    TempDir dir;
    SiteStore store = SiteStore::open(dir.str());
    SiteStore other = SiteStore::open(dir.str());
    const SqliteDatabase seen = peek(dir);
    // Seen from another connection: a site's rows, its lowest and its highest id.
    const auto rowsOf = [&](const StoreSite& site) {
        SqliteStatement rows = seen.prepare("SELECT count(*), min(id), max(id) FROM urls WHERE site=?1");
        rows.bind(1, site.id).step();
        return std::array{rows.int64(0), rows.int64(1), rows.int64(2)};
    };
    const auto selectPages = [&](const StoreSite& site, const UrlTable& urls, FirstRun rule) {
        return selectAnnouncements(store, site, urls,
                                   {IndexNowChannelId, Home, rule, SelectionMode::Record,
                                    SitemapRead::Complete, Now, NewRows::InBackground});
    };
    // A baseline of URLs recorded without being sent is written before the selection returns.
    const StoreSite known = store.site("Known");
    const UrlTable old = tableOf(pagesOf(5'000, Now - 1000 * Hour));
    EXPECT_EQ(selectPages(known, old, FirstRun::RecentPages).recordedUnsent, 5'000u);
    EXPECT_EQ(rowsOf(known)[0], 5'001);

    const StoreSite shop = store.site("Shop");
    std::vector<Page> pages = pagesOf(5'000, Now);
    pages.push_back({"HTTPS://Shop.Example/Odd%7e"});
    const UrlTable urls = tableOf(pages);
    const AnnounceSelection selection = selectPages(shop, urls, FirstRun::AllPages);
    // The highest of the ids given is there at once; rows another site makes meanwhile come
    // after it.
    const std::int64_t highest = *std::max_element(selection.rows.begin(), selection.rows.end());
    EXPECT_GE(rowsOf(shop)[2], highest);
    // An acceptance by rows waits for the rows that the thread writes, here the last of them,
    // also when it holds the highest, which the selection wrote itself.
    store.recordAcceptedRows(shop, IndexNowChannelId, {highest - 1, highest}, Now, "200 OK");
    EXPECT_EQ(store.acceptedCount(shop, IndexNowChannelId), 2);
    const StoreSite later = other.site("Later");
    selectAnnouncements(
        other, later, tableOf(pagesOf(3, Now)),
        {IndexNowChannelId, Home, FirstRun::AllPages, SelectionMode::Record, SitemapRead::Complete, Now});
    EXPECT_GT(rowsOf(later)[1], highest + 1);

    store.recordAcceptedRows(shop, IndexNowChannelId, selection.rows, Now, "200 OK");
    EXPECT_EQ(store.acceptedCount(shop, IndexNowChannelId), 5'001);
    // The profile URL's row came after the highest.
    EXPECT_EQ(rowsOf(shop)[0], 5'002);
    EXPECT_EQ(rowsOf(shop)[2], highest + 1);
    for (const auto& [key, spelling] : {std::pair{Home + "p/0", Home + "p/0"},
                                        {Home + "p/4999", Home + "p/4999"},
                                        {Home + "Odd~", pages.back().url}}) {
        SqliteStatement find = seen.prepare("SELECT id FROM urls WHERE site=?1 AND url=?2");
        find.bind(1, shop.id).bind(2, key);
        ASSERT_TRUE(find.step()) << key;
        EXPECT_EQ(find.int64(0), selection.rows[*urls.find(spelling)]);
    }
    // The acceptances left the store's foreign keys on: forgetting the site takes its answers.
    EXPECT_EQ(forgetSite(store, "Shop", 0), 5'002);
    EXPECT_EQ(rowsOf(shop)[0], 0);
    EXPECT_EQ(seen.queryInt64("SELECT count(*) FROM announcements WHERE url NOT IN (SELECT id FROM urls)"),
              0);
}

TEST(SiteStoreLog, ALargeBaselineReachesTheDatabaseFileBesideTheRunAndNothingIsLost) {
    TempDir dir;
    const std::string file = SiteStore::fileName(dir.str());
    const auto bytes = [](const std::string& path) {
        struct stat st {};
        return ::stat(path.c_str(), &st) == 0 ? st.st_size : -1;
    };
    {
        SiteStore store = SiteStore::open(dir.str());
        const StoreSite site = store.site("Shop");
        // About 2,000 pages of log, past the 1,000 at which a checkpoint is due.
        acceptedRun(store, site, tableOf(pagesOf(60'000, Now, "catalogue/products/")), FirstRun::AllPages);
        // The commits returned; the checkpoint copies the pages into the file on its own thread.
        for (int i = 0; i < 200 && bytes(file) < 4'000'000; ++i)
            ::usleep(50'000);
        EXPECT_GE(bytes(file), 4'000'000);
    }
    // Closed, the store leaves no log behind, and every acceptance is there.
    EXPECT_EQ(bytes(file + "-wal"), -1);
    SiteStore store = SiteStore::open(dir.str());
    EXPECT_EQ(store.acceptedCount(store.site("Shop"), IndexNowChannelId), 60'001);
}

TEST(SiteStoreSelection, ALaterRunSendsExactlyTheNewAndChangedPagesAndNotTheHomePage) {
    TempDir dir;
    SiteStore store = SiteStore::open(dir.str());
    const StoreSite site = store.site("Shop");
    std::vector<Page> pages = pagesOf(100, Now - 1000 * Hour);
    pages.push_back({Home, Now - 1000 * Hour});
    acceptedRun(store, site, tableOf(pages), FirstRun::AllPages);

    pages[7].lastmod = Now + Hour;
    for (int i = 0; i < 5; ++i)
        pages.push_back({Home + "new/" + std::to_string(i), NoLastmod});
    const UrlTable second = tableOf(pages);
    const AnnounceSelection run = acceptedRun(store, site, second, FirstRun::RecentPages, Now + 2 * Hour);
    EXPECT_FALSE(run.profileUrl);
    EXPECT_EQ(urlsOf(second, run),
              (std::vector<std::string>{Home + "p/7", Home + "new/0", Home + "new/1", Home + "new/2",
                                        Home + "new/3", Home + "new/4"}));
    // The home page is sent again when its own lastmod changes.
    pages[100].lastmod = Now + 3 * Hour;
    const UrlTable third = tableOf(pages);
    const AnnounceSelection again = acceptedRun(store, site, third, FirstRun::RecentPages, Now + 4 * Hour);
    EXPECT_TRUE(again.profileUrl);
    EXPECT_TRUE(again.indices.empty());
}

TEST(SiteStoreSelection, SpellingsOfOneUrlAreOneRowLongAndNonAsciiUrlsAreKept) {
    struct Case {
        std::string written;
        std::string normal;
    };
    const std::vector<Case> cases{
        {"HTTP://Shop.EXAMPLE:80/a", "http://shop.example/a"},
        {"https://shop.example:443", "https://shop.example/"},
        {"https://shop.example/%7euser/%2f", "https://shop.example/~user/%2F"},
        {"https://shop.example/caf\xC3\xA9?q=\xC3\xBC", "https://shop.example/caf%C3%A9?q=%C3%BC"},
        {"https://shop.example/a/./b/../c#top", "https://shop.example/a/c"},
        {"https://shop.example/a b", "https://shop.example/a%20b"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(urlKey(c.written), c.normal) << c.written;

    TempDir dir;
    SiteStore store = SiteStore::open(dir.str());
    const StoreSite site = store.site("Shop");
    const std::string longUrl = Home + std::string(2048 - Home.size(), 'x');
    std::vector<Page> pages{{longUrl, NoLastmod}};
    for (const Case& c : cases) {
        pages.push_back({c.written, NoLastmod});
        pages.push_back({c.normal, NoLastmod});
    }
    const UrlTable urls = tableOf(pages);
    const AnnounceSelection run = acceptedRun(store, site, urls, FirstRun::AllPages);
    // Each page once, in its normal spelling when the sitemap has it; the profile URL goes first
    // on its own.
    std::vector<std::string> expected{longUrl};
    for (const Case& c : cases)
        if (c.normal != Home) expected.push_back(c.normal);
    EXPECT_TRUE(run.profileUrl);
    EXPECT_EQ(urlsOf(urls, run), expected);
    EXPECT_EQ(store.acceptedCount(site, IndexNowChannelId), static_cast<std::int64_t>(cases.size()) + 1);
    EXPECT_TRUE(store.acceptedAt(site, IndexNowChannelId, longUrl));
    EXPECT_TRUE(store.acceptedAt(site, IndexNowChannelId, "https://SHOP.example/caf%c3%a9?q=%c3%bc"));
}

TEST(SiteStoreChecks, TheLatestCheckOfEachUrlIsKeptWholeAndCountedPerCrawler) {
    TempDir dir;
    SiteStore store = SiteStore::open(dir.path().string());
    const StoreSite site = store.site("Garden");
    const UrlTable urls = tableOf({{Home + "a"}, {Home + "b"}, {Home + "c"}});
    select(store, site, urls, FirstRun::AllPages);

    PageCheck ok;
    ok.url = Home + "a";
    ok.time = "2027-01-15T08:00:00Z";
    ok.status = 200;
    ok.hops = {{Home + "a", 301}, {Home + "a/", 200}};
    ok.finalUrl = Home + "a/";
    ok.canonical = Home + "a/";
    ok.bytes = 1234;
    // b says noindex to bingbot only, in a spelling of its own; robots.txt closes c to Googlebot.
    PageCheck header = ok;
    header.url = "HTTPS://Shop.Example:443/b";
    header.hops = {{Home + "b", 200}};
    header.finalUrl = header.canonical = Home + "b";
    header.robotsHeader = "bingbot: noindex";
    header.header.bingbot = true;
    PageCheck blocked = header;
    blocked.url = Home + "c";
    blocked.hops = {{Home + "c", 200}};
    blocked.finalUrl = blocked.canonical = Home + "c";
    blocked.robotsHeader.clear();
    blocked.header = {};
    blocked.googlebot = RobotsDecision::Disallowed;
    PageCheck foreign = ok;
    foreign.url = "https://elsewhere.example/a";
    EXPECT_EQ(recordPageChecks(store, site, {ok, header, blocked, foreign}), 3u);
    // A later check of c replaces the first one.
    PageCheck missing = blocked;
    missing.status = 404;
    missing.googlebot = RobotsDecision::Allowed;
    EXPECT_EQ(recordPageChecks(store, site, {missing}), 1u);

    const std::vector<PageCheck> kept = latestPageChecks(store, site);
    ASSERT_EQ(kept.size(), 3u);
    EXPECT_EQ(kept[0].url, Home + "a");
    EXPECT_EQ(kept[0].time, ok.time);
    EXPECT_EQ(kept[0].hops.size(), 2u);
    EXPECT_EQ(kept[0].hops[0].status, 301);
    EXPECT_EQ(kept[0].canonical, Home + "a/");
    EXPECT_EQ(kept[0].bytes, 1234u);
    EXPECT_EQ(kept[1].url, Home + "b");
    EXPECT_TRUE(kept[1].header.bingbot);
    EXPECT_FALSE(kept[1].header.googlebot);
    EXPECT_EQ(kept[2].status, 404);
    EXPECT_EQ(kept[2].googlebot, RobotsDecision::Allowed);

    struct Case {
        Crawler crawler;
        std::string counts;
    };
    for (const Case& c : std::vector<Case>{{Crawler::Googlebot, "1 ok, 1 redirect, 1 not-found"},
                                           {Crawler::Bingbot, "1 redirect, 1 not-found, 1 noindex"}})
        EXPECT_EQ(countPageVerdicts(store, site, c.crawler).text(), c.counts);
    EXPECT_EQ(storedPageChecks(dir.path().string(), "Garden").size(), 3u);
    EXPECT_TRUE(storedPageChecks(dir.path().string(), "Nobody").empty());
}

TEST(SiteStoreImport, OldStateFilesAreImportedOnceWithWhatIsValidAndRenamed) {
    TempDir dir;
    const std::string snapshot =
        "larkspan-state 1\nC\tindexnow\nN\tretry-after https://api.example/indexnow\t" +
        std::to_string(Now + Hour) + "\nA\t1000\t" + Home + "p/0\nA\t1000\t" + Home + "p/1\nA\t1000\t" +
        Home + "tab\\there\n";
    const std::string journal = "A\tindexnow\t2000\t" + Home + "p/1\n" + "A\tindexnow\tsoon\t" + Home +
                                "p/2\n" + "garbage\n" + "A\tindexnow\t3000\t" + Home + "p/3\n" +
                                "A\tindexnow\t3000\t" + Home + "p/4";
    dir.write("Shop.state", snapshot);
    dir.write("Shop.state.journal", journal);
    dir.write("Shop.state.lock", "");

    SiteStore store = SiteStore::open(dir.str());
    const StoreSite site = store.site("Shop");
    EXPECT_EQ(store.acceptedCount(site, IndexNowChannelId), 4);
    EXPECT_EQ(store.acceptedAt(site, IndexNowChannelId, Home + "p/1"), std::optional<std::int64_t>(2000));
    EXPECT_EQ(store.acceptedAt(site, IndexNowChannelId, Home + "tab\there"),
              std::optional<std::int64_t>(1000));
    EXPECT_FALSE(store.acceptedAt(site, IndexNowChannelId, Home + "p/4"));
    EXPECT_EQ(store.pausedUntil(site, IndexNowChannelId, "https://api.example/indexnow"), Now + Hour);
    ASSERT_EQ(site.notices.size(), 2u);
    EXPECT_EQ(site.notices[0],
              "Imported 5 acceptances and 1 note of Shop from Shop.state and Shop.state.journal "
              "into " +
                  store.file() +
                  " (3 damaged lines skipped); the files are renamed "
                  "Shop.state.imported and Shop.state.journal.imported");
    EXPECT_EQ(site.notices[1], "The import of " + dir.file("Shop.state.journal") +
                                   " skipped 3 damaged lines (lines 2, 3, 5); the file is kept as "
                                   "Shop.state.journal.imported");
    EXPECT_EQ(dir.read("Shop.state.journal.imported"), journal);
    EXPECT_EQ(dir.read("Shop.state.imported"), snapshot);
    EXPECT_FALSE(std::filesystem::exists(dir / "Shop.state"));
    EXPECT_FALSE(std::filesystem::exists(dir / "Shop.state.lock"));

    // The site was announced before: no baseline, only what is new since.
    const UrlTable urls = tableOf({{Home + "p/0"}, {Home + "p/1"}, {Home + "p/9"}});
    const AnnounceSelection next = select(store, store.site("Shop"), urls);
    EXPECT_FALSE(next.firstRun);
    EXPECT_EQ(urlsOf(urls, next), std::vector<std::string>{Home + "p/9"});
    EXPECT_TRUE(store.site("Shop").notices.empty());
}

// Runs the function in a child process and returns its pid.
template <typename Function> pid_t inChild(Function&& function) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        int status = 1;
        try {
            status = function();
        } catch (...) {
        }
        ::_exit(status);
    }
    return pid;
}

int exitStatus(pid_t pid) {
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(SiteStoreProcesses, TwoRunsAtOnceTakeTurnsAndAcceptNoUrlTwice) {
    TempDir dir;
    SiteStore::open(dir.str()).site("Shop");
    const UrlTable urls = tableOf(pagesOf(2000, Now));
    int pipes[2];
    ASSERT_EQ(::pipe(pipes), 0);
    // Each process announces what it finds new and reports how many it sent.
    auto run = [&] {
        SiteStore store = SiteStore::open(dir.str());
        const StoreSite site = store.site("Shop");
        SiteClaim claim(store, site, 20);
        const AnnounceSelection s = acceptedRun(store, site, urls, FirstRun::AllPages);
        const std::uint32_t sent = static_cast<std::uint32_t>(s.indices.size() + (s.profileUrl ? 1 : 0));
        return ::write(pipes[1], &sent, sizeof sent) == sizeof sent ? 0 : 1;
    };
    const pid_t a = inChild(run);
    const pid_t b = inChild(run);
    EXPECT_EQ(exitStatus(a), 0);
    EXPECT_EQ(exitStatus(b), 0);
    std::uint32_t first = 0;
    std::uint32_t second = 0;
    ASSERT_EQ(::read(pipes[0], &first, sizeof first), static_cast<ssize_t>(sizeof first));
    ASSERT_EQ(::read(pipes[0], &second, sizeof second), static_cast<ssize_t>(sizeof second));
    ::close(pipes[0]);
    ::close(pipes[1]);
    EXPECT_EQ(first + second, 2001u);
    EXPECT_TRUE(first == 0 || second == 0) << first << " " << second;
}

TEST(SiteStoreProcesses, AHeldSiteIsRefusedAfterTheWaitAndAGoneHolderIsTakenOver) {
    TempDir dir;
    SiteStore store = SiteStore::open(dir.str());
    const StoreSite site = store.site("Shop");
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t holder = inChild([&] {
        SiteStore other = SiteStore::open(dir.str());
        SiteClaim claim(other, other.site("Shop"), 0);
        char c = 1;
        if (::write(ready[1], &c, 1) != 1) return 1;
        ::pause();
        return 0;
    });
    char c = 0;
    ASSERT_EQ(::read(ready[0], &c, 1), 1);
    try {
        SiteClaim claim(store, site, 1);
        ADD_FAILURE() << "the site was taken twice";
    } catch (const StoreBusy& e) {
        const std::string message = e.what();
        EXPECT_EQ(message.rfind("The live channels of Shop are held by process " + std::to_string(holder) +
                                    " since ",
                                0),
                  0u)
            << message;
        EXPECT_NE(message.find("; waited 1 s, nothing is sent for Shop in this run"), std::string::npos);
    }
    // Killed, it leaves its row; the next run takes the site over.
    ::kill(holder, SIGKILL);
    exitStatus(holder);
    ::close(ready[0]);
    ::close(ready[1]);
    SiteClaim claim(store, site, 0);
    EXPECT_EQ(peek(dir).queryInt64("SELECT pid FROM claims"), ::getpid());
}

// A site is not removed under a run that holds it: the run goes on to record what the endpoint
// accepted, and the removal waits for it (or gives up, naming the process).
TEST(SiteStoreProcesses, ForgetWaitsForTheRunThatHoldsTheSite) {
    TempDir dir;
    SiteStore store = SiteStore::open(dir.str());
    store.site("Shop");
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t run = inChild([&] {
        SiteStore other = SiteStore::open(dir.str());
        const StoreSite site = other.site("Shop");
        SiteClaim claim(other, site, 0);
        char c = 1;
        if (::write(ready[1], &c, 1) != 1) return 1;
        ::usleep(1'500'000);
        other.recordAccepted(site, IndexNowChannelId, {Home + "a"}, Now, "200 OK");
        return 0;
    });
    char c = 0;
    ASSERT_EQ(::read(ready[0], &c, 1), 1);
    try {
        forgetSite(store, "Shop", 0);
        ADD_FAILURE() << "the site was removed under its run";
    } catch (const StoreBusy& e) {
        const std::string message = e.what();
        EXPECT_EQ(message.rfind("The live channels of Shop are held by process " + std::to_string(run), 0),
                  0u)
            << message;
        EXPECT_TRUE(message.ends_with("; waited 0 s; Shop is not removed from the store")) << message;
    }
    EXPECT_EQ(forgetSite(store, "Shop", 20), 1);
    EXPECT_EQ(exitStatus(run), 0);
    ::close(ready[0]);
    ::close(ready[1]);
}

// A claim is held while its process lives and started before it; a claim whose process is gone,
// or whose id now names a program started after the claim, is taken over and said so.
TEST(SiteStoreProcesses, ClaimsOfProcessesThatAreGoneAreTakenOver) {
    TempDir dir;
    SiteStore store = SiteStore::open(dir.str());
    const StoreSite site = store.site("Shop");
    const pid_t dead = inChild([] { return 0; });
    exitStatus(dead);
    const pid_t living = inChild([] {
        ::pause();
        return 0;
    });
    const std::int64_t now = unixNow();
    struct Case {
        pid_t pid;
        std::int64_t since;
        std::string takenOver; // empty: the claim holds
    };
    const std::vector<Case> cases = {
        {dead, now, ", which is gone, was taken over"},
        {living, now - 3600, ", which is gone (its id now names another program, started "},
        {living, now, ""},
    };
    for (const Case& c : cases) {
        SqliteStatement claim =
            peek(dir).prepare("INSERT OR REPLACE INTO claims(site, pid, since) VALUES(?1,?2,?3)");
        claim.bind(1, site.id).bind(2, static_cast<std::int64_t>(c.pid)).bind(3, c.since).run();
        const std::string prefix =
            "The claim of Shop by process " + std::to_string(c.pid) + " since " + formatUtc(c.since);
        try {
            const SiteClaim taken(store, site, 0);
            EXPECT_EQ(taken.takenOver().rfind(prefix + c.takenOver, 0), 0u) << taken.takenOver();
            EXPECT_FALSE(c.takenOver.empty()) << "a living holder's claim was taken";
        } catch (const StoreBusy& e) {
            EXPECT_TRUE(c.takenOver.empty()) << e.what();
        }
    }
    ::kill(living, SIGKILL);
    exitStatus(living);
}

TEST(SiteStoreCrash, AKillDuringABatchKeepsTheAcceptedBatchesAndLeavesTheRestPending) {
    TempDir dir;
    const UrlTable urls = tableOf(pagesOf(40'000, Now));
    {
        SiteStore store = SiteStore::open(dir.str());
        acceptedRun(store, store.site("Shop"), tableOf({}), FirstRun::AllPages);
    }
    int progress[2];
    ASSERT_EQ(::pipe(progress), 0);
    const pid_t writer = inChild([&] {
        SiteStore store = SiteStore::open(dir.str());
        const StoreSite site = store.site("Shop");
        const AnnounceSelection s = select(store, site, urls);
        for (std::size_t b = 0; b * 1000 < s.indices.size(); ++b) {
            std::vector<std::string_view> batch;
            for (std::size_t i = b * 1000; i < (b + 1) * 1000; ++i)
                batch.push_back(urls.url(s.indices[i]));
            store.recordAccepted(site, IndexNowChannelId, batch, Now, "200 OK");
            char c = 1;
            if (::write(progress[1], &c, 1) != 1) return 1;
        }
        return 0;
    });
    char c = 0;
    for (int i = 0; i < 3; ++i)
        ASSERT_EQ(::read(progress[0], &c, 1), 1);
    ::kill(writer, SIGKILL);
    exitStatus(writer);
    ::close(progress[0]);
    ::close(progress[1]);

    SiteStore store = SiteStore::open(dir.str());
    const StoreSite site = store.site("Shop");
    const std::int64_t accepted = store.acceptedCount(site, IndexNowChannelId) - 1;
    EXPECT_GE(accepted, 3000);
    EXPECT_LT(accepted, 40'000);
    EXPECT_EQ(accepted % 1000, 0);
    const AnnounceSelection pending =
        select(store, site, urls, FirstRun::RecentPages, SelectionMode::Preview);
    EXPECT_EQ(static_cast<std::int64_t>(pending.indices.size()), 40'000 - accepted);
}

// A store with a few hundred URLs, to be damaged.
std::string makeStore(const TempDir& dir) {
    SiteStore store = SiteStore::open(dir.str());
    acceptedRun(store, store.site("Shop"), tableOf(pagesOf(3000, Now, std::string(200, 'x'))),
                FirstRun::AllPages);
    peek(dir).exec("PRAGMA wal_checkpoint(TRUNCATE)");
    return SiteStore::fileName(dir.str());
}

TEST(SiteStoreDamage, DamagedAndNewerFilesAreRefusedAndLeftAsTheyAre) {
    struct Case {
        const char* name;
        std::function<void(const std::string& file)> damage;
        std::string why;
    };
    const std::vector<Case> cases{
        {"not a database", [](const std::string& f) { writeFile(f, "larkspan-state 1\nC\tindexnow\n"); },
         " is not a database; it is left as it is"},
        {"empty", [](const std::string& f) { writeFile(f, ""); }, " is empty (cut off); it is left as it is"},
        {"truncated", [](const std::string& f) { std::filesystem::resize_file(f, 8192 * 3 + 100); },
         " is damaged ("},
        {"pages overwritten",
         [](const std::string& f) {
             std::string bytes = readFile(f);
             for (std::size_t i = bytes.size() / 2; i < bytes.size() / 2 + 20000; ++i)
                 bytes[i] = static_cast<char>(i * 7);
             writeFile(f, bytes);
         },
         " is damaged ("},
        {"newer schema",
         [](const std::string& f) {
             SqliteDatabase(f, SqliteDatabase::Mode::ReadWrite).exec("PRAGMA user_version=99");
         },
         " was written by a newer Larkspan (schema 99, this one knows up to " +
             std::to_string(SiteStore::schemaVersion()) + "); it is left as it is"},
    };
    for (const Case& c : cases) {
        TempDir dir;
        const std::string file = makeStore(dir);
        c.damage(file);
        const std::string before = readFile(file);
        try {
            SiteStore::open(dir.str());
            ADD_FAILURE() << c.name << " was taken";
        } catch (const StoreError& e) {
            EXPECT_EQ(std::string(e.what()).rfind("The store " + file + c.why, 0), 0u)
                << c.name << ": " << e.what();
        }
        EXPECT_EQ(readFile(file), before) << c.name;
    }
}

// A small tmpfs of its own, for as long as the object lives.
class SmallDisk {
public:
    explicit SmallDisk(const std::string& path) : path_(path) {
        mounted_ = ::mount("larkspan-test", path.c_str(), "tmpfs", 0, "size=400k") == 0;
    }
    ~SmallDisk() {
        if (mounted_) ::umount2(path_.c_str(), MNT_DETACH);
    }
    bool mounted() const { return mounted_; }

private:
    std::string path_;
    bool mounted_ = false;
};

TEST(SiteStoreDisk, AFullDiskEndsWithAClearMessageCountsNoHalfBatchAndLeavesNoEmptyFile) {
    if (::geteuid() != 0) GTEST_SKIP() << "mounting a small tmpfs needs root";
    TempDir dir;
    SmallDisk disk(dir.str());
    if (!disk.mounted()) GTEST_SKIP() << "this system does not let the test mount a tmpfs";
    SiteStore store = SiteStore::open(dir.str());
    const StoreSite site = store.site("Shop");
    std::int64_t committed = 0;
    try {
        for (int b = 0;; ++b) {
            std::vector<std::string> batch;
            for (int i = 0; i < 100; ++i)
                batch.push_back(Home + std::to_string(b) + "/" + std::string(300, 'a') + std::to_string(i));
            store.recordAccepted(site, IndexNowChannelId, {batch.begin(), batch.end()}, Now, "200 OK");
            committed += 100;
        }
    } catch (const StoreFull& e) {
        EXPECT_EQ(std::string(e.what()), "The disk holding " + SiteStore::fileName(dir.str()) +
                                             " is full; nothing more can be written to it");
    }
    EXPECT_GT(committed, 0);
    EXPECT_EQ(store.acceptedCount(site, IndexNowChannelId), committed);
    for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
        if (entry.path().filename() != "larkspan.db-shm") {
            EXPECT_GT(entry.file_size(), 0u) << entry.path();
        }

    // New rows left to the store's thread that do not fit: the acceptance that needs them says
    // so and counts nothing; the store goes on with the rows that were written.
    TempDir third;
    SmallDisk rowsDisk(third.str());
    SiteStore rowsStore = SiteStore::open(third.str());
    const StoreSite shop = rowsStore.site("Shop");
    const UrlTable urls = tableOf(pagesOf(5'000, Now, std::string(100, 'p') + "/"));
    const AnnounceSelection selection =
        selectAnnouncements(rowsStore, shop, urls,
                            {IndexNowChannelId, Home, FirstRun::AllPages, SelectionMode::Record,
                             SitemapRead::Complete, Now, NewRows::InBackground});
    const std::int64_t lastOfThread = *std::max_element(selection.rows.begin(), selection.rows.end()) - 1;
    EXPECT_THROW(rowsStore.recordAcceptedRows(shop, IndexNowChannelId, {lastOfThread}, Now, "200 OK"),
                 StoreFull);
    EXPECT_EQ(rowsStore.acceptedCount(shop, IndexNowChannelId), 0);

    // A store cannot even be made on a full disk: nothing is left behind.
    TempDir other;
    SmallDisk full(other.str());
    writeFile(other / "filler", std::string(400 * 1024, 'f'));
    EXPECT_THROW(SiteStore::open(other.str()), StoreFull);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(other.path()), {}), 1);
}

} // namespace
