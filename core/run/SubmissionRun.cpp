#include "core/run/SubmissionRun.h"

#include "core/Config.h"
#include "core/channels/LiveSite.h"
#include "core/channels/SiteRead.h"
#include "core/checks/RunPageChecks.h"
#include "core/profiles/SiteProfile.h"
#include "core/profiles/SubmissionList.h"
#include "core/run/RequestRecorder.h"
#include "core/run/RunClient.h"
#include "core/run/RunHost.h"
#include "core/store/SiteStore.h"
#include "grid/ReportGrid.h"
#include "platform/Text.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <limits>
#include <optional>

namespace {

constexpr const char* PauseCaption = "Pause";
constexpr const char* ResumeCaption = "Resume";
constexpr const char* FatalMarker = "Fatal Error";

// Sets a flag for as long as a scope runs, also when it is left by an exception.
class FlagScope {
public:
    explicit FlagScope(bool& flag) : flag_(flag) { flag_ = true; }
    ~FlagScope() { flag_ = false; }
    FlagScope(const FlagScope&) = delete;
    FlagScope& operator=(const FlagScope&) = delete;

private:
    bool& flag_;
};

// The message a failed request ended with, for its record.
std::string failureMessage(std::exception_ptr failure) {
    try {
        std::rethrow_exception(failure);
    } catch (const std::exception& e) {
        return e.what();
    } catch (...) {
        return "Unknown failure";
    }
}

} // namespace

SubmissionRun::SubmissionRun(RunHost& host, RunClient& client, const Config& config)
    : editor_(host), progress_(host), results_(host), log_(host), client_(client), config_(config),
      catalogueEnabled_(config.catalogue), catalog_(engineCatalog(config)),
      footerAddress_(config.footerAddress()), maxBodySize_(config.maxBodySize),
      deadlineMilliseconds_(config.requestDeadlineSeconds), caFile_(config.caFile) {
    // The configuration keeps seconds; the client counts milliseconds in 32 bits.
    constexpr int maxSeconds = std::numeric_limits<int>::max() / 1000;
    deadlineMilliseconds_ = std::min(deadlineMilliseconds_, maxSeconds) * 1000;
    if (auto proxy = parseHostPort(config.proxy)) {
        proxyHost_ = proxy->host;
        proxyPort_ = proxy->port;
    }
    client_.OnPacketRecvd = [this] { Http1PacketRecvd(); };
}

SubmissionRun::~SubmissionRun() = default;

void SubmissionRun::addChannel(std::unique_ptr<LiveChannel> channel) {
    channels_.push_back(std::move(channel));
}

void SubmissionRun::Start() {
    resultCount_ = 0;
    TReportGrid& grid = results_.results();
    grid.SetCellText(0, 0, "Engine");
    grid.SetCellText(1, 0, "URLs Submitted");
    progress_.setRunBar(RunProgress::RunBar::Idle);
    animationFrame_ = IdleFrame;
    progress_.showAnimationFrame(-1);
    // A run talks to endpoints it does not control: none of them may hold it or its memory
    // without bound.
    client_.setMaxBodySize(maxBodySize_);
    client_.setRequestDeadline(deadlineMilliseconds_);
    client_.setProxy(proxyHost_, proxyPort_);
    client_.setCAFile(caFile_);
}

std::vector<std::string> SubmissionRun::selectedProfiles(const TReportGrid& list) {
    return highlightedProfiles(list);
}

void SubmissionRun::GoButtonClick() {
    // The button is hidden during a run, but Enter or a test could still reach here.
    if (running_) return;
    // The selection is taken once: what was highlighted when "Go!" was pressed is submitted,
    // even if the list changes while the run pumps events.
    Submit(selectedProfiles(editor_.submitList()));
}

void SubmissionRun::Submit(const std::vector<std::string>& names) {
    if (running_) return;
    running_ = true;
    stopRequested_ = false;
    liveRefused_ = false;
    tally_ = {};
    tally_.profiles = static_cast<int>(names.size());
    tally_.catalogue = catalogueEnabled_;
    log_.clearNotes();
    // A run that leaves the catalogue out says so where its results are watched.
    if (!catalogueEnabled_) log_.showNote(catalogueOffNote(catalog_.size()), RunLog::Note::LeftOut);
    progress_.setRunBar(RunProgress::RunBar::Running);
    pageChecks_ = std::make_unique<RunPageChecks>(config_);
    for (const auto& channel : channels_)
        channel->beginRun();
    try {
        removeFooter();
        for (const std::string& name : names) {
            if (stopRequested_) break;
            submitProfile(name);
        }
    } catch (...) {
        // Whatever escapes (it is not a request failure: those stay inside Site) still must
        // not leave the window stuck in the running state.
        running_ = false;
        animationFrame_ = IdleFrame;
        progress_.setGaugeVisible(false);
        progress_.setRunBar(RunProgress::RunBar::Idle);
        throw;
    }
    endRun();
}

void SubmissionRun::submitProfile(const std::string& name) {
    editor_.setCurrentSelection(name);
    progress_.setStatusText("Current Selection: " + name);
    editor_.loadProfile(name);
    profileName_ = name;
    profile_ = profileDirectory_.empty() ? LoadedProfile{} : ProfileFiles(profileDirectory_).loadWhole(name);

    SiteProfile profile;
    for (std::size_t i = 0; i < ProfileFieldCount; ++i)
        profile[i] = editor_.fieldText(i);
    PreparedProfile prepared = PrepareProfile(fields_, profile);
    editor_.setFieldText(fPhone, prepared.editorPhone);
    editor_.setFieldText(fFax, prepared.editorFax);
    if (!prepared.complete) {
        ErrorTrap(std::string(IncompleteProfileMessage));
        return;
    }

    ++tally_.complete;
    animationFrame_ = 0;
    if (catalogueEnabled_) {
        for (const EngineEntry& entry : catalog_) {
            if (stopRequested_) return;
            EngineRequest request = PrepareRequest(fields_, entry);
            Site(entry.DisplayName, request.url, request.method, request.body);
            if (stopRequested_) return;
        }
    }
    announceLive();
}

void SubmissionRun::announceLive() {
    // The site's origin is found once per profile, and only for a profile that uses a channel.
    const bool used = std::any_of(channels_.begin(), channels_.end(),
                                  [this](const auto& channel) { return channel->uses(*this); });
    if (!used) return;
    // What was read of the site, and its hold on the store, go with the profile.
    struct Ending {
        std::unique_ptr<SiteReading>& reading;
        ~Ending() { reading.reset(); }
    } ending{reading_};
    try {
        if (!readSite()) return;
        for (const auto& channel : channels_) {
            if (!channel->uses(*this)) continue;
            waitWhilePaused();
            if (stopRequested_) return;
            try {
                channel->announce(*this);
            } catch (const LiveRun::Stopped&) {
                throw;
            } catch (const StoreFull&) {
                throw;
            } catch (const std::exception& e) {
                // A channel reports its own failures; this is one it did not foresee.
                refused(e.what());
            }
        }
        // Whatever channels the profile uses, the store keeps what its sitemaps list.
        if (!stopRequested_) reading_->record();
    } catch (const LiveRun::Stopped&) {
        return;
    } catch (const StoreFull& e) {
        // Nothing more can be remembered, so nothing more is sent: what was not recorded is
        // sent again by a later run.
        refused(std::string(e.what()) + "; the run ends here, and what was not recorded stays pending");
        stopRequested_ = true;
    } catch (const StoreError& e) {
        refused(e.what());
    }
}

bool SubmissionRun::readSite() {
    std::optional<SiteProbe> probe = ::probeSite(
        fields_.URL, [this](LiveRequest request) { return send(SiteEngine, std::move(request)); });
    if (!probe) {
        refused("the profile URL \"" + fields_.URL +
                "\" names no web site; nothing is sent to live services");
        return false;
    }
    site_ = probe->site;
    if (probe->unreachable.empty() && !probe->note.empty()) log(probe->note);
    // A store that cannot be used (another process holds the site) is a refusal of the profile.
    reading_ = std::make_unique<SiteReading>(static_cast<LiveRun&>(*this), probe->unreachable);
    if (reading_->unreadable().empty()) return true;
    const std::string line = SiteReading::unreadableLine(fields_.SiteTitle, reading_->unreadable());
    liveRefused_ = true;
    ++tally_.unreadable;
    log(line);
    log_.showNote(line, RunLog::Note::Refusal);
    return false;
}

std::string SubmissionRun::profileValue(std::string_view key) const {
    return profile_.extra(key);
}

LiveClient& SubmissionRun::liveClient() {
    if (!live_) live_ = std::make_unique<LiveClient>(liveClientSettings(config_));
    return *live_;
}

LiveAnswer SubmissionRun::send(const std::string& engine, LiveRequest request) {
    std::vector<LiveRequest> one;
    one.push_back(std::move(request));
    return std::move(sendAll(engine, std::move(one)).front());
}

std::vector<LiveAnswer> SubmissionRun::sendAll(const std::string& engine, std::vector<LiveRequest> requests) {
    std::vector<LiveAnswer> answers(requests.size());
    RequestTurn turn{engine, Carrier::Live, {}, {}, {}};
    turn.send = [&] {
        tally_.sent += static_cast<int>(requests.size());
        LiveClient& client = liveClient();
        const auto started = std::chrono::system_clock::now();
        // What the records need of each request, kept before the request is handed over.
        std::vector<RequestRecorder::Request> kept;
        for (std::size_t i = 0; i < requests.size(); ++i) {
            kept.push_back(
                {fields_.SiteTitle, engine, std::string(methodName(requests[i].method)), requests[i].url});
            client.start(std::move(requests[i]),
                         [&answers, i](LiveAnswer answer) { answers[i] = std::move(answer); });
        }
        client.waitAll();
        for (std::size_t i = 0; i < answers.size(); ++i)
            RequestRecorder::recordHops(results_, std::move(kept[i]), answers[i], started,
                                        stopRequested_ ? RequestRecorder::Ending::Stopped
                                                       : RequestRecorder::Ending::Ran);
    };
    if (!request(turn) || stopRequested_) throw LiveRun::Stopped();
    return answers;
}

bool SubmissionRun::request(const RequestTurn& turn) {
    // A paused run waits before each request, the catalogue's and the channels' alike.
    waitWhilePaused();
    if (stopRequested_) return false;
    progress_.setGaugeProgress(0);
    if (turn.row) turn.row();
    progress_.setLabel("Submitting " + fields_.URL + " to " + turn.engine);
    if (turn.skipped && turn.skipped()) return true;
    // The catalogue's client gives up a wait after this long; the live client keeps the
    // configuration's deadline for each whole request.
    if (turn.carrier == Carrier::Catalogue) client_.setTimeOut(RequestTimeOut);
    // While the request is in flight, Stop aborts it on its own client.
    FlagScope inFlight(turn.carrier == Carrier::Catalogue ? inRequest_ : inLiveRequest_);
    turn.send();
    return true;
}

void SubmissionRun::accepted(const std::string& engine) {
    DoGrid(engine, fields_.SiteTitle);
}

void SubmissionRun::refused(const std::string& logLine) {
    liveRefused_ = true;
    ++tally_.refusals;
    log(logLine);
    log_.showNote(logLine, RunLog::Note::Refusal);
}

void SubmissionRun::log(const std::string& line) {
    // Lines quote what servers said (reasons, URLs, Location lines): nothing of it may drive
    // the terminal or the window.
    log_.appendLog(printable(line));
}

RunPageChecks& SubmissionRun::pageChecks() {
    if (!pageChecks_) pageChecks_ = std::make_unique<RunPageChecks>(config_);
    return *pageChecks_;
}

void SubmissionRun::waitWhilePaused() {
    // The window stays live while paused: every click, tick and repaint is handled here.
    while (paused_ && !stopRequested_)
        progress_.waitForEvents();
}

bool SubmissionRun::failedBefore(const std::string& url) const {
    // Each target is tested on its own, so a URL can never match across the end of one
    // remembered target and the start of the next.
    return std::any_of(failedURLs_.begin(), failedURLs_.end(),
                       [&](const std::string& failed) { return failed.find(url) != std::string::npos; });
}

void SubmissionRun::Site(const std::string& engineName, const std::string& url, const std::string& method,
                         const std::string& body) {
    // Only "get" and "post" send anything, so only they leave a record.
    const bool sends = method == "get" || method == "post";
    RequestRecorder::Request recorded{fields_.SiteTitle, engineName, method == "get" ? "GET" : "POST", url};
    RequestTurn turn{engineName, Carrier::Catalogue, {}, {}, {}};
    // The row stands while the request is on its way; only an answer keeps it.
    TReportGrid::RowId row = 0;
    turn.row = [&] { row = DoGrid(engineName, fields_.SiteTitle); };
    turn.skipped = [&] {
        if (!failedBefore(url)) return false;
        if (sends) RequestRecorder::skipped(results_, std::move(recorded));
        removeResult(row);
        return true;
    };
    turn.send = [&] {
        std::optional<RequestRecorder> record;
        if (sends) {
            record.emplace(results_, std::move(recorded));
            ++tally_.sent;
        }
        if (const std::optional<std::string> failure = sendCatalogue(engineName, url, method, body)) {
            if (record && stopRequested_) record->stopped(client_.bytesReceived());
            if (record && !stopRequested_) record->failed(*failure, client_.bytesReceived());
            // Neither a failed request nor a stopped one was answered.
            removeResult(row);
            return;
        }
        // Recorded outside the request's handler, so that nothing the host does with the record
        // could pass for a failure of the request.
        if (record) record->answered(client_.replyStatus(), client_.replyReason(), client_.bytesReceived());
    };
    request(turn);
}

std::optional<std::string> SubmissionRun::sendCatalogue(const std::string& engineName, const std::string& url,
                                                        const std::string& method, const std::string& body) {
    std::string failure;
    try {
        if (method == "get")
            client_.Get(url);
        else if (method == "post")
            client_.Post(url, body);
        progress_.setStatusText("Processing " + engineName);
        return std::nullopt;
    } catch (...) {
        failure = failureMessage(std::current_exception());
    }
    // A request the user stopped did not fail: it is neither logged nor remembered, so a later
    // run sends it again.
    if (stopRequested_) return failure;
    failedURLs_.push_back(url);
    log_.appendLog("Failed to contact " + engineName + ". Site might be down.");
    progress_.setStatusText("Failed to connect to " + engineName + ". Site may be down.");
    return failure;
}

TReportGrid::RowId SubmissionRun::DoGrid(const std::string& engineName, const std::string& siteTitle) {
    TReportGrid& grid = results_.results();
    // One repaint for the whole row rather than one per cell, fit and sort.
    grid.BeginUpdate();
    ++resultCount_;
    if (grid.RowCount() <= resultCount_) grid.SetRowCount(resultCount_ + 1);
    grid.SetCellText(0, resultCount_, engineName);
    grid.SetCellText(1, resultCount_, siteTitle);
    // Taken before the sort moves the row.
    const TReportGrid::RowId added = grid.RowIdentity(resultCount_);
    grid.FitColumns(TReportGrid::FitFixed::Include, 1);
    grid.SortColumn = 0;
    grid.SortDirection = TSortDirection::sdAscending;
    grid.SortRows();
    grid.SetRowCount(grid.RowCount() + 1);
    grid.Refresh();
    grid.EndUpdate();
    return added;
}

void SubmissionRun::removeResult(TReportGrid::RowId row) {
    TReportGrid& grid = results_.results();
    // Wherever the sorts have put it since; a row that is gone already stays gone.
    const int at = grid.FindRow(row);
    if (row == 0 || at < 1 || at > resultCount_) return;
    grid.BeginUpdate();
    grid.DeleteRow(at);
    --resultCount_;
    // The rows left are still in order and the empty row still follows them; the columns
    // become as wide as they would be had the row never been added.
    grid.FitColumns(TReportGrid::FitFixed::Include, 1);
    grid.Refresh();
    grid.EndUpdate();
}

void SubmissionRun::Http1PacketRecvd() {
    std::int64_t expected = client_.bytesTotal();
    if (expected <= 0) expected = expectedSizeOf(catalog_, fields_.CurrentEngine);
    const std::int64_t received = client_.bytesReceived();
    const double percent = static_cast<double>(received) / static_cast<double>(expected) * 100.0;
    progress_.setGaugeVisible(true);
    progress_.setGaugeProgress(static_cast<int>(std::lround(std::clamp(percent, 0.0, 100.0))));
    progress_.setStatusText(std::to_string(received) + " of " + std::to_string(expected) +
                            " bytes retrieved");
}

void SubmissionRun::Timer1Timer() {
    progress_.showAnimationFrame(animationFrame_ >= 0 && animationFrame_ <= 9 ? animationFrame_ : -1);
    // Idle values stay idle; counting them up for the life of the window would overflow.
    if (animationFrame_ < IdleFrame) ++animationFrame_;
    if (animationFrame_ == 9) animationFrame_ = 0;
}

void SubmissionRun::PauseButtonClick() {
    if (progress_.pauseCaption() == PauseCaption) {
        progress_.setPauseCaption(ResumeCaption);
        paused_ = true;
    } else {
        progress_.setPauseCaption(PauseCaption);
        paused_ = false;
    }
}

void SubmissionRun::StopButtonClick() {
    if (!running_) return;
    stopRequested_ = true;
    if (inRequest_) client_.Abort();
    if (inLiveRequest_) live_->cancelAll();
}

void SubmissionRun::ErrorTrap(const std::string& message) {
    progress_.information(message, RunProgress::Message::Notice);
    if (message.find(FatalMarker) == std::string::npos) return;
    progress_.information(message + " This is a fatal error. Click OK to close Larkspan.",
                          RunProgress::Message::Notice);
    // The window closes; a run in progress ends first, without sending anything more.
    StopButtonClick();
    progress_.closeWindow();
}

void SubmissionRun::removeFooter() {
    // A later run continues below the earlier results: the earlier footer goes, and the row
    // after the last result is the empty row that the next result fills.
    TReportGrid& grid = results_.results();
    const int emptyRow = resultCount_ + 1;
    grid.BeginUpdate();
    if (grid.RowCount() > emptyRow + 1) grid.SetRowCount(emptyRow + 1);
    if (grid.RowCount() < emptyRow + 1) grid.SetRowCount(emptyRow + 1);
    for (int col = 0; col < grid.ColCount(); ++col)
        grid.SetCellText(col, emptyRow, "");
    grid.EndUpdate();
}

void SubmissionRun::appendFooter() {
    TReportGrid& grid = results_.results();
    grid.BeginUpdate();
    grid.SetRowCount(grid.RowCount() + 1);
    const int last = grid.RowCount() - 1;
    grid.SetCellText(0, last - 1, "More Info:");
    grid.SetCellText(1, last - 1, "This report prepared by Larkspan. Latest version from:");
    grid.SetCellText(1, last, footerAddress_);
    grid.FitColumns(TReportGrid::FitFixed::Include, 1);
    grid.Refresh();
    grid.EndUpdate();
}

void SubmissionRun::endRun() {
    appendFooter();
    progress_.setStatusText("");
    tally_.stopped = stopRequested_;
    progress_.information(runEndMessage(tally_), RunProgress::Message::RunEnded);
    progress_.setLabel("Finished!");
    animationFrame_ = IdleFrame;
    progress_.setGaugeVisible(false);
    progress_.setRunBar(RunProgress::RunBar::Idle);
    running_ = false;
    // Refusals and runs that sent nothing stay on the status line once the box is gone.
    if (std::string status = runEndStatus(tally_); !status.empty()) progress_.setStatusText(status);
}
