#include "core/google/ApiJson.h"

#include <charconv>

namespace {

using nlohmann::json;

// Far deeper than any of Google's answers, and shallow enough that nothing built on it runs
// out of stack.
constexpr int MaxDepth = 64;

struct TooDeep {};

std::string quoted(const char* name) {
    return std::string("\"") + name + "\"";
}

} // namespace

json parseApiJson(std::string_view body, std::size_t maxBytes) {
    if (body.size() > maxBytes)
        throw ApiJsonError("the answer of " + std::to_string(body.size()) + " bytes is larger than " +
                           std::to_string(maxBytes) + " bytes, more than such an answer can be");
    const json::parser_callback_t depthLimit = [](int depth, json::parse_event_t, json&) {
        if (depth > MaxDepth) throw TooDeep{};
        return true;
    };
    try {
        return json::parse(body.begin(), body.end(), depthLimit);
    } catch (const TooDeep&) {
        throw ApiJsonError("the answer is nested deeper than " + std::to_string(MaxDepth) + " levels");
    } catch (const json::parse_error& e) {
        throw ApiJsonError("the answer is not JSON (the fault is near byte " + std::to_string(e.byte) + ")");
    } catch (const json::exception&) {
        // A number beyond what a double holds is the one other fault that parsing reports.
        throw ApiJsonError("the answer is not JSON (a number in it is too large)");
    }
}

const json* objectMember(const json& object, const char* name) {
    const auto it = object.find(name);
    if (it == object.end() || it->is_null()) return nullptr;
    if (!it->is_object()) throw ApiJsonError("the field " + quoted(name) + " is not an object");
    return &*it;
}

std::string textMember(const json& object, const char* name) {
    const auto it = object.find(name);
    if (it == object.end() || it->is_null()) return {};
    if (!it->is_string()) throw ApiJsonError("the field " + quoted(name) + " is not a text");
    return it->get<std::string>();
}

bool boolMember(const json& object, const char* name) {
    const auto it = object.find(name);
    if (it == object.end() || it->is_null()) return false;
    if (!it->is_boolean()) throw ApiJsonError("the field " + quoted(name) + " is not true or false");
    return it->get<bool>();
}

std::int64_t countMember(const json& object, const char* name) {
    const auto it = object.find(name);
    if (it == object.end() || it->is_null()) return 0;
    if (it->is_number_unsigned() && it->get<std::uint64_t>() <= INT64_MAX)
        return static_cast<std::int64_t>(it->get<std::uint64_t>());
    if (it->is_string()) {
        const std::string& text = it->get_ref<const std::string&>();
        std::int64_t count = 0;
        const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), count);
        if (!text.empty() && ec == std::errc() && end == text.data() + text.size() && count >= 0)
            return count;
    }
    throw ApiJsonError("the field " + quoted(name) + " is not a count");
}
