#include "core/channels/ChannelPlan.h"

#include "core/channels/ChannelTable.h"
#include "core/channels/LiveSite.h"
#include "core/sitemaps/SitemapSource.h"

PlanRun::PlanRun(const Config& config, std::string profileDirectory, std::string profileName,
                 LoadedProfile profile, SubmissionFields fields, Say say)
    : config_(config), profileDirectory_(std::move(profileDirectory)), profileName_(std::move(profileName)),
      profile_(std::move(profile)), fields_(std::move(fields)), say_(std::move(say)),
      client_(std::make_unique<LiveClient>(liveClientSettings(config_))) {}

PlanRun::~PlanRun() = default;

bool PlanRun::probe() {
    const std::optional<SiteProbe> found = probeSite(*client_, fields_.URL);
    if (!found) {
        refused("the profile URL \"" + fields_.URL + "\" names no web site");
        return false;
    }
    site_ = found->site;
    if (!found->note.empty()) log(found->note);
    return true;
}

LiveAnswer PlanRun::send(const std::string&, LiveRequest request) {
    return client_->perform(std::move(request));
}

std::vector<LiveAnswer> PlanRun::sendAll(const std::string&, std::vector<LiveRequest> requests) {
    return ClientSitemapSource::sendAll(*client_, std::move(requests));
}

void PlanRun::refused(const std::string& line) {
    refused_ = true;
    say_(line);
}

std::vector<PlannedRequest> planChannels(PlanRun& run) {
    std::vector<std::unique_ptr<LiveChannel>> used;
    for (const ChannelDeclaration* declaration : channelTable()) {
        std::unique_ptr<LiveChannel> channel = declaration->make();
        if (channel->uses(run)) used.push_back(std::move(channel));
    }
    if (used.empty() || !run.probe()) return {};
    std::vector<PlannedRequest> requests;
    for (const auto& channel : used) {
        std::vector<PlannedRequest> some = channel->plan(run);
        requests.insert(requests.end(), std::make_move_iterator(some.begin()),
                        std::make_move_iterator(some.end()));
    }
    return requests;
}
