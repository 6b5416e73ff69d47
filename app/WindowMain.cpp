#include "app/CommandLine.h"
#include "app/Startup.h"
#include "core/Config.h"
#include "core/run/KeptRuns.h"
#include "core/profiles/SiteProfile.h"
#include "platform/Error.h"
#include "platform/EventLoopQt.h"
#include "ui/FirstStart.h"
#include "ui/MainWindow.h"
#include "ui/WindowRunHost.h"

#include <memory>

#include <QApplication>
#include <cstdio>

int runWindow(int argc, char** argv) {
    QApplication app(argc, argv);
    EventLoop::install(std::make_unique<EventLoopQt>());
    QApplication::setApplicationName("Larkspan");
    // Qt has taken its own options out of the arguments; the rest are ours.
    QStringList rest = QApplication::arguments();
    std::vector<std::string> words;
    for (const QString& a : rest)
        words.push_back(a.toStdString());
    std::vector<char*> args;
    for (auto& w : words)
        args.push_back(w.data());
    CommandLine cl;
    try {
        cl = parseCommandLine(static_cast<int>(args.size()), args.data(), windowRow());
    } catch (const LarkspanError& e) {
        std::fprintf(stderr, "larkspan: %s\n", e.what());
        return 2;
    }
    Config config;
    try {
        config = startupConfig(cl);
    } catch (const UsageError& e) {
        std::fprintf(stderr, "larkspan: %s\n", e.what());
        return 2;
    } catch (const LarkspanError& e) {
        std::fprintf(stderr, "larkspan: %s\n", e.what());
        return 1;
    }
    // The first start asks whether runs send to the catalogue too, and remembers the answer.
    FirstStart first{cl.config.value_or(Config::defaultPath()), cl.config.has_value(), {}};
    try {
        first.runsDirectory = KeptRuns::defaultDirectory(DirectoryLookup::Find);
    } catch (const LarkspanError&) {
        // Without a state directory no run was kept.
    }
    const std::optional<std::string> notKept =
        first.settle(config, [] { return askAboutCatalogue(nullptr); });
    std::string dir, problem;
    try {
        dir = ProfileFiles::resolveDirectory(cl.dir);
    } catch (const LarkspanError& e) {
        problem = e.what();
    }
    MainWindow window(dir, problem, config);
    WindowRun run(window, config);
    if (notKept) window.setStatusText(*notKept);
    window.show();
    return app.exec();
}
