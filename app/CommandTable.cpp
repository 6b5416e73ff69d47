// The options and the commands of the command line. Dispatch, option checks, `larkspan --help`,
// `larkspan COMMAND --help` and the usage lines of the messages all read these two tables; the
// README, the manual page and the help file show the same usage lines, and a test compares them.
#include "app/CommandLine.h"

#include <algorithm>

// Each command is two functions in its own app/NameCommand.cpp: its refusal of bad usage and its
// run, which returns the exit status: 0 for success, 1 for a failure of the work itself.
std::string refuseList(const CommandLine& cl);
int runList(CommandContext& context);
std::string refuseRequests(const CommandLine& cl);
int runRequests(CommandContext& context);
std::string refuseSubmit(const CommandLine& cl);
int runSubmit(CommandContext& context);
std::string refuseLog(const CommandLine& cl);
int runLog(CommandContext& context);
std::string refuseSitemap(const CommandLine& cl);
int runSitemap(CommandContext& context);
std::string refuseKey(const CommandLine& cl);
int runKey(CommandContext& context);
std::string refuseHistory(const CommandLine& cl);
int runHistory(CommandContext& context);
std::string refuseStore(const CommandLine& cl);
int runStore(CommandContext& context);
std::string refuseRobots(const CommandLine& cl);
int runRobots(CommandContext& context);
std::string refuseCheck(const CommandLine& cl);
int runCheck(CommandContext& context);
std::string refuseStatus(const CommandLine& cl);
int runStatus(CommandContext& context);

namespace {

using C = CommandLine;

// An option with a value, and a switch.
constexpr OptionRow valued(const char* name, const char* value, std::optional<std::string> C::*member,
                           const char* help) {
    return {name, value, member, nullptr, help};
}
constexpr OptionRow flag(const char* name, bool C::*member, const char* help) {
    return {name, nullptr, nullptr, member, help};
}

// size-check: data table
constexpr OptionRow Options[] = {
    valued("--dir", "DIR", &C::dir,
           "the profile directory (default $LARKSPAN_HOME,\nelse $XDG_DATA_HOME/larkspan)"),
    valued("--config", "FILE", &C::config,
           "the configuration file (default\n$XDG_CONFIG_HOME/larkspan/larkspan.ini)"),
    valued("--proxy", "HOST:PORT", &C::proxy, "send every request through this proxy"),
    valued("--cacert", "FILE", &C::cacert, "trust the certificates of this PEM file for https too"),
    valued("--save", "LIST", &C::save,
           "after a run, write these reports (comma list of\n"
           "txt,csv,master,asc,htm,xls,doc,pdf) to the working directory"),
    valued("--log", "FILE", &C::log,
           "also write the run's request records to FILE, one JSON\nobject a line (- for standard output)"),
    valued("--run", "N", &C::run, "the N-th newest kept run (default 1, the newest)"),
    flag("--all", &C::all, "sitemap: print every URL, not only the changed ones;\ncheck: every sitemap URL"),
    flag("--all-pages", &C::allPages,
         "submit, requests: a site's first run announces every page,\n"
         "not only the profile URL and the last 48 hours' pages"),
    flag("--generate", &C::generate, "key: make a new IndexNow key and save it in the profile"),
    flag("--check", &C::check,
         "key: fetch the key file and say whether it holds the key;\n"
         "store: check the store and print its counts per site"),
    flag("--json", &C::json, "history, check, status: one JSON object a line"),
    flag("--inspect", &C::inspect,
         "status: first ask Google's URL Inspection about the pages\n"
         "that the day's quota allows"),
    valued("--forget", "NAME", &C::forget, "store: remove the rows of that site"),
    valued("--agent", "NAME", &C::agent, "robots: the crawler whose rules apply (default Googlebot)"),
};

// What the commands that look at a profile's site need: the configuration, the profile, and a
// live client.
constexpr Needs ReadsSite = Needs::Config | Needs::ProfileNames | Needs::Profile | Needs::Network;

// One row per command: its name, its refusal of bad usage, what it needs, its function, its
// options as the usage shows them, the words after them, and what it does.
// size-check: data table
constexpr CommandRow Commands[] = {
    {"list", refuseList, Needs::Directory, runList, "--dir", "",
     "Prints the profile names in the submission list's order, one a line.\n"},
    {"requests", refuseRequests, Needs::Config | Needs::Profile, runRequests,
     "--dir --config --proxy --cacert --all-pages", "NAME",
     "Prints the 32 requests that a run would send for the profile, one JSON object a\n"
     "line, then those of each live channel the profile uses (IndexNow, Google Search\n"
     "Console). Nothing is submitted; only the profile's site and sitemaps are read.\n"},
    {"submit", refuseSubmit, Needs::Config | Needs::ProfileNames, runSubmit,
     "--dir --config --proxy --cacert --save --log --all-pages", "NAME...",
     "Submits the named profiles as the window would with those rows highlighted,\n"
     "printing the log, the results table and \"Done!\"; --save writes reports.\n"
     "Exit status:\n"
     "  0    done\n"
     "  1    a profile could not be submitted (incomplete or unknown)\n"
     "  2    bad usage\n"
     "  3    a live channel refused or a site could not be read\n"
     "  130  stopped by Ctrl+C\n"
     "A report or the --log file that cannot be written also gives 1. When more than\n"
     "one applies, 130 comes first, then 1, then 3.\n"},
    {"log", refuseLog, Needs::Nothing, runLog, "--run", "",
     "Prints the records of the newest kept run, or of the N-th newest.\n"},
    {"sitemap", refuseSitemap, ReadsSite, runSitemap, "--dir --config --proxy --cacert --all", "NAME",
     "Prints the URLs of the profile's sitemaps that its next submission would send.\n"},
    {"key", refuseKey, ReadsSite, runKey, "--dir --config --proxy --cacert --generate|--check", "NAME",
     "Prints the profile's IndexNow key, makes one (--generate) or checks its key file\n"
     "on the site (--check).\n"},
    {"history", refuseHistory, Needs::Store, runHistory, "--dir --json", "NAME [URL]",
     "Prints what the store knows of the site's URLs: when each was seen, changed and\n"
     "left the sitemaps, and each channel's answers; one line (or JSON object) a URL.\n"},
    {"store", refuseStore, Needs::Store | Needs::Config, runStore, "--dir --check|--forget", "",
     "Checks the store and prints its counts per site (--check), or removes the rows of\n"
     "a site (--forget NAME).\n"},
    {"check", refuseCheck, ReadsSite, runCheck, "--dir --config --proxy --cacert --all --json", "NAME",
     "Checks the profile URL and the pages of its sitemaps as a search engine's crawler\n"
     "would see them, announcing nothing (--all: every sitemap URL): one line per URL,\n"
     "URL, verdict and detail, or one JSON object a line (--json). Exit 0 when every\n"
     "page is ok, 3 when some are not.\n"},
    {"status", refuseStatus, Needs::ProfileNames | Needs::Profile, runStatus,
     "--dir --config --proxy --cacert --inspect --json", "NAME",
     "Prints where the site's pages stand: a summary (page checks, IndexNow, Google's\n"
     "index, sitemaps), then per URL its check, IndexNow state, Google's verdict,\n"
     "coverage and last crawl, or one JSON object a line (--json). --inspect first\n"
     "inspects the URLs that Google's quota allows.\n"},
    {"robots", refuseRobots, Needs::Nothing, runRobots, "--agent", "FILE URL...",
     "Tells for each URL whether the robots.txt FILE allows it to the crawler; nothing\n"
     "is sent.\n"},
};

constexpr CommandRow Window{
    "", nullptr, Needs::Nothing, nullptr, "--dir --config --proxy --cacert", "", "Opens the window.\n"};

} // namespace

std::span<const OptionRow> optionTable() {
    return Options;
}

std::span<const CommandRow> commandTable() {
    return Commands;
}

const CommandRow& windowRow() {
    return Window;
}

const CommandRow* findCommand(std::string_view name) {
    const auto found = std::find_if(std::begin(Commands), std::end(Commands),
                                    [&](const CommandRow& c) { return c.name == name; });
    return found == std::end(Commands) ? nullptr : found;
}
