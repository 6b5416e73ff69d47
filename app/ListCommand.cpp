#include "app/Commands.h"
#include "core/profiles/SiteProfile.h"
#include "core/profiles/SubmissionList.h"
#include "grid/ReportGrid.h"
#include "platform/Text.h"

#include <cstdio>
#include <string>
#include <vector>

std::string refuseList(const CommandLine& cl) {
    return cl.args.empty() ? "" : "list takes no names\n";
}

// Prints the profile names in the order of the submission list, one a line.
int runList(CommandContext& context) {
    const std::vector<std::string> names = context.profiles.list();
    // An empty answer looks the same as a wrong folder: say which one was read, where scripts
    // reading the names do not see it.
    if (names.empty())
        std::fprintf(stderr, "larkspan: no profiles in %s\n", context.profiles.directory().c_str());
    TReportGrid list(1, 2, 0, 1);
    fillSubmissionList(list, names);
    for (int row = list.FixedRows(); row < list.RowCount(); ++row) {
        // A profile's name is its file's, which may hold any byte.
        const std::string name = printable(list.CellText(0, row));
        std::fwrite(name.data(), 1, name.size(), stdout);
        std::fputc('\n', stdout);
    }
    return std::fflush(stdout) == 0 ? 0 : 1;
}
