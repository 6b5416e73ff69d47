#include "app/Commands.h"
#include "app/ConsoleRunHost.h"
#include "app/Startup.h"
#include "core/Config.h"
#include "core/HttpRunClient.h"
#include "core/KeptRuns.h"
#include "core/LiveChannels.h"
#include "core/SiteProfile.h"
#include "core/SubmissionList.h"
#include "core/SubmissionRun.h"
#include "grid/ReportCommands.h"
#include "platform/Error.h"
#include "platform/LineFile.h"
#include "platform/SignalNotifier.h"
#include "ui/PrintDevice.h"

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

} // namespace

// Runs the named profiles as the window would with those rows of the submission list
// highlighted, then writes the reports asked for with --save.
int runSubmit(const CommandLine& cl) {
    if (cl.args.empty()) {
        std::fprintf(stderr, "larkspan: submit needs at least one profile name\n"
                             "usage: larkspan submit [--dir DIR] [--config FILE] [--proxy HOST:PORT] "
                             "[--cacert FILE] [--save LIST] [--log FILE] [--all-pages] NAME...\n");
        return 2;
    }
    // Everything the user asked for is checked before anything is sent.
    std::vector<ReportFunction> saves;
    if (cl.save) {
        auto names = splitList(*cl.save);
        if (!names) {
            std::fprintf(stderr,
                         "larkspan: --save takes a comma list of txt,csv,master,asc,htm,xls,doc,pdf\n");
            return 2;
        }
        for (const std::string& name : *names) {
            const ReportFunction report = reportNamed(name);
            if (!report) {
                std::fprintf(
                    stderr,
                    "larkspan: --save: unknown report \"%s\" (known: txt,csv,master,asc,htm,xls,doc,pdf)\n",
                    name.c_str());
                return 2;
            }
            saves.push_back(report);
        }
    }
    const Config config = startupConfig(cl);

    ProfileStore store(ProfileStore::resolveDirectory(cl.dir));
    for (const std::string& name : cl.args)
        if (!knownProfile(store, name)) return 1;

    // The records' file is made before anything is sent, so that a wrong path costs no run.
    std::optional<LineFile> recordCopy;
    if (cl.log) {
        try {
            recordCopy =
                *cl.log == "-" ? LineFile::borrow(STDOUT_FILENO, "standard output") : LineFile(*cl.log);
        } catch (const LarkspanError& e) {
            std::fprintf(stderr, "larkspan: %s\n", e.what());
            return 1;
        }
    }

    const bool terminal = ::isatty(STDERR_FILENO) == 1;
    ConsoleRunHost host(store, stdout, terminal ? stderr : nullptr);
    if (recordCopy) host.copyRecordsTo(std::move(*recordCopy));
    host.keepRecords(KeptRun([] { return KeptRuns::defaultDirectory(DirectoryLookup::Create); },
                             std::chrono::system_clock::now()));
    HttpRunClient client;
    SubmissionRun run(host, client, config);
    run.Start();
    run.setProfileDirectory(store.directory());
    addLiveChannels(run);
    // The submission list as the window shows it; the named rows are submitted in its order.
    fillSubmissionList(host.submitList(), store.list());
    std::vector<std::string> names;
    for (int row = host.submitList().FixedRows(); row < host.submitList().RowCount(); ++row) {
        const std::string& name = host.submitList().CellText(0, row);
        if (std::find(cl.args.begin(), cl.args.end(), name) != cl.args.end() &&
            std::find(names.begin(), names.end(), name) == names.end())
            names.push_back(name);
    }

    // Ctrl+C stops the run as the Stop button does: the request in flight is aborted and the
    // results so far are printed. A second Ctrl+C ends the program at once.
    SignalNotifier interrupt(SIGINT, [&run] { run.StopButtonClick(); });
    run.Submit(names);
    // What follows goes on lines of its own, not behind the last progress line.
    host.clearProgress();

    int status = 0;
    for (const ReportFunction report : saves) {
        try {
            std::string path = report(host.results(), "", ReportHooks{});
            std::printf("%s\n", path.c_str());
        } catch (const std::exception& e) {
            std::fprintf(stderr, "larkspan: %s\n", e.what());
            status = 1;
        }
    }
    std::fflush(stdout);
    if (interrupt.raised()) return 130;
    // The run completed, but a service of today did not take everything.
    if (status == 0 && run.liveRefused()) return 3;
    return status;
}
