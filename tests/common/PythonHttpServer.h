#pragma once

#include <QProcess>
#include <QRegularExpression>
#include <QString>

#include <string>

// Python's http.server on a free port of 127.0.0.1, serving a directory, for as long as the
// object lives. port() is 0 when it did not start.
class PythonHttpServer {
public:
    explicit PythonHttpServer(const std::string& root) {
        process_.setProcessChannelMode(QProcess::MergedChannels);
        process_.start("python3", {"-u", "-m", "http.server", "0", "--bind", "127.0.0.1", "--directory",
                                   QString::fromStdString(root)});
        QString seen;
        const QRegularExpression portLine("port (\\d+)");
        while (process_.waitForReadyRead(10000)) {
            seen += QString::fromUtf8(process_.readAll());
            auto m = portLine.match(seen);
            if (m.hasMatch()) {
                port_ = m.captured(1).toInt();
                break;
            }
        }
    }
    ~PythonHttpServer() {
        process_.kill();
        process_.waitForFinished();
    }
    PythonHttpServer(const PythonHttpServer&) = delete;
    PythonHttpServer& operator=(const PythonHttpServer&) = delete;

    int port() const { return port_; }
    std::string address() const { return "http://127.0.0.1:" + std::to_string(port_); }

private:
    QProcess process_;
    int port_ = 0;
};
