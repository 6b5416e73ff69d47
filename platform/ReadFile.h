#pragma once

#include <optional>
#include <string>

// The whole content of a file as bytes; nothing when it cannot be opened or read.
std::optional<std::string> readWholeFile(const std::string& path);
