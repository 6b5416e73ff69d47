#include "ClientProbe.h"

#include <algorithm>

ClientProbe::ClientProbe(THttpClient& client) {
    client.OnAboutToSend = [this](TSockClient&) { note("AboutToSend"); };
    client.OnHostResolved = [this](TSockClient&) { note("HostResolved"); };
    client.OnConnect = [this](TSockClient&) { note("Connect"); };
    client.OnPacketRecvd = [this](TSockClient&) { note("PacketRecvd"); };
    client.OnSuccess = [this](CmdType cmd) {
        note("Success(" + std::to_string(static_cast<int>(cmd)) + ")");
    };
    client.OnFailure = [this](CmdType cmd) {
        note("Failure(" + std::to_string(static_cast<int>(cmd)) + ")");
    };
    client.OnDisconnect = [this](TSockClient&) { note("Disconnect"); };
    client.OnRedirect = [this](bool&) { note("Redirect"); };
    client.OnAuthenticationNeeded = [this](TSockClient&) { note("AuthenticationNeeded"); };
}

void ClientProbe::note(const std::string& name) {
    all_.push_back(name);
    if (name != "Disconnect" && (events_.empty() || events_.back() != name)) events_.push_back(name);
}

std::string ClientProbe::events() const {
    std::string out;
    for (const auto& e : events_)
        out += (out.empty() ? "" : " ") + e;
    return out;
}

int ClientProbe::count(const std::string& name) const {
    return static_cast<int>(std::count(all_.begin(), all_.end(), name));
}

bool ClientProbe::disconnectedEveryPass() const {
    bool open = false;
    for (const auto& e : all_) {
        if (e == "Connect")
            open = true;
        else if (e == "Disconnect")
            open = false;
        else if (open && (e == "AboutToSend" || e == "Redirect" || e == "AuthenticationNeeded"))
            return false;
    }
    return !open;
}
