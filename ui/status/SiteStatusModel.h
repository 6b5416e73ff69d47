#pragma once

#include "core/status/SiteStatus.h"

#include <QAbstractTableModel>
#include <cstdint>
#include <string>
#include <vector>

// Where Google stands on one page.
enum class GoogleState { Indexed, NotIndexed, NotInspected };
GoogleState googleState(const UrlStatus& status);

// The pages of a site as a table: per URL its check, its announcements, the IndexNow state,
// Google's verdict, coverage, last crawl, canonical and the time of the inspection, a background
// colour by where the page stands, a filter by state and a sort by any column. It sorts and
// filters itself, over an index of the rows, so that a site of 100,000 pages does so in a few
// milliseconds: a sorting proxy would ask data() millions of times.
class SiteStatusModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column {
        Url,
        Check,
        Announced,
        IndexNow,
        Google,
        Coverage,
        LastCrawl,
        Canonical,
        Inspected,
        ColumnCount
    };
    enum class Filter { All, Indexed, NotIndexed, NotInspected, CheckNotOk, IndexNowPending };

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    void sort(int column, Qt::SortOrder order) override;

    // The pages to show, in the store's order, replacing the ones before; the filter and the
    // sort hold.
    void reset(std::vector<UrlStatus> rows);
    void setFilter(Filter filter);
    Filter filter() const { return filter_; }

    // The page of a row as the table shows it now, and all rows shown, in their order.
    const UrlStatus& page(int row) const { return rows_[view_[static_cast<std::size_t>(row)]]; }
    std::vector<const UrlStatus*> shown() const;
    std::size_t total() const { return rows_.size(); }

private:
    void rebuildView();

    std::vector<UrlStatus> rows_;
    std::vector<std::uint32_t> view_;
    Filter filter_ = Filter::All;
    int sortColumn_ = -1;
    Qt::SortOrder order_ = Qt::AscendingOrder;
};

// The text of a cell, as the table, CSV and HTML show it.
std::string siteStatusCell(const UrlStatus& status, int column);
// The column titles.
std::string siteStatusTitle(int column);
// The rows as CSV (RFC 4180: CR LF line ends, fields quoted where they must be), with a line of
// column titles first.
std::string siteStatusCsv(const std::vector<const UrlStatus*>& rows);
// A page of HTML: the title, the summary lines, and the rows as a table coloured as on screen.
std::string siteStatusHtml(const std::string& title, const std::vector<std::string>& summary,
                           const std::vector<const UrlStatus*>& rows);
