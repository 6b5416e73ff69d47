#include "platform/Automation.h"

#include "platform/Error.h"
#include "platform/Text.h"

namespace {
[[noreturn]] void typeMismatch() {
    throw LarkspanError("Type mismatch.");
}
} // namespace

std::shared_ptr<OleObject> OleAsObject(const OleValue& value) {
    const auto* object = std::get_if<std::shared_ptr<OleObject>>(&value);
    if (!object || !*object) typeMismatch();
    return *object;
}

long OleAsLong(const OleValue& value) {
    if (const auto* number = std::get_if<long>(&value)) return *number;
    typeMismatch();
}

std::string OleAsText(const OleValue& value) {
    if (const auto* text = std::get_if<std::string>(&value)) return *text;
    typeMismatch();
}

const OleValue* OleArgument(const OleArgs& args, const OleNamedArgs& named, std::size_t position,
                            std::string_view name) {
    if (position < args.size()) return &args[position];
    for (const auto& arg : named)
        if (equalsIgnoringCase(arg.name, name)) return &arg.value;
    return nullptr;
}
