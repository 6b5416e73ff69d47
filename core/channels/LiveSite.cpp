#include "core/channels/LiveSite.h"

#include "core/Config.h"
#include "platform/Text.h"

#ifndef LARKSPAN_VERSION
#define LARKSPAN_VERSION "0"
#endif

std::string liveUserAgent(const Config& config) {
    return std::string("Larkspan/") + LARKSPAN_VERSION + " (+" + config.productHomePage() + ")";
}

LiveClient::Settings liveClientSettings(const Config& config) {
    LiveClient::Settings settings;
    settings.proxy = config.proxy;
    settings.caFile = config.caFile;
    settings.userAgent = liveUserAgent(config);
    settings.perHost = config.livePerHost;
    settings.connections = config.liveConnections;
    settings.maxBodyBytes = config.maxBodySize;
    settings.deadline = std::chrono::seconds(config.requestDeadlineSeconds);
    return settings;
}

std::optional<Url> profileSiteUrl(std::string_view profileUrl) {
    std::string url(trimmed(profileUrl, " \t\r\n"));
    if (url.empty()) return std::nullopt;
    if (url.find("://") == std::string::npos) url = "http://" + url;
    return Url::parse(url);
}

std::optional<SiteProbe> probeSite(std::string_view profileUrl,
                                   const std::function<LiveAnswer(LiveRequest)>& send) {
    const std::optional<Url> typed = profileSiteUrl(profileUrl);
    if (!typed) return std::nullopt;
    LiveRequest request;
    request.method = Method::Get;
    request.url = typed->text();
    request.redirects = Redirects::AnyHost;
    // Only where the page answers from counts; its body is not read.
    request.sink = [](std::string_view) { return false; };
    const LiveAnswer answer = send(std::move(request));
    SiteProbe probe{*typed, {}, {}};
    std::optional<Url> final = answer.status > 0 ? Url::parse(answer.finalUrl) : std::nullopt;
    if (!final) {
        const std::string why = !answer.error.empty() ? answer.error : "its answer named no URL";
        probe.note =
            typed->text() + " could not be reached (" + printable(why) + "); its origin is taken as typed";
        if (answer.status == 0)
            probe.unreachable = typed->text() + " could not be reached (" + printable(why) + ")";
        return probe;
    }
    if (!final->sameOrigin(*typed)) probe.note = typed->text() + " answers from " + printable(final->text());
    probe.site = *final;
    return probe;
}

std::optional<SiteProbe> probeSite(LiveClient& client, std::string_view profileUrl) {
    return probeSite(profileUrl,
                     [&client](LiveRequest request) { return client.perform(std::move(request)); });
}
