#pragma once

#include "http/live/LiveClient.h"

#include <exception>
#include <string>
#include <string_view>
#include <vector>

class RunPageChecks;
class SiteReading;
struct Config;
struct SubmissionFields;

// What a live channel may do while a run submits one profile. The run gives it the profile and
// carries out the rest the way it does for the catalogue: requests through the live client (with
// its deadline, bounds, proxy, Pause and Stop), a record of each hop in the request log, result
// rows, and log lines.
class LiveRun {
public:
    // Stop was pressed: a channel lets it pass, and the run ends.
    class Stopped : public std::exception {
    public:
        const char* what() const noexcept override { return "Stopped"; }
    };

    virtual ~LiveRun() = default;

    // The profile's name (its file name without ".ini").
    virtual const std::string& profileName() const = 0;
    // The profile's prepared fields; the channels read its URL and its site title.
    virtual const SubmissionFields& fields() const = 0;
    // A value of the profile's file beside the sixteen fields (Sitemap, IndexNowKey, ...);
    // empty when it has none.
    virtual std::string profileValue(std::string_view key) const = 0;
    // The directory of the profiles, beside which a channel keeps what it must remember.
    virtual const std::string& profileDirectory() const = 0;
    virtual const Config& config() const = 0;

    // The site as the probe of the profile URL found it: the URL its home page answers from
    // after redirects, whose scheme, host and port are the site's origin. robots.txt, the key
    // file, IndexNow's host, every scope check and the default Search Console property use it.
    virtual const Url& site() const = 0;

    // Sends one request for the named engine (waiting first while the run is paused) and
    // returns the answer, whatever its status or failure. Every hop of it becomes a record of
    // the request log. Throws Stopped when Stop was pressed.
    virtual LiveAnswer send(const std::string& engine, LiveRequest request) = 0;
    // Sends several requests at once (as many at a time as the client allows) and returns
    // their answers in the same order, once all have ended; otherwise as send.
    virtual std::vector<LiveAnswer> sendAll(const std::string& engine, std::vector<LiveRequest> requests) = 0;
    // The engine accepted the submission: a result row (the engine, the site title), sorted in
    // with the catalogue's.
    virtual void accepted(const std::string& engine) = 0;
    // The engine refused the submission or could not be reached: the line goes to the run's
    // log, and the run counts as refused (the headless command says so in its exit status).
    virtual void refused(const std::string& logLine) = 0;
    // A line for the run's log that is no refusal (what was left out, and why).
    virtual void log(const std::string& line) = 0;
    // The pages checked in this run, shared by the channels, so that a page is checked once.
    virtual RunPageChecks& pageChecks() = 0;
    // What the run read of the site for this profile before its channels (robots.txt, the
    // sitemaps, the site in the store; see SiteReading): read once, on first use.
    virtual SiteReading& reading() = 0;
    // A dry run reads what a run reads, but takes every request that would change something at a
    // service (a submission, a token request) without sending it, and answers it with a stand-in
    // that a service would give to a submission it takes. A channel then writes nothing to the
    // site store, signs nothing, and stops where the run's submissions end; its log speaks of
    // what a run would do.
    virtual bool dryRun() const { return false; }
};

// One request that a dry run took instead of sending: what the `requests` command prints and
// what tests compare with the requests a run does send.
struct PlannedRequest {
    std::string engine;
    Method method = Method::Get;
    std::string url;
    std::string body;
};

// A service that takes submissions today. A run announces each complete profile to every
// channel after its catalogue entries; a channel that the profile does not use does nothing.
class LiveChannel {
public:
    virtual ~LiveChannel() = default;
    // A run begins: what a channel keeps for the length of one run starts afresh.
    virtual void beginRun() {}
    // Whether the profile uses this channel (it names the channel's key); the run probes the
    // site's origin only for a profile that uses a channel.
    virtual bool uses(const LiveRun& run) const = 0;
    // Announces the profile through the run, or, in a dry run, goes the same way without
    // submitting anything (see LiveRun::dryRun). Called only for a profile that uses the channel.
    virtual void announce(LiveRun& run) = 0;
};
