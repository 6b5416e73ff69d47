#include "app/Commands.h"
#include "core/store/SiteStore.h"
#include "core/store/StoreClaim.h"
#include "core/store/StoreReport.h"
#include "platform/Text.h"

#include <cstdio>
#include <optional>
#include <string>

namespace {

// A line for people (the JSON lines are safe as they are): see printable.
void printText(const std::string& text) {
    const std::string line = printable(text);
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
}

void printLine(const std::string& line) {
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
}

} // namespace

std::string refuseHistory(const CommandLine& cl) {
    if (!cl.args.empty() && cl.args.size() <= 2) return "";
    return usageMessage("history", "history takes a profile name and at most one URL");
}

// Prints what the store knows of a site's URLs: when each was first and last seen in the
// sitemaps, its lastmod, when it left them, and each channel's last answer.
int runHistory(CommandContext& context) {
    const CommandLine& cl = context.line;
    SiteStore& store = *context.store;
    const std::string& name = context.name();
    const StoreSite site = store.findSite(name);
    if (site.id == 0) {
        std::fprintf(stderr, "larkspan: the store %s holds nothing of \"%s\"\n", store.file().c_str(),
                     name.c_str());
        return 1;
    }
    std::optional<std::string_view> url;
    if (cl.args.size() == 2) url = cl.args[1];
    const std::size_t count = forEachUrlHistory(store, site, url, [&](const UrlHistory& history) {
        printLine(cl.json ? historyJson(history) : historyLine(history));
    });
    if (url && count == 0) {
        std::fprintf(stderr, "larkspan: the store holds no URL %s of \"%s\"\n", cl.args[1].c_str(),
                     name.c_str());
        return 1;
    }
    return std::fflush(stdout) == 0 ? 0 : 1;
}

std::string refuseStore(const CommandLine& cl) {
    if (cl.args.empty() && cl.check != cl.forget.has_value()) return "";
    return usageMessage("store", "store takes --check or --forget NAME");
}

// Checks the store's integrity and prints the counts per site (--check), or removes a site's
// rows (--forget NAME).
int runStore(CommandContext& context) {
    const CommandLine& cl = context.line;
    if (cl.forget) {
        // The look that found the store changes nothing; forgetting writes.
        SiteStore store = SiteStore::open(context.profiles.directory());
        const std::int64_t urls = forgetSite(store, *cl.forget, context.config.storeWaitSeconds);
        if (urls < 0) {
            std::fprintf(stderr, "larkspan: the store %s holds nothing of \"%s\"\n", store.file().c_str(),
                         cl.forget->c_str());
            return 1;
        }
        std::printf("Removed \"%s\" from %s: %lld URLs\n", cl.forget->c_str(), store.file().c_str(),
                    static_cast<long long>(urls));
        return std::fflush(stdout) == 0 ? 0 : 1;
    }
    SiteStore& store = *context.store;
    const std::string check = integrityCheck(store);
    printLine(store.file() + ": " + (check == "ok" ? "ok" : "damaged:\n" + check));
    for (const SiteCounts& counts : siteCounts(store))
        printText(countsLine(counts));
    return std::fflush(stdout) == 0 && check == "ok" ? 0 : 1;
}
