#include "ui/status/SiteStatusWindow.h"

#include "platform/ShellOpen.h"
#include "platform/Time.h"

#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

#include <sys/resource.h>
#include <unistd.h>

namespace {

QString qs(const std::string& s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

// The filter's choices, in the order of SiteStatusModel::Filter.
const char* const FilterNames[] = {"All pages",     "Indexed",      "Not indexed",
                                   "Not inspected", "Check not ok", "IndexNow pending"};

// Widths that show the states whole and leave the address room; measuring 100,000 rows to fit
// them would stall the window.
constexpr int ColumnWidths[SiteStatusModel::ColumnCount] = {320, 90, 260, 80, 70, 220, 150, 260, 150};

QTableView* makeTable(SiteStatusModel& model) {
    auto* table = new QTableView;
    table->setModel(&model);
    table->setSortingEnabled(true);
    table->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->verticalHeader()->hide();
    table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    table->verticalHeader()->setDefaultSectionSize(table->fontMetrics().height() + 4);
    table->setWordWrap(false);
    table->setToolTip("Double-click a page to open it in the browser.");
    for (int c = 0; c < SiteStatusModel::ColumnCount; ++c)
        table->setColumnWidth(c, ColumnWidths[c]);
    return table;
}

} // namespace

SiteStatusWindow::SiteStatusWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
    setWindowTitle("Site Status");
    resize(1200, 640);
    chooseFile = [](QWidget* parent, const QString& name, const QString& filter) {
        return QFileDialog::getSaveFileName(parent, "Save Site Status", name, filter);
    };
    showError = [](QWidget* parent, const QString& message) {
        QMessageBox::warning(parent, "Site Status", message);
    };
    openUrl = shellOpen;

    sites_ = new QComboBox;
    connect(sites_, &QComboBox::activated, this,
            [this](int index) { read(sites_->itemText(index).toStdString()); });
    filter_ = new QComboBox;
    for (const char* name : FilterNames)
        filter_->addItem(name);
    connect(filter_, &QComboBox::activated, this,
            [this](int index) { model_.setFilter(static_cast<SiteStatusModel::Filter>(index)); });
    saveCsv_ = new QPushButton("Save as CSV...");
    saveHtml_ = new QPushButton("Save as HTML...");
    connect(saveCsv_, &QPushButton::clicked, this, [this] { saveAsCsv(); });
    connect(saveHtml_, &QPushButton::clicked, this, [this] { saveAsHtml(); });
    summary_ = new QLabel;
    summary_->setWordWrap(true);
    summary_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    table_ = makeTable(model_);
    connect(table_, &QTableView::doubleClicked, this, [this](const QModelIndex& index) {
        if (index.isValid() && openUrl) openUrl(model_.page(index.row()).url);
    });

    auto* top = new QHBoxLayout;
    top->addWidget(new QLabel("Profile:"));
    top->addWidget(sites_, 1);
    top->addWidget(new QLabel("Show:"));
    top->addWidget(filter_);
    top->addWidget(saveCsv_);
    top->addWidget(saveHtml_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(summary_);
    layout->addWidget(table_, 1);
}

SiteStatusWindow::~SiteStatusWindow() {
    if (reader_.joinable()) reader_.join();
}

void SiteStatusWindow::showSites(const std::string& profileDirectory, const std::vector<std::string>& names,
                                 const std::string& current) {
    directory_ = profileDirectory;
    sites_->clear();
    for (const std::string& name : names)
        sites_->addItem(qs(name));
    const int index = sites_->findText(qs(current));
    sites_->setCurrentIndex(index < 0 ? 0 : index);
    if (sites_->count() > 0) read(sites_->currentText().toStdString());
}

void SiteStatusWindow::present() {
    QWidget::show();
    raise();
    activateWindow();
}

void SiteStatusWindow::read(const std::string& name) {
    // A read still under way ends first; its result is shown and then replaced by this one.
    if (reader_.joinable()) reader_.join();
    loading_ = true;
    summary_->setText(qs("Reading the status of " + name + "..."));
    saveCsv_->setEnabled(false);
    saveHtml_->setEnabled(false);
    reader_ = std::thread([this, name, directory = directory_] {
        // Background work: on a busy machine the event loop's thread goes first.
        ::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), 10);
        SiteStatusData data = loadSiteStatus(directory, name, unixNow());
        // Delivered on the event loop; the destructor joins this thread before the window goes,
        // and Qt drops what was posted to a window that is gone.
        QMetaObject::invokeMethod(
            this, [this, data = std::move(data)]() mutable { display(std::move(data)); },
            Qt::QueuedConnection);
    });
}

void SiteStatusWindow::display(SiteStatusData data) {
    loading_ = false;
    shownName_ = data.name;
    summaryLines_ = data.problem.empty() ? std::move(data.summary) : std::vector<std::string>{data.problem};
    std::string text;
    for (const std::string& line : summaryLines_)
        text += (text.empty() ? "" : "\n") + line;
    summary_->setText(qs(text));
    model_.reset(std::move(data.urls));
    saveCsv_->setEnabled(model_.total() > 0);
    saveHtml_->setEnabled(model_.total() > 0);
    setWindowTitle(qs("Site Status - " + shownName_));
    if (loaded) loaded();
}

bool SiteStatusWindow::saveAsCsv() {
    return save("site-status.csv", "CSV files (*.csv);;All files (*)", siteStatusCsv(model_.shown()));
}

bool SiteStatusWindow::saveAsHtml() {
    return save("site-status.html", "HTML files (*.html *.htm);;All files (*)",
                siteStatusHtml("Site Status of " + shownName_, summaryLines_, model_.shown()));
}

bool SiteStatusWindow::save(const QString& name, const QString& filter, const std::string& text) {
    const QString path = chooseFile(this, name, filter);
    if (path.isEmpty()) return true;
    QFile file(path);
    const bool written =
        file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
        file.write(text.data(), static_cast<qint64>(text.size())) == static_cast<qint64>(text.size()) &&
        file.flush();
    if (!written) showError(this, "Cannot write " + path + ": " + file.errorString());
    return written;
}
