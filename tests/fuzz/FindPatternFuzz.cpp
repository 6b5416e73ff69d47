// libFuzzer target: the find pattern matcher.
//
// The input is a pattern, a zero byte and a cell text. Any pattern against any text must end
// quickly without a fault. A pattern made of literal characters, "*" and "?" (after an optional
// leading "!") must agree with a plain recursive reading of the wildcards: "*" any run of
// characters, "?" one character (a well-formed UTF-8 sequence, else one byte).

#include "grid/Find.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

namespace {

std::size_t characterLength(std::string_view s, std::size_t at) {
    const auto lead = static_cast<unsigned char>(s[at]);
    std::size_t length = 1;
    if (lead >= 0xC0 && lead <= 0xDF)
        length = 2;
    else if (lead >= 0xE0 && lead <= 0xEF)
        length = 3;
    else if (lead >= 0xF0 && lead <= 0xF7)
        length = 4;
    if (at + length > s.size()) return 1;
    for (std::size_t k = 1; k < length; ++k)
        if ((static_cast<unsigned char>(s[at + k]) & 0xC0) != 0x80) return 1;
    return length;
}

// The wildcards read as the find help explains them, remembering what was tried.
struct Reference {
    std::string_view pattern;
    std::string_view text;
    std::vector<signed char> memo;

    bool match(std::size_t p, std::size_t s) {
        signed char& known = memo[p * (text.size() + 1) + s];
        if (known >= 0) return known;
        bool result;
        if (p == pattern.size()) {
            result = s == text.size();
        } else if (pattern[p] == '*') {
            result = false;
            for (std::size_t tail = text.size() + 1; tail-- > s && !result;)
                result = match(p + 1, tail);
        } else if (s == text.size()) {
            result = false;
        } else if (pattern[p] == '?') {
            result = match(p + 1, s + characterLength(text, s));
        } else {
            result = pattern[p] == text[s] && match(p + 1, s + 1);
        }
        known = result;
        return result;
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::size_t split = input.find('\0');
    if (split == std::string_view::npos) return 0;
    const std::string_view pattern = input.substr(0, split);
    const std::string_view text = input.substr(split + 1);
    const bool matched = FindPatternMatches(pattern, text);
    for (FindOptions options : {0u, 1u, 2u, 3u, 4u, 5u})
        FindCellMatches(pattern, text, options);

    const bool negated = !pattern.empty() && pattern.front() == '!';
    const std::string_view wildcards = pattern.substr(negated ? 1 : 0);
    if (wildcards.find_first_of("!<>&^") != std::string_view::npos) return 0;
    Reference reference{wildcards, text,
                        std::vector<signed char>((wildcards.size() + 1) * (text.size() + 1), -1)};
    if (matched != (reference.match(0, 0) != negated)) std::abort();
    return 0;
}
