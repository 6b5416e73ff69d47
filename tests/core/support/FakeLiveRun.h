#pragma once

#include "core/Config.h"
#include "core/catalogue/SubmissionFields.h"
#include "core/channels/LiveChannel.h"
#include "core/channels/SiteRead.h"
#include "core/checks/RunPageChecks.h"
#include "core/profiles/SiteProfile.h"
#include "http/Url.h"

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// What a channel is given by a run, without a run: a profile, a configuration, the site's
// origin and answers that the test writes by URL. It keeps what the channel sends, accepts,
// refuses and logs, so that one channel can be tested on its own.
class FakeLiveRun final : public LiveRun {
public:
    struct Sent {
        std::string engine;
        Method method;
        std::string url;
        std::string body;
    };

    FakeLiveRun(std::string profileDirectory, std::string profileName, const std::string& site)
        : directory_(std::move(profileDirectory)), name_(std::move(profileName)), site_(*Url::parse(site)) {
        profileFields.URL = site;
        profileFields.SiteTitle = name_;
        settings.checkPages = false;
    }

    const std::string& profileName() const override { return name_; }
    const SubmissionFields& fields() const override { return profileFields; }
    std::string profileValue(std::string_view key) const override { return profile.extra(key); }
    const std::string& profileDirectory() const override { return directory_; }
    const Config& config() const override { return settings; }
    const Url& site() const override { return site_; }

    // The answer of respond when a test set it, else the answer written for the URL, else 404
    // Not Found; a 2xx body goes to the request's sink when it has one, as the live client does.
    LiveAnswer send(const std::string& engine, LiveRequest request) override {
        sent.push_back({engine, request.method, request.url, request.body});
        const auto written = answers.find(request.url);
        LiveAnswer answer;
        answer.status = 404;
        answer.reason = "Not Found";
        if (respond)
            answer = respond(request);
        else if (written != answers.end())
            answer = written->second;
        answer.finalUrl = request.url;
        answer.hops = {{request.url, answer.status, answer.reason, answer.body.size(), 0}};
        if (request.sink && answer.status >= 200 && answer.status <= 299) {
            request.sink(answer.body);
            answer.body.clear();
        }
        return answer;
    }
    std::vector<LiveAnswer> sendAll(const std::string& engine, std::vector<LiveRequest> requests) override {
        std::vector<LiveAnswer> all;
        for (LiveRequest& request : requests)
            all.push_back(send(engine, std::move(request)));
        return all;
    }
    void accepted(const std::string& engine) override { acceptedBy.push_back(engine); }
    void refused(const std::string& line) override { refusals.push_back(line); }
    void log(const std::string& line) override { lines.push_back(line); }
    // The channel's sending is what these tests look at; the page checks have tests of their own,
    // so every page passes unless a test switches them on before the first announcement.
    RunPageChecks& pageChecks() override {
        if (!checks_) checks_.emplace(settings);
        return *checks_;
    }

    // The site read through this run, as a run reads it before its channels.
    SiteReading& reading() override {
        if (!reading_) reading_ = std::make_unique<SiteReading>(*this);
        return *reading_;
    }

    // The requests sent other than GETs: what a channel announces with.
    std::vector<Sent> announcements() const {
        std::vector<Sent> out;
        for (const Sent& s : sent)
            if (s.method != Method::Get) out.push_back(s);
        return out;
    }

    LoadedProfile profile;
    SubmissionFields profileFields;
    Config settings;
    std::map<std::string, LiveAnswer> answers;
    std::function<LiveAnswer(const LiveRequest& request)> respond;
    std::vector<Sent> sent;
    std::vector<std::string> acceptedBy;
    std::vector<std::string> refusals;
    std::vector<std::string> lines;

private:
    std::string directory_;
    std::string name_;
    Url site_;
    std::optional<RunPageChecks> checks_;
    std::unique_ptr<SiteReading> reading_;
};
