#pragma once

#include "core/checks/PageCheck.h"

#include <QAbstractTableModel>
#include <string>
#include <vector>

// The page checks as a table: one row per checked URL with the verdicts for Google (Googlebot's
// rules) and IndexNow (bingbot's), a background colour by the worse of the two, and sort keys
// that sort numbers as numbers.
class PageChecksModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { Url, Google, IndexNow, Status, FinalUrl, Canonical, Robots, Checked, Ms, ColumnCount };
    static constexpr int SortRole = Qt::UserRole;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    void reset(std::vector<PageCheck> checks);
    const std::vector<PageCheck>& checks() const { return checks_; }

private:
    std::vector<PageCheck> checks_;
};

// The verdict with its detail as the table shows it: "redirect → https://...".
std::string verdictText(const PageVerdict& verdict);
// What robots.txt says for both crawlers: "allowed", "blocks Googlebot", "blocks bingbot",
// "blocks both".
std::string robotsText(const PageCheck& check);
// The checks as CSV (RFC 4180: CR LF line ends, fields quoted where they must be), with a line
// of column names first.
std::string pageChecksCsv(const std::vector<PageCheck>& checks);
