// The command table as the built program shows it: options that a command does not take, bad
// usage refused before what a command needs is read, `larkspan COMMAND --help`, and the usage
// that the README, the manual page and the help file show beside `larkspan --help`.
#include "tests/common/RunProgram.h"
#include "tests/common/TempDir.h"

#include <QRegularExpression>
#include <gtest/gtest.h>

#include <sstream>

namespace {

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

// The commands' usage lines of `larkspan --help`, "larkspan" included.
std::vector<std::string> usageLines() {
    const ProgramResult help = runLarkspan({"--help"});
    EXPECT_EQ(help.exitCode, 0) << help.err;
    std::vector<std::string> usages;
    for (const std::string& line : linesOf(help.out))
        if (line.rfind("  larkspan ", 0) == 0) usages.push_back(line.substr(2));
    return usages;
}

// The options that a usage line shows, as "--name".
std::vector<std::string> optionsOf(const std::string& usage) {
    std::vector<std::string> options;
    QRegularExpression option("(?<![\\w-])--[a-z]+(-[a-z]+)*");
    for (const auto& m : option.globalMatch(QString::fromStdString(usage)))
        options.push_back(m.captured().toStdString());
    return options;
}

TEST(CommandTable, RefusesOptionsThatACommandDoesNotTakeAndNamesThem) {
    TempDir dir;
    const std::string d = dir.str();
    struct Case {
        std::vector<std::string> args;
        std::string error; // the first line of the program's own on standard error
    };
    const Case cases[] = {
        {{"list", "--all", "--generate"}, "larkspan: list does not take --all"},
        {{"list", "--dir", d, "--generate"}, "larkspan: list does not take --generate"},
        {{"log", "--dir", d}, "larkspan: log does not take --dir"},
        {{"requests", "--save=txt", "Shop"}, "larkspan: requests does not take --save"},
        {{"sitemap", "--log", "x.jsonl", "Shop"}, "larkspan: sitemap does not take --log"},
        {{"key", "--all", "Shop"}, "larkspan: key does not take --all"},
        {{"submit", "--run", "1", "Shop"}, "larkspan: submit does not take --run"},
        {{"--run", "2"}, "larkspan: the window does not take --run"},
        {{"list", "--bogus"}, "larkspan: unknown option --bogus"},
        {{"list", "--all=1"}, "larkspan: unknown option --all=1"},
        {{"list", "--dir"}, "larkspan: option --dir needs a value"},
    };
    // The window's options are read once Qt has taken its own, so Qt needs a platform first.
    RunOptions offscreen;
    offscreen.environment.insert("QT_QPA_PLATFORM", "offscreen");
    for (const Case& c : cases) {
        const ProgramResult r = runLarkspan(c.args, offscreen);
        EXPECT_EQ(r.exitCode, 2) << c.error;
        EXPECT_EQ(r.out, "") << c.error;
        // The window's Qt may warn first (no session runtime directory).
        const std::vector<std::string> err = linesOf(r.err);
        const auto own = std::find_if(
            err.begin(), err.end(), [](const std::string& line) { return line.rfind("larkspan: ", 0) == 0; });
        ASSERT_NE(own, err.end()) << r.err;
        EXPECT_EQ(*own, c.error);
    }
    // The refusal ends with the command's usage, so the right options are in sight.
    EXPECT_EQ(runLarkspan({"list", "--all"}).err,
              "larkspan: list does not take --all\nusage: larkspan list [--dir DIR]\n");
    // An option the command takes still works, in both spellings.
    dir.write("Shop.ini", "[Settings]\n");
    EXPECT_EQ(runLarkspan({"list", "--dir=" + d}).out, "Shop\n");
}

TEST(CommandTable, BadUsageIsRefusedBeforeAnythingTheCommandNeedsIsRead) {
    TempDir dir;
    const std::string absent = dir.file("absent.ini");
    struct Case {
        std::vector<std::string> args;
        std::string error;
    };
    const Case cases[] = {
        {{"sitemap", "--config", absent},
         "larkspan: sitemap takes exactly one profile name\nusage: larkspan sitemap [--dir DIR] [--config "
         "FILE] "
         "[--proxy HOST:PORT] [--cacert FILE] [--all] NAME\n"},
        {{"submit", "--save", "bogus", "--config", absent, "Shop"},
         "larkspan: --save: unknown report \"bogus\" (known: txt,csv,master,asc,htm,xls,doc,pdf)\n"},
        {{"history", "--dir", dir.str()},
         "larkspan: history takes a profile name and at most one URL\nusage: larkspan history [--dir DIR] "
         "[--json] NAME [URL]\n"},
    };
    for (const Case& c : cases) {
        const ProgramResult r = runLarkspan(c.args);
        EXPECT_EQ(r.exitCode, 2) << c.error;
        EXPECT_EQ(r.err, c.error);
    }
}

TEST(CommandTable, CommandHelpPrintsThatCommandsUsageAndOptions) {
    const std::vector<std::string> usages = usageLines();
    ASSERT_GE(usages.size(), 6u);
    for (const std::string& usage : usages) {
        const std::string command = usage.substr(9, usage.find(' ', 9) - 9);
        const ProgramResult r = runLarkspan({command, "--help"});
        EXPECT_EQ(r.exitCode, 0) << command;
        EXPECT_EQ(r.err, "") << command;
        const std::vector<std::string> lines = linesOf(r.out);
        ASSERT_GE(lines.size(), 2u) << command;
        EXPECT_EQ(lines[0], "usage: " + usage);
        for (const std::string& option : optionsOf(usage)) {
            const auto listed = std::find_if(lines.begin() + 1, lines.end(), [&](const std::string& line) {
                return line.rfind("  " + option + " ", 0) == 0;
            });
            EXPECT_NE(listed, lines.end()) << command << " --help does not explain " << option;
        }
    }
    // The program's help lists requests with the options it reads its sitemaps with.
    EXPECT_NE(std::find(usages.begin(), usages.end(),
                        "larkspan requests [--dir DIR] [--config FILE] [--proxy HOST:PORT] [--cacert FILE] "
                        "[--all-pages] NAME"),
              usages.end());
}

// The manual page as man shows it, without the overstrikes of bold and underline.
std::string manualPage() {
    RunOptions options;
    options.environment.insert("MANWIDTH", "400");
    options.environment.insert("LC_ALL", "C.UTF-8");
    const ProgramResult page =
        runProgram("man", {"--warnings", "-l", LARKSPAN_SOURCE_DIR "/packaging/larkspan.1.in"}, options);
    EXPECT_EQ(page.exitCode, 0) << page.err;
    return QString::fromStdString(page.out).remove(QRegularExpression(".\b")).toStdString();
}

TEST(DocumentedUsage, ReadmeManualPageAndHelpFileShowEveryCommandAsTheTableDoes) {
    const std::vector<std::string> usages = usageLines();
    ASSERT_GE(usages.size(), 6u);
    const std::vector<std::string> readme = linesOf(readFile(LARKSPAN_SOURCE_DIR "/README.md"));
    const std::vector<std::string> help = linesOf(readFile(LARKSPAN_SOURCE_DIR "/help/Larkspan.hlp"));
    const std::vector<std::string> man = linesOf(manualPage());
    auto has = [](const std::vector<std::string>& lines, const std::string& wanted) {
        return std::find(lines.begin(), lines.end(), wanted) != lines.end();
    };
    for (const std::string& usage : usages) {
        EXPECT_TRUE(has(readme, usage)) << "README.md lacks the line: " << usage;
        EXPECT_TRUE(has(help, "  " + usage)) << "Larkspan.hlp lacks the line:   " << usage;
        EXPECT_TRUE(has(man, "       " + usage)) << "the manual page's synopsis lacks: " << usage;
    }
    // Every option has its own entry in the manual page and the help file.
    const std::string manText = manualPage();
    const std::string helpText = readFile(LARKSPAN_SOURCE_DIR "/help/Larkspan.hlp");
    for (const std::string& usage : usages)
        for (const std::string& option : optionsOf(usage)) {
            EXPECT_NE(manText.find("\n       " + option), std::string::npos)
                << option << " in the manual page";
            EXPECT_NE(helpText.find("\n- " + option), std::string::npos) << option << " in the help file";
        }
}

// A line with its blanks at the ends dropped and the runs of blanks between words made one.
std::string words(const std::string& line) {
    return QString::fromStdString(line).simplified().toStdString();
}

} // namespace

// What submit's exit statuses mean, as `submit --help` lists them, is what the README and the
// manual page say, and the statuses that need no network are the ones the program returns.
TEST(DocumentedUsage, SubmitsExitStatusesAreListedAlikeAndReturned) {
    TempDir dir;
    TempDir home;
    dir.write("Draft.ini", "[Settings]\nName=Jane Doe\nSite Title=Draft\n");
    const std::string d = dir.str();
    RunOptions options;
    options.environment.insert("XDG_STATE_HOME", QString::fromStdString(home.str()));
    options.environment.insert("XDG_CONFIG_HOME", QString::fromStdString(home.str()));
    options.environment.insert("QT_QPA_PLATFORM", "offscreen");
    struct Case {
        std::string line;              // as `submit --help` lists it
        std::vector<std::string> args; // a submit that ends so, when it needs no network
    };
    const Case cases[] = {
        {"0 done", {}},
        {"1 a profile could not be submitted (incomplete or unknown)", {"submit", "--dir", d, "Nowhere"}},
        {"1 a profile could not be submitted (incomplete or unknown)", {"submit", "--dir", d, "Draft"}},
        {"2 bad usage", {"submit", "--dir", d}},
        {"2 bad usage", {"submit", "--bogus", "Draft"}},
        {"3 a live channel refused or a site could not be read", {}},
        {"130 stopped by Ctrl+C", {}},
    };
    const ProgramResult help = runLarkspan({"submit", "--help"});
    ASSERT_EQ(help.exitCode, 0) << help.err;
    std::vector<std::string> helpLines;
    for (const std::string& line : linesOf(help.out))
        helpLines.push_back(words(line));
    std::vector<std::string> readme;
    for (const std::string& line : linesOf(readFile(LARKSPAN_SOURCE_DIR "/README.md")))
        readme.push_back(words(line));
    std::vector<std::string> man;
    for (const std::string& line : linesOf(manualPage()))
        man.push_back(words(line));
    auto has = [](const std::vector<std::string>& lines, const std::string& wanted) {
        return std::find(lines.begin(), lines.end(), wanted) != lines.end();
    };
    ASSERT_TRUE(has(helpLines, "Exit status:")) << help.out;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        EXPECT_TRUE(has(helpLines, c.line)) << help.out;
        EXPECT_TRUE(has(readme, c.line)) << "in the README";
        EXPECT_TRUE(has(man, c.line)) << "in the manual page";
        if (c.args.empty()) continue;
        const ProgramResult r = runLarkspan(c.args, options);
        EXPECT_EQ(std::to_string(r.exitCode), c.line.substr(0, c.line.find(' '))) << r.err;
    }
}
