#pragma once

#include <cstdint>
#include <string>
#include <sys/types.h>

// nginx from the system's packages, started for one test or benchmark on a free loopback port.
//
// It runs as the current user in the foreground as a single process, with its own
// configuration, document root, temp directories, pid file and error log in a fresh
// directory under $TMPDIR, so it neither needs nor touches the system's nginx service.
// The directory is removed again when the server is destroyed.
//
// It serves the files of docRoot() and, for "/post", answers "method=M body=B\n" with the
// method and the body of the request (the body passes through a header, so keep it small).
// "/connection" answers "CONNECTION REQUESTS PROTOCOL\n": nginx's number of the connection, the
// requests it has carried so far, and "HTTP/1.1" or "HTTP/2.0", so tests can see reuse.
class NginxServer {
public:
    NginxServer();
    ~NginxServer();
    NginxServer(const NginxServer&) = delete;
    NginxServer& operator=(const NginxServer&) = delete;

    // Also serves everything over TLS on a second port, with this certificate and key. Call it
    // before start(). With Http2::On the TLS port also offers HTTP/2 (by ALPN).
    enum class Http2 { Off, On };
    void enableTls(const std::string& certificateFile, const std::string& keyFile, Http2 http2 = Http2::Off);
    // False (with the reason in error()) when nginx is not installed or did not come up.
    bool start();
    const std::string& error() const { return error_; }

    std::uint16_t port() const { return port_; }
    std::string url(const std::string& path) const;
    // The same over TLS, with the given host name (127.0.0.1 or localhost).
    std::string tlsUrl(const std::string& path, const std::string& host = "127.0.0.1") const;
    std::uint16_t tlsPort() const { return tlsPort_; }
    const std::string& directory() const { return dir_; }
    std::string docRoot() const { return dir_ + "/www"; }

    // Writes a file below docRoot(); returns its full name.
    std::string writeFile(const std::string& name, const std::string& content) const;
    // Writes a file of size bytes of pseudo-random data below docRoot(); returns its full name.
    std::string writeRandomFile(const std::string& name, std::int64_t size) const;

private:
    void stop();

    std::string dir_;
    std::string error_;
    std::uint16_t port_ = 0;
    std::uint16_t tlsPort_ = 0;
    std::string certificateFile_;
    std::string keyFile_;
    bool http2_ = false;
    pid_t pid_ = -1;
};

// The SHA-256 of a file's contents as hex, or "" when it cannot be read.
std::string Sha256OfFile(const std::string& name);
// The SHA-256 of bytes as hex.
std::string Sha256Of(const std::string& bytes);
