#pragma once

#include "core/run/RequestRecord.h"
#include "core/run/RunClient.h"
#include "core/run/RunHost.h"
#include "core/profiles/SiteProfile.h"
#include "core/profiles/SubmissionList.h"
#include "grid/ReportGrid.h"
#include "platform/EventLoop.h"

#include <functional>
#include <string>
#include <vector>

// A host that records everything the run shows, with hooks that act like a user: they fire
// when the label changes (a request is about to go out), when a message is shown and when the
// run waits while paused.
class FakeRunHost : public RunHost {
public:
    explicit FakeRunHost(const std::string& profileDir) : store(profileDir) {
        grid.SetTextMeasure(&measure);
        list.SetTextMeasure(&measure);
    }

    // Lists the profiles of the directory into the submission list, as the window does.
    void listProfiles() { fillSubmissionList(list, store.list()); }
    // Highlights list rows first to last, as a drag with the mouse does.
    void select(int first, int last) { list.SetSelection({0, first, 0, last}); }

    std::string fieldText(std::size_t field) const override { return editor.at(field); }
    void setFieldText(std::size_t field, const std::string& text) override { editor.at(field) = text; }
    void loadProfile(const std::string& name) override {
        if (onLoad) onLoad(name);
        editor = store.load(name);
        loaded.push_back(name);
    }
    void setCurrentSelection(const std::string& name) override { currentSelection = name; }
    TReportGrid& submitList() override { return list; }
    TReportGrid& results() override { return grid; }
    void setLabel(const std::string& text) override {
        label = text;
        events.push_back("label:" + text);
        if (onLabel) onLabel(text);
    }
    void setStatusText(const std::string& text) override {
        status = text;
        events.push_back("status:" + text);
    }
    void setGaugeVisible(bool visible) override { gaugeVisible = visible; }
    void setGaugeProgress(int percent) override { gauge = percent; }
    void showAnimationFrame(int frame) override { shownFrame = frame; }
    void setRunBar(RunBar state) override { bar = state; }
    std::string pauseCaption() const override { return pause; }
    void setPauseCaption(const std::string& caption) override { pause = caption; }
    void appendLog(const std::string& line) override {
        log.push_back(line);
        events.push_back("log:" + line);
    }
    void information(const std::string& message, Message kind) override {
        messages.push_back(message);
        messageKinds.push_back(kind);
        events.push_back("message:" + message);
        // What the user sees when the box comes up.
        barAtMessage = bar;
        statusAtMessage = status;
        if (onMessage) onMessage(message);
    }
    void closeWindow() override { ++closed; }
    void waitForEvents() override {
        ++waits;
        if (onWait)
            onWait();
        else
            EventLoop::instance().pump(EventLoop::PumpMode::DontWait);
    }
    void record(const RequestRecord& r) override { records.push_back(r); }

    // The status texts set after the label became text, up to the next label.
    std::vector<std::string> statusesAfterLabel(const std::string& text) const {
        std::vector<std::string> result;
        bool inside = false;
        for (const std::string& e : events) {
            if (e.rfind("label:", 0) == 0)
                inside = e == "label:" + text;
            else if (inside && e.rfind("status:", 0) == 0)
                result.push_back(e.substr(7));
        }
        return result;
    }
    int countEvents(const std::string& prefix) const {
        int n = 0;
        for (const std::string& e : events)
            n += e.rfind(prefix, 0) == 0 ? 1 : 0;
        return n;
    }

    ProfileFiles store;
    SiteProfile editor{};
    FixedWidthMeasure measure;
    TReportGrid list{1, 2, 0, 1};
    TReportGrid grid{2, 2, 1, 1};
    std::string currentSelection;
    std::string label = "Report";
    std::string status;
    bool gaugeVisible = false;
    int gauge = -1;
    int shownFrame = -2;
    RunBar bar = RunBar::Idle;
    RunBar barAtMessage = RunBar::Idle;
    std::string statusAtMessage;
    std::string pause = "Pause";
    std::vector<std::string> loaded;
    std::vector<std::string> log;
    std::vector<std::string> messages;
    std::vector<Message> messageKinds;
    std::vector<std::string> events;
    std::vector<RequestRecord> records;
    int closed = 0;
    int waits = 0;
    std::function<void(const std::string&)> onLabel;
    std::function<void(const std::string&)> onMessage;
    std::function<void(const std::string&)> onLoad;
    std::function<void()> onWait;
};

// A client that records the requests and lets a test decide how each one ends.
class FakeRunClient : public RunClient {
public:
    struct Call {
        std::string method;
        std::string url;
        std::string body;
        int timeOut = 0;
    };

    void Get(const std::string& url) override { request({"get", url, "", timeOut}); }
    void Post(const std::string& url, const std::string& body) override {
        request({"post", url, body, timeOut});
    }
    void Abort() override {
        ++aborts;
        aborted = true;
    }
    void setTimeOut(int milliseconds) override { timeOut = milliseconds; }
    std::int64_t bytesTotal() const override { return total; }
    std::int64_t bytesReceived() const override { return received; }
    std::optional<int> replyStatus() const override { return status; }
    std::string replyReason() const override { return reason; }
    void setMaxBodySize(std::uint64_t bytes) override { maxBodySize = bytes; }
    void setRequestDeadline(int milliseconds) override { deadline = milliseconds; }
    void setProxy(const std::string& host, int port) override {
        proxyHost = host;
        proxyPort = port;
    }

    // Delivers a packet as the real client does while it reads a response.
    void packet(std::int64_t announced, std::int64_t soFar) {
        total = announced;
        received = soFar;
        if (OnPacketRecvd) OnPacketRecvd();
    }

    std::vector<Call> calls;
    // Runs inside each request; it may deliver packets, act as the user or throw.
    std::function<void(const Call&)> behaviour;
    int timeOut = 0;
    std::int64_t total = 0;
    std::int64_t received = 0;
    // What every answer's status line says.
    std::optional<int> status = 200;
    std::string reason = "OK";
    std::uint64_t maxBodySize = 0;
    int deadline = 0;
    std::string proxyHost = "unset";
    int proxyPort = -1;
    int aborts = 0;
    bool aborted = false;

private:
    void request(const Call& call) {
        calls.push_back(call);
        aborted = false;
        if (behaviour) behaviour(call);
        if (aborted) throw std::runtime_error("aborted");
    }
};
