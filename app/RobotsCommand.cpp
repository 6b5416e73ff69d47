#include "app/Commands.h"
#include "core/checks/PageUrl.h"
#include "core/checks/RobotsTxt.h"
#include "platform/ReadFile.h"
#include "platform/Text.h"

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace {

// The path with its query that robots.txt rules are matched against: a URL's, or the argument
// itself when it is a path already.
std::optional<std::string> pathOf(const std::string& argument) {
    if (!argument.empty() && argument.front() == '/') return argument.substr(0, argument.find('#'));
    const std::string url = resolvePageUrl(argument, "");
    if (url.empty()) return std::nullopt;
    return url.substr(url.find('/', url.find("//") + 2));
}

} // namespace

std::string refuseRobots(const CommandLine& cl) {
    return cl.args.size() >= 2
               ? ""
               : usageMessage("robots", "robots takes a robots.txt file and at least one URL");
}

// Tells for each URL whether a robots.txt file lets the crawler fetch it, so that site owners
// can try their rules before they publish them: "allowed<TAB>URL" or "disallowed<TAB>URL".
int runRobots(CommandContext& context) {
    const CommandLine& cl = context.line;
    std::vector<std::string> paths;
    for (std::size_t i = 1; i < cl.args.size(); ++i) {
        const std::optional<std::string> path = pathOf(cl.args[i]);
        if (!path) {
            std::fprintf(stderr, "larkspan: %s is not an http or https URL\n", cl.args[i].c_str());
            return 2;
        }
        paths.push_back(*path);
    }
    const std::optional<std::string> file = readWholeFile(cl.args.front());
    if (!file) {
        std::fprintf(stderr, "larkspan: cannot read %s\n", cl.args.front().c_str());
        return 1;
    }
    const RobotsTxt robots = RobotsTxt::parse(*file);
    if (robots.truncated())
        std::fprintf(stderr, "larkspan: %s is longer than 500 KiB; the rest is ignored\n",
                     cl.args.front().c_str());
    const std::string agent = cl.agent.value_or("Googlebot");
    for (std::size_t i = 0; i < paths.size(); ++i)
        std::printf("%s\t%s\n", robots.allows(agent, paths[i]) ? "allowed" : "disallowed",
                    printableField(cl.args[i + 1]).c_str());
    return std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : 1;
}
