#pragma once

#include "core/google/IndexStatusQuota.h"

#include <chrono>
#include <functional>
#include <optional>
#include <string>

class LiveRun;

// Asks Google where the pages of a profile stand, after Search Console's announcements: the URL
// Inspection of the URLs the order chooses, within the quota, then the list of the property's
// sitemaps. Everything Google says is kept in the site store; what went wrong goes to the run's
// log (an inspection is no announcement, so nothing of it makes the run count as refused).

// Whether the token source may hand out the token it holds, or must fetch a new one.
enum class TokenRenewal { WhenExpired, Now };
// The service account's bearer token; nothing when none could be had (which was logged).
using TokenSource = std::function<std::optional<std::string>(TokenRenewal)>;

// The clock of the quota and the wait for its pace. Tests give a clock they move by hand and a
// wait that moves it; the program's wait keeps the event loop going.
struct InspectionPacing {
    const QuotaClock* clock = nullptr; // the system's when null
    std::function<void(std::chrono::milliseconds)> wait;
};

// What one call did, for the log's line and for tests.
struct InspectionTally {
    int inspected = 0;
    int indexed = 0;
    // Whether the sitemaps list was read and kept.
    bool sitemapsKept = false;
};

// Inspects URLs of the run's profile in the property and keeps the answers, then keeps the
// property's sitemap statuses. Only URLs the property covers are inspected; the log counts the
// others. A refusal of one URL skips it; a per-minute limit is waited out; a disabled API, a
// permission error or a spent day's quota ends the property's inspections. account is the
// service account's e-mail address, which the refusals of permission name. Sends through
// run.send (recorded, paused and stopped with the run). [Google] InspectPerRun=0 turns the
// inspections off; the sitemaps list is read all the same.
InspectionTally inspectIndexStatus(LiveRun& run, const std::string& property, const std::string& account,
                                   const TokenSource& token, const InspectionPacing& pacing = {});
