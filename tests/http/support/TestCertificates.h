#pragma once

#include <string>

// The certificates of the TLS tests, made once per test program by make-test-certs.sh in a
// temporary directory (see that script for what each one is). Empty paths when the openssl
// command failed; error() says why.
class TestCertificates {
public:
    static const TestCertificates& get();

    std::string path(const std::string& name) const { return dir_.empty() ? "" : dir_ + "/" + name; }
    std::string ca() const { return path("ca.pem"); }
    std::string key() const { return path("server.key"); }
    const std::string& error() const { return error_; }

private:
    TestCertificates();
    std::string dir_;
    std::string error_;
};
