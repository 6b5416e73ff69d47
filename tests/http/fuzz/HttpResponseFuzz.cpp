// libFuzzer target: arbitrary bytes as a server's reply to the HTTP client.
//
// The reply goes through the real path: a loopback server (one thread, kept for the whole
// run) sends the input as its reply to each connection and closes, and the client on the main
// thread reads it through its socket, receive buffer, header reading and body capture. The
// proxy is set to that server, so a Location of any host still comes back to it and nothing
// ever leaves the machine. The first byte chooses the client's modes; the rest is the reply.

#include "support/ScriptedServer.h"

#include "http/socket/HttpClient.h"
#include "platform/EventLoopQt.h"

#include <QCoreApplication>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QCoreApplication* app = nullptr;
ScriptedServer* server = nullptr;
// One client for the whole run, as the program keeps one: state left by one reply must not
// break the next request either.
THttpClient* client = nullptr;
std::string bodyFile;
std::string headerFile;

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    app = new QCoreApplication(*argc, *argv);
    EventLoop::install(std::make_unique<EventLoopQt>());
    server = new ScriptedServer;
    const std::string dir = "/tmp/larkspan-fuzz-" + std::to_string(::getpid());
    ::mkdir(dir.c_str(), 0700);
    bodyFile = dir + "/body";
    headerFile = dir + "/head";
    client = new THttpClient;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const std::uint8_t options = data[0];
    server->setScripts(
        {{ScriptedServer::send(std::string(reinterpret_cast<const char*>(data) + 1, size - 1))}});

    THttpClient& c = *client;
    c.TimeOut = 2000;
    c.RequestDeadline = 8000;
    c.Proxy = "127.0.0.1";
    c.ProxyPort = server->port();
    c.InputFileMode = options & 1;
    c.MaxBodySize = (options & 2) ? 16 : 0;
    c.HeaderInfo.Cookie = (options & 8) ? c.HeaderInfo.Cookie : "";
    c.Body = c.InputFileMode ? bodyFile : "";
    c.Header = c.InputFileMode ? headerFile : "";
    try {
        if (options & 4)
            c.Post("http://fuzz.invalid/p", "a=1");
        else
            c.Get("http://fuzz.invalid/g");
    } catch (const LarkspanError&) {
        // Every failure the client knows of is one of these; anything else escapes and is
        // reported by the fuzzer as a crash.
    }
    // Whatever the reply, the connection is closed and the bounds held.
    if (c.connected()) std::abort();
    if (!c.InputFileMode && c.MaxBodySize > 0 && static_cast<std::int64_t>(c.Body.size()) > 16) std::abort();
    if (!c.InputFileMode && static_cast<std::int64_t>(c.Header.size()) > THttpClient::MaxHeaderSize)
        std::abort();
    return 0;
}
