#include "platform/HostLookup.h"

#include "platform/EventLoop.h"

#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <thread>

HostLookupResult lookupHostBlocking(const std::string& name) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* list = nullptr;
    HostLookupResult result;
    result.error = getaddrinfo(name.c_str(), nullptr, &hints, &list);
    if (result.error != 0) return result;
    for (const addrinfo* a = list; a; a = a->ai_next) {
        if (a->ai_family == AF_INET && a->ai_addr) {
            result.address = reinterpret_cast<const sockaddr_in*>(a->ai_addr)->sin_addr.s_addr;
            break;
        }
    }
    freeaddrinfo(list);
    if (result.address == 0) result.error = EAI_NODATA;
    return result;
}

void lookupHostAsync(const std::string& name, std::function<void(const HostLookupResult&)> done) {
    // The event loop is fetched here, on the main thread, so the worker only posts to it.
    EventLoop& loop = EventLoop::instance();
    // A resolver can take seconds; the thread is detached so that nobody has to wait for it,
    // and it touches nothing but its own copies and the thread-safe post().
    std::thread([name, done = std::move(done), &loop]() mutable {
        HostLookupResult result = lookupHostBlocking(name);
        loop.post([done = std::move(done), result] { done(result); });
    }).detach();
}
