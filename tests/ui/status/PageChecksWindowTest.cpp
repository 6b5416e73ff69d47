// The page checks window on a few records: sorting, colours, opening a page, saving as CSV.
#include "ui/status/PageChecksWindow.h"
#include "core/indexnow/IndexNowChannel.h"
#include "core/sitemaps/SitemapReader.h"
#include "core/sitemaps/UrlTable.h"
#include "core/store/SiteStore.h"
#include "core/store/StoreChecks.h"
#include "core/store/StoreSelection.h"
#include "tests/common/TempDir.h"
#include "tests/core/support/RunTestSupport.h"
#include "ui/MainWindow.h"
#include "ui/TrackProgressPage.h"

#include <QLabel>
#include <QPushButton>
#include <QSortFilterProxyModel>
#include <QTableView>
#include <QTest>
#include <gtest/gtest.h>

namespace {

PageCheck check(const std::string& path, int status, const std::string& head = "",
                RobotsDecision bing = RobotsDecision::Allowed) {
    PageFetch f;
    f.url = "https://site.test" + path;
    f.finalUrl = f.url;
    f.hops = {{f.url, status}};
    f.headers = {{"Content-Type", "text/html"}};
    f.body = "<head>" + head + "</head><body>page</body>";
    f.bingbot = bing;
    f.time = "2026-12-07T10:00:0" + std::to_string(status % 10) + ".000Z";
    f.milliseconds = status;
    return analysePage(f);
}

std::vector<PageCheck> records() {
    return {check("/b", 200), check("/a", 404), check("/c", 200, "<link rel=canonical href='/a,\"x'>"),
            check("/d", 200, "<meta name=robots content=noindex>"),
            check("/e", 200, "", RobotsDecision::Disallowed)};
}

QString cell(const QTableView* table, int row, int column) {
    return table->model()->index(row, column).data().toString();
}

TEST(PageChecksWindow, ShowsSortsColoursAndOpensPages) {
    PageChecksWindow window;
    std::vector<std::string> opened;
    window.openUrl = [&](const std::string& url) { opened.push_back(url); };
    window.setChecks(records());
    window.present();
    QTableView* table = window.table();
    ASSERT_EQ(table->model()->rowCount(), 5);
    EXPECT_EQ(cell(table, 0, PageChecksModel::Url), "https://site.test/a");
    EXPECT_EQ(cell(table, 0, PageChecksModel::Google), "not-found: status 404");
    EXPECT_EQ(cell(table, 2, PageChecksModel::Google), "canonical-elsewhere \u2192 https://site.test/a,%22x");
    EXPECT_EQ(cell(table, 2, PageChecksModel::Canonical), "https://site.test/a,%22x");
    EXPECT_EQ(cell(table, 4, PageChecksModel::IndexNow), "blocked: robots.txt disallows bingbot");
    EXPECT_EQ(cell(table, 4, PageChecksModel::Robots), "blocks bingbot");
    EXPECT_EQ(window.counts()->text(),
              "Google: 5 pages: 2 ok, 1 not-found, 1 noindex, 1 canonical-elsewhere"
              "\nIndexNow: 5 pages: 1 ok, 1 not-found, 1 noindex, 1 canonical-elsewhere, "
              "1 blocked");

    // Numbers sort as numbers, descending on the second click.
    table->sortByColumn(PageChecksModel::Status, Qt::DescendingOrder);
    EXPECT_EQ(cell(table, 0, PageChecksModel::Status), "404");
    EXPECT_EQ(cell(table, 0, PageChecksModel::Ms), "404");
    // An ok row and a broken row do not share a colour; a row is coloured by its worse verdict.
    const auto colour = [&](int row) { return table->model()->index(row, 0).data(Qt::BackgroundRole); };
    table->sortByColumn(PageChecksModel::Url, Qt::AscendingOrder);
    EXPECT_NE(colour(0), colour(1));
    EXPECT_EQ(colour(3), colour(4));
    EXPECT_NE(colour(1), colour(4));

    const QModelIndex second = table->model()->index(1, PageChecksModel::Status);
    table->scrollTo(second);
    // The view takes a double-click only on the cell that the first click pressed.
    QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, table->visualRect(second).center());
    QTest::mouseDClick(table->viewport(), Qt::LeftButton, {}, table->visualRect(second).center());
    EXPECT_EQ(opened, std::vector<std::string>{"https://site.test/b"});
}

TEST(PageChecksWindow, SavesAsCsvAndSaysWhenItCannot) {
    TempDir dir;
    PageChecksWindow window;
    QString target = QString::fromStdString(dir.file("checks.csv"));
    window.chooseCsvFile = [&](QWidget*) { return target; };
    QString error;
    window.showError = [&](QWidget*, const QString& message) { error = message; };
    EXPECT_FALSE(window.saveButton()->isEnabled());
    window.setChecks({check("/a", 404), check("/c", 200, "<link rel=canonical href='/a,\"x'>")});
    ASSERT_TRUE(window.saveButton()->isEnabled());
    window.saveButton()->click();
    EXPECT_EQ(
        dir.read("checks.csv"),
        "URL,Google,Google detail,IndexNow,IndexNow detail,Status,Final URL,Canonical,robots.txt,Checked,ms,"
        "Bytes\r\n"
        "https://site.test/a,not-found,status 404,not-found,status 404,404,https://site.test/a,,allowed,"
        "2026-12-07T10:00:04.000Z,404,0\r\n"
        "https://site.test/c,canonical-elsewhere,\"https://site.test/a,%22x\",canonical-elsewhere,"
        "\"https://site.test/a,%22x\",200,https://site.test/c,\"https://site.test/a,%22x\",allowed,"
        "2026-12-07T10:00:00.000Z,200,0\r\n");
    EXPECT_TRUE(error.isEmpty());

    target = QString::fromStdString(dir.file("missing/checks.csv"));
    EXPECT_FALSE(window.saveAsCsv());
    EXPECT_TRUE(error.startsWith("Cannot write " + target)) << error.toStdString();
}

TEST(PageChecksWindow, TheMenuEntryBesideTheRequestLogShowsTheSelectedProfilesChecksFromTheStore) {
    TempDir dir;
    ProfileFiles(dir.str()).save(completeProfile("Garden", "https://site.test/"));
    {
        SiteStore store = SiteStore::open(dir.str());
        const StoreSite site = store.site("Garden");
        UrlTable urls;
        for (const char* path : {"/a", "/b", "/c"})
            urls.insert(std::string("https://site.test") + path, NoLastmod);
        selectAnnouncements(store, site, urls,
                            {IndexNowChannelId, "https://site.test/", FirstRun::AllPages, SelectionMode::Record,
                             SitemapRead::Complete, 1'800'000'000});
        recordPageChecks(store, site, {check("/a", 404), check("/b", 200)});
    }
    MainWindow window(dir.str(), "");
    window.setCurrentSelection("Garden");
    window.menuEntry("Page Checks...")->trigger();
    PageChecksWindow& checks = *window.pageChecks();
    EXPECT_TRUE(checks.isVisible());
    EXPECT_EQ(checks.windowTitle(), "Page Checks: Garden");
    ASSERT_EQ(checks.table()->model()->rowCount(), 2);
    EXPECT_EQ(checks.counts()->text().toStdString().rfind("Google: 2 pages: 1 ok, 1 not-found", 0), 0u)
        << checks.counts()->text().toStdString();
}

} // namespace
