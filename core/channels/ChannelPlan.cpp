#include "core/channels/ChannelPlan.h"

#include "core/channels/ChannelTable.h"
#include "core/channels/LiveSite.h"
#include "core/channels/SiteRead.h"
#include "core/sitemaps/SitemapSource.h"

#include <algorithm>

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
    if (found->unreachable.empty() && !found->note.empty()) log(found->note);
    reading_ = std::make_unique<SiteReading>(*this, found->unreachable);
    if (reading_->unreadable().empty()) return true;
    refused(SiteReading::unreadableLine(fields_.SiteTitle, reading_->unreadable()));
    return false;
}

SiteReading& PlanRun::reading() {
    if (!reading_) reading_ = std::make_unique<SiteReading>(*this);
    return *reading_;
}

namespace {

// What a run may send in a dry run: what only reads.
bool onlyReads(const LiveRequest& request) {
    return request.method == Method::Get || request.method == Method::Head;
}

} // namespace

LiveAnswer PlanRun::send(const std::string& engine, LiveRequest request) {
    if (!onlyReads(request)) return take(engine, request);
    return client_->perform(std::move(request));
}

std::vector<LiveAnswer> PlanRun::sendAll(const std::string& engine, std::vector<LiveRequest> requests) {
    // Reads go out together, as a run sends them.
    if (std::all_of(requests.begin(), requests.end(), onlyReads))
        return ClientSitemapSource::sendAll(*client_, std::move(requests));
    std::vector<LiveAnswer> answers;
    for (LiveRequest& request : requests)
        answers.push_back(send(engine, std::move(request)));
    return answers;
}

LiveAnswer PlanRun::take(const std::string& engine, const LiveRequest& request) {
    planned_.push_back({engine, request.method, request.url, request.body});
    LiveAnswer answer;
    answer.status = 200;
    answer.reason = "OK";
    answer.finalUrl = request.url;
    return answer;
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
    for (const auto& channel : used)
        channel->announce(run);
    return run.takePlanned();
}
