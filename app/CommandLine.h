#pragma once

#include "platform/Error.h"

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// A command line that cannot be used: bad usage, exit status 2.
class UsageError : public LarkspanError {
public:
    using LarkspanError::LarkspanError;
};

// The options of the window and the headless commands, and the words after them.
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
    // The crawler whose rules `robots` applies.
    std::optional<std::string> agent;
    // `sitemap` prints every URL, not only the changed ones.
    bool all = false;
    // `submit` and `requests`: a first run announces every page, not only the last 48 hours'.
    bool allPages = false;
    // `key` makes and saves a new key, or checks the key file on the site.
    bool generate = false;
    // `key` checks the key file; `store` checks the store.
    bool check = false;
    // `history`, `check` and `status` print one JSON object a line.
    bool json = false;
    // `status` first inspects the URLs that Google's quota allows.
    bool inspect = false;
    // `store` removes the rows of this site.
    std::optional<std::string> forget;
    bool help = false;
    bool version = false;
    std::vector<std::string> args;
};

// One option: its name, the word that stands for its value in the usage (none for a switch),
// the member of CommandLine that takes it, and its lines in `larkspan --help`.
struct OptionRow {
    const char* name;
    const char* value = nullptr;
    std::optional<std::string> CommandLine::*text = nullptr;
    bool CommandLine::*flag = nullptr;
    // Continuation lines start with "\n"; the help text indents them.
    const char* help = "";
};

// One row of the command table: dispatch, the options the command takes and its usage all come
// from here. options lists the command's options as its usage shows them, one bracketed group
// per word: "--dir --config --generate|--check" is "[--dir DIR] [--config FILE]
// [--generate|--check]", and an option missing from the list is refused before run is called.
struct CommandRow {
    const char* name;
    int (*run)(const CommandLine&);
    const char* options;
    // The words after the options in the usage: "NAME", "NAME...", or empty.
    const char* operands;
    // What `larkspan COMMAND --help` says the command does, lines ending in "\n".
    const char* summary;
};

// The tables, in the order `larkspan --help` shows them (app/CommandTable.cpp).
std::span<const OptionRow> optionTable();
std::span<const CommandRow> commandTable();
// The row of the window, for `larkspan` without a command: its options, no run.
const CommandRow& windowRow();
const CommandRow* findCommand(std::string_view name);

// Parses the options the row takes; --help, -h and --version go with every row. Throws
// UsageError for an unknown option, an option that the row does not take (naming both, with
// the usage line) or a missing value.
CommandLine parseCommandLine(int argc, char** argv, const CommandRow& row);

// The usage of one command, as "key [--dir DIR] ... NAME" (no "larkspan ", no line end).
std::string usageLine(const CommandRow& row);
// "usage: larkspan " + the usage line of the named command + "\n"; the messages of bad usage
// end with it.
std::string usageText(std::string_view command);
// What `larkspan COMMAND --help` prints: the usage line, the summary, the options it takes.
std::string commandHelp(const CommandRow& row);
// What `larkspan --help` prints: every command's usage line and every option.
std::string programHelp();
