#include "app/Startup.h"

#include "core/profiles/SiteProfile.h"

#include <cstdio>
#include <string>
#include <vector>

Config startupConfig(const CommandLine& cl) {
    if (cl.proxy && !parseHostPort(*cl.proxy))
        throw UsageError("--proxy " + *cl.proxy + ": not a host or host:port");
    std::vector<std::string> warnings;
    Config config = Config::load(cl.config, warnings);
    for (const std::string& w : warnings)
        std::fprintf(stderr, "larkspan: warning: %s\n", w.c_str());
    if (cl.proxy) config.proxy = *cl.proxy;
    config.firstRunAllPages = cl.allPages;
    if (cl.cacert) {
        try {
            config.useCAFile(*cl.cacert);
        } catch (const LarkspanError& e) {
            throw UsageError(e.what());
        }
    }
    return config;
}
