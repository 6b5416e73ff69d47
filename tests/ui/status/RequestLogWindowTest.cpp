// The Request Log window during and after a run through the main window, against the engine
// simulator.
#include "ui/status/RequestLogWindow.h"
#include "core/Config.h"
#include "core/run/KeptRuns.h"
#include "tests/common/TempDir.h"
#include "tests/core/support/RunTestSupport.h"
#include "tools/simulator/EngineSimulator.h"
#include "ui/MainWindow.h"
#include "ui/RunButtons.h"
#include "ui/TrackProgressPage.h"
#include "ui/WindowRunHost.h"

#include <QLabel>
#include <QPushButton>
#include <QSortFilterProxyModel>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <set>

namespace {

class RequestLogWindowTest : public ::testing::Test {
protected:
    TempDir dir;
    TempDir state;
    QByteArray savedState = qgetenv("XDG_STATE_HOME");
    Config config;
    std::unique_ptr<EngineSimulator> simulator;
    std::unique_ptr<MainWindow> window;
    std::unique_ptr<WindowRun> run;

    void SetUp() override { qputenv("XDG_STATE_HOME", QByteArray::fromStdString(state.str())); }
    void TearDown() override {
        run.reset();
        window.reset();
        qputenv("XDG_STATE_HOME", savedState);
    }
    RequestLogWindow& log() { return *window->requestLog(); }
    // The text of a cell as the table shows it, in its current order.
    QString shown(int row, int column) {
        return log().table()->model()->index(row, column).data().toString();
    }
};

TEST_F(RequestLogWindowTest, TheRunFillsTheTableWhichSortsColoursOpensAndReadsKeptRuns) {
    simulator = std::make_unique<EngineSimulator>(
        std::vector<std::string>{"www.google.com=status:404,delay:600", "/submit=refuse"});
    ProfileFiles(dir.str()).save(completeProfile("Garden"));
    config.proxy = simulator->address();
    window = std::make_unique<MainWindow>(dir.str(), "");
    run = std::make_unique<WindowRun>(*window, config);
    run->host().showInformation = [](const std::string&) {};
    window->show();
    window->SubmitListGrid().SetSelection({0, 1, 0, 1});

    // "Request Log" beside the results table opens the window, which fills while the run goes:
    // while Google keeps its answer back, the eleven requests before it are in the table.
    window->progress().RequestLogButton->click();
    EXPECT_TRUE(log().isVisible());
    std::vector<int> rowsWhileRunning;
    QObject::connect(window->Timer1, &QTimer::timeout, window.get(),
                     [&] { rowsWhileRunning.push_back(log().model().rowCount()); });
    window->runButtons().GoButton->click();
    ASSERT_EQ(log().model().rowCount(), 32);
    EXPECT_TRUE(std::any_of(rowsWhileRunning.begin(), rowsWhileRunning.end(), [](int n) { return n == 11; }));
    EXPECT_EQ(log().counts()->text(), "17 answered (16 with 2xx), 1 failed, 14 skipped");
    EXPECT_EQ(shown(0, RequestLogModel::Engine), "Alexa");
    EXPECT_EQ(shown(1, RequestLogModel::Outcome), "failed");
    EXPECT_EQ(shown(3, RequestLogModel::Outcome), "skipped");

    // One colour for each kind of row: an answer with 2xx, an answer without, a failure, a skip.
    auto colour = [&](int row) {
        return log()
            .table()
            ->model()
            ->index(row, RequestLogModel::Engine)
            .data(Qt::BackgroundRole)
            .value<QBrush>()
            .color();
    };
    const int google = 11;
    ASSERT_EQ(shown(google, RequestLogModel::Status), "404");
    std::set<QRgb> colours{colour(0).rgb(), colour(google).rgb(), colour(1).rgb(), colour(3).rgb()};
    EXPECT_EQ(colours.size(), 4u);

    // Sorting by a column sorts numbers as numbers.
    log().table()->sortByColumn(RequestLogModel::Bytes, Qt::DescendingOrder);
    EXPECT_EQ(shown(0, RequestLogModel::Bytes), "9698"); // Infoseek's page
    EXPECT_EQ(shown(31, RequestLogModel::Bytes), "0");
    log().table()->sortByColumn(RequestLogModel::Status, Qt::DescendingOrder);
    EXPECT_EQ(shown(0, RequestLogModel::Engine), "Google");

    // A double-click opens the record's address.
    std::vector<std::string> opened;
    log().openUrl = [&](const std::string& url) { opened.push_back(url); };
    QTableView* table = log().table();
    const QRect cell = table->visualRect(table->model()->index(0, RequestLogModel::Engine));
    // The view takes a double-click only on the cell that the first click pressed.
    QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, cell.center());
    QTest::mouseDClick(table->viewport(), Qt::LeftButton, {}, cell.center());
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0].rfind("http://www.google.com/addurl?q=", 0), 0u) << opened[0];

    // The run was kept; opening its file from the runs directory shows the same records.
    const std::vector<RequestRecord> current = log().model().records();
    const std::vector<std::string> kept =
        KeptRuns(KeptRuns::defaultDirectory(DirectoryLookup::Find)).newestFirst();
    ASSERT_EQ(kept.size(), 1u);
    QString startedIn;
    log().chooseFile = [&](QWidget*, const QString& directory) {
        startedIn = directory;
        return QString::fromStdString(kept[0]);
    };
    log().openButton()->click();
    EXPECT_EQ(startedIn.toStdString(), state.str() + "/larkspan/runs");
    EXPECT_TRUE(log().currentButton()->isEnabled());
    ASSERT_EQ(log().model().records().size(), current.size());
    for (std::size_t i = 0; i < current.size(); ++i)
        EXPECT_EQ(recordLine(log().model().records()[i]), recordLine(current[i]));
    EXPECT_EQ(log().counts()->text(), "17 answered (16 with 2xx), 1 failed, 14 skipped");

    // The next run turns the table back to the current run and starts it afresh.
    window->SubmitListGrid().SetSelection({0, 1, 0, 1});
    window->runButtons().GoButton->click();
    EXPECT_FALSE(log().currentButton()->isEnabled());
    EXPECT_EQ(log().model().rowCount(), 32);
    EXPECT_EQ(log().counts()->text(), "17 answered (16 with 2xx), 0 failed, 15 skipped");
    EXPECT_EQ(KeptRuns(KeptRuns::defaultDirectory(DirectoryLookup::Find)).newestFirst().size(), 2u);
}

} // namespace
