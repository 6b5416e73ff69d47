#include "app/Commands.h"
#include "core/profiles/SiteProfile.h"
#include "core/store/SiteStore.h"
#include "core/store/StoreReport.h"

#include <cstdio>
#include <optional>
#include <string>
#include <sys/stat.h>

namespace {

// The store of the profile directory, when there is one: these commands only read it (or
// remove rows) and never make a new one.
std::optional<SiteStore> existingStore(const CommandLine& cl) {
    const std::string directory = ProfileFiles::resolveDirectory(cl.dir);
    struct stat st {};
    if (::stat(SiteStore::fileName(directory).c_str(), &st) != 0) {
        std::fprintf(
            stderr,
            "larkspan: there is no store in %s yet; a run of a profile with a live channel makes it\n",
            directory.c_str());
        return std::nullopt;
    }
    try {
        return SiteStore::open(directory);
    } catch (const StoreError& e) {
        std::fprintf(stderr, "larkspan: %s\n", e.what());
        return std::nullopt;
    }
}

void printLine(const std::string& line) {
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
}

} // namespace

// Prints what the store knows of a site's URLs: when each was first and last seen in the
// sitemaps, its lastmod, when it left them, and each channel's last answer.
int runHistory(const CommandLine& cl) {
    if (cl.args.empty() || cl.args.size() > 2) {
        std::fprintf(stderr, "larkspan: history takes a profile name and at most one URL\n%s",
                     usageText("history").c_str());
        return 2;
    }
    std::optional<SiteStore> store = existingStore(cl);
    if (!store) return 1;
    const std::string& name = cl.args[0];
    const StoreSite site = store->findSite(name);
    if (site.id == 0) {
        std::fprintf(stderr, "larkspan: the store %s holds nothing of \"%s\"\n", store->file().c_str(),
                     name.c_str());
        return 1;
    }
    std::optional<std::string_view> url;
    if (cl.args.size() == 2) url = cl.args[1];
    const std::size_t count = forEachUrlHistory(*store, site, url, [&](const UrlHistory& history) {
        printLine(cl.json ? historyJson(history) : historyLine(history));
    });
    if (url && count == 0) {
        std::fprintf(stderr, "larkspan: the store holds no URL %s of \"%s\"\n", cl.args[1].c_str(),
                     name.c_str());
        return 1;
    }
    return std::fflush(stdout) == 0 ? 0 : 1;
}

// Checks the store's integrity and prints the counts per site (--check), or removes a site's
// rows (--forget NAME).
int runStore(const CommandLine& cl) {
    if (!cl.args.empty() || cl.check == cl.forget.has_value()) {
        std::fprintf(stderr, "larkspan: store takes --check or --forget NAME\n%s",
                     usageText("store").c_str());
        return 2;
    }
    std::optional<SiteStore> store = existingStore(cl);
    if (!store) return 1;
    if (cl.forget) {
        const std::int64_t urls = store->forget(*cl.forget);
        if (urls < 0) {
            std::fprintf(stderr, "larkspan: the store %s holds nothing of \"%s\"\n", store->file().c_str(),
                         cl.forget->c_str());
            return 1;
        }
        std::printf("Removed \"%s\" from %s: %lld URLs\n", cl.forget->c_str(), store->file().c_str(),
                    static_cast<long long>(urls));
        return std::fflush(stdout) == 0 ? 0 : 1;
    }
    const std::string check = integrityCheck(*store);
    printLine(store->file() + ": " + (check == "ok" ? "ok" : "damaged:\n" + check));
    for (const SiteCounts& counts : siteCounts(*store))
        printLine(countsLine(counts));
    return std::fflush(stdout) == 0 && check == "ok" ? 0 : 1;
}
