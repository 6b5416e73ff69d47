#pragma once

#include "core/EngineCatalog.h"
#include "core/SubmissionFields.h"

#include <cstdint>
#include <string>
#include <vector>

class RunClient;
class RunHost;
class TReportGrid;
struct Config;

// The submission run: for every selected profile, one request to each catalogue entry, strictly
// one after another, each becoming a row of the results table. One instance lives as long as
// the window (or the headless command) and keeps its state between runs: the results, the row
// count and the targets that failed.
//
// Requests block the run, but the client pumps the event loop while it waits, so the handlers
// below (the packet event, the timer, Pause and Stop) run nested inside Site.
class SubmissionRun {
public:
    // Milliseconds each wait of a request may last.
    static constexpr int RequestTimeOut = 5000;
    // The animation frame value at which the timer shows no frame.
    static constexpr int IdleFrame = 20;

    SubmissionRun(RunHost& host, RunClient& client, const Config& config);
    SubmissionRun(const SubmissionRun&) = delete;
    SubmissionRun& operator=(const SubmissionRun&) = delete;

    // What the window does once when it is created: the results table's header, the idle run
    // bar and animation, and the client's settings (the body-size bound, the whole-request
    // deadline and the proxy of the configuration).
    void Start();

    // "Go!": submits the profiles of the submission list's selection rectangle.
    void GoButtonClick();
    // A run over the named profiles, in the given order.
    void Submit(const std::vector<std::string>& names);
    // Adds the row for one request, then sends it unless the same target failed before.
    void Site(const std::string& engineName, const std::string& url, const std::string& method,
              const std::string& body);
    // Adds one result row and keeps the table sorted by engine name with fitted columns.
    void DoGrid(const std::string& engineName, const std::string& siteTitle);
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

    // The names of the submission list's rows that lie in its selection rectangle, in list
    // order; the header row never counts.
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
    void submitProfile(const std::string& name);
    void waitWhilePaused();
    void removeFooter();
    void appendFooter();
    void endRun();

    RunHost& host_;
    RunClient& client_;
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
};
