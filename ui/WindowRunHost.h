#pragma once

#include "core/run/KeptRuns.h"
#include "core/run/RunClient.h"
#include "core/run/RunHost.h"
#include "core/run/SubmissionRun.h"

#include <QObject>
#include <functional>
#include <memory>
#include <optional>
#include <string>

class MainWindow;
struct Config;

// The run's host on the main window: the progress page, the run bar, the editor and the lists.
class WindowRunHost final : public RunHost {
public:
    explicit WindowRunHost(MainWindow& window) : window_(window) {}

    std::string fieldText(std::size_t field) const override;
    void setFieldText(std::size_t field, const std::string& text) override;
    void loadProfile(const std::string& name) override;
    void setCurrentSelection(const std::string& name) override;
    TReportGrid& submitList() override;
    TReportGrid& results() override;
    void setLabel(const std::string& text) override;
    void setStatusText(const std::string& text) override;
    void setGaugeVisible(bool visible) override;
    void setGaugeProgress(int percent) override;
    void showAnimationFrame(int frame) override;
    void setRunBar(RunBar state) override;
    std::string pauseCaption() const override;
    void setPauseCaption(const std::string& caption) override;
    void appendLog(const std::string& line) override;
    void information(const std::string& message, Message kind) override;
    void closeWindow() override;
    void waitForEvents() override;
    // Shows the record in the request log and keeps it in the run's file.
    void record(const RequestRecord& record) override;
    // Under the results table on "Track Progress", and counted in the request log.
    void showNote(const std::string& line, Note kind) override;
    void clearNotes() override;

    // A run starts: the request log turns to it, and its records get a kept file of their own.
    void beginRun();

    // Shows an information box; tests replace it so that nothing waits for a click.
    std::function<void(const std::string& message)> showInformation;
    // Set once the window is being closed: from then on no box is shown.
    bool closing = false;

private:
    MainWindow& window_;
    std::optional<KeptRun> kept_;
};

// Everything the window needs for runs: the HTTP client, the host and the run, with the run
// bar's buttons and the animation timer connected. Lives as long as the window.
class WindowRun : public QObject {
    Q_OBJECT
public:
    // Without a client, the program's HTTP client is used.
    WindowRun(MainWindow& window, const Config& config, std::unique_ptr<RunClient> client = nullptr);
    ~WindowRun() override;

    SubmissionRun& run() { return *run_; }
    WindowRunHost& host() { return host_; }
    RunClient& client() { return *client_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void command(const std::function<void()>& handler);

    MainWindow& window_;
    WindowRunHost host_;
    std::unique_ptr<RunClient> client_;
    std::unique_ptr<SubmissionRun> run_;
};
