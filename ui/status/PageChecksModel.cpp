#include "ui/status/PageChecksModel.h"

#include <QBrush>
#include <QColor>

#include <array>
#include <iterator>

namespace {

QString qs(const std::string& s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

// How bad a verdict is for the row's colour: a page that cannot be indexed at all is worse
// than one that points elsewhere.
int severity(Verdict v) {
    switch (v) {
    case Verdict::Ok:
        return 0;
    case Verdict::Redirect:
    case Verdict::CanonicalElsewhere:
        return 1;
    case Verdict::Noindex:
    case Verdict::Blocked:
        return 2;
    case Verdict::NotFound:
    case Verdict::Gone:
    case Verdict::Error:
        return 3;
    }
    return 3;
}

Verdict worse(const PageCheck& check) {
    const Verdict google = verdictFor(check, Crawler::Googlebot).verdict;
    const Verdict bing = verdictFor(check, Crawler::Bingbot).verdict;
    return severity(bing) > severity(google) ? bing : google;
}

// Light backgrounds, so that the text stays readable on every one of them.
QColor background(Verdict v) {
    switch (severity(v)) {
    case 0:
        return QColor(0xd6, 0xf0, 0xd6);
    case 1:
        return QColor(0xff, 0xec, 0xb8);
    case 2:
        return QColor(0xd4, 0xe0, 0xf6);
    default:
        return QColor(0xf6, 0xcc, 0xcc);
    }
}

std::string csvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string quoted = "\"";
    for (char c : text)
        quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    return quoted + "\"";
}

} // namespace

std::string verdictText(const PageVerdict& verdict) {
    std::string text(verdictName(verdict.verdict));
    if (!verdict.detail.empty())
        text += (verdict.verdict == Verdict::Redirect || verdict.verdict == Verdict::CanonicalElsewhere
                     ? " \u2192 "
                     : ": ") +
                verdict.detail;
    return text;
}

std::string robotsText(const PageCheck& check) {
    const bool google = check.googlebot == RobotsDecision::Disallowed;
    const bool bing = check.bingbot == RobotsDecision::Disallowed;
    if (google && bing) return "blocks both";
    if (google) return "blocks Googlebot";
    if (bing) return "blocks bingbot";
    return "allowed";
}

int PageChecksModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(checks_.size());
}

int PageChecksModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant PageChecksModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount() || index.column() >= ColumnCount) return {};
    const PageCheck& c = checks_[static_cast<std::size_t>(index.row())];
    if (role == Qt::BackgroundRole) return QBrush(background(worse(c)));
    if (role == Qt::ToolTipRole && index.column() == Status && !c.error.empty()) return qs(c.error);
    if (role != Qt::DisplayRole && role != SortRole) return {};
    const bool sorting = role == SortRole;
    switch (index.column()) {
    case Url:
        return qs(c.url);
    case Google:
        return qs(verdictText(verdictFor(c, Crawler::Googlebot)));
    case IndexNow:
        return qs(verdictText(verdictFor(c, Crawler::Bingbot)));
    case Status:
        if (sorting) return c.status;
        return c.status ? QVariant(c.status) : QVariant(QString("none"));
    case FinalUrl:
        return qs(c.finalUrl);
    case Canonical:
        return c.canonicalConflict ? QString("(several, ignored)") : qs(c.canonical);
    case Robots:
        return qs(robotsText(c));
    case Checked:
        return qs(c.time);
    case Ms:
        return static_cast<qlonglong>(c.milliseconds);
    }
    return {};
}

QVariant PageChecksModel::headerData(int section, Qt::Orientation orientation, int role) const {
    static const std::array<const char*, ColumnCount> titles{
        "URL", "Google", "IndexNow", "Status", "Final URL", "Canonical", "robots.txt", "Checked", "ms"};
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= ColumnCount)
        return QAbstractTableModel::headerData(section, orientation, role);
    return QString(titles[static_cast<std::size_t>(section)]);
}

void PageChecksModel::reset(std::vector<PageCheck> checks) {
    beginResetModel();
    checks_ = std::move(checks);
    endResetModel();
}

std::string pageChecksCsv(const std::vector<PageCheck>& checks) {
    std::string csv = "URL,Google,Google detail,IndexNow,IndexNow detail,Status,Final URL,Canonical,"
                      "robots.txt,Checked,ms,Bytes\r\n";
    for (const PageCheck& c : checks) {
        const PageVerdict google = verdictFor(c, Crawler::Googlebot);
        const PageVerdict bing = verdictFor(c, Crawler::Bingbot);
        const std::string fields[] = {c.url,
                                      std::string(verdictName(google.verdict)),
                                      google.detail,
                                      std::string(verdictName(bing.verdict)),
                                      bing.detail,
                                      c.status ? std::to_string(c.status) : std::string(),
                                      c.finalUrl,
                                      c.canonical,
                                      robotsText(c),
                                      c.time,
                                      std::to_string(c.milliseconds),
                                      std::to_string(c.bytes)};
        for (std::size_t i = 0; i < std::size(fields); ++i)
            csv += (i ? "," : "") + csvField(fields[i]);
        csv += "\r\n";
    }
    return csv;
}
