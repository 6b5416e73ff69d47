#include "app/Commands.h"
#include "core/KeptRuns.h"
#include "platform/Error.h"
#include "platform/ReadFile.h"

#include <cstdio>
#include <string>

// Prints a kept run's file as it stands: one record a line, as `submit --log` writes them.
int runLog(const CommandLine& cl) {
    if (!cl.args.empty()) {
        std::fprintf(stderr, "larkspan: log takes no names\nusage: larkspan log [--run N]\n");
        return 2;
    }
    std::size_t which = 1;
    if (cl.run) {
        const std::string& text = *cl.run;
        const bool digits =
            !text.empty() && text.size() <= 9 && text.find_first_not_of("0123456789") == std::string::npos;
        which = digits ? std::stoul(text) : 0;
        if (which == 0) {
            std::fprintf(stderr, "larkspan: --run takes a number from 1 (the newest run) up\n");
            return 2;
        }
    }
    std::string dir;
    try {
        dir = KeptRuns::defaultDirectory(DirectoryLookup::Find);
    } catch (const LarkspanError& e) {
        std::fprintf(stderr, "larkspan: %s\n", e.what());
        return 1;
    }
    const std::vector<std::string> runs = KeptRuns(dir).newestFirst();
    if (runs.empty()) {
        std::fprintf(stderr, "larkspan: no kept run in %s\n", dir.c_str());
        return 1;
    }
    if (which > runs.size()) {
        std::fprintf(stderr, "larkspan: --run %zu: only %zu kept run%s in %s\n", which, runs.size(),
                     runs.size() == 1 ? "" : "s", dir.c_str());
        return 1;
    }
    const std::optional<std::string> content = readWholeFile(runs[which - 1]);
    if (!content) {
        std::fprintf(stderr, "larkspan: cannot read %s\n", runs[which - 1].c_str());
        return 1;
    }
    std::fwrite(content->data(), 1, content->size(), stdout);
    return std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : 1;
}
