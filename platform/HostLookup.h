#pragma once

#include <cstdint>
#include <functional>
#include <string>

// Asynchronous IPv4 name lookup.
//
// getaddrinfo runs on a thread of its own, so a slow resolver never blocks the window; the
// result comes back on the main thread through the event loop. The callback always runs
// exactly once, so a caller that may be gone by then guards it (for example with a weak
// pointer) rather than cancelling the lookup.
struct HostLookupResult {
    // 0 on success, else the getaddrinfo error code (EAI_NONAME and so on).
    int error = 0;
    // The first IPv4 address found, in network byte order.
    std::uint32_t address = 0;
};

void lookupHostAsync(const std::string& name, std::function<void(const HostLookupResult&)> done);

// The same lookup, blocking; what the thread above runs.
HostLookupResult lookupHostBlocking(const std::string& name);
