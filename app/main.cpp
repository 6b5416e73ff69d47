#include "app/CommandContext.h"
#include "platform/Error.h"
#include "platform/EventLoopQt.h"
#include "platform/Text.h"

#include <QGuiApplication>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

int runWindow(int argc, char** argv);

namespace {

QtMessageHandler standardMessageHandler = nullptr;

void quietRuntimeDirWarning(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (message.startsWith("QStandardPaths: XDG_RUNTIME_DIR not set")) return;
    if (standardMessageHandler)
        standardMessageHandler(type, context, message);
    else
        std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, message)));
}

// Whether the words ask for the help text or the version, which never open the window.
bool asksForHelpOrVersion(int argc, char** argv) {
    for (int i = 1; i < argc; ++i)
        if (!std::strcmp(argv[i], "--help") || !std::strcmp(argv[i], "-h") ||
            !std::strcmp(argv[i], "--version"))
            return true;
    return false;
}

// Runs the command (or prints the help or the version) once the application exists.
int runHeadless(int argc, char** argv, const CommandRow* command) {
    try {
        const CommandLine cl = parseCommandLine(argc, argv, command ? *command : windowRow());
        if (cl.version) {
            std::printf("larkspan 2.0\n");
            return 0;
        }
        if (cl.help || !command) {
            const std::string text = command ? commandHelp(*command) : programHelp();
            std::fwrite(text.data(), 1, text.size(), stdout);
            return std::fflush(stdout) == 0 ? 0 : 1;
        }
        return runCommand(*command, cl);
    } catch (const UsageError& e) {
        std::fprintf(stderr, "larkspan: %s\n", e.what());
        return 2;
    } catch (const std::exception& e) {
        // The message may quote what a server sent: its lines pass the filter one by one.
        std::string message;
        for (std::string_view line : splitLines(e.what()))
            message += (message.empty() ? "" : "\n") + printable(line);
        std::fprintf(stderr, "larkspan: %s\n", message.c_str());
        return 1;
    }
}

} // namespace

int main(int argc, char** argv) {
    const CommandRow* command = argc > 1 ? findCommand(argv[1]) : nullptr;
    if (!command && argc > 1 && argv[1][0] != '-') {
        std::fprintf(stderr, "larkspan: unknown command %s\n", argv[1]);
        const std::string help = programHelp();
        std::fwrite(help.data(), 1, help.size(), stderr);
        return 2;
    }
    if (!command && !asksForHelpOrVersion(argc, argv)) return runWindow(argc, argv);

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
    return runHeadless(argc, argv, command);
}
