#include "app/Commands.h"
#include "app/ConsoleRunHost.h"
#include "core/Config.h"
#include "core/catalogue/SubmissionFields.h"
#include "core/profiles/SiteProfile.h"
#include "core/profiles/SubmissionList.h"
#include "core/run/HttpRunClient.h"
#include "core/run/KeptRuns.h"
#include "core/run/LiveChannels.h"
#include "core/run/SubmissionRun.h"
#include "grid/ReportCommands.h"
#include "platform/Error.h"
#include "platform/LineFile.h"
#include "platform/SignalNotifier.h"
#include "ui/print/PrintDevice.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <optional>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

// The headless print: the table to "Larkspan.pdf" in the working directory.
std::string printToPdf(TReportGrid& grid, const std::string&, const ReportHooks&) {
    return PrintGridToPdf(grid);
}

using ReportFunction = std::string (*)(TReportGrid&, const std::string&, const ReportHooks&);

// The report of that --save name: the File menu's, or "pdf" for the print.
ReportFunction reportNamed(const std::string& name) {
    if (name == "pdf") return printToPdf;
    for (const ReportCommand& report : ReportCommands())
        if (name == report.saveName) return report.run;
    return nullptr;
}

// Splits "a,b,c" into its names; nothing when a name is empty.
std::optional<std::vector<std::string>> splitList(const std::string& list) {
    std::vector<std::string> names;
    std::size_t start = 0;
    while (true) {
        std::size_t comma = list.find(',', start);
        std::string name = list.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        if (name.empty()) return std::nullopt;
        names.push_back(name);
        if (comma == std::string::npos) return names;
        start = comma + 1;
    }
}

// The reports that --save names, in its order, or why the list is not one of known names.
struct Saves {
    std::vector<ReportFunction> reports;
    std::string problem;
};
Saves reportsToSave(const CommandLine& cl) {
    Saves saves;
    if (!cl.save) return saves;
    auto names = splitList(*cl.save);
    if (!names) return {{}, "--save takes a comma list of txt,csv,master,asc,htm,xls,doc,pdf\n"};
    for (const std::string& name : *names) {
        const ReportFunction report = reportNamed(name);
        if (!report)
            return {{},
                    "--save: unknown report \"" + name + "\" (known: txt,csv,master,asc,htm,xls,doc,pdf)\n"};
        saves.reports.push_back(report);
    }
    return saves;
}

// The file that --log names ("-": standard output), made before anything is sent so that a
// wrong path costs no run. Throws LarkspanError when it cannot be made.
std::optional<LineFile> recordCopy(const CommandLine& cl) {
    if (!cl.log) return std::nullopt;
    if (*cl.log == "-") return LineFile::borrow(STDOUT_FILENO, "standard output");
    return LineFile(*cl.log);
}

// The named profiles in the order of the submission list as the window shows it, each once.
std::vector<std::string> inListOrder(TReportGrid& list, const ProfileFiles& store,
                                     const std::vector<std::string>& named) {
    fillSubmissionList(list, store.list());
    std::vector<std::string> names;
    for (int row = list.FixedRows(); row < list.RowCount(); ++row) {
        const std::string& name = list.CellText(0, row);
        if (std::find(named.begin(), named.end(), name) != named.end() &&
            std::find(names.begin(), names.end(), name) == names.end())
            names.push_back(name);
    }
    return names;
}

// Says on standard error which fields each profile lacks that the run skipped as incomplete
// (the run's log says only "Please complete all fields!"); true when there was one.
bool tellIncomplete(const ProfileFiles& store, const std::vector<std::string>& names) {
    bool any = false;
    for (const std::string& name : names) {
        const std::vector<std::string_view> missing = MissingFields(store.load(name));
        if (missing.empty()) continue;
        std::string list;
        for (const std::string_view key : missing)
            list += (list.empty() ? "" : ", ") + std::string(key);
        std::fprintf(stderr, "larkspan: \"%s\" was not submitted: fill in %s\n", name.c_str(), list.c_str());
        any = true;
    }
    return any;
}

// Writes the reports, printing each file's path; false when one could not be written.
bool saveReports(const std::vector<ReportFunction>& saves, TReportGrid& results, std::FILE* out) {
    bool saved = true;
    for (const ReportFunction report : saves) {
        try {
            std::string path = report(results, "", ReportHooks{});
            std::fprintf(out, "%s\n", path.c_str());
        } catch (const std::exception& e) {
            std::fprintf(stderr, "larkspan: %s\n", e.what());
            saved = false;
        }
    }
    std::fflush(out);
    return saved;
}

} // namespace

// Everything the user asked for is checked before anything is sent.
std::string refuseSubmit(const CommandLine& cl) {
    if (cl.args.empty()) return usageMessage("submit", "submit needs at least one profile name");
    return reportsToSave(cl).problem;
}

// Runs the named profiles as the window would with those rows of the submission list
// highlighted, then writes the reports asked for with --save. With --log - the records alone go
// to standard output, and what is written for people goes to standard error.
int runSubmit(CommandContext& context) {
    const CommandLine& cl = context.line;
    const ProfileFiles& store = context.profiles;
    std::optional<LineFile> copy;
    try {
        copy = recordCopy(cl);
    } catch (const LarkspanError& e) {
        std::fprintf(stderr, "larkspan: %s\n", e.what());
        return 1;
    }

    std::FILE* human = copy && *cl.log == "-" ? stderr : stdout;
    const bool terminal = ::isatty(STDERR_FILENO) == 1;
    ConsoleRunHost host(store, human, terminal ? stderr : nullptr);
    if (copy) host.copyRecordsTo(std::move(*copy));
    host.keepRecords(KeptRun([] { return KeptRuns::defaultDirectory(DirectoryLookup::Create); },
                             std::chrono::system_clock::now()));
    HttpRunClient client;
    SubmissionRun run(host, client, context.config);
    run.Start();
    run.setProfileDirectory(store.directory());
    addLiveChannels(run);
    const std::vector<std::string> names = inListOrder(host.submitList(), store, cl.args);

    // Ctrl+C stops the run as the Stop button does: the request in flight is aborted and the
    // results so far are printed. A second Ctrl+C ends the program at once.
    SignalNotifier interrupt(SIGINT, [&run] { run.StopButtonClick(); });
    run.Submit(names);
    // What follows goes on lines of its own, not behind the last progress line.
    host.clearProgress();

    const bool saved = saveReports(reportsToSave(cl).reports, host.results(), human);
    const bool incomplete = tellIncomplete(store, names);
    if (interrupt.raised()) return 130;
    if (!saved || incomplete) return 1;
    // The run completed, but a service of today did not take everything.
    return run.liveRefused() ? 3 : 0;
}
