#pragma once

#include "core/checks/RobotsTxt.h"
#include "http/live/LiveClient.h"

#include <memory>
#include <string>

// The request for an origin's robots.txt ("https://host:port"), as every reader of the file
// makes it: redirects followed as crawlers follow them (five, to any host, also from https to
// http), and the first RobotsTxt::MaxBytes + 1 bytes of the body appended to body (one byte past
// the limit tells the parser that the file goes on, so that it drops a line the limit cuts).
LiveRequest robotsTxtRequest(const std::string& origin, std::shared_ptr<std::string> body);

// What a robots.txt answer means for the crawlers.
struct RobotsReading {
    std::shared_ptr<const RobotsTxt> rules;
    // Why the site cannot be read (see robotsTxtProblem); empty when it can.
    std::string problem;
    // What a check of the origin's pages notes about the file ("robots.txt redirected more than
    // five times; everything is allowed"); empty for none.
    std::string note;
};
// The note of a robots.txt that redirected more than five times.
constexpr const char* RobotsRedirectedTooOften =
    "robots.txt redirected more than five times; everything is allowed";

// The rules of the answer: those of a 2xx body; none for a file that is unavailable (another
// 4xx, or more than five redirects, as a crawler may treat it); everything disallowed, with a
// problem, for a site that could not be read.
RobotsReading readRobotsAnswer(const LiveAnswer& answer, const std::string& body);

// Why a robots.txt answer leaves the site unreadable: no answer at all ("robots.txt could not
// be fetched: CAUSE"), or a server error or 429 ("robots.txt answered 503"); empty for an answer
// that gives the rules (2xx) or says there are none (another 4xx, too many redirects).
std::string robotsTxtProblem(const LiveAnswer& answer);
