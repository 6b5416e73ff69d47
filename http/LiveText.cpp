#include "http/LiveText.h"

std::string shownText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        const bool c0 = (byte < 0x20 && byte != '\t') || byte == 0x7F;
        // C1 controls are two bytes in UTF-8: 0xC2 followed by 0x80..0x9F.
        const bool c1 = byte == 0xC2 && i + 1 < text.size() &&
                        static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
                        static_cast<unsigned char>(text[i + 1]) <= 0x9F;
        if (c1) ++i;
        out += c0 || c1 ? '?' : static_cast<char>(byte);
    }
    return out;
}

std::string sizeText(std::uint64_t bytes) {
    constexpr std::uint64_t kib = 1024, mib = kib * 1024;
    if (bytes >= mib && bytes % mib == 0) return std::to_string(bytes / mib) + " MiB";
    if (bytes >= kib && bytes % kib == 0) return std::to_string(bytes / kib) + " KiB";
    return std::to_string(bytes) + (bytes == 1 ? " byte" : " bytes");
}

std::string durationText(std::chrono::milliseconds time) {
    const auto ms = time.count();
    if (ms % 1000 == 0) return std::to_string(ms / 1000) + " s";
    return std::to_string(ms) + " ms";
}
