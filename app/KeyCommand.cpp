#include "app/Commands.h"
#include "app/SiteReading.h"
#include "core/Config.h"
#include "core/channels/LiveSite.h"
#include "core/indexnow/IndexNowSubmission.h"
#include "core/profiles/SiteProfile.h"
#include "core/sitemaps/SitemapSource.h"
#include "platform/IniFile.h"
#include "platform/Text.h"

#include <algorithm>
#include <cstdio>
#include <string>

std::string refuseKey(const CommandLine& cl) {
    if (cl.args.size() == 1 && !(cl.generate && cl.check)) return "";
    return usageMessage("key", "key takes one profile name and at most one of --generate and --check");
}

// Prints a profile's IndexNow key; --generate makes a new one and saves it in the profile,
// --check fetches the key file and says whether it holds the key (exit 0) or why not (exit 1).
int runKey(CommandContext& context) {
    const CommandLine& cl = context.line;
    const std::string& name = context.name();
    const std::string location = context.profile.extra(IndexNowKeyLocationKey);
    if (cl.generate) {
        const std::string key = generateIndexNowKey();
        // Only the key's line changes: the profile's other lines stay as they are, whatever
        // its site title says.
        const std::string file = context.profiles.fileName(name);
        IniFile ini = IniFile::load(file);
        ini.write("Settings", IndexNowKeyKey, key);
        ini.save(file);
        std::printf("%s\n", key.c_str());
        const std::string url = indexNowKeyFileUrl(context.fields.URL, key, location);
        std::fprintf(stderr, "larkspan: upload a file holding the key to %s, then run larkspan key --check\n",
                     url.c_str());
        return std::fflush(stdout) == 0 ? 0 : 1;
    }

    const std::string key = context.profile.extra(IndexNowKeyKey);
    if (key.empty()) {
        std::fprintf(stderr, "larkspan: \"%s\" has no IndexNow key; larkspan key --generate makes one\n",
                     name.c_str());
        return 1;
    }
    if (!cl.check) {
        std::printf("%s\n", key.c_str());
        return std::fflush(stdout) == 0 ? 0 : 1;
    }
    const std::optional<SiteProbe> probe = probeProfileSite(context);
    if (!probe) return 1;
    ClientSitemapSource web(*context.client);
    const KeyFileCheck check = checkIndexNowKeyFile(web, probe->site, key, location);
    // The message quotes the server's answer: nothing of it may drive the terminal.
    if (!check.holdsKey) {
        std::fprintf(stderr, "larkspan: %s\n", printable(check.message).c_str());
        return 1;
    }
    std::printf("%s\n", printable(check.message).c_str());
    return std::fflush(stdout) == 0 ? 0 : 1;
}
