#pragma once

#include <optional>
#include <string>
#include <vector>

// The options shared by the headless commands, and the words after them.
struct CommandLine {
    std::string command; // empty: open the window
    std::optional<std::string> dir;
    std::optional<std::string> config;
    std::optional<std::string> proxy;
    std::optional<std::string> save;
    bool help = false;
    bool version = false;
    std::vector<std::string> args;
};

// Throws LarkspanError with a usage message for an unknown option or a missing value.
CommandLine parseCommandLine(int argc, char** argv);
