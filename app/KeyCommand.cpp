#include "app/Commands.h"
#include "app/Startup.h"
#include "core/Config.h"
#include "core/indexnow/IndexNowSubmission.h"
#include "core/channels/LiveSite.h"
#include "core/profiles/SiteProfile.h"
#include "core/sitemaps/SitemapSource.h"
#include "platform/IniFile.h"
#include "platform/Text.h"

#include <algorithm>
#include <cstdio>
#include <string>

// Prints a profile's IndexNow key; --generate makes a new one and saves it in the profile,
// --check fetches the key file and says whether it holds the key (exit 0) or why not (exit 1).
int runKey(const CommandLine& cl) {
    if (cl.args.size() != 1 || (cl.generate && cl.check)) {
        std::fprintf(stderr,
                     "larkspan: key takes one profile name and at most one of --generate and --check\n%s",
                     usageText("key").c_str());
        return 2;
    }
    const Config config = startupConfig(cl);

    ProfileFiles store(ProfileFiles::resolveDirectory(cl.dir));
    const std::string& name = cl.args.front();
    if (!knownProfile(store, name)) return 1;

    if (cl.generate) {
        const std::string key = generateIndexNowKey();
        // Only the key's line changes: the profile's other lines stay as they are, whatever
        // its site title says.
        const std::string file = store.fileName(name);
        IniFile ini = IniFile::load(file);
        ini.write("Settings", IndexNowKeyKey, key);
        ini.save(file);
        std::printf("%s\n", key.c_str());
        const std::string url =
            indexNowKeyFileUrl(store.load(name)[fURL], key, store.loadExtra(name, IndexNowKeyLocationKey));
        std::fprintf(stderr, "larkspan: upload a file holding the key to %s, then run larkspan key --check\n",
                     url.c_str());
        return std::fflush(stdout) == 0 ? 0 : 1;
    }

    const std::string key = store.loadExtra(name, IndexNowKeyKey);
    if (key.empty()) {
        std::fprintf(stderr, "larkspan: \"%s\" has no IndexNow key; larkspan key --generate makes one\n",
                     name.c_str());
        return 1;
    }
    if (!cl.check) {
        std::printf("%s\n", key.c_str());
        return std::fflush(stdout) == 0 ? 0 : 1;
    }
    LiveClient client(liveClientSettings(config));
    const std::optional<SiteProbe> probe = probeSite(client, store.load(name)[fURL]);
    if (!probe) {
        std::fprintf(stderr, "larkspan: the profile URL of \"%s\" names no web site\n", name.c_str());
        return 1;
    }
    if (!probe->note.empty()) std::fprintf(stderr, "larkspan: %s\n", printable(probe->note).c_str());
    ClientSitemapSource web(client);
    const KeyFileCheck check =
        checkIndexNowKeyFile(web, probe->site, key, store.loadExtra(name, IndexNowKeyLocationKey));
    // The message quotes the server's answer: nothing of it may drive the terminal.
    if (!check.holdsKey) {
        std::fprintf(stderr, "larkspan: %s\n", printable(check.message).c_str());
        return 1;
    }
    std::printf("%s\n", printable(check.message).c_str());
    return std::fflush(stdout) == 0 ? 0 : 1;
}
