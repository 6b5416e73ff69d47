#pragma once

#include "platform/Automation.h"
#include "platform/Error.h"

#include <string>
#include <vector>

// Automation servers that write down every call, in order, and answer each with a new
// object. They can be told to be missing or to fail one member, and they count the objects
// still referenced so that tests can see everything was released.
class RecordingOle final : public OleServers {
public:
    explicit RecordingOle(std::vector<std::string>* log = nullptr) : log_(log ? log : &own_) {}

    std::shared_ptr<OleObject> CreateOleObject(std::string_view progId) override;

    const std::vector<std::string>& log() const { return *log_; }
    bool available = true;
    std::string failingMember; // a call of this member throws "The server refused the call"
    int objectsAlive = 0;

private:
    friend class RecordedObject;

    std::vector<std::string> own_;
    std::vector<std::string>* log_;
    int nextId_ = 1;
};
