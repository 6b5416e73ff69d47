#pragma once

#include "http/live/LiveClient.h"

#include <curl/curl.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

struct x509_st;

// The certificates of Settings::caFile, read once, added to the system's store of every new
// TLS connection.
class ExtraCertificates {
public:
    explicit ExtraCertificates(const std::string& file);
    ~ExtraCertificates();
    ExtraCertificates(const ExtraCertificates&) = delete;
    ExtraCertificates& operator=(const ExtraCertificates&) = delete;

    bool empty() const { return certificates_.empty(); }
    // The system's store as a directory of hashed certificate files, when curl knows one: the
    // one issuer a server needs is read from it on demand, where the system's bundle file has
    // to be read whole (a hundred milliseconds and more, for every new connection).
    const std::string& systemDirectory() const { return systemDirectory_; }
    // Why the file gave no certificate (empty when it did, or when there is no file).
    const std::string& error() const { return error_; }
    // CURLOPT_SSL_CTX_FUNCTION.
    static CURLcode addToContext(CURL* easy, void* sslContext, void* self);

private:
    std::vector<x509_st*> certificates_;
    std::string error_;
    std::string systemDirectory_;
};

// One live request on its way: the request as it stands after the redirects so far, the answer
// as it grows, and the curl handle of the hop that runs.
struct LiveTransfer {
    using Clock = std::chrono::steady_clock;

    LiveClient::Id id = 0;
    LiveRequest request;
    LiveClient::Done done;
    Url url; // of the hop that runs or waits
    LiveAnswer answer;
    Clock::time_point started = Clock::now();
    Clock::time_point hopStarted = Clock::now();
    std::chrono::milliseconds deadline{0};
    std::uint64_t maxBodyBytes = 0;

    CURL* easy = nullptr;
    curl_slist* headerLines = nullptr;
    char errorBuffer[CURL_ERROR_SIZE] = {};
    std::uint64_t hopBytes = 0;
    int redirectsFollowed = 0;
    bool inMulti = false;         // added to the multi handle, holding a slot of the limits
    bool overCap = false;         // the body passed maxBodyBytes
    bool sinkStopped = false;     // the sink asked for no more
    bool cancelRequested = false; // cancel came while curl was running a callback

    LiveTransfer() = default;
    ~LiveTransfer();
    LiveTransfer(const LiveTransfer&) = delete;
    LiveTransfer& operator=(const LiveTransfer&) = delete;

    // What is left of the deadline (at least 1 ms, as curl takes 0 for "none").
    std::chrono::milliseconds remaining() const;
    // Sets up the easy handle for the hop to url; false when curl has no handle to give.
    bool prepareHop(const LiveClient::Settings& settings, const ExtraCertificates& extra, CURLSH* share);
    // Ends the hop that ran: one entry of answer.hops.
    void recordHop();
    // The sentence for a hop that ended without an answer.
    std::string failureText(CURLcode code, const LiveClient::Settings& settings) const;
};

// Why a request cannot be sent at all (empty when it can): headers with line breaks or other
// controls, which would forge header lines.
std::string requestFault(const LiveRequest& request);
