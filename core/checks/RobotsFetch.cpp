#include "core/checks/RobotsFetch.h"

#include <algorithm>

LiveRequest robotsTxtRequest(const std::string& origin, std::shared_ptr<std::string> body) {
    LiveRequest request;
    request.url = origin + "/robots.txt";
    request.redirects = Redirects::RobotsTxt;
    request.sink = [body = std::move(body)](std::string_view piece) {
        constexpr std::size_t Limit = RobotsTxt::MaxBytes + 1;
        body->append(piece.substr(0, Limit - std::min(Limit, body->size())));
        return body->size() < Limit;
    };
    return request;
}

RobotsReading readRobotsAnswer(const LiveAnswer& answer, const std::string& body) {
    RobotsReading robots;
    robots.problem = robotsTxtProblem(answer);
    if (!robots.problem.empty()) {
        robots.rules = std::make_shared<const RobotsTxt>(RobotsTxt::disallowAll());
    } else if (answer.status >= 200 && answer.status < 300) {
        robots.rules = std::make_shared<const RobotsTxt>(RobotsTxt::parse(body));
    } else {
        robots.rules = std::make_shared<const RobotsTxt>();
        // The client answers with the sixth 3xx of a chain (a loop included) instead of following it.
        if (answer.status >= 300 && answer.status < 400 && answer.hops.size() > 5)
            robots.note = RobotsRedirectedTooOften;
    }
    return robots;
}

std::string robotsTxtProblem(const LiveAnswer& answer) {
    if (!answer.answered())
        return "robots.txt could not be fetched: " + (answer.error.empty() ? "no answer" : answer.error);
    if (answer.status >= 500 || answer.status == 429)
        return "robots.txt answered " + std::to_string(answer.status);
    return {};
}
