#pragma once

#include "core/Config.h"
#include "core/catalogue/SubmissionFields.h"
#include "core/channels/LiveChannel.h"
#include "core/checks/RunPageChecks.h"
#include "core/profiles/SiteProfile.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

class LiveClient;
class SiteReading;

// The dry run of the `requests` command: each channel of the table announces one profile
// through it as a run would, but nothing that would change something at a service is sent.
// Reads (the probe, robots.txt, sitemaps, key files) go out through a live client of its own
// and leave no record; every other request is taken as a PlannedRequest and answered with a
// stand-in. Nothing is recorded, and every line a channel logs or refuses with goes to `say`.
class PlanRun final : public LiveRun {
public:
    using Say = std::function<void(const std::string& line)>;

    PlanRun(const Config& config, std::string profileDirectory, std::string profileName,
            LoadedProfile profile, SubmissionFields fields, Say say);
    ~PlanRun() override;
    PlanRun(const PlanRun&) = delete;
    PlanRun& operator=(const PlanRun&) = delete;

    // Probes the profile URL for the site's origin and reads the site, as a run does once per
    // profile; false (said) when the URL names no web site or the site could not be read.
    bool probe();
    // A channel refused: its keys cannot be used, or what it must read could not be.
    bool refusedAny() const { return refused_; }
    // The requests taken instead of sent so far, in the order a run would send them.
    std::vector<PlannedRequest> takePlanned() { return std::move(planned_); }

    const std::string& profileName() const override { return profileName_; }
    const SubmissionFields& fields() const override { return fields_; }
    std::string profileValue(std::string_view key) const override { return profile_.extra(key); }
    const std::string& profileDirectory() const override { return profileDirectory_; }
    const Config& config() const override { return config_; }
    const Url& site() const override { return site_; }
    LiveAnswer send(const std::string& engine, LiveRequest request) override;
    std::vector<LiveAnswer> sendAll(const std::string& engine, std::vector<LiveRequest> requests) override;
    void accepted(const std::string&) override {}
    void refused(const std::string& line) override;
    void log(const std::string& line) override { say_(line); }
    // A dry run checks no page: it names the announcements as if every page passed its check.
    RunPageChecks& pageChecks() override { return checks_; }
    bool dryRun() const override { return true; }
    SiteReading& reading() override;

private:
    // Takes a request that would change something at a service, and answers it as a service
    // that takes it would.
    LiveAnswer take(const std::string& engine, const LiveRequest& request);

    Config config_;
    std::string profileDirectory_;
    std::string profileName_;
    LoadedProfile profile_;
    SubmissionFields fields_;
    Say say_;
    std::unique_ptr<LiveClient> client_;
    Url site_;
    bool refused_ = false;
    std::vector<PlannedRequest> planned_;
    RunPageChecks checks_{uncheckedConfig(config_)};
    std::unique_ptr<SiteReading> reading_;

    static Config uncheckedConfig(Config config) {
        config.checkPages = false;
        return config;
    }
};

// The dry run of every channel of the table that the profile uses, in the table's order, and
// the requests it took; the site is probed once before the first. Nothing when no channel is
// used.
std::vector<PlannedRequest> planChannels(PlanRun& run);
