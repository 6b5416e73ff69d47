#include "ui/status/SiteStatusModel.h"

#include "platform/Text.h"
#include "platform/Time.h"

#include <QBrush>
#include <QColor>

#include <algorithm>
#include <array>
#include <cstdio>
#include <numeric>

namespace {

QString qs(const std::string& s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

// What colours a row, the worst first: a page whose check failed cannot be indexed at all.
enum class Shade { CheckNotOk, NotIndexed, NotInspected, Indexed };

Shade shadeOf(const UrlStatus& s) {
    if (!s.check.empty() && s.check != "ok") return Shade::CheckNotOk;
    switch (googleState(s)) {
    case GoogleState::Indexed:
        return Shade::Indexed;
    case GoogleState::NotIndexed:
        return Shade::NotIndexed;
    case GoogleState::NotInspected:
        break;
    }
    return Shade::NotInspected;
}

// Light backgrounds, so that the text stays readable on every one of them.
std::uint32_t rgbOf(Shade shade) {
    switch (shade) {
    case Shade::CheckNotOk:
        return 0xf6cccc;
    case Shade::NotIndexed:
        return 0xffecb8;
    case Shade::NotInspected:
        return 0xececec;
    case Shade::Indexed:
        break;
    }
    return 0xd6f0d6;
}

bool passes(const UrlStatus& s, SiteStatusModel::Filter filter) {
    using F = SiteStatusModel::Filter;
    switch (filter) {
    case F::All:
        return true;
    case F::Indexed:
        return googleState(s) == GoogleState::Indexed;
    case F::NotIndexed:
        return googleState(s) == GoogleState::NotIndexed;
    case F::NotInspected:
        return googleState(s) == GoogleState::NotInspected;
    case F::CheckNotOk:
        return !s.check.empty() && s.check != "ok";
    case F::IndexNowPending:
        return s.indexNowState() != "accepted";
    }
    return true;
}

std::string announcedText(const UrlStatus& s) {
    std::string text;
    for (const UrlStatus::Announcement& a : s.announcements)
        text += (text.empty() ? "" : "; ") + a.channel + " " + formatUtc(a.at) + " " +
                (a.accepted ? a.answer : std::string("recorded as known"));
    return text;
}

std::string csvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string quoted = "\"";
    for (char c : text)
        quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    return quoted + "\"";
}

} // namespace

GoogleState googleState(const UrlStatus& s) {
    if (!s.inspection) return GoogleState::NotInspected;
    return isIndexedVerdict(s.inspection->result.verdict) ? GoogleState::Indexed : GoogleState::NotIndexed;
}

std::string siteStatusCell(const UrlStatus& s, int column) {
    const InspectionResult none;
    const InspectionResult& r = s.inspection ? s.inspection->result : none;
    switch (column) {
    case SiteStatusModel::Url:
        return s.url;
    case SiteStatusModel::Check:
        return s.check.empty() ? std::string()
                               : s.check + (s.checkDetail.empty() ? "" : ": " + s.checkDetail);
    case SiteStatusModel::Announced:
        return announcedText(s);
    case SiteStatusModel::IndexNow:
        return s.indexNowState();
    case SiteStatusModel::Google:
        return r.verdict;
    case SiteStatusModel::Coverage:
        return r.coverageState;
    case SiteStatusModel::LastCrawl:
        return r.lastCrawlTime;
    case SiteStatusModel::Canonical:
        return r.googleCanonical;
    case SiteStatusModel::Inspected:
        return s.inspection ? formatUtc(s.inspection->at) : std::string();
    }
    return {};
}

std::string siteStatusTitle(int column) {
    static const std::array<const char*, SiteStatusModel::ColumnCount> titles{
        "URL",      "Check",      "Announced",          "IndexNow", "Google",
        "Coverage", "Last crawl", "Google's canonical", "Inspected"};
    return column >= 0 && column < SiteStatusModel::ColumnCount ? titles[static_cast<std::size_t>(column)]
                                                                : "";
}

int SiteStatusModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(view_.size());
}

int SiteStatusModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant SiteStatusModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount() || index.column() >= ColumnCount) return {};
    const UrlStatus& s = page(index.row());
    if (role == Qt::BackgroundRole) return QBrush(QColor::fromRgb(rgbOf(shadeOf(s))));
    if (role == Qt::ToolTipRole && index.column() == Canonical && s.inspection)
        return qs("The page declares " + s.inspection->result.userCanonical);
    if (role != Qt::DisplayRole) return {};
    return qs(siteStatusCell(s, index.column()));
}

QVariant SiteStatusModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= ColumnCount)
        return QAbstractTableModel::headerData(section, orientation, role);
    return qs(siteStatusTitle(section));
}

void SiteStatusModel::sort(int column, Qt::SortOrder order) {
    sortColumn_ = column;
    order_ = order;
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    rebuildView();
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

void SiteStatusModel::reset(std::vector<UrlStatus> rows) {
    beginResetModel();
    rows_ = std::move(rows);
    rebuildView();
    endResetModel();
}

void SiteStatusModel::setFilter(Filter filter) {
    beginResetModel();
    filter_ = filter;
    rebuildView();
    endResetModel();
}

void SiteStatusModel::rebuildView() {
    view_.clear();
    for (std::size_t i = 0; i < rows_.size(); ++i)
        if (passes(rows_[i], filter_)) view_.push_back(static_cast<std::uint32_t>(i));
    if (sortColumn_ < 0 || sortColumn_ >= ColumnCount) return;
    // The keys are made once, not in every comparison; ties keep the store's order.
    std::vector<std::string> keys(rows_.size());
    for (const std::uint32_t i : view_)
        keys[i] = siteStatusCell(rows_[i], sortColumn_);
    const bool descending = order_ == Qt::DescendingOrder;
    std::stable_sort(view_.begin(), view_.end(), [&](std::uint32_t a, std::uint32_t b) {
        return descending ? keys[b] < keys[a] : keys[a] < keys[b];
    });
}

std::vector<const UrlStatus*> SiteStatusModel::shown() const {
    std::vector<const UrlStatus*> out;
    out.reserve(view_.size());
    for (const std::uint32_t i : view_)
        out.push_back(&rows_[i]);
    return out;
}

std::string siteStatusCsv(const std::vector<const UrlStatus*>& rows) {
    std::string csv;
    for (int c = 0; c < SiteStatusModel::ColumnCount; ++c)
        csv += (c ? "," : "") + csvField(siteStatusTitle(c));
    csv += "\r\n";
    for (const UrlStatus* s : rows) {
        for (int c = 0; c < SiteStatusModel::ColumnCount; ++c)
            csv += (c ? "," : "") + csvField(siteStatusCell(*s, c));
        csv += "\r\n";
    }
    return csv;
}

std::string siteStatusHtml(const std::string& title, const std::vector<std::string>& summary,
                           const std::vector<const UrlStatus*>& rows) {
    std::string html = "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>" + htmlEscape(title) +
                       "</title></head>\n<body>\n<h1>" + htmlEscape(title) + "</h1>\n";
    for (const std::string& line : summary)
        html += "<p>" + htmlEscape(line) + "</p>\n";
    html += "<table border=\"1\" cellspacing=\"0\" cellpadding=\"3\">\n<tr>";
    for (int c = 0; c < SiteStatusModel::ColumnCount; ++c)
        html += "<th>" + htmlEscape(siteStatusTitle(c)) + "</th>";
    html += "</tr>\n";
    for (const UrlStatus* s : rows) {
        char colour[16];
        std::snprintf(colour, sizeof colour, "#%06x", static_cast<unsigned>(rgbOf(shadeOf(*s))));
        html += std::string("<tr style=\"background:") + colour + "\">";
        for (int c = 0; c < SiteStatusModel::ColumnCount; ++c)
            html += "<td>" + htmlEscape(siteStatusCell(*s, c)) + "</td>";
        html += "</tr>\n";
    }
    return html + "</table>\n</body></html>\n";
}
