#include "ui/WindowRunHost.h"

#include "core/run/HttpRunClient.h"
#include "core/run/LiveChannels.h"
#include "core/run/SubmissionRun.h"
#include "platform/EventLoop.h"
#include "ui/MainWindow.h"
#include "ui/ProfileEditorPage.h"
#include "ui/QtStrings.h"
#include "ui/RunButtons.h"
#include "ui/TrackProgressPage.h"
#include "ui/print/PrintOptionsPage.h"
#include "ui/status/RequestLogWindow.h"

#include <QCheckBox>
#include <QEvent>
#include <QMessageBox>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>

std::string WindowRunHost::fieldText(std::size_t field) const {
    return window_.fieldText(field);
}

void WindowRunHost::setFieldText(std::size_t field, const std::string& text) {
    window_.setFieldText(field, text);
}

void WindowRunHost::loadProfile(const std::string& name) {
    window_.loadProfileIntoEditor(name);
}

void WindowRunHost::setCurrentSelection(const std::string& name) {
    window_.setCurrentSelection(name);
}

TReportGrid& WindowRunHost::submitList() {
    return window_.SubmitListGrid();
}

TReportGrid& WindowRunHost::results() {
    return window_.Grid();
}

void WindowRunHost::setLabel(const std::string& text) {
    window_.progress().setCaption(text);
}

void WindowRunHost::setStatusText(const std::string& text) {
    window_.setStatusText(text);
}

void WindowRunHost::setGaugeVisible(bool visible) {
    using Visibility = TrackProgressPage::Visibility;
    window_.progress().setGauge(visible ? Visibility::Shown : Visibility::Hidden);
}

void WindowRunHost::setGaugeProgress(int percent) {
    window_.progress().setGaugeProgress(percent);
}

void WindowRunHost::showAnimationFrame(int frame) {
    window_.progress().showAnimationFrame(frame);
}

void WindowRunHost::setRunBar(RunBar state) {
    window_.runButtons().setState(state == RunBar::Running ? RunButtons::State::Running
                                                           : RunButtons::State::Idle);
    // A run loads each profile into the editor, which would replace the live channels' values
    // under an open dialog, and the dialog, modal to the window, would keep Stop from the user.
    window_.editor().LiveChannelsButton->setEnabled(state != RunBar::Running);
}

std::string WindowRunHost::pauseCaption() const {
    return window_.runButtons().pauseCaption();
}

void WindowRunHost::setPauseCaption(const std::string& caption) {
    window_.runButtons().setPauseCaption(caption);
}

void WindowRunHost::appendLog(const std::string& line) {
    window_.progress().appendLog(line);
}

void WindowRunHost::information(const std::string& message, Message) {
    // A window that is going away asks nobody to click OK.
    if (closing) return;
    if (showInformation) {
        showInformation(message);
        return;
    }
    QMessageBox box(QMessageBox::Information, "Information", qs(message), QMessageBox::Ok, &window_);
    box.exec();
}

void WindowRunHost::closeWindow() {
    window_.close();
}

void WindowRunHost::waitForEvents() {
    EventLoop::instance().pump(EventLoop::PumpMode::WaitForEvents);
}

void WindowRunHost::record(const RequestRecord& record) {
    window_.requestLog()->add(record);
    if (kept_)
        if (auto problem = kept_->write(record)) window_.requestLog()->setProblem(*problem);
}

void WindowRunHost::showNote(const std::string& line, Note kind) {
    window_.progress().addNote(line);
    if (kind == Note::Refusal) window_.requestLog()->addRefusal(line);
}

void WindowRunHost::clearNotes() {
    window_.progress().clearNotes();
}

void WindowRunHost::beginRun() {
    window_.requestLog()->beginRun();
    kept_.emplace([] { return KeptRuns::defaultDirectory(DirectoryLookup::Create); },
                  std::chrono::system_clock::now());
}

WindowRun::WindowRun(MainWindow& window, const Config& config, std::unique_ptr<RunClient> client)
    : window_(window), host_(window), client_(client ? std::move(client) : std::make_unique<HttpRunClient>()),
      run_(std::make_unique<SubmissionRun>(host_, *client_, config)) {
    run_->Start();
    run_->setProfileDirectory(window_.profileStore().directory());
    addLiveChannels(*run_);
    QCheckBox* catalogue = window_.optionsPage()->CatalogueCheckBox;
    catalogue->setChecked(run_->catalogueEnabled());
    connect(catalogue, &QCheckBox::toggled, this, [this](bool on) { run_->setCatalogueEnabled(on); });
    RunButtons& buttons = window_.runButtons();
    connect(buttons.GoButton, &QPushButton::clicked, this, [this] {
        // The run is watched on "Track Progress"; a user who pressed "Go!" elsewhere would
        // otherwise see only the buttons change until "Done!".
        window_.pages()->setCurrentIndex(MainWindow::ProgressPage);
        if (!run_->running()) host_.beginRun();
        command([this] { run_->GoButtonClick(); });
        // The run checked pages: an open Page Checks window shows what it found.
        command([this] { window_.refreshPageChecks(); });
    });
    connect(buttons.PauseButton, &QPushButton::clicked, this,
            [this] { command([this] { run_->PauseButtonClick(); }); });
    connect(buttons.StopButton, &QPushButton::clicked, this,
            [this] { command([this] { run_->StopButtonClick(); }); });
    connect(window_.Timer1, &QTimer::timeout, this, [this] { run_->Timer1Timer(); });
    window_.Timer1->start();
    window_.installEventFilter(this);
}

WindowRun::~WindowRun() {
    window_.removeEventFilter(this);
    window_.Timer1->stop();
}

bool WindowRun::eventFilter(QObject* watched, QEvent* event) {
    // Closing the window during a run ends the run at once: the request in flight is aborted
    // and no "Done!" box waits for a window that is gone.
    if (watched == &window_ && event->type() == QEvent::Close) {
        host_.closing = true;
        run_->StopButtonClick();
    }
    return QObject::eventFilter(watched, event);
}

void WindowRun::command(const std::function<void()>& handler) {
    try {
        handler();
    } catch (const std::exception& e) {
        window_.showError(e.what());
    }
}
