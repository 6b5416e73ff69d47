#include "app/Commands.h"
#include "app/ConsoleRunHost.h"
#include "app/Startup.h"
#include "core/Config.h"
#include "core/google/SearchConsoleChannel.h"
#include "core/profiles/SiteProfile.h"
#include "core/run/HttpRunClient.h"
#include "core/run/KeptRuns.h"
#include "core/run/SubmissionRun.h"
#include "core/status/SiteStatus.h"
#include "core/store/SiteStore.h"
#include "platform/SignalNotifier.h"
#include "platform/Text.h"
#include "platform/Time.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <memory>
#include <string>
#include <unistd.h>

namespace {

void printLine(const std::string& line) {
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
}

// Asks Google about the profile's pages as a run of the Search Console channel alone would,
// without submitting its sitemaps: the run's log goes to standard error, so that standard
// output holds the status only. False when Ctrl+C stopped it.
bool inspect(const CommandLine& cl, const ProfileFiles& profiles, const std::string& name) {
    Config config = startupConfig(cl);
    config.catalogue = false;
    const bool terminal = ::isatty(STDERR_FILENO) == 1;
    ConsoleRunHost host(profiles, stderr, terminal ? stderr : nullptr);
    host.keepRecords(KeptRun([] { return KeptRuns::defaultDirectory(DirectoryLookup::Create); },
                             std::chrono::system_clock::now()));
    HttpRunClient client;
    SubmissionRun run(host, client, config);
    run.Start();
    run.setProfileDirectory(profiles.directory());
    run.addChannel(std::make_unique<SearchConsoleChannel>(SearchConsoleChannel::Work::InspectOnly));
    SignalNotifier interrupt(SIGINT, [&run] { run.StopButtonClick(); });
    run.Submit({name});
    host.clearProgress();
    return !interrupt.raised();
}

} // namespace

std::string refuseStatus(const CommandLine& cl) {
    return cl.args.size() == 1 ? "" : usageMessage("status", "status takes one profile name");
}

// Prints where a site's pages stand: the summary, then one line (or JSON object) per URL of its
// sitemaps; --inspect first asks Google about the pages its quota allows (and then reads the
// configuration, which the summary does without).
int runStatus(CommandContext& context) {
    const CommandLine& cl = context.line;
    const std::string& name = context.name();
    if (cl.inspect) {
        if (context.profile.extra(GoogleServiceAccountKey).empty())
            std::fprintf(stderr, "larkspan: \"%s\" names no Google service account; nothing is inspected\n",
                         name.c_str());
        else if (!inspect(cl, context.profiles, name))
            return 130;
    }
    // The inspection may have made the store; only now is its absence a failure.
    const std::optional<SiteStore> store = existingStore(context.profiles.directory());
    if (!store) return 1;
    const StoreSite site = store->findSite(name);
    const SiteSummary summary = siteSummary(*store, site, unixNow());
    if (cl.json) {
        printLine(summaryJson(name, summary));
    } else {
        for (const std::string& line : summaryLines(name, summary))
            printLine(printableField(line));
        printLine("");
    }
    if (site.id != 0)
        forEachUrlStatus(*store, site, [&](UrlStatus&& url) {
            printLine(cl.json ? urlStatusJson(url) : urlStatusLine(url));
        });
    return std::fflush(stdout) == 0 ? 0 : 1;
}
