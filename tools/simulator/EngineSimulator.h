#pragma once

#include <QByteArray>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

#include <stdexcept>
#include <string>
#include <vector>

// Starts tools/engine-simulator.py on 127.0.0.1 and a free port, for tests, benchmarks and
// screenshots, and stops it again. Rules are the simulator's --rule texts.
class EngineSimulator {
public:
    struct Request {
        std::string method;
        std::string target;
        std::string host;
        std::string path;
        std::string query;
        std::string body;
        std::string engine;
        bool proxy = false;
        bool tls = false;
        std::string raw; // the request's bytes
    };
    // A certificate and key for TLS on the same port, besides plain http.
    struct Tls {
        std::string certificateFile;
        std::string keyFile;
    };

    // Options are further words of the command line, such as a service's "--sites DIR".
    explicit EngineSimulator(const std::vector<std::string>& rules = {},
                             const std::string& script = defaultScript(), const Tls& tls = {},
                             const std::vector<std::string>& options = {}) {
        if (!dir_.isValid()) throw std::runtime_error("cannot create a directory for the simulator's log");
        QStringList args{QString::fromStdString(script), "--port", "0", "--log", logPath()};
        for (const std::string& rule : rules)
            args << "--rule" << QString::fromStdString(rule);
        if (!tls.certificateFile.empty())
            args << "--tls" << QString::fromStdString(tls.certificateFile)
                 << QString::fromStdString(tls.keyFile);
        for (const std::string& option : options)
            args << QString::fromStdString(option);
        process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process_.start("python3", args);
        if (!process_.waitForStarted(10000)) throw std::runtime_error("cannot start python3");
        while (!process_.canReadLine())
            if (!process_.waitForReadyRead(10000))
                throw std::runtime_error("the engine simulator did not start");
        port_ = process_.readLine().trimmed().toInt();
        if (port_ <= 0) throw std::runtime_error("the engine simulator printed no port");
    }
    ~EngineSimulator() {
        process_.terminate();
        if (!process_.waitForFinished(5000)) {
            process_.kill();
            process_.waitForFinished(5000);
        }
    }
    EngineSimulator(const EngineSimulator&) = delete;
    EngineSimulator& operator=(const EngineSimulator&) = delete;

    int port() const { return port_; }
    // "127.0.0.1:port", for --proxy and the configuration's proxy.
    std::string address() const { return "127.0.0.1:" + std::to_string(port_); }
    QString logPath() const { return dir_.filePath("requests.jsonl"); }

    // Every request the simulator has received so far, in order of arrival.
    std::vector<Request> requests() const {
        std::vector<Request> result;
        QFile file(logPath());
        if (!file.open(QIODevice::ReadOnly)) return result;
        for (const QByteArray& line : file.readAll().split('\n')) {
            if (line.trimmed().isEmpty()) continue;
            const QJsonObject o = QJsonDocument::fromJson(line).object();
            auto text = [&](const char* key) { return o.value(key).toString().toStdString(); };
            result.push_back({text("method"), text("target"), text("host"), text("path"), text("query"),
                              text("body"), text("engine"), o.value("proxy").toBool(),
                              o.value("tls").toBool(), o.value("raw").toString().toLatin1().toStdString()});
        }
        return result;
    }

    static std::string defaultScript() {
#ifdef LARKSPAN_SOURCE_DIR
        return LARKSPAN_SOURCE_DIR "/tools/engine-simulator.py";
#else
        return "tools/engine-simulator.py";
#endif
    }

private:
    QTemporaryDir dir_;
    QProcess process_;
    int port_ = 0;
};
