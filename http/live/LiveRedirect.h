#pragma once

#include "http/live/LiveClient.h"

#include <optional>
#include <string>

// What the live client does with one answer of a hop, by the rules of Redirects.
struct RedirectStep {
    // The next URL to ask; nothing when the answer is the request's answer, or when it failed.
    std::optional<Url> next;
    // Why the request failed instead (empty when it did not).
    std::string error;
};

// The redirect rules: a 301, 302, 303, 307 or 308 with a Location is followed unless the mode
// refuses redirects, at most 5 times, from https to http only for robots.txt, and within the
// origin when the mode says so. followed counts the redirects already followed.
RedirectStep redirectStep(const Url& current, int status, const std::string& location, Redirects mode,
                          int followed);

// How the request changes when it follows a redirect: a 303 (and a 301 or 302 of a POST) asks
// again with GET and without the body, as browsers do; Authorization stays with its origin.
void adaptForRedirect(LiveRequest& request, int status, const Url& from, const Url& to);
