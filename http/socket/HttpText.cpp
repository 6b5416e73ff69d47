#include "http/socket/HttpText.h"

#include <limits>

std::string NthField(std::string_view text, char c, int n) {
    if (n < 1) return {};
    std::size_t start = 0;
    for (int field = 1; field < n; ++field) {
        auto sep = text.find(c, start);
        if (sep == std::string_view::npos) return {};
        start = sep + 1;
    }
    auto end = text.find(c, start);
    if (end == std::string_view::npos) end = text.size();
    return std::string(text.substr(start, end - start));
}

std::size_t NthPosition(std::string_view text, char c, int n) {
    int seen = 0;
    for (std::size_t i = 0; i < text.size(); ++i)
        if (text[i] == c && ++seen == n) return i + 1;
    return text.size() + 1;
}

namespace {

bool parseInt32(std::string_view text, std::int32_t& out) {
    std::size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    if (i == text.size()) return false;
    std::int64_t value = 0;
    const std::int64_t limit = negative ? -static_cast<std::int64_t>(std::numeric_limits<std::int32_t>::min())
                                        : std::numeric_limits<std::int32_t>::max();
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        value = value * 10 + (text[i] - '0');
        if (value > limit) return false;
    }
    out = static_cast<std::int32_t>(negative ? -value : value);
    return true;
}

} // namespace

std::int32_t StrToInt(std::string_view text) {
    std::int32_t value = 0;
    if (!parseInt32(text, value)) throw EConvertError(std::string(text));
    return value;
}

std::int32_t StrToIntDef(std::string_view text, std::int32_t fallback) {
    std::int32_t value = 0;
    return parseInt32(text, value) ? value : fallback;
}

std::int64_t FirstDigitsClamped(std::string_view text, std::int64_t maxValue) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] < '0' || text[i] > '9'))
        ++i;
    std::int64_t value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        const int digit = text[i] - '0';
        // Checked before multiplying, so that no count of digits can overflow; the digits
        // after the bound only confirm the clamp.
        if (value > (maxValue - digit) / 10) return maxValue;
        value = value * 10 + digit;
    }
    return value;
}

std::string Base64Encode(std::string_view bytes) {
    static constexpr char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    std::size_t i = 0;
    for (; i + 3 <= bytes.size(); i += 3) {
        unsigned v = static_cast<unsigned char>(bytes[i]) << 16 |
                     static_cast<unsigned char>(bytes[i + 1]) << 8 | static_cast<unsigned char>(bytes[i + 2]);
        out += alphabet[v >> 18 & 63];
        out += alphabet[v >> 12 & 63];
        out += alphabet[v >> 6 & 63];
        out += alphabet[v & 63];
    }
    std::size_t rest = bytes.size() - i;
    if (rest > 0) {
        unsigned v = static_cast<unsigned char>(bytes[i]) << 16;
        if (rest == 2) v |= static_cast<unsigned char>(bytes[i + 1]) << 8;
        out += alphabet[v >> 18 & 63];
        out += alphabet[v >> 12 & 63];
        out += rest == 2 ? alphabet[v >> 6 & 63] : '=';
        out += '=';
    }
    return out;
}

std::string EncodeRequestTarget(std::string_view target) {
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(target.size());
    for (char ch : target) {
        auto b = static_cast<unsigned char>(ch);
        if (b <= 0x20 || b == 0x7F) {
            out += '%';
            out += hex[b >> 4];
            out += hex[b & 15];
        } else {
            out += ch;
        }
    }
    return out;
}
