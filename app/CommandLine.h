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
    // Trusted certificates (PEM) added to the system's store for https.
    std::optional<std::string> cacert;
    // Where `submit` also writes its request records ("-" for standard output).
    std::optional<std::string> log;
    // Which kept run `log` prints: 1 is the newest.
    std::optional<std::string> run;
    // `sitemap` prints every URL, not only the changed ones.
    bool all = false;
    // `submit` and `requests`: a first run announces every page, not only the last 48 hours'.
    bool allPages = false;
    // `key` makes and saves a new key, or checks the key file on the site.
    bool generate = false;
    // `key` checks the key file; `store` checks the store.
    bool check = false;
    // `history` prints one JSON object a line.
    bool json = false;
    // `store` removes the rows of this site.
    std::optional<std::string> forget;
    bool help = false;
    bool version = false;
    std::vector<std::string> args;
};

// Throws LarkspanError with a usage message for an unknown option or a missing value.
CommandLine parseCommandLine(int argc, char** argv);
