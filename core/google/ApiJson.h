#pragma once

#include <nlohmann/json.hpp>

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

// Reading the answers of Google's JSON APIs (URL Inspection, the sitemaps list) so that no
// answer, however large, deep or oddly typed, does more than fail with a sentence. Only the
// .cpp files of core/ that read such answers include this header.

// Why an answer cannot be read, as a sentence such as "the field \"verdict\" is not a text".
class ApiJsonError : public std::runtime_error {
public:
    explicit ApiJsonError(const std::string& why) : std::runtime_error(why) {}
};

// The document of an answer of at most maxBytes bytes, nested at most 64 deep. Throws
// ApiJsonError for anything else. The library's own messages are not used: they quote the
// text around the fault, which is the server's and may be anything.
nlohmann::json parseApiJson(std::string_view body, std::size_t maxBytes);

// The member of an object that must be an object; nothing when it is absent or null.
const nlohmann::json* objectMember(const nlohmann::json& object, const char* name);
// A text member; empty when absent or null, ApiJsonError when it is of another type.
std::string textMember(const nlohmann::json& object, const char* name);
// A yes-or-no member; false when absent or null.
bool boolMember(const nlohmann::json& object, const char* name);
// A count: Google writes 64-bit numbers as texts of digits ("120"), and a number is taken too.
// 0 when absent or null; ApiJsonError for a negative, fractional or unreadable value.
std::int64_t countMember(const nlohmann::json& object, const char* name);
