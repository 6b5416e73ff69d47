#include "app/Commands.h"
#include "core/run/KeptRuns.h"
#include "core/run/RequestRecord.h"
#include "platform/Error.h"
#include "platform/ReadFile.h"

#include <cstdio>
#include <string>
#include <string_view>

namespace {

// Prints the lines of a kept run's file that hold records, as they stand; what else a damaged
// file holds is counted on standard error, not passed on to the scripts that read the records.
int printRecords(const std::string& path) {
    const std::optional<std::string> content = readWholeFile(path);
    if (!content) {
        std::fprintf(stderr, "larkspan: cannot read %s\n", path.c_str());
        return 1;
    }
    int unreadable = 0;
    for (std::string_view rest = *content; !rest.empty();) {
        const std::size_t end = rest.find('\n');
        const std::string_view line = rest.substr(0, end);
        rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
        const std::optional<RequestRecord> record = parseRecordLine(line);
        if (!record) {
            unreadable += line.find_first_not_of(" \t\r") != std::string_view::npos;
            continue;
        }
        // Written anew, the line is the same record, with every control and override escaped
        // even when the file was not written by recordLine.
        const std::string out = recordLine(*record);
        std::fwrite(out.data(), 1, out.size(), stdout);
    }
    if (unreadable > 0)
        std::fprintf(stderr, "larkspan: %d line%s of %s %s not a record\n", unreadable,
                     unreadable == 1 ? "" : "s", path.c_str(), unreadable == 1 ? "is" : "are");
    return std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : 1;
}

} // namespace

std::string refuseLog(const CommandLine& cl) {
    return cl.args.empty() ? "" : usageMessage("log", "log takes no names");
}

// Prints the records of a kept run's file as they stand: one a line, as `submit --log` writes them.
int runLog(CommandContext& context) {
    const CommandLine& cl = context.line;
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
    return printRecords(runs[which - 1]);
}
