#include "NginxServer.h"

#include <QCryptographicHash>
#include <QFile>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

extern char** environ;

namespace {

std::uint16_t freeLoopbackPort() {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    socklen_t len = sizeof addr;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    ::close(fd);
    return ntohs(addr.sin_port);
}

bool accepts(std::uint16_t port) {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(port);
    bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    ::close(fd);
    return ok;
}

std::string findNginx() {
    for (const char* candidate : {"/usr/sbin/nginx", "/usr/local/sbin/nginx", "/usr/bin/nginx"})
        if (::access(candidate, X_OK) == 0) return candidate;
    return {};
}

} // namespace

NginxServer::NginxServer() {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/larkspan-nginx-XXXXXX";
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    if (::mkdtemp(buf.data())) dir_ = buf.data();
}

NginxServer::~NginxServer() {
    stop();
    if (!dir_.empty()) {
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }
}

std::string NginxServer::url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
}

std::string NginxServer::tlsUrl(const std::string& path, const std::string& host) const {
    return "https://" + host + ":" + std::to_string(tlsPort_) + path;
}

void NginxServer::enableTls(const std::string& certificateFile, const std::string& keyFile, Http2 http2) {
    certificateFile_ = certificateFile;
    keyFile_ = keyFile;
    http2_ = http2 == Http2::On;
}

std::string NginxServer::writeFile(const std::string& name, const std::string& content) const {
    std::string full = docRoot() + "/" + name;
    std::ofstream(full, std::ios::binary) << content;
    return full;
}

std::string NginxServer::writeRandomFile(const std::string& name, std::int64_t size) const {
    std::string full = docRoot() + "/" + name;
    std::ofstream out(full, std::ios::binary);
    std::string block(1 << 20, '\0');
    std::uint64_t state = 0x9E3779B97F4A7C15ull;
    for (std::int64_t done = 0; done < size;) {
        for (std::size_t i = 0; i + 8 <= block.size(); i += 8) {
            // xorshift64: fast, and different in every block, so a misplaced block shows.
            state ^= state << 13;
            state ^= state >> 7;
            state ^= state << 17;
            std::memcpy(&block[i], &state, 8);
        }
        auto n = static_cast<std::streamsize>(
            std::min<std::int64_t>(size - done, static_cast<std::int64_t>(block.size())));
        out.write(block.data(), n);
        done += n;
    }
    return full;
}

bool NginxServer::start() {
    if (dir_.empty()) {
        error_ = "cannot create a temporary directory";
        return false;
    }
    const std::string nginx = findNginx();
    if (nginx.empty()) {
        error_ = "nginx is not installed";
        return false;
    }
    std::filesystem::create_directories(dir_ + "/www");
    std::filesystem::create_directories(dir_ + "/tmp");
    // The document root and the temp paths must be usable whichever user nginx runs its work as.
    ::chmod(dir_.c_str(), 0755);
    ::chmod((dir_ + "/www").c_str(), 0755);

    for (int attempt = 0; attempt < 5; ++attempt) {
        port_ = freeLoopbackPort();
        const std::string p = std::to_string(port_);
        std::string tls;
        if (!certificateFile_.empty()) {
            tlsPort_ = freeLoopbackPort();
            tls = "    listen 127.0.0.1:" + std::to_string(tlsPort_) +
                  (http2_ ? " ssl http2;\n" : " ssl;\n") + "    ssl_certificate " + certificateFile_ +
                  ";\n    ssl_certificate_key " + keyFile_ + ";\n    ssl_session_cache shared:tls:1m;\n";
        }
        std::ofstream conf(dir_ + "/nginx.conf");
        conf << "daemon off;\n"
                "master_process off;\n"
                "worker_processes 1;\n"
                "pid "
             << dir_
             << "/nginx.pid;\n"
                "error_log "
             << dir_
             << "/error.log warn;\n"
                "events { worker_connections 1024; }\n"
                "http {\n"
                "  access_log off;\n"
                // The benchmarks send 10,000 requests on a few connections: a connection that the
                // server closes after its default 1,000 makes curl --parallel fail now and then.
                "  keepalive_requests 1000000;\n"
                "  default_type application/octet-stream;\n"
                "  sendfile on;\n"
                "  client_body_temp_path "
             << dir_
             << "/tmp/body;\n"
                "  proxy_temp_path "
             << dir_
             << "/tmp/proxy;\n"
                "  fastcgi_temp_path "
             << dir_
             << "/tmp/fastcgi;\n"
                "  uwsgi_temp_path "
             << dir_
             << "/tmp/uwsgi;\n"
                "  scgi_temp_path "
             << dir_
             << "/tmp/scgi;\n"
                "  server {\n"
                "    listen 127.0.0.1:"
             << p << ";\n"
             << tls << "    root " << dir_
             << "/www;\n"
                "    location = /post {\n"
                "      proxy_pass http://127.0.0.1:"
             << p
             << "/echo;\n"
                "      proxy_set_header X-Body $request_body;\n"
                "      proxy_set_header X-Method $request_method;\n"
                "    }\n"
                "    location = /echo { return 200 \"method=$http_x_method body=$http_x_body\\n\"; }\n"
                "    location = /connection {\n"
                "      return 200 \"$connection $connection_requests $server_protocol\\n\";\n"
                "    }\n"
                "  }\n"
                "}\n";
        conf.close();

        const std::string confPath = dir_ + "/nginx.conf";
        const std::string logPath = dir_ + "/error.log";
        std::vector<std::string> args = {nginx, "-p", dir_, "-c", confPath, "-e", logPath};
        std::vector<char*> argv;
        for (auto& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        int rc = posix_spawn(&pid_, nginx.c_str(), &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        if (rc != 0) {
            pid_ = -1;
            error_ = "cannot start nginx";
            return false;
        }
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (std::chrono::steady_clock::now() < deadline) {
            int status = 0;
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                break; // it exited: most likely the port was taken meanwhile; try another
            }
            if (accepts(port_)) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        stop();
    }
    std::ifstream log(dir_ + "/error.log");
    error_ = "nginx did not start: " + std::string(std::istreambuf_iterator<char>(log), {});
    return false;
}

void NginxServer::stop() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGQUIT);
    for (int i = 0; i < 250; ++i) {
        if (::waitpid(pid_, nullptr, WNOHANG) == pid_) {
            pid_ = -1;
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
    pid_ = -1;
}

std::string Sha256OfFile(const std::string& name) {
    QFile file(QString::fromStdString(name));
    if (!file.open(QIODevice::ReadOnly)) return {};
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(&file);
    return hash.result().toHex().toStdString();
}

std::string Sha256Of(const std::string& bytes) {
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
    return hash.result().toHex().toStdString();
}
