#include "app/CommandLine.h"
#include "app/Commands.h"
#include "app/Startup.h"
#include "platform/Error.h"
#include "platform/EventLoopQt.h"

#include <QGuiApplication>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

int runWindow(int argc, char** argv);

namespace {

struct Command {
    const char* name;
    int (*run)(const CommandLine&);
    const char* usage;
};

const Command commands[] = {
    {"list", runList, "list [--dir DIR]"},
    {"requests", runRequests, "requests [--dir DIR] [--config FILE] [--all-pages] NAME"},
    {"submit", runSubmit,
     "submit [--dir DIR] [--config FILE] [--proxy HOST:PORT] [--cacert FILE] [--save LIST] [--log FILE] "
     "[--all-pages] NAME..."},
    {"log", runLog, "log [--run N]"},
    {"sitemap", runSitemap,
     "sitemap [--dir DIR] [--config FILE] [--proxy HOST:PORT] [--cacert FILE] [--all] NAME"},
    {"key", runKey,
     "key [--dir DIR] [--config FILE] [--proxy HOST:PORT] [--cacert FILE] [--generate|--check] NAME"},
    {"history", runHistory, "history [--dir DIR] [--json] NAME [URL]"},
    {"store", runStore, "store [--dir DIR] --check | --forget NAME"},
};

void printUsage(std::FILE* out) {
    std::fprintf(out, "Usage: larkspan [--dir DIR] [--config FILE] [--proxy HOST:PORT] [--cacert FILE]\n"
                      "       larkspan COMMAND [OPTIONS] ...\n\nCommands:\n");
    for (const auto& c : commands)
        std::fprintf(out, "  larkspan %s\n", c.usage);
    std::fprintf(out, "\nWith no command the window opens. Options:\n"
                      "  --dir DIR          the profile directory (default $LARKSPAN_HOME,\n"
                      "                     else $XDG_DATA_HOME/larkspan)\n"
                      "  --config FILE      the configuration file (default\n"
                      "                     $XDG_CONFIG_HOME/larkspan/larkspan.ini)\n"
                      "  --proxy HOST:PORT  send every request through this proxy\n"
                      "  --cacert FILE      trust the certificates of this PEM file for https too\n"
                      "  --save LIST        after a run, write these reports (comma list of\n"
                      "                     txt,csv,master,asc,htm,xls,doc,pdf) to the working directory\n"
                      "  --log FILE         also write the run's request records to FILE, one JSON\n"
                      "                     object a line (- for standard output)\n"
                      "  --run N            the N-th newest kept run (default 1, the newest)\n"
                      "  --all              sitemap: print every URL, not only the changed ones\n"
                      "  --all-pages        submit, requests: a site's first run announces every page,\n"
                      "                     not only the profile URL and the last 48 hours' pages\n"
                      "  --generate         key: make a new IndexNow key and save it in the profile\n"
                      "  --check            key: fetch the key file and say whether it holds the key;\n"
                      "                     store: check the store and print its counts per site\n"
                      "  --json             history: one JSON object a line\n"
                      "  --forget NAME      store: remove the rows of that site\n"
                      "  --help, --version\n");
}

const Command* findCommand(const char* word) {
    for (const auto& c : commands)
        if (std::strcmp(c.name, word) == 0) return &c;
    return nullptr;
}

QtMessageHandler standardMessageHandler = nullptr;

void quietRuntimeDirWarning(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (message.startsWith("QStandardPaths: XDG_RUNTIME_DIR not set")) return;
    if (standardMessageHandler)
        standardMessageHandler(type, context, message);
    else
        std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, message)));
}

} // namespace

int main(int argc, char** argv) {
    const Command* command = argc > 1 ? findCommand(argv[1]) : nullptr;
    bool wantsWindow = command == nullptr;
    if (wantsWindow) {
        for (int i = 1; i < argc; ++i)
            if (!std::strcmp(argv[i], "--help") || !std::strcmp(argv[i], "-h") ||
                !std::strcmp(argv[i], "--version"))
                wantsWindow = false;
        if (argc > 1 && argv[1][0] != '-') {
            std::fprintf(stderr, "larkspan: unknown command %s\n", argv[1]);
            printUsage(stderr);
            return 2;
        }
    }
    if (wantsWindow) return runWindow(argc, argv);

    // Without a display the headless commands still measure fonts and print: they
    // choose Qt's offscreen platform themselves.
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
        qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // Under cron or a bare shell there is no session runtime directory; Qt then uses one of
    // its own and says so on standard error, which would mix into what scripts read.
    standardMessageHandler = qInstallMessageHandler(quietRuntimeDirWarning);
    QGuiApplication app(argc, argv);
    EventLoop::install(std::make_unique<EventLoopQt>());
    QGuiApplication::setApplicationName("Larkspan");
    CommandLine cl;
    try {
        cl = parseCommandLine(argc, argv);
    } catch (const LarkspanError& e) {
        std::fprintf(stderr, "larkspan: %s\n", e.what());
        return 2;
    }
    try {
        if (cl.version) {
            std::printf("larkspan 2.0\n");
            return 0;
        }
        if (cl.help || !command) {
            printUsage(stdout);
            return 0;
        }
        return command->run(cl);
    } catch (const UsageError& e) {
        std::fprintf(stderr, "larkspan: %s\n", e.what());
        return 2;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "larkspan: %s\n", e.what());
        return 1;
    }
}
