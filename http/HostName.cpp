#include "http/HostName.h"

#include "platform/Text.h"

#include <algorithm>
#include <cstdint>

namespace {

// RFC 3492, 5: the parameters of Punycode for IDNA.
constexpr std::uint32_t Base = 36, TMin = 1, TMax = 26, Skew = 38, Damp = 700, InitialBias = 72,
                        InitialN = 0x80;

char digitOf(std::uint32_t d) {
    return static_cast<char>(d < 26 ? 'a' + d : '0' + (d - 26));
}

// RFC 3492, 6.1.
std::uint32_t adapt(std::uint32_t delta, std::uint32_t points, bool first) {
    delta = first ? delta / Damp : delta / 2;
    delta += delta / points;
    std::uint32_t k = 0;
    while (delta > ((Base - TMin) * TMax) / 2) {
        delta /= Base - TMin;
        k += Base;
    }
    return k + (Base - TMin + 1) * delta / (delta + Skew);
}

// The delta as a variable-length integer whose thresholds follow the bias.
void appendDelta(std::string& out, std::uint32_t q, std::uint32_t bias) {
    for (std::uint32_t k = Base;; k += Base) {
        const std::uint32_t t = k <= bias ? TMin : k >= bias + TMax ? TMax : k - bias;
        if (q < t) break;
        out += digitOf(t + (q - t) % (Base - t));
        q = (q - t) / (Base - t);
    }
    out += digitOf(q);
}

// One label: lower-cased ASCII as it is, or the A-label of one with non-ASCII characters.
std::optional<std::string> asciiLabel(std::string_view label) {
    std::u32string points;
    bool ascii = true;
    for (std::size_t i = 0; i < label.size();) {
        const std::size_t length = utf8SequenceLength(label, i);
        if (length == 0) return std::nullopt;
        const char32_t c = length == 1 ? static_cast<char32_t>(lowerAscii(label[i]))
                                       : utf8CodePoint(label.substr(i, length));
        if (unsafeOnTerminal(c)) return std::nullopt;
        ascii = ascii && c < 0x80;
        points += c;
        i += length;
    }
    std::string out;
    if (ascii) {
        out.assign(points.begin(), points.end());
    } else if (const auto encoded = punycode(points)) {
        out = "xn--" + *encoded;
    } else {
        return std::nullopt;
    }
    if (out.size() > 63) return std::nullopt;
    return out;
}

} // namespace

std::optional<std::string> punycode(const std::u32string& input) {
    std::string out;
    for (char32_t c : input)
        if (c < 0x80) out += static_cast<char>(c);
    const auto basic = static_cast<std::uint32_t>(out.size());
    if (basic > 0) out += '-';
    std::uint32_t n = InitialN, delta = 0, bias = InitialBias, handled = basic;
    const auto total = static_cast<std::uint32_t>(input.size());
    while (handled < total) {
        std::uint32_t m = UINT32_MAX;
        for (char32_t c : input)
            if (c >= n) m = std::min<std::uint32_t>(m, c);
        if (m - n > (UINT32_MAX - delta) / (handled + 1)) return std::nullopt;
        delta += (m - n) * (handled + 1);
        n = m;
        for (char32_t c : input) {
            if (c < n && ++delta == 0) return std::nullopt;
            if (c != n) continue;
            appendDelta(out, delta, bias);
            bias = adapt(delta, handled + 1, handled == basic);
            delta = 0;
            ++handled;
        }
        ++delta;
        ++n;
    }
    return out;
}

std::optional<std::string> asciiHostName(std::string_view host) {
    std::string out;
    for (std::size_t start = 0;;) {
        const std::size_t dot = host.find('.', start);
        const auto label = asciiLabel(host.substr(start, dot == std::string_view::npos ? dot : dot - start));
        if (!label) return std::nullopt;
        out += *label;
        if (dot == std::string_view::npos) return out;
        out += '.';
        start = dot + 1;
    }
}
