#include "app/Commands.h"
#include "core/Config.h"
#include "core/catalogue/EngineCatalog.h"
#include "core/catalogue/SubmissionFields.h"
#include "core/channels/ChannelPlan.h"
#include "core/profiles/SiteProfile.h"
#include "platform/Json.h"
#include "platform/Text.h"

#include <cctype>
#include <cstdio>
#include <string>

namespace {

std::string requestLine(const std::string& engine, const std::string& method, const std::string& url,
                        const std::string& body) {
    return "{\"engine\": " + jsonString(engine) + ", \"method\": " + jsonString(method) +
           ", \"url\": " + jsonString(url) + ", \"body\": " + jsonString(body) + "}\n";
}

// "post", as the catalogue's lines spell their methods.
std::string lowerMethod(Method method) {
    std::string name(methodName(method));
    for (char& c : name)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return name;
}

} // namespace

std::string refuseRequests(const CommandLine& cl) {
    return cl.args.size() == 1 ? "" : "requests takes exactly one profile name\n";
}

// Prints the 32 requests that a run would send for one profile, one JSON object a line, in
// catalogue order, then what a dry run of each live channel of the table that the profile uses
// would send. Nothing is submitted; only the profile's site and sitemaps are read. A channel
// that refuses (its keys cannot be used) says why on standard error, and the exit status is 1.
int runRequests(CommandContext& context) {
    if (!context.complete) {
        std::fprintf(stderr, "%.*s\n", static_cast<int>(IncompleteProfileMessage.size()),
                     IncompleteProfileMessage.data());
        return 1;
    }
    std::string out;
    for (const EngineEntry& entry : engineCatalog(context.config)) {
        EngineRequest request = PrepareRequest(context.fields, entry);
        out += requestLine(entry.DisplayName, request.method, request.url, request.body);
    }
    std::fwrite(out.data(), 1, out.size(), stdout);
    out.clear();

    PlanRun run(
        context.config, context.profiles.directory(), context.name(), context.profile, context.fields,
        [](const std::string& line) { std::fprintf(stderr, "larkspan: %s\n", printable(line).c_str()); });
    for (const PlannedRequest& request : planChannels(run))
        out += requestLine(request.engine, lowerMethod(request.method), request.url, request.body);
    std::fwrite(out.data(), 1, out.size(), stdout);
    return std::fflush(stdout) == 0 && !std::ferror(stdout) && !run.refusedAny() ? 0 : 1;
}
