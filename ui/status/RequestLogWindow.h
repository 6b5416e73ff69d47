#pragma once

#include "core/run/RequestRecord.h"

#include <QAbstractTableModel>
#include <QWidget>
#include <functional>
#include <string>
#include <vector>

class QLabel;
class QPushButton;
class QSortFilterProxyModel;
class QTableView;

// The request records as a table: one row per record, a background colour per outcome (and
// for answers, whether the status was a 2xx), and sort keys that sort numbers as numbers.
class RequestLogModel : public QAbstractTableModel {
    Q_OBJECT
public:
    // What was asked of whom first (the engine and the address, elided in its middle), then
    // what happened; the details after that.
    enum Column {
        Engine,
        Url,
        Outcome,
        Status,
        Reason,
        Method,
        Profile,
        Time,
        Bytes,
        Ms,
        Number,
        ColumnCount
    };
    // The role that the sort uses: numbers for the numeric columns, texts for the others.
    static constexpr int SortRole = Qt::UserRole;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    void append(const RequestRecord& record);
    void reset(std::vector<RequestRecord> records);
    const std::vector<RequestRecord>& records() const { return records_; }

private:
    std::vector<RequestRecord> records_;
};

// Reads a kept run's file. Lines that are not records are left out and counted in unreadable.
std::vector<RequestRecord> readRecordFile(const QString& path, int& unreadable);

// The request log: the records of the current run, filling while the run goes, with the counts
// above them; or an earlier run's records, opened from its kept file. A window of its own, so
// that it can be watched beside the results table during a run.
class RequestLogWindow : public QWidget {
    Q_OBJECT
public:
    explicit RequestLogWindow(QWidget* parent = nullptr);

    // A run starts: its records replace what the table showed.
    void beginRun();
    // A record of the current run.
    void add(const RequestRecord& record);
    // A live channel's refusal or pause in the current run: counted beside the records, and
    // listed in the counts' tooltip.
    void addRefusal(const std::string& line);
    // Says that the current run's records are not kept, and why.
    void setProblem(const std::string& problem);
    // Shows the records of a kept run's file instead of the current run's.
    void showFile(const QString& path);
    void showCurrentRun();
    // Shows the window and brings it to the front.
    void present();

    RequestLogModel& model() { return model_; }
    QTableView* table() const { return table_; }
    QLabel* counts() const { return counts_; }
    QPushButton* openButton() const { return open_; }
    QPushButton* currentButton() const { return current_; }

    // Asks for the kept run to open from the runs kept in the given directory (listed by date,
    // profiles and counts); an empty answer opens nothing. Tests replace it, as they replace what opens a
    // record's URL.
    std::function<QString(QWidget* parent, const QString& directory)> chooseFile;
    std::function<void(const std::string& url)> openUrl;

private:
    void openEarlierRun();
    void closeOnKeys();
    void showCounts();
    void fitColumns();

    RequestLogModel model_;
    QSortFilterProxyModel* sorted_ = nullptr;
    QTableView* table_ = nullptr;
    QLabel* counts_ = nullptr;
    QLabel* source_ = nullptr;
    QLabel* problem_ = nullptr;
    QPushButton* open_ = nullptr;
    QPushButton* current_ = nullptr;
    // The current run's records, also while an earlier run is shown.
    std::vector<RequestRecord> currentRun_;
    std::vector<std::string> refusals_;
    bool showingCurrent_ = true;
};
