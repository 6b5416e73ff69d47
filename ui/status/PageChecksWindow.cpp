#include "ui/status/PageChecksWindow.h"

#include "platform/ShellOpen.h"

#include <QFile>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSortFilterProxyModel>
#include <QTableView>
#include <QVBoxLayout>

#include <algorithm>
#include <map>

namespace {

QString qs(const std::string& s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

} // namespace

std::string pageCheckCounts(const std::vector<PageCheck>& checks, Crawler crawler) {
    // In the order of the verdicts, so that the counts read the same every time.
    std::map<Verdict, std::size_t> counts;
    for (const PageCheck& check : checks)
        ++counts[verdictFor(check, crawler).verdict];
    std::string text = std::to_string(checks.size()) + (checks.size() == 1 ? " page" : " pages");
    const char* separator = ": ";
    for (const auto& [verdict, count] : counts) {
        text += separator + std::to_string(count) + " " + std::string(verdictName(verdict));
        separator = ", ";
    }
    return text;
}

PageChecksWindow::PageChecksWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
    setWindowTitle("Page Checks");
    resize(1100, 480);
    chooseCsvFile = [](QWidget* parent) {
        return QFileDialog::getSaveFileName(parent, "Save Page Checks", "page-checks.csv",
                                            "CSV files (*.csv);;All files (*)");
    };
    showError = [](QWidget* parent, const QString& message) {
        QMessageBox::warning(parent, "Page Checks", message);
    };
    openUrl = shellOpen;

    counts_ = new QLabel;
    counts_->setWordWrap(true);
    save_ = new QPushButton("Save as CSV...");
    save_->setEnabled(false);
    connect(save_, &QPushButton::clicked, this, [this] { saveAsCsv(); });

    sorted_ = new QSortFilterProxyModel(this);
    sorted_->setSourceModel(&model_);
    sorted_->setSortRole(PageChecksModel::SortRole);
    table_ = new QTableView;
    table_->setModel(sorted_);
    table_->setSortingEnabled(true);
    table_->sortByColumn(PageChecksModel::Url, Qt::AscendingOrder);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->verticalHeader()->hide();
    table_->verticalHeader()->setDefaultSectionSize(table_->fontMetrics().height() + 4);
    table_->setWordWrap(false);
    table_->setToolTip("Double-click a page to open it in the browser.");
    connect(table_, &QTableView::doubleClicked, this, [this](const QModelIndex& index) {
        const QModelIndex source = sorted_->mapToSource(index);
        if (source.isValid() && openUrl) openUrl(model_.checks()[static_cast<std::size_t>(source.row())].url);
    });

    auto* top = new QHBoxLayout;
    top->addWidget(counts_, 1);
    top->addWidget(save_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(table_, 1);
    showCounts();
}

void PageChecksWindow::setChecks(std::vector<PageCheck> checks) {
    model_.reset(std::move(checks));
    table_->resizeColumnsToContents();
    // A long address must not push the verdicts out of sight.
    for (int c = 0; c < PageChecksModel::ColumnCount; ++c)
        table_->setColumnWidth(c, std::min(table_->columnWidth(c), 320));
    save_->setEnabled(model_.rowCount() > 0);
    showCounts();
}

void PageChecksWindow::present() {
    show();
    raise();
    activateWindow();
}

bool PageChecksWindow::saveAsCsv() {
    const QString path = chooseCsvFile(this);
    if (path.isEmpty()) return true;
    const std::string csv = pageChecksCsv(model_.checks());
    QFile file(path);
    const bool written =
        file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
        file.write(csv.data(), static_cast<qint64>(csv.size())) == static_cast<qint64>(csv.size()) &&
        file.flush();
    if (!written) showError(this, "Cannot write " + path + ": " + file.errorString());
    return written;
}

void PageChecksWindow::showCounts() {
    if (model_.rowCount() == 0) {
        counts_->setText("No page checks yet.");
        return;
    }
    counts_->setText(qs("Google: " + pageCheckCounts(model_.checks(), Crawler::Googlebot) +
                        "\nIndexNow: " + pageCheckCounts(model_.checks(), Crawler::Bingbot)));
}
