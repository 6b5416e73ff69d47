#include "platform/LibreOffice.h"

#include "platform/Error.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QUrl>

#include <csignal>
#include <unistd.h>

namespace {

QString fromBytes(const std::string& s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

std::string toBytes(const QString& s) {
    return s.toUtf8().toStdString();
}

// The last non-empty line of LibreOffice's messages, to say why a conversion failed.
// LibreOffice also prints harmless warnings (about Java, for one), so only failures use it.
std::string lastMessage(const QByteArray& output) {
    const auto lines = output.trimmed().split('\n');
    return lines.isEmpty() ? std::string() : lines.back().trimmed().toStdString();
}

} // namespace

std::string FindLibreOffice(const std::string& program) {
    if (program.find('/') != std::string::npos) {
        QFileInfo info(fromBytes(program));
        return info.isFile() && info.isExecutable() ? program : std::string();
    }
    return toBytes(QStandardPaths::findExecutable(fromBytes(program)));
}

std::string ConvertWithLibreOffice(const std::string& soffice, const std::string& input,
                                   const std::string& outDir, const std::string& convertTo, int timeoutMs) {
    QTemporaryDir profile(QDir::tempPath() + "/larkspan-office-XXXXXX");
    if (!profile.isValid())
        throw LarkspanError("Cannot create a LibreOffice profile directory: " +
                            toBytes(profile.errorString()));

    QFileInfo source(fromBytes(input));
    QString target =
        QDir(fromBytes(outDir))
            .absoluteFilePath(source.completeBaseName() + "." + fromBytes(convertTo).section(':', 0, 0));
    QFile::remove(target);

    QProcess process;
    // A process group of its own lets a time-out end LibreOffice's launcher and the office
    // process it starts together.
    process.setChildProcessModifier([] { ::setpgid(0, 0); });
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(fromBytes(soffice),
                  {"-env:UserInstallation=" + QUrl::fromLocalFile(profile.path()).toString(), "--headless",
                   "--invisible", "--norestore", "--nologo", "--nodefault", "--nolockcheck", "--convert-to",
                   fromBytes(convertTo), "--outdir", fromBytes(outDir), source.absoluteFilePath()});
    if (!process.waitForStarted(timeoutMs))
        throw LarkspanError("LibreOffice could not be started: " + toBytes(process.errorString()));
    const auto group = static_cast<pid_t>(process.processId());
    if (!process.waitForFinished(timeoutMs) && process.state() != QProcess::NotRunning) {
        // While the launcher still runs, the group is surely the one started here.
        if (group > 0) ::kill(-group, SIGKILL);
        process.waitForFinished(5000);
        int seconds = (timeoutMs + 999) / 1000;
        throw LarkspanError("LibreOffice did not finish within " + std::to_string(seconds) +
                            (seconds == 1 ? " second" : " seconds"));
    }
    QByteArray output = process.readAll();
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0 ||
        !QFileInfo::exists(target)) {
        std::string why = lastMessage(output);
        throw LarkspanError("LibreOffice could not convert " + toBytes(source.fileName()) +
                            (why.empty() ? std::string() : ": " + why));
    }
    return toBytes(target);
}
