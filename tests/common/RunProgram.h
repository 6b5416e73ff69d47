#pragma once

#include <QElapsedTimer>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>
#include <csignal>
#include <string>
#include <vector>

// Runs a program to its end and collects what it printed.
struct ProgramResult {
    int exitCode = -1; // -1 when it crashed or did not finish
    std::string out;
    std::string err;
    qint64 milliseconds = 0;
};

struct RunOptions {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    QString workingDirectory; // empty: the test's own
    int timeoutMs = 60000;
    // Sends SIGINT this long after the start, as Ctrl+C does; negative: never.
    int interruptAfterMs = -1;
};

inline ProgramResult runProgram(const QString& program, const QStringList& args,
                                const RunOptions& options = {}) {
    QProcess p;
    p.setProcessEnvironment(options.environment);
    if (!options.workingDirectory.isEmpty()) p.setWorkingDirectory(options.workingDirectory);
    QElapsedTimer clock;
    clock.start();
    p.start(program, args);
    ProgramResult r;
    if (options.interruptAfterMs >= 0) {
        p.waitForFinished(options.interruptAfterMs);
        ::kill(static_cast<pid_t>(p.processId()), SIGINT);
    }
    if (!p.waitForFinished(options.timeoutMs)) {
        // A hung program must not outlive the test.
        p.kill();
        p.waitForFinished();
        r.err = "did not finish";
        return r;
    }
    r.milliseconds = clock.elapsed();
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = p.readAllStandardOutput().toStdString();
    r.err = p.readAllStandardError().toStdString();
    return r;
}

// The built larkspan program.
inline ProgramResult runLarkspan(const std::vector<std::string>& args, const RunOptions& options = {}) {
    QStringList list;
    for (const auto& a : args)
        list << QString::fromStdString(a);
    return runProgram(LARKSPAN_BINARY_DIR "/app/larkspan", list, options);
}
