#include "core/google/HeldSecrets.h"

#include "platform/Text.h"

#include <deque>
#include <mutex>
#include <utility>

namespace {

constexpr std::size_t MaxHeld = 16;
// A secret shorter than this is no real one (Google's are hundreds of characters): masking it
// would only mangle the words it is part of.
constexpr std::size_t MinSecretBytes = 16;

struct Held {
    std::mutex mutex;
    std::deque<std::pair<std::string, std::string>> secrets; // secret, mask
};

Held& held() {
    static Held instance;
    return instance;
}

bool tokenCharacter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '_' || c == '.' || c == '~' || c == '+' || c == '/' || c == '=';
}

bool base64UrlCharacter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_';
}

// A secret's shape counts only where a word starts, not inside another word.
bool wordCharacter(char c) {
    return base64UrlCharacter(c) || c == '.';
}

bool blank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// The length of the run of characters of the kind at text[at].
template <typename Kind> std::size_t runOf(std::string_view text, std::size_t at, Kind kind) {
    std::size_t end = at;
    while (end < text.size() && kind(text[end]))
        ++end;
    return end - at;
}

// The length of a signed JWT at text[at] (header "eyJ", then two more parts after dots), or 0.
std::size_t jwtLength(std::string_view text, std::size_t at) {
    if (text.substr(at, 3) != "eyJ") return 0;
    std::size_t end = at;
    for (int part = 0; part < 3; ++part) {
        const std::size_t n = runOf(text, end, base64UrlCharacter);
        if (n == 0 && part < 2) return 0;
        end += n;
        if (part < 2) {
            if (end >= text.size() || text[end] != '.') return 0;
            ++end;
        }
    }
    return end - at;
}

// The shapes of secrets, in one pass.
std::string withoutShapes(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const bool wordStart = i == 0 || !wordCharacter(text[i - 1]);
        if (wordStart && equalsIgnoringCase(text.substr(i, 6), "Bearer") && i + 6 < text.size() &&
            blank(text[i + 6])) {
            std::size_t at = i + 6;
            while (at < text.size() && blank(text[at]))
                ++at;
            std::size_t end = at;
            while (end < text.size() && !blank(text[end]))
                ++end;
            out += std::string(text.substr(i, 6)) + " [token]";
            i = end;
        } else if (wordStart && text.substr(i, 5) == "ya29.") {
            out += "[token]";
            i += 5 + runOf(text, i + 5, tokenCharacter);
        } else if (const std::size_t jwt = wordStart ? jwtLength(text, i) : 0; jwt > 0) {
            out += "[assertion]";
            i += jwt;
        } else {
            out += text[i++];
        }
    }
    return out;
}

} // namespace

void holdSecret(std::string_view secret, std::string_view mask) {
    if (secret.size() < MinSecretBytes) return;
    Held& h = held();
    std::lock_guard<std::mutex> lock(h.mutex);
    h.secrets.emplace_back(std::string(secret), std::string(mask));
    if (h.secrets.size() > MaxHeld) h.secrets.pop_front();
}

std::string withoutSecrets(std::string_view text) {
    std::string out(text);
    {
        Held& h = held();
        std::lock_guard<std::mutex> lock(h.mutex);
        for (const auto& [secret, mask] : h.secrets)
            if (out.find(secret) != std::string::npos) out = replaceAll(out, secret, mask);
    }
    return withoutShapes(out);
}
