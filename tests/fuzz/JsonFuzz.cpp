// libFuzzer target: the JSON string writer.
//
// Whatever bytes a profile holds, the string literal written for them, alone and inside an
// object as the request listing writes them, is valid JSON, and a JSON reader gets the text
// back: unchanged when it is UTF-8, with U+FFFD in place of the bytes that are not.

#include "platform/Json.h"

#include <QString>
#include <nlohmann/json.hpp>

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::string literal = jsonString(text);
    if (!nlohmann::json::accept(literal)) std::abort();
    const std::string line = "{\"engine\": " + jsonString(text.substr(0, size / 2)) +
                             ", \"url\": " + jsonString(text.substr(size / 2)) + "}";
    if (!nlohmann::json::accept(line)) std::abort();
    const std::string decoded = nlohmann::json::parse(literal).get<std::string>();
    const QByteArray asUtf8 = QByteArray::fromStdString(text);
    const bool wellFormed = QString::fromUtf8(asUtf8).toUtf8() == asUtf8;
    if (wellFormed && decoded != text) std::abort();
    if (QString::fromUtf8(QByteArray::fromStdString(decoded)).toUtf8().toStdString() != decoded) std::abort();
    return 0;
}
