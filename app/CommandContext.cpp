#include "app/CommandContext.h"

#include "app/Startup.h"
#include "core/channels/LiveSite.h"

#include <algorithm>
#include <cstdio>
#include <sys/stat.h>
#include <vector>

namespace {

// Whether the directory lists a profile of that name; when it does not, says so on standard
// error ("no profile named ... in DIR"), which is a failure of the work.
bool knownProfile(const ProfileFiles& profiles, const std::string& name) {
    const std::vector<std::string> listed = profiles.list();
    if (std::find(listed.begin(), listed.end(), name) != listed.end()) return true;
    std::fprintf(stderr, "larkspan: no profile named \"%s\" in %s\n", name.c_str(),
                 profiles.directory().c_str());
    return false;
}

} // namespace

int runCommand(const CommandRow& row, const CommandLine& line) {
    if (const std::string refusal = row.refuse(line); !refusal.empty()) {
        std::fprintf(stderr, "larkspan: %s", refusal.c_str());
        return 2;
    }
    CommandContext context(line);
    if (holds(row.needs, Needs::Config)) context.config = startupConfig(line);
    if (holds(row.needs, Needs::Directory))
        context.profiles = ProfileFiles(ProfileFiles::resolveDirectory(line.dir));
    if (holds(row.needs, Needs::ProfileNames))
        for (const std::string& name : line.args)
            if (!knownProfile(context.profiles, name)) return 1;
    if (holds(row.needs, Needs::Profile)) {
        context.profile = context.profiles.loadWhole(context.name());
        context.complete = PrepareProfile(context.fields, context.profile.fields).complete;
    }
    if (holds(row.needs, Needs::Network))
        context.client = std::make_unique<LiveClient>(liveClientSettings(context.config));
    if (holds(row.needs, Needs::Store)) {
        context.store = existingStore(context.profiles.directory());
        if (!context.store) return 1;
    }
    return row.run(context);
}

std::optional<SiteStore> existingStore(const std::string& directory) {
    struct stat st {};
    if (::stat(SiteStore::fileName(directory).c_str(), &st) != 0) {
        std::fprintf(
            stderr,
            "larkspan: there is no store in %s yet; a run of a profile with a live channel makes it\n",
            directory.c_str());
        return std::nullopt;
    }
    return SiteStore::openToRead(directory);
}
