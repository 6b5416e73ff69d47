#include "ui/status/RequestLogWindow.h"

#include "core/run/KeptRuns.h"
#include "platform/ShellOpen.h"
#include "platform/Text.h"
#include "ui/status/EarlierRunsDialog.h"

#include <QBrush>
#include <QColor>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QShortcut>
#include <QSortFilterProxyModel>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QVBoxLayout>

#include <algorithm>
#include <array>
#include <optional>

namespace {

QString qs(const std::string& s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

bool success(const RequestRecord& r) {
    return r.outcome == RequestRecord::Outcome::Answered && r.status && *r.status >= 200 && *r.status <= 299;
}

// Light backgrounds, so that the text stays readable on every one of them.
QColor background(const RequestRecord& r) {
    switch (r.outcome) {
    case RequestRecord::Outcome::Answered:
        return success(r) ? QColor(0xd6, 0xf0, 0xd6) : QColor(0xff, 0xec, 0xb8);
    case RequestRecord::Outcome::Failed:
        return QColor(0xf6, 0xcc, 0xcc);
    case RequestRecord::Outcome::Skipped:
        return QColor(0xe2, 0xe2, 0xe2);
    case RequestRecord::Outcome::Stopped:
        return QColor(0xd4, 0xe0, 0xf6);
    }
    return {};
}

// What the reason column shows: the reason phrase of an answer, the message of a failure.
// Draws a cell's text elided in its middle, as addresses are best cut.
class MiddleElidingDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
        QStyledItemDelegate::initStyleOption(option, index);
        option->textElideMode = Qt::ElideMiddle;
    }
};

const std::string& reasonOf(const RequestRecord& r) {
    static const std::string none;
    if (r.outcome == RequestRecord::Outcome::Answered) return r.reason;
    if (r.outcome == RequestRecord::Outcome::Failed) return r.message;
    return none;
}

} // namespace

int RequestLogModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(records_.size());
}

int RequestLogModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant RequestLogModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount() || index.column() >= ColumnCount) return {};
    const RequestRecord& r = records_[static_cast<std::size_t>(index.row())];
    if (role == Qt::BackgroundRole) return QBrush(background(r));
    if (role == Qt::ToolTipRole) {
        // The columns that may be cut show their whole text on pointing.
        if (index.column() == Time) return qs(r.time);
        if (index.column() == Url) return qs(r.url);
        if (index.column() == Reason && !reasonOf(r).empty()) return qs(reasonOf(r));
        return {};
    }
    if (role != Qt::DisplayRole && role != SortRole) return {};
    const bool sorting = role == SortRole;
    switch (index.column()) {
    case Number:
        return index.row() + 1;
    case Time: {
        // The date is the same for nearly every row (and in the file's name): the table shows the
        // time of day, and sorts by the whole.
        const QString time = qs(r.time);
        const auto t = time.indexOf('T');
        return sorting || t < 0 ? time : time.mid(t + 1).chopped(time.endsWith('Z') ? 1 : 0);
    }
    case Profile:
        return qs(r.profile);
    case Engine:
        return qs(r.engine);
    case Method:
        return qs(r.method);
    // Addresses and reasons came from servers: they are shown with control characters replaced.
    case Url:
        return qs(printable(r.url));
    case Outcome:
        return qs(std::string(outcomeName(r.outcome)));
    case Status:
        if (sorting) return r.status ? *r.status : -1;
        return r.status ? QVariant(*r.status) : QVariant(QString());
    case Reason:
        return qs(printable(reasonOf(r)));
    case Bytes:
        return static_cast<qlonglong>(r.bytes);
    case Ms:
        return static_cast<qlonglong>(r.ms);
    }
    return {};
}

QVariant RequestLogModel::headerData(int section, Qt::Orientation orientation, int role) const {
    static const std::array<const char*, ColumnCount> titles{
        "Engine", "URL", "Outcome", "Status", "Reason", "Method", "Profile", "Time", "Bytes", "ms", "#"};
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= ColumnCount)
        return QAbstractTableModel::headerData(section, orientation, role);
    return QString(titles[static_cast<std::size_t>(section)]);
}

void RequestLogModel::append(const RequestRecord& record) {
    const int row = rowCount();
    beginInsertRows({}, row, row);
    records_.push_back(record);
    endInsertRows();
}

void RequestLogModel::reset(std::vector<RequestRecord> records) {
    beginResetModel();
    records_ = std::move(records);
    endResetModel();
}

std::vector<RequestRecord> readRecordFile(const QString& path, int& unreadable) {
    std::optional<RecordLines> read = readRecordLines(QFile::encodeName(path).toStdString());
    if (!read) {
        unreadable = -1;
        return {};
    }
    unreadable = read->unreadable;
    return std::move(read->records);
}

RequestLogWindow::RequestLogWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
    setWindowTitle("Request Log");
    resize(960, 480);
    chooseFile = [](QWidget* parent, const QString& directory) {
        return EarlierRunsDialog::choose(parent, directory);
    };
    openUrl = shellOpen;

    counts_ = new QLabel;
    source_ = new QLabel;
    problem_ = new QLabel;
    problem_->setStyleSheet("color: #a00000");
    problem_->setWordWrap(true);
    problem_->hide();
    open_ = new QPushButton("Open Earlier Run...");
    current_ = new QPushButton("Current Run");
    current_->setEnabled(false);
    connect(open_, &QPushButton::clicked, this, [this] { openEarlierRun(); });
    connect(current_, &QPushButton::clicked, this, [this] { showCurrentRun(); });

    sorted_ = new QSortFilterProxyModel(this);
    sorted_->setSourceModel(&model_);
    sorted_->setSortRole(RequestLogModel::SortRole);
    table_ = new QTableView;
    table_->setModel(sorted_);
    table_->setSortingEnabled(true);
    table_->sortByColumn(RequestLogModel::Number, Qt::AscendingOrder);
    // The order of the requests is the natural one; the number column need not be in view.
    table_->horizontalHeader()->setSortIndicator(RequestLogModel::Number, Qt::AscendingOrder);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->verticalHeader()->hide();
    table_->verticalHeader()->setDefaultSectionSize(table_->fontMetrics().height() + 4);
    table_->horizontalHeader()->setStretchLastSection(false);
    table_->setWordWrap(false);
    // An address keeps its host and its last part in view; the whole shows as a tooltip.
    table_->setItemDelegateForColumn(RequestLogModel::Url, new MiddleElidingDelegate(table_));
    closeOnKeys();
    table_->setToolTip("Double-click a request to open its address in the browser.");
    connect(table_, &QTableView::doubleClicked, this, [this](const QModelIndex& index) {
        const QModelIndex source = sorted_->mapToSource(index);
        if (source.isValid() && openUrl)
            openUrl(model_.records()[static_cast<std::size_t>(source.row())].url);
    });

    auto* top = new QHBoxLayout;
    top->addWidget(counts_, 1);
    top->addWidget(current_);
    top->addWidget(open_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(source_);
    layout->addWidget(problem_);
    layout->addWidget(table_, 1);
    showCurrentRun();
}

void RequestLogWindow::closeOnKeys() {
    // Escape and Ctrl+W close the window, and so does the desktop's own Close when it differs.
    QList<QKeySequence> closing{QKeySequence(Qt::Key_Escape), QKeySequence(Qt::CTRL | Qt::Key_W)};
    if (const QKeySequence desktop(QKeySequence::Close); !desktop.isEmpty() && !closing.contains(desktop))
        closing.append(desktop);
    for (const QKeySequence& keys : closing) {
        auto* shortcut = new QShortcut(keys, this);
        shortcut->setContext(Qt::WindowShortcut);
        connect(shortcut, &QShortcut::activated, this, &QWidget::close);
    }
}

void RequestLogWindow::beginRun() {
    currentRun_.clear();
    refusals_.clear();
    problem_->hide();
    showCurrentRun();
}

void RequestLogWindow::add(const RequestRecord& record) {
    currentRun_.push_back(record);
    if (!showingCurrent_) return;
    model_.append(record);
    // The newest request stays in view while the table is in the order of the requests.
    if (sorted_->sortColumn() == RequestLogModel::Number &&
        table_->horizontalHeader()->sortIndicatorOrder() == Qt::AscendingOrder)
        table_->scrollToBottom();
    showCounts();
    // Fitting measures every row; the first rows set the widths, later ones only now and then.
    if (model_.rowCount() <= 32 || model_.rowCount() % 32 == 0) fitColumns();
}

void RequestLogWindow::addRefusal(const std::string& line) {
    refusals_.push_back(line);
    if (showingCurrent_) showCounts();
}

void RequestLogWindow::setProblem(const std::string& problem) {
    problem_->setText(qs("The records of this run are not kept: " + problem));
    problem_->show();
}

void RequestLogWindow::showFile(const QString& path) {
    int unreadable = 0;
    std::vector<RequestRecord> records = readRecordFile(path, unreadable);
    showingCurrent_ = false;
    current_->setEnabled(true);
    model_.reset(std::move(records));
    fitColumns();
    QString source = "Earlier run: " + keptRunStarted(path);
    if (unreadable < 0)
        source += " (cannot be read)";
    else if (unreadable > 0)
        source += QString(" (%1 line%2 not a record)").arg(unreadable).arg(unreadable == 1 ? " is" : "s are");
    source_->setText(source);
    showCounts();
}

void RequestLogWindow::showCurrentRun() {
    showingCurrent_ = true;
    current_->setEnabled(false);
    model_.reset(currentRun_);
    fitColumns();
    source_->setText("Current run");
    showCounts();
}

void RequestLogWindow::present() {
    show();
    raise();
    activateWindow();
}

void RequestLogWindow::openEarlierRun() {
    QString directory;
    try {
        directory = QString::fromStdString(KeptRuns::defaultDirectory(DirectoryLookup::Find));
    } catch (const std::exception&) {
        // Without a state directory the dialog starts where it would anyway.
    }
    const QString path = chooseFile(this, directory);
    if (!path.isEmpty()) showFile(path);
}

void RequestLogWindow::showCounts() {
    std::string text = recordCounts(model_.records());
    QString lines;
    if (showingCurrent_ && !refusals_.empty()) {
        const std::size_t n = refusals_.size();
        text += "; " + std::to_string(n) + (n == 1 ? " live channel refused" : " live channels refused");
        for (const std::string& line : refusals_)
            lines += (lines.isEmpty() ? "" : "\n") + qs(line);
    }
    counts_->setText(qs(text));
    counts_->setToolTip(lines);
}

void RequestLogWindow::fitColumns() {
    table_->resizeColumnsToContents();
    // A long message or address must not push the other columns out of sight.
    for (int c = 0; c < RequestLogModel::ColumnCount; ++c)
        table_->setColumnWidth(c, std::min(table_->columnWidth(c), c == RequestLogModel::Url ? 360 : 220));
}
