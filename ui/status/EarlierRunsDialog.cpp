#include "ui/status/EarlierRunsDialog.h"

#include "core/run/KeptRuns.h"
#include "core/run/RequestRecord.h"
#include "ui/status/RequestLogWindow.h"

#include <QDateTime>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace {

constexpr int PathRole = Qt::UserRole;

QString qs(const std::string& s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

// The site titles of a run's records, each once, in the order of their first request.
QString profilesOf(const std::vector<RequestRecord>& records) {
    std::vector<std::string> seen;
    for (const RequestRecord& r : records)
        if (std::find(seen.begin(), seen.end(), r.profile) == seen.end()) seen.push_back(r.profile);
    QStringList names;
    for (const std::string& name : seen)
        names << qs(name);
    return names.join(", ");
}

} // namespace

QString keptRunStarted(const QString& path) {
    const QString name = QFileInfo(path).fileName();
    // 2026-12-07T113000Z.jsonl, or 2026-12-07T113000Z_2.jsonl for the second run of a second.
    QDateTime utc = QDateTime::fromString(name.left(17), "yyyy-MM-ddTHHmmss");
    if (!utc.isValid() || name.mid(17, 1) != "Z") return name;
    utc.setTimeSpec(Qt::UTC);
    QString text = utc.toLocalTime().toString("yyyy-MM-dd HH:mm:ss");
    const auto underscore = name.indexOf('_');
    if (underscore > 0) text += " (" + name.mid(underscore + 1).section('.', 0, 0) + ")";
    return text;
}

EarlierRunsDialog::EarlierRunsDialog(const QString& directory, QWidget* parent) : QDialog(parent) {
    setWindowTitle("Open Earlier Run");
    resize(720, 360);
    auto* layout = new QVBoxLayout(this);
    auto* where = new QLabel("Runs kept in " + directory + ", newest first:");
    where->setWordWrap(true);
    layout->addWidget(where);
    runs_ = new QTreeWidget;
    runs_->setRootIsDecorated(false);
    runs_->setHeaderLabels({"Started", "Profiles", "Requests"});
    runs_->header()->setStretchLastSection(true);
    layout->addWidget(runs_, 1);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Open | QDialogButtonBox::Cancel);
    QPushButton* other = buttons->addButton("Other File...", QDialogButtonBox::ActionRole);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &EarlierRunsDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(runs_, &QTreeWidget::itemActivated, this, [this] { accept(); });
    connect(other, &QPushButton::clicked, this, [this, directory] {
        const QString file = QFileDialog::getOpenFileName(this, "Open Earlier Run", directory,
                                                          "Request records (*.jsonl);;All files (*)");
        if (file.isEmpty()) return;
        chosen_ = file;
        QDialog::accept();
    });
    fill(directory);
}

void EarlierRunsDialog::fill(const QString& directory) {
    for (const std::string& path : KeptRuns(directory.toStdString()).newestFirst()) {
        int unreadable = 0;
        const std::vector<RequestRecord> records = readRecordFile(qs(path), unreadable);
        auto* item = new QTreeWidgetItem(runs_);
        item->setText(Started, keptRunStarted(qs(path)));
        item->setText(Profiles, profilesOf(records));
        item->setText(Requests, unreadable < 0 ? QString("cannot be read") : qs(recordCounts(records)));
        item->setToolTip(Started, qs(path));
        item->setToolTip(Profiles, item->text(Profiles));
        item->setData(Started, PathRole, qs(path));
    }
    if (runs_->topLevelItemCount() > 0) runs_->setCurrentItem(runs_->topLevelItem(0));
    for (int c = 0; c < Requests; ++c) {
        runs_->resizeColumnToContents(c);
        runs_->setColumnWidth(c, std::min(runs_->columnWidth(c), 260));
    }
}

void EarlierRunsDialog::accept() {
    if (QTreeWidgetItem* item = runs_->currentItem()) chosen_ = item->data(Started, PathRole).toString();
    QDialog::accept();
}

QString EarlierRunsDialog::choose(QWidget* parent, const QString& directory) {
    EarlierRunsDialog dialog(directory, parent);
    return dialog.exec() == QDialog::Accepted ? dialog.chosen() : QString();
}
