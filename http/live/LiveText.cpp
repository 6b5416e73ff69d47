#include "http/live/LiveText.h"

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
