#include "http/live/LiveRedirect.h"

#include "http/live/LiveText.h"
#include "platform/Text.h"

#include <algorithm>

std::string_view methodName(Method method) {
    switch (method) {
    case Method::Get:
        return "GET";
    case Method::Head:
        return "HEAD";
    case Method::Post:
        return "POST";
    case Method::Put:
        return "PUT";
    }
    return "GET";
}

std::optional<Method> parseMethod(std::string_view name) {
    for (Method m : {Method::Get, Method::Head, Method::Post, Method::Put})
        if (methodName(m) == name) return m;
    return std::nullopt;
}

std::string headerValue(const HeaderList& headers, std::string_view name) {
    for (const auto& [key, value] : headers)
        if (equalsIgnoringCase(key, name)) return std::string(trimmed(value));
    return {};
}

namespace {

bool isRedirect(int status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

std::string named(const std::string& location) {
    return "(Location \"" + printable(location) + "\")";
}

} // namespace

RedirectStep redirectStep(const Url& current, int status, const std::string& location, Redirects mode,
                          int followed) {
    if (mode == Redirects::Refuse || !isRedirect(status) || location.empty()) return {};
    if (followed >= 5) {
        if (mode == Redirects::RobotsTxt) return {};
        return {std::nullopt, "gave up after 5 redirects " + named(location)};
    }
    auto next = current.resolve(location);
    if (!next) return {std::nullopt, "the redirect leads to no http or https URL " + named(location)};
    if (current.scheme() == "https" && next->scheme() == "http" && mode != Redirects::RobotsTxt)
        return {std::nullopt, "refused to follow a redirect from https to http " + named(location)};
    if (mode == Redirects::SameOrigin && !next->sameOrigin(current))
        return {std::nullopt, "refused to follow a redirect to another origin " + named(location)};
    return {std::move(next), {}};
}

void adaptForRedirect(LiveRequest& request, int status, const Url& from, const Url& to) {
    const bool toGet = (status == 303 && request.method != Method::Head) ||
                       ((status == 301 || status == 302) && request.method == Method::Post);
    if (toGet) {
        request.method = Method::Get;
        request.body.clear();
        std::erase_if(request.headers, [](const auto& h) {
            return equalsIgnoringCase(h.first, "Content-Type") ||
                   equalsIgnoringCase(h.first, "Content-Length");
        });
    }
    if (!from.sameOrigin(to))
        std::erase_if(request.headers,
                      [](const auto& h) { return equalsIgnoringCase(h.first, "Authorization"); });
}
