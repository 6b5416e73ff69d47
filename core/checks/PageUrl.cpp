#include "core/checks/PageUrl.h"

#include "http/Url.h"

namespace {

// What a browser does to an href before it resolves it: C0 controls and spaces at either end
// go, and tabs and line breaks anywhere are dropped.
std::string cleanedReference(std::string_view text) {
    auto edge = [](char c) { return static_cast<unsigned char>(c) <= 0x20; };
    while (!text.empty() && edge(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && edge(text.back()))
        text.remove_suffix(1);
    std::string out;
    out.reserve(text.size());
    for (char c : text)
        if (c != '\t' && c != '\n' && c != '\r') out += c;
    return out;
}

} // namespace

std::string resolvePageUrl(std::string_view base, std::string_view reference) {
    const std::optional<Url> from = Url::parse(base);
    if (!from) return {};
    const std::optional<Url> resolved = from->resolve(cleanedReference(reference));
    return resolved ? resolved->text() : std::string();
}
