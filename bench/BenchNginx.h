#pragma once

// What the benchmarks against curl --parallel share: nginx over TLS with the test
// certificates, and a live client and a curl command that keep the same number of transfers
// in flight.

#include "support/NginxServer.h"
#include "support/TestCertificates.h"

#include "http/live/LiveClient.h"

#include <cstdio>
#include <string>
#include <vector>

namespace bench {

// Starts nginx over TLS; prints why and returns false when it cannot.
inline bool startTlsNginx(NginxServer& nginx, NginxServer::Http2 http2) {
    const TestCertificates& certs = TestCertificates::get();
    if (!certs.error().empty()) {
        std::fprintf(stderr, "%s\n", certs.error().c_str());
        return false;
    }
    nginx.enableTls(certs.path("server.pem"), certs.key(), http2);
    if (!nginx.start()) {
        std::fprintf(stderr, "%s\n", nginx.error().c_str());
        return false;
    }
    return true;
}

// A live client that trusts the test CA and keeps parallel transfers in flight.
inline LiveClient::Settings parallelClient(int parallel) {
    LiveClient::Settings settings;
    settings.caFile = TestCertificates::get().ca();
    settings.userAgent = "Larkspan/bench";
    settings.perHost = parallel;
    settings.connections = parallel;
    return settings;
}

// curl fetching url?1 to url?count, parallel at a time.
inline std::vector<std::string> curlParallel(const std::string& url, int count, int parallel) {
    return {"--cacert",
            TestCertificates::get().ca(),
            "-s",
            "--parallel",
            "--parallel-max",
            std::to_string(parallel),
            url + "?[1-" + std::to_string(count) + "]"};
}

} // namespace bench
