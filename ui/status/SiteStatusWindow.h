#pragma once

#include "ui/status/SiteStatusModel.h"

#include <QWidget>
#include <functional>
#include <string>
#include <thread>
#include <vector>

class QComboBox;
class QLabel;
class QPushButton;
class QTableView;

// "Site Status": for the profile chosen, a summary (pages in the sitemaps, checks by verdict,
// IndexNow, Google's index by coverage state, each sitemap) and a table of every page. The store
// is read on a thread of its own and the table filled once it is read, so that a site of
// 100,000 pages opens without holding up the window. A window of its own, like the request log.
class SiteStatusWindow : public QWidget {
    Q_OBJECT
public:
    explicit SiteStatusWindow(QWidget* parent = nullptr);
    ~SiteStatusWindow() override;

    // The profiles of the directory to choose from, and the one to show now.
    void showSites(const std::string& profileDirectory, const std::vector<std::string>& names,
                   const std::string& current);
    // Shows the window and brings it to the front.
    void present();
    // Whether the store is being read; `loaded` is called on the event loop once it is.
    bool loading() const { return loading_; }
    std::function<void()> loaded;

    // Write the rows shown, in their order, to a file the user chooses; false when that failed.
    bool saveAsCsv();
    bool saveAsHtml();

    SiteStatusModel& model() { return model_; }
    QTableView* table() const { return table_; }
    QLabel* summary() const { return summary_; }
    QComboBox* filterBox() const { return filter_; }

    // Asks where to save (an empty answer saves nothing), says that saving failed, and opens a
    // URL in the browser. Tests replace them.
    std::function<QString(QWidget* parent, const QString& name, const QString& filter)> chooseFile;
    std::function<void(QWidget* parent, const QString& message)> showError;
    std::function<void(const std::string& url)> openUrl;

private:
    void read(const std::string& name);
    void display(SiteStatusData data);
    bool save(const QString& name, const QString& filter, const std::string& text);

    SiteStatusModel model_;
    std::string directory_;
    std::vector<std::string> summaryLines_;
    std::string shownName_;
    std::thread reader_;
    bool loading_ = false;
    QComboBox* sites_ = nullptr;
    QComboBox* filter_ = nullptr;
    QLabel* summary_ = nullptr;
    QTableView* table_ = nullptr;
    QPushButton* saveCsv_ = nullptr;
    QPushButton* saveHtml_ = nullptr;
};
