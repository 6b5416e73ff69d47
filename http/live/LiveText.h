#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

// Texts of the live client's failures. Every piece of network text in them (a Location, a
// reason phrase, a host) passes through platform's printable() first, so that a hostile server
// cannot send escape sequences to a terminal or forge lines in a log.

// "8 MiB", "512 KiB", "1000 bytes": the largest unit that names the size exactly.
std::string sizeText(std::uint64_t bytes);
// "60 s", or "1500 ms" when the time is no whole number of seconds.
std::string durationText(std::chrono::milliseconds time);
