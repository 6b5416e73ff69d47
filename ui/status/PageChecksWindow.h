#pragma once

#include "ui/status/PageChecksModel.h"

#include <QWidget>
#include <functional>
#include <string>
#include <vector>

class QLabel;
class QPushButton;
class QSortFilterProxyModel;
class QTableView;

// The page checks of a site: per URL the verdicts for Google and IndexNow, the status, final URL,
// canonical link, robots.txt result and time, sortable by every column. A window of its own, like
// the request log, so that it can stay open beside the main window.
class PageChecksWindow : public QWidget {
    Q_OBJECT
public:
    explicit PageChecksWindow(QWidget* parent = nullptr);

    // The checks to show, replacing what the table showed.
    void setChecks(std::vector<PageCheck> checks);
    // Shows the window and brings it to the front.
    void present();
    // Writes the checks as CSV to a file the user chooses; false when writing failed.
    bool saveAsCsv();

    PageChecksModel& model() { return model_; }
    QTableView* table() const { return table_; }
    QLabel* counts() const { return counts_; }
    QPushButton* saveButton() const { return save_; }

    // Asks where to save (an empty answer saves nothing), says that saving failed, and opens
    // a URL in the browser. Tests replace them.
    std::function<QString(QWidget* parent)> chooseCsvFile;
    std::function<void(QWidget* parent, const QString& message)> showError;
    std::function<void(const std::string& url)> openUrl;

private:
    void showCounts();

    PageChecksModel model_;
    QSortFilterProxyModel* sorted_ = nullptr;
    QTableView* table_ = nullptr;
    QLabel* counts_ = nullptr;
    QPushButton* save_ = nullptr;
};

// "12 pages: 9 ok, 2 not-found, 1 noindex" for the verdicts of one crawler.
std::string pageCheckCounts(const std::vector<PageCheck>& checks, Crawler crawler);
