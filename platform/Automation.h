#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

class OleObject;

// A block of texts handed to a server in one call: first index the row, second the column.
using OleTextBlock = std::vector<std::vector<std::string>>;
// A value passed to or returned by an automation call.
using OleValue = std::variant<std::monostate, long, std::string, OleTextBlock, std::shared_ptr<OleObject>>;
struct OleNamedArg {
    std::string name;
    OleValue value;
};
using OleArgs = std::vector<OleValue>;
using OleNamedArgs = std::vector<OleNamedArg>;

// An object of an office automation server, reached by member name as late-bound
// automation does: read a property (some take arguments), set one, or call a method.
// Member and argument names match without regard to case. A failing call throws
// LarkspanError with the server's message. Objects stay usable while a reference is held.
class OleObject {
public:
    virtual ~OleObject() = default;
    virtual OleValue Get(std::string_view name, const OleArgs& args = {}) = 0;
    virtual void Set(std::string_view name, const OleValue& value) = 0;
    virtual OleValue Call(std::string_view method, const OleArgs& args = {},
                          const OleNamedArgs& named = {}) = 0;
};

// The registry of automation servers by programmatic identifier ("excel.application").
class OleServers {
public:
    virtual ~OleServers() = default;
    // Starts the server and returns its application object. Throws LarkspanError when no
    // such server is registered or it cannot start.
    virtual std::shared_ptr<OleObject> CreateOleObject(std::string_view progId) = 0;
};

// Helpers for callers and servers. Each throws LarkspanError("Type mismatch.") when the
// value is not of the kind asked for.
std::shared_ptr<OleObject> OleAsObject(const OleValue& value);
long OleAsLong(const OleValue& value);
std::string OleAsText(const OleValue& value);
// The argument at a position, or else the named argument of that name; nullptr when neither.
const OleValue* OleArgument(const OleArgs& args, const OleNamedArgs& named, std::size_t position,
                            std::string_view name);
