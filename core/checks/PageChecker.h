#pragma once

#include "core/checks/PageCheck.h"
#include "core/checks/RobotsFetch.h"
#include "core/checks/RobotsTxt.h"
#include "http/live/LiveClient.h"

#include <chrono>
#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

struct Config;

// How the checker treats a site: pages at once, pages per call, and the longest it waits for a
// site that asked it to slow down.
struct PageCheckerSettings {
    int perHost = 4;
    std::size_t maxPages = 50'000;
    std::chrono::seconds maxPause{600};
};
PageCheckerSettings pageCheckerSettings(const Config& config);

// Fetches pages through the live client the way a search engine's crawler would see them, and
// hands each answer to analysePage with the robots.txt decisions for Googlebot and bingbot.
// Each origin's robots.txt is fetched once (a 4xx or more than five redirects means there are no
// rules, a 5xx, a 429 or no answer that nothing may be fetched). Pages are fetched several at a time,
// following redirects to any host, reading at most PageCheck::MaxBodyBytes of a body. A 429 or 503 pauses the
// checks by its Retry-After (all pauses together at most maxPause) and the page is asked for again.
//
// The requests go through the checker's own live client (the headless commands), perHost pages
// in flight, or through a send function that starts several at once and returns their answers
// once all have ended: a run's, so that the checks are requests of the run (recorded, paused and
// stopped with it), in rounds of perHost pages.
class PageChecker {
public:
    using Report = std::function<void(const PageCheck&)>;
    using Send = std::function<std::vector<LiveAnswer>(std::vector<LiveRequest>)>;

    PageChecker(LiveClient& client, PageCheckerSettings settings);
    PageChecker(Send send, PageCheckerSettings settings);

    // Checks the URLs (the first maxPages of them) and returns when every one is done, calling
    // report (on the calling thread) with each record as its page is done. Pages go out perHost
    // at a time and are parsed on a thread of the checker's own; the event loop is pumped
    // meanwhile. A text that is no http or https URL gets a record with an error.
    // Returns how many pages were checked.
    std::size_t check(const std::vector<std::string>& urls, const Report& report);

    // The robots.txt rules of an origin ("https://host:port") as the checks use them.
    const RobotsTxt& robotsFor(const std::string& origin);
    // Why the origin's robots.txt could not be read (see robotsTxtProblem); empty when it
    // could, or was not fetched yet. Each page of such an origin is an error for that reason.
    std::string robotsProblem(const std::string& origin) const;
    // Takes an origin's robots.txt as a run read it already, instead of fetching it again.
    void useRobots(const std::string& origin, RobotsReading robots);

    // A body as it arrives (kept for the .cpp).
    struct Collected;

private:
    class Analysis;
    struct Run;
    struct Page;
    // Keeps perHost pages in flight on the checker's own client.
    void checkRolling(Run& run);
    // Sends the pages through the send function, perHost at a time.
    void checkInRounds(Run& run);
    // Sends one round of pages through the send function and hands each answer on.
    void sendRound(Run& run, std::vector<std::size_t> indices);
    // The page's request, with robots.txt's decisions in its record; nothing for a text that is
    // no URL, which is reported at once.
    std::optional<LiveRequest> prepare(Run& run, Page& page);
    // A page the site asked to wait for goes back into the queue; the others are reported.
    void answered(Run& run, Page& page, LiveAnswer answer);
    // Waits until a pause that a site asked for is over.
    void waitForResume(const Run& run);
    void finishPage(Run& run, PageFetch& fetch, LiveAnswer answer, Collected& body);
    bool holdBack(Run& run, std::size_t index, const LiveAnswer& answer);

    Send send_;
    // The checker's own client, when it has one; otherwise the pages go out in rounds of
    // perHost through send_.
    LiveClient* client_ = nullptr;
    PageCheckerSettings settings_;
    std::map<std::string, RobotsReading> robots_;
};
