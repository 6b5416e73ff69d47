#include "platform/Mail.h"

#include <QCoreApplication>
#include <QProcess>
#include <memory>

void runProgram(const std::string& program, const std::vector<std::string>& arguments,
                std::function<void(bool succeeded)> finished) {
    QStringList args;
    for (const std::string& a : arguments)
        args << QString::fromUtf8(a.data(), static_cast<qsizetype>(a.size()));
    // The process belongs to the application, not to a window: the mail composer may outlive
    // the window that asked for it.
    auto* process = new QProcess(QCoreApplication::instance());
    process->setStandardOutputFile(QProcess::nullDevice());
    process->setStandardErrorFile(QProcess::nullDevice());
    process->setStandardInputFile(QProcess::nullDevice());
    // Both signals may come for one process (a crash reports an error and then finishes);
    // the caller hears about the first only.
    auto done = std::make_shared<std::function<void(bool)>>(std::move(finished));
    enum class Outcome { Succeeded, Failed };
    auto report = [process, done](Outcome outcome) {
        process->deleteLater();
        if (!*done) return;
        auto callback = std::move(*done);
        *done = nullptr;
        // When the application is being torn down, the process is killed and nobody is left
        // to tell.
        if (QCoreApplication::closingDown()) return;
        callback(outcome == Outcome::Succeeded);
    };
    QObject::connect(process, &QProcess::finished, process, [report](int code, QProcess::ExitStatus status) {
        report(status == QProcess::NormalExit && code == 0 ? Outcome::Succeeded : Outcome::Failed);
    });
    QObject::connect(process, &QProcess::errorOccurred, process, [report](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart) report(Outcome::Failed);
    });
    process->start(QString::fromUtf8(program.data(), static_cast<qsizetype>(program.size())), args);
}

std::vector<std::string> mailArguments(const std::string& body) {
    if (body.empty()) return {"mailto:"};
    // Everything but the unreserved characters is encoded, so the address holds no blank, no
    // line break and nothing a shell or the mail program could read as syntax.
    QByteArray encoded = QByteArray::fromStdString(body).toPercentEncoding();
    return {"mailto:?body=" + encoded.toStdString()};
}

bool mailBodyFits(const std::string& body) {
    return mailArguments(body).front().size() <= MaxMailArgumentBytes;
}

void sendMail(const std::string& body, std::function<void(bool sent)> finished, const ProgramRunner& runner) {
    runner(MailProgram, mailArguments(body), std::move(finished));
}
