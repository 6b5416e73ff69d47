#pragma once

#include "core/run/RunClient.h"

#include <memory>

class THttpClient;

// The run's requests through the program's HTTP client. The response stays in memory (and is
// dropped after each request, since the run never reads it); the request body is the text
// given, not a file name; every status text is recorded.
class HttpRunClient final : public RunClient {
public:
    HttpRunClient();
    ~HttpRunClient() override;

    void Get(const std::string& url) override;
    void Post(const std::string& url, const std::string& body) override;
    void Abort() override;
    void setTimeOut(int milliseconds) override;
    std::int64_t bytesTotal() const override;
    std::int64_t bytesReceived() const override;
    std::optional<int> replyStatus() const override;
    std::string replyReason() const override;
    void setMaxBodySize(std::uint64_t bytes) override;
    void setRequestDeadline(int milliseconds) override;
    void setProxy(const std::string& host, int port) override;
    void setCAFile(const std::string& file) override;

    THttpClient& client() { return *http_; }

private:
    void beforeRequest();
    void afterRequest();

    std::unique_ptr<THttpClient> http_;
};
