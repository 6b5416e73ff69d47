#pragma once

#include "core/Config.h"
#include "core/catalogue/EngineCatalog.h"
#include "core/catalogue/SubmissionFields.h"
#include "core/channels/LiveChannel.h"
#include "core/run/RequestRecorder.h"
#include "core/run/RunSummary.h"
#include "grid/ReportGrid.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class RunClient;
class RunEditor;
class RunPageChecks;
class RunHost;
class RunLog;
class RunProgress;
class SiteReading;
class RunResults;

// The submission run: for every selected profile, one request to each catalogue entry, strictly
// one after another, each becoming a row of the results table. One instance lives as long as
// the window (or the headless command) and keeps its state between runs: the results, the row
// count and the targets that failed.
//
// After a profile's catalogue entries, the live channels announce it to today's services;
// with the catalogue switched off, they alone do.
//
// Requests block the run, but the client pumps the event loop while it waits, so the handlers
// below (the packet event, the timer, Pause and Stop) run nested inside Site. The live channels'
// requests go through the live client, which pumps the same loop while the run waits for them.
class SubmissionRun : private LiveRun {
public:
    // Milliseconds each wait of a request may last.
    static constexpr int RequestTimeOut = 5000;
    // The animation frame value at which the timer shows no frame.
    static constexpr int IdleFrame = 20;

    // The run reads the editor, shows its progress, adds results and records, and logs, each
    // through its own part of the host.
    SubmissionRun(RunHost& host, RunClient& client, const Config& config);
    ~SubmissionRun() override;
    SubmissionRun(const SubmissionRun&) = delete;
    SubmissionRun& operator=(const SubmissionRun&) = delete;

    // Announces every profile to this channel too, after the catalogue, in the order added.
    void addChannel(std::unique_ptr<LiveChannel> channel);
    // Where the profiles live: the channels read their keys there and keep their state
    // beside them.
    void setProfileDirectory(std::string directory) { profileDirectory_ = std::move(directory); }
    // Whether runs send to the 32 entries of the catalogue ([Run] Catalogue, the Options page).
    void setCatalogueEnabled(bool enabled) { catalogueEnabled_ = enabled; }
    bool catalogueEnabled() const { return catalogueEnabled_; }
    // A live channel refused a submission of the last run, or could not be reached.
    bool liveRefused() const { return liveRefused_; }
    // What the last run (or the one going) sent, refused and left out.
    const RunTally& tally() const { return tally_; }

    // What the window does once when it is created: the results table's header, the idle run
    // bar and animation, and the client's settings (the body-size bound, the whole-request
    // deadline and the proxy of the configuration).
    void Start();

    // "Go!": submits the profiles highlighted in the submission list.
    void GoButtonClick();
    // A run over the named profiles, in the given order.
    void Submit(const std::vector<std::string>& names);
    // Adds the row for one request, then sends it unless the same target failed before. The row
    // stays only when the request was answered: a failed, skipped or stopped one takes it out.
    void Site(const std::string& engineName, const std::string& url, const std::string& method,
              const std::string& body);
    // Adds one result row and keeps the table sorted by engine name with fitted columns; gives
    // the row's identity, by which it is found again after later sorts.
    TReportGrid::RowId DoGrid(const std::string& engineName, const std::string& siteTitle);
    // The client's packet event: the gauge and "n of m bytes retrieved".
    void Http1PacketRecvd();
    // The 200 ms tick of the busy animation.
    void Timer1Timer();
    // Toggles between "Pause" and "Resume"; a paused run waits before its next request.
    void PauseButtonClick();
    // Aborts the request in flight and ends the run as a normal end.
    void StopButtonClick();
    // Shows a message; a message containing "Fatal Error" also closes the window.
    void ErrorTrap(const std::string& message);

    // The names of the submission list's highlighted rows, in list order: the marked rows when
    // any is marked, else those of the selection rectangle; the header row never counts.
    static std::vector<std::string> selectedProfiles(const TReportGrid& list);

    bool running() const { return running_; }
    bool Paused() const { return paused_; }
    bool stopRequested() const { return stopRequested_; }
    int ResultCount() const { return resultCount_; }
    int AnimationFrame() const { return animationFrame_; }
    const SubmissionFields& Fields() const { return fields_; }
    // Every request target that failed, each on its own; never cleared.
    const std::vector<std::string>& FailedURLs() const { return failedURLs_; }
    // Whether a request for this URL or target is skipped: it occurs within one target that
    // failed before. All shared-service entries have the same target, so once it failed the
    // later ones are skipped.
    bool failedBefore(const std::string& url) const;

private:
    // What the live channels are given.
    const std::string& profileName() const override { return profileName_; }
    const SubmissionFields& fields() const override { return fields_; }
    std::string profileValue(std::string_view key) const override;
    const std::string& profileDirectory() const override { return profileDirectory_; }
    const Config& config() const override { return config_; }
    const Url& site() const override { return site_; }
    LiveAnswer send(const std::string& engine, LiveRequest request) override;
    std::vector<LiveAnswer> sendAll(const std::string& engine, std::vector<LiveRequest> requests) override;
    // The live client, made when the first live request goes out.
    LiveClient& liveClient();
    // Probes the profile URL for the site's origin and reads the site; false (said, in red when
    // the site could not be read) when nothing may be announced for the profile.
    bool readSite();
    SiteReading& reading() override { return *reading_; }
    void accepted(const std::string& engine) override;
    void refused(const std::string& logLine) override;
    void log(const std::string& line) override;
    RunPageChecks& pageChecks() override;

    // Which client carries a request, so that Stop aborts the one in flight.
    enum class Carrier { Catalogue, Live };
    // One request (or several sent at once) as the run's one request path takes it.
    struct RequestTurn {
        const std::string& engine;
        Carrier carrier;
        // The catalogue's result row, added between the gauge's reset and the label.
        std::function<void()> row = {};
        // Whether the request is left out (its target failed before); it records that itself.
        std::function<bool()> skipped = {};
        // Sends and records the request; runs while the request is in flight.
        std::function<void()> send = {};
    };
    // The one path of every request of the run, the catalogue's and the channels': it waits
    // while the run is paused, goes no further once Stop was pressed, resets the gauge and
    // shows the engine on the label, sets the catalogue client's wait, and marks the request in
    // flight while it is sent, so that Stop aborts it. False when Stop came before it went out.
    bool request(const RequestTurn& turn);
    // Sends one catalogue request; nothing when it was answered, else why it failed (a failure
    // that was no Stop is logged and its target remembered).
    std::optional<std::string> sendCatalogue(const std::string& engineName, const std::string& url,
                                             const std::string& method, const std::string& body);

    // Takes a result row out again (a request that was not answered), keeping the table
    // sorted and fitted with its empty last row.
    void removeResult(TReportGrid::RowId row);

    void submitProfile(const std::string& name);
    void announceLive();
    void waitWhilePaused();
    void removeFooter();
    void appendFooter();
    void endRun();

    RunEditor& editor_;
    RunProgress& progress_;
    RunResults& results_;
    RunLog& log_;
    RunClient& client_;
    Config config_;
    std::vector<std::unique_ptr<LiveChannel>> channels_;
    std::unique_ptr<LiveClient> live_;
    // Made afresh by each run.
    std::unique_ptr<RunPageChecks> pageChecks_;
    // What was read of the site of the profile being announced.
    std::unique_ptr<SiteReading> reading_;
    Url site_;
    std::string profileDirectory_;
    std::string profileName_;
    // The profile being submitted as its file held it when its turn came; the channels read
    // their keys here.
    LoadedProfile profile_;
    bool catalogueEnabled_ = true;
    bool liveRefused_ = false;
    RunTally tally_;
    std::vector<EngineEntry> catalog_;
    std::string footerAddress_;
    std::uint64_t maxBodySize_;
    int deadlineMilliseconds_;
    std::string caFile_;
    std::string proxyHost_;
    int proxyPort_ = 0;

    SubmissionFields fields_;
    std::vector<std::string> failedURLs_;
    int resultCount_ = 0;
    int animationFrame_ = IdleFrame;
    bool paused_ = false;
    bool running_ = false;
    bool stopRequested_ = false;
    bool inRequest_ = false;
    bool inLiveRequest_ = false;
};
