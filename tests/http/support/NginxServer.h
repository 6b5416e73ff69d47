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
class NginxServer {
public:
    NginxServer();
    ~NginxServer();
    NginxServer(const NginxServer&) = delete;
    NginxServer& operator=(const NginxServer&) = delete;

    // False (with the reason in error()) when nginx is not installed or did not come up.
    bool start();
    const std::string& error() const { return error_; }

    std::uint16_t port() const { return port_; }
    std::string url(const std::string& path) const;
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
    pid_t pid_ = -1;
};

// The SHA-256 of a file's contents as hex, or "" when it cannot be read.
std::string Sha256OfFile(const std::string& name);
// The SHA-256 of bytes as hex.
std::string Sha256Of(const std::string& bytes);
