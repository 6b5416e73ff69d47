#include "platform/Json.h"

#include "platform/Text.h"

#include <cstdio>

namespace {

// Appends one ASCII byte as a JSON string holds it: the short escape where JSON has one, \u00XX
// for the other control characters and DEL, else the byte itself.
void appendEscaped(std::string& out, unsigned char c) {
    switch (c) {
    case '"':
        out += "\\\"";
        break;
    case '\\':
        out += "\\\\";
        break;
    case '\n':
        out += "\\n";
        break;
    case '\r':
        out += "\\r";
        break;
    case '\t':
        out += "\\t";
        break;
    case '\b':
        out += "\\b";
        break;
    case '\f':
        out += "\\f";
        break;
    default:
        if (c < 0x20 || c == 0x7F) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", c);
            out += buf;
        } else {
            out += static_cast<char>(c);
        }
    }
}

} // namespace

std::string jsonString(std::string_view text) {
    std::string out;
    out.reserve(text.size() + 2);
    out += '"';
    for (std::size_t i = 0; i < text.size();) {
        // A run of bytes that stand for themselves goes in at once: a URL is nearly all one run.
        std::size_t plain = i;
        while (plain < text.size() && text[plain] >= 0x20 && text[plain] < 0x7F && text[plain] != '"' &&
               text[plain] != '\\')
            ++plain;
        if (plain > i) {
            out.append(text, i, plain - i);
            i = plain;
            continue;
        }
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (c >= 0x80) {
            const std::size_t n = utf8SequenceLength(text, i);
            const char32_t code = n == 0 ? U'\uFFFD' : utf8CodePoint(text.substr(i, n));
            if (n == 0 || unsafeOnTerminal(code)) {
                // The same text, written so that no terminal takes it for a control.
                char buf[8];
                std::snprintf(buf, sizeof buf, "\\u%04x", static_cast<unsigned>(code));
                out += buf;
            } else {
                out.append(text, i, n);
            }
            i += n == 0 ? 1 : n;
            continue;
        }
        appendEscaped(out, c);
        ++i;
    }
    out += '"';
    return out;
}
