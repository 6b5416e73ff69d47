// The Site Status window on a store made here: the summary, the table's cells, colours, filters
// and sorting, opening a page, and the CSV and HTML files.
#include "ui/status/SiteStatusWindow.h"

#include "core/indexnow/IndexNowChannel.h"
#include "tests/common/TempDir.h"
#include "tests/core/support/StoreFixture.h"

#include <QBrush>
#include <QComboBox>
#include <QLabel>
#include <QTableView>
#include <QTest>
#include <gtest/gtest.h>

#include <set>

namespace {

const std::string Site = "https://garden.test/";

// Four pages: indexed, crawled but not indexed, not inspected, and one whose check said noindex;
// and a fifth that IndexNow accepted but the sitemaps no longer list, which is not shown.
void makeStore(const std::string& directory) {
    StoreFixture garden(directory, "Garden");
    garden.listed({Site + "a", Site + "b", Site + "c", Site + "d"})
        .accepted(IndexNowChannelId, {Site + "gone"}, 1796600000, "200 OK from api.indexnow.org")
        .checked({StoreFixture::pageCheck(Site + "a", 200, 0),
                  StoreFixture::pageCheck(Site + "d", 200, 0, Noindex{.all = true})})
        .accepted(IndexNowChannelId, {Site + "a", Site + "b"}, 1796666400,
                  "202 Accepted from api.indexnow.org");
    InspectionResult indexed{"PASS",
                             "Submitted and indexed",
                             "INDEXING_ALLOWED",
                             "ALLOWED",
                             "SUCCESSFUL",
                             "2026-12-01T08:12:40Z",
                             Site + "a",
                             Site + "a",
                             "MOBILE",
                             "https://sc.test/1",
                             {}};
    InspectionResult crawled{"NEUTRAL",
                             "Crawled - currently not indexed",
                             "INDEXING_ALLOWED",
                             "ALLOWED",
                             "SUCCESSFUL",
                             "2026-11-20T01:00:00Z",
                             "",
                             Site + "b",
                             "DESKTOP",
                             "https://sc.test/2",
                             {}};
    garden.inspected(Site + "a", "sc-domain:garden.test", 1796670000, indexed)
        .inspected(Site + "b", "sc-domain:garden.test", 1796670060, crawled);
    recordSitemapStatuses(
        garden.store(), garden.site(), "sc-domain:garden.test", 1796670100,
        {{Site + "sitemap.xml", "2026-12-06T10:00:00Z", "", true, false, 0, 1, {{"web", 4, 0}}, "sitemap"}});
}

QString cell(const QTableView* table, int row, int column) {
    return table->model()->index(row, column).data().toString();
}

TEST(SiteStatusWindow, ShowsFiltersSortsOpensAndSaves) {
    TempDir dir;
    makeStore(dir.str());
    SiteStatusWindow window;
    std::vector<std::string> opened;
    window.openUrl = [&](const std::string& url) { opened.push_back(url); };
    window.showSites(dir.str(), {"Empty", "Garden"}, "Garden");
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window.loading(); }, 10000));
    EXPECT_EQ(window.summary()->text().toStdString(),
              "Garden: 4 pages in the sitemaps\nPage checks: 2 not checked, 1 noindex, 1 ok\n"
              "IndexNow: 2 accepted, 2 pending\nGoogle: 1 indexed, 1 not indexed, 2 not yet inspected\n"
              "  not indexed, Crawled - currently not indexed: 1\n"
              "Sitemap https://garden.test/sitemap.xml: type sitemap, submitted 2026-12-06T10:00:00Z, read "
              "not yet, pending, 0 errors, 1 warnings, 4 web URLs submitted");

    const QTableView* table = window.table();
    ASSERT_EQ(table->model()->rowCount(), 4);
    EXPECT_EQ(cell(table, 0, SiteStatusModel::Announced),
              "indexnow 2026-12-07T18:00:00Z 202 Accepted from api.indexnow.org");
    EXPECT_EQ(cell(table, 0, SiteStatusModel::Canonical), QString::fromStdString(Site + "a"));
    EXPECT_EQ(cell(table, 1, SiteStatusModel::Coverage), "Crawled - currently not indexed");
    EXPECT_EQ(cell(table, 3, SiteStatusModel::Check), "noindex: robots meta tag");
    EXPECT_EQ(cell(table, 2, SiteStatusModel::IndexNow), "pending");
    // Each state has a colour of its own.
    std::set<QRgb> colours;
    for (int row = 0; row < 4; ++row)
        colours.insert(table->model()->index(row, 0).data(Qt::BackgroundRole).value<QBrush>().color().rgb());
    EXPECT_EQ(colours.size(), 4u);

    struct Case {
        SiteStatusModel::Filter filter;
        int sortColumn;
        Qt::SortOrder order;
        std::vector<std::string> urls;
    };
    for (const Case& c :
         {Case{SiteStatusModel::Filter::All,
               SiteStatusModel::Inspected,
               Qt::DescendingOrder,
               {"b", "a", "c", "d"}},
          Case{SiteStatusModel::Filter::NotInspected, SiteStatusModel::Url, Qt::DescendingOrder, {"d", "c"}},
          Case{
              SiteStatusModel::Filter::IndexNowPending, SiteStatusModel::Url, Qt::AscendingOrder, {"c", "d"}},
          Case{SiteStatusModel::Filter::CheckNotOk, SiteStatusModel::Url, Qt::AscendingOrder, {"d"}},
          Case{SiteStatusModel::Filter::Indexed, SiteStatusModel::Url, Qt::AscendingOrder, {"a"}}}) {
        window.model().setFilter(c.filter);
        window.table()->sortByColumn(c.sortColumn, c.order);
        std::vector<std::string> urls;
        for (int row = 0; row < table->model()->rowCount(); ++row)
            urls.push_back(cell(table, row, SiteStatusModel::Url).toStdString().substr(Site.size()));
        EXPECT_EQ(urls, c.urls) << static_cast<int>(c.filter);
    }

    emit window.table()->doubleClicked(table->model()->index(0, SiteStatusModel::Coverage));
    EXPECT_EQ(opened, std::vector<std::string>{Site + "a"});

    window.chooseFile = [&](QWidget*, const QString& name, const QString&) {
        return QString::fromStdString(dir.file(name.toStdString()));
    };
    ASSERT_TRUE(window.saveAsCsv());
    ASSERT_TRUE(window.saveAsHtml());
    EXPECT_EQ(readFile(dir.file("site-status.csv")),
              "URL,Check,Announced,IndexNow,Google,Coverage,Last crawl,Google's canonical,Inspected\r\n"
              "https://garden.test/a,ok,indexnow 2026-12-07T18:00:00Z 202 Accepted from "
              "api.indexnow.org,accepted,PASS,"
              "Submitted and indexed,2026-12-01T08:12:40Z,https://garden.test/a,2026-12-07T19:00:00Z\r\n");
    const std::string html = readFile(dir.file("site-status.html"));
    EXPECT_NE(html.find("<title>Site Status of Garden</title>"), std::string::npos);
    EXPECT_NE(html.find("<tr style=\"background:#d6f0d6\"><td>https://garden.test/a</td>"), std::string::npos)
        << html;

    // A profile the store does not know shows empty counts.
    window.showSites(dir.str(), {"Empty"}, "Empty");
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window.loading(); }, 10000));
    EXPECT_EQ(table->model()->rowCount(), 0);
    EXPECT_TRUE(window.summary()->text().startsWith("Empty: 0 pages in the sitemaps"));
}

} // namespace
