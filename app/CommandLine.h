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

struct CommandContext;

// What a command needs before it does its own work: the dispatcher prepares it once, in the
// order of this list, with the messages and exit statuses that the commands share, and hands it
// over in a CommandContext (app/CommandContext.h). A need holds those it rests on.
enum class Needs : unsigned {
    Nothing = 0,
    // The profile directory: --dir, else $LARKSPAN_HOME, else $XDG_DATA_HOME/larkspan.
    Directory = 1,
    // The configuration file's values, its warnings on standard error, with --proxy, --cacert
    // and --all-pages applied (see startupConfig).
    Config = 2,
    // Every NAME is a profile of the directory; otherwise "no profile named ..." (exit 1).
    ProfileNames = 4 | Directory,
    // The first NAME's profile, read whole (a missing file reads as empty), and its fields
    // prepared as a run prepares them.
    Profile = 8 | Directory,
    // A live client on the configuration's proxy and CA file.
    Network = 16 | Config,
    // The site store that runs made beside the profiles; none yet is a failure (exit 1).
    Store = 32 | Directory,
};
constexpr Needs operator|(Needs a, Needs b) {
    return static_cast<Needs>(static_cast<unsigned>(a) | static_cast<unsigned>(b));
}
// Whether a row's needs hold everything that one need holds.
constexpr bool holds(Needs needs, Needs one) {
    return (static_cast<unsigned>(needs) & static_cast<unsigned>(one)) == static_cast<unsigned>(one);
}

// One row of the command table: dispatch, what the command needs, the options it takes and its
// usage all come from here. options lists the command's options as its usage shows them, one
// bracketed group per word: "--dir --config --generate|--check" is "[--dir DIR] [--config FILE]
// [--generate|--check]", and an option missing from the list is refused before anything else.
struct CommandRow {
    const char* name;
    // The command's own check of the words after its options (and of options that exclude each
    // other), made before anything is prepared: the message of bad usage (exit status 2) as it
    // follows "larkspan: ", lines ending in "\n"; empty when the words can be used.
    std::string (*refuse)(const CommandLine&);
    Needs needs;
    int (*run)(CommandContext&);
    const char* options;
    // The words after the options in the usage: "NAME", "NAME...", or empty.
    const char* operands;
    // What `larkspan COMMAND --help` says the command does, lines ending in "\n".
    const char* summary;
};

// The tables, in the order `larkspan --help` shows them (app/CommandTable.cpp).
std::span<const OptionRow> optionTable();
std::span<const CommandRow> commandTable();
// The row of the window, for `larkspan` without a command: its options, nothing to run.
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
// The message, a line end and the command's usage text: a refusal of bad usage.
std::string usageMessage(std::string_view command, std::string_view message);
// What `larkspan COMMAND --help` prints: the usage line, the summary, the options it takes.
std::string commandHelp(const CommandRow& row);
// What `larkspan --help` prints: every command's usage line and every option.
std::string programHelp();
