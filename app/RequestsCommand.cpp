#include "app/Commands.h"
#include "core/Config.h"
#include "core/EngineCatalog.h"
#include "core/SiteProfile.h"
#include "core/SubmissionFields.h"
#include "platform/Json.h"

#include <cstdio>
#include <string>

// Prints the 32 requests that a run would send for one profile, one JSON object a line,
// in catalogue order. Nothing is sent.
int runRequests(const CommandLine& cl) {
    if (cl.args.size() != 1) {
        std::fprintf(stderr, "larkspan: requests takes exactly one profile name\n");
        return 2;
    }
    std::vector<std::string> warnings;
    Config config = Config::load(cl.config, warnings);
    for (const std::string& w : warnings)
        std::fprintf(stderr, "larkspan: warning: %s\n", w.c_str());

    ProfileStore store(ProfileStore::resolveDirectory(cl.dir));
    SubmissionFields fields;
    PreparedProfile prepared = PrepareProfile(fields, store.load(cl.args.front()));
    if (!prepared.complete) {
        std::fprintf(stderr, "%.*s\n", static_cast<int>(IncompleteProfileMessage.size()),
                     IncompleteProfileMessage.data());
        return 1;
    }
    std::string out;
    for (const EngineEntry& entry : engineCatalog(config)) {
        EngineRequest request = PrepareRequest(fields, entry);
        out += "{\"engine\": " + jsonString(entry.DisplayName) +
               ", \"method\": " + jsonString(request.method) + ", \"url\": " + jsonString(request.url) +
               ", \"body\": " + jsonString(request.body) + "}\n";
    }
    std::fwrite(out.data(), 1, out.size(), stdout);
    return std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : 1;
}
