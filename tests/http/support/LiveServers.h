#pragma once

#include <QProcess>
#include <QString>

#include <map>
#include <string>

// The fault servers of live-servers.py on 127.0.0.1 for as long as the object lives (see the
// script for what each one plays). port(name) is 0 when they did not start. With a certificate
// and its key, the web server also listens for TLS ("tls").
class LiveServers {
public:
    explicit LiveServers(const std::string& certificate = {}, const std::string& key = {}) {
        QStringList args = {"-u", QString(LARKSPAN_SOURCE_DIR "/tests/http/support/live-servers.py")};
        if (!certificate.empty()) args << QString::fromStdString(certificate) << QString::fromStdString(key);
        process_.start("python3", args);
        while (process_.waitForReadyRead(10000)) {
            while (process_.canReadLine()) {
                const std::string line = process_.readLine().trimmed().toStdString();
                if (line == "ready") return;
                const auto space = line.find(' ');
                if (space != std::string::npos)
                    ports_[line.substr(0, space)] = std::stoi(line.substr(space + 1));
            }
        }
        ports_.clear();
    }
    ~LiveServers() {
        process_.kill();
        process_.waitForFinished();
    }
    LiveServers(const LiveServers&) = delete;
    LiveServers& operator=(const LiveServers&) = delete;

    int port(const std::string& name) const {
        auto found = ports_.find(name);
        return found == ports_.end() ? 0 : found->second;
    }
    // A URL of the web server under 127.0.0.1 (or another name of the loopback host).
    std::string web(const std::string& path, const std::string& host = "127.0.0.1") const {
        return "http://" + host + ":" + std::to_string(port("web")) + path;
    }
    std::string tls(const std::string& path) const {
        return "https://127.0.0.1:" + std::to_string(port("tls")) + path;
    }

private:
    QProcess process_;
    std::map<std::string, int> ports_;
};
