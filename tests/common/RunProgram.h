#pragma once

#include <QProcess>
#include <QStringList>
#include <string>
#include <vector>

// Runs the built larkspan program with arguments and collects what it printed.
struct ProgramResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

inline ProgramResult runLarkspan(const std::vector<std::string>& args, int timeoutMs = 60000) {
    QProcess p;
    QStringList list;
    for (const auto& a : args)
        list << QString::fromStdString(a);
    p.start(LARKSPAN_BINARY_DIR "/app/larkspan", list);
    ProgramResult r;
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished();
        r.err = "did not finish";
        return r;
    }
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = p.readAllStandardOutput().toStdString();
    r.err = p.readAllStandardError().toStdString();
    return r;
}
