#include "TestCertificates.h"

#include <cstdlib>
#include <filesystem>
#include <vector>

#ifndef LARKSPAN_SOURCE_DIR
#error "LARKSPAN_SOURCE_DIR must name the source tree"
#endif

const TestCertificates& TestCertificates::get() {
    static const TestCertificates certificates;
    return certificates;
}

TestCertificates::TestCertificates() {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/larkspan-certs-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (!::mkdtemp(buffer.data())) {
        error_ = "cannot create a temporary directory";
        return;
    }
    const std::string dir = buffer.data();
    const std::string command =
        std::string("'") + LARKSPAN_SOURCE_DIR "/tests/http/support/make-test-certs.sh' '" + dir + "'";
    if (std::system(command.c_str()) != 0) {
        error_ = "make-test-certs.sh failed";
        return;
    }
    dir_ = dir;
    // The directory goes when the test program ends.
    static const struct Remover {
        std::string dir;
        ~Remover() {
            std::error_code ignored;
            std::filesystem::remove_all(dir, ignored);
        }
    } remover{dir};
}
