#include "app/CommandLine.h"

#include <algorithm>

namespace {

// The words of a row's option list, each a group of one or more alternatives.
std::vector<std::string> groups(const CommandRow& row) {
    std::vector<std::string> words;
    std::string_view rest = row.options;
    while (!rest.empty()) {
        const std::size_t space = rest.find(' ');
        if (space != 0) words.emplace_back(rest.substr(0, space));
        if (space == std::string_view::npos) break;
        rest.remove_prefix(space + 1);
    }
    return words;
}

// The names of every option a row takes, alternatives apart.
std::vector<std::string> optionNames(const CommandRow& row) {
    std::vector<std::string> names;
    for (const std::string& group : groups(row)) {
        std::size_t start = 0;
        while (true) {
            const std::size_t bar = group.find('|', start);
            names.push_back(group.substr(start, bar == std::string::npos ? std::string::npos : bar - start));
            if (bar == std::string::npos) break;
            start = bar + 1;
        }
    }
    return names;
}

const OptionRow* optionNamed(std::string_view name) {
    for (const OptionRow& option : optionTable())
        if (option.name == name) return &option;
    return nullptr;
}

// "--dir DIR", or the switch's name alone.
std::string withValue(const OptionRow& option) {
    return option.value ? std::string(option.name) + " " + option.value : std::string(option.name);
}

// The option's line (or lines) of a help text: the name in a field of 19 characters, then the
// help, its continuation lines indented to the same column.
std::string optionHelp(const OptionRow& option) {
    std::string head = "  " + withValue(option);
    head.resize(std::max<std::size_t>(head.size() + 1, 21), ' ');
    std::string text = head;
    for (const char* c = option.help; *c; ++c)
        text += *c == '\n' ? std::string("\n") + std::string(21, ' ') : std::string(1, *c);
    return text + "\n";
}

std::string spellingOf(const CommandRow& row) {
    return *row.name ? std::string(row.name) : std::string("the window");
}

// Finds the option that arg names, as "--name" or "--name=value", and stores it; false when arg
// names no option of the table.
bool takeOption(CommandLine& cl, int argc, char** argv, int& i, const CommandRow& row) {
    const std::string arg = argv[i];
    const std::size_t equals = arg.find('=');
    const OptionRow* option = optionNamed(std::string_view(arg).substr(0, equals));
    // A switch takes no value, so "--all=x" names no option.
    if (!option || (equals != std::string::npos && !option->value)) return false;
    const std::vector<std::string> taken = optionNames(row);
    if (std::find(taken.begin(), taken.end(), option->name) == taken.end()) {
        std::string message = spellingOf(row) + " does not take " + option->name;
        if (*row.name) message += "\nusage: larkspan " + usageLine(row);
        throw UsageError(message);
    }
    if (!option->value) {
        cl.*option->flag = true;
    } else if (equals != std::string::npos) {
        cl.*option->text = arg.substr(equals + 1);
    } else {
        if (i + 1 >= argc) throw UsageError(std::string("option ") + option->name + " needs a value");
        cl.*option->text = std::string(argv[++i]);
    }
    return true;
}

} // namespace

CommandLine parseCommandLine(int argc, char** argv, const CommandRow& row) {
    CommandLine cl;
    bool onlyArgs = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (onlyArgs || arg.empty() || arg[0] != '-' || arg == "-") {
            if (cl.command.empty())
                cl.command = arg;
            else
                cl.args.push_back(arg);
            continue;
        }
        if (arg == "--") {
            onlyArgs = true;
        } else if (arg == "--help" || arg == "-h") {
            cl.help = true;
        } else if (arg == "--version") {
            cl.version = true;
        } else if (!takeOption(cl, argc, argv, i, row)) {
            throw UsageError("unknown option " + arg);
        }
    }
    return cl;
}

std::string usageLine(const CommandRow& row) {
    std::string line = row.name;
    for (const std::string& group : groups(row)) {
        // Each option shows its value, also among alternatives ("--check|--forget NAME").
        std::string shown;
        for (std::size_t start = 0, bar = 0; bar != std::string::npos; start = bar + 1) {
            bar = group.find('|', start);
            const std::string name = group.substr(start, bar == std::string::npos ? bar : bar - start);
            const OptionRow* option = optionNamed(name);
            shown += (shown.empty() ? "" : "|") + (option ? withValue(*option) : name);
        }
        line += (line.empty() ? "[" : " [") + shown + "]";
    }
    if (*row.operands) line += std::string(line.empty() ? "" : " ") + row.operands;
    return line;
}

std::string usageText(std::string_view command) {
    const CommandRow* row = findCommand(command);
    return row ? "usage: larkspan " + usageLine(*row) + "\n" : std::string();
}

std::string usageMessage(std::string_view command, std::string_view message) {
    return std::string(message) + "\n" + usageText(command);
}

std::string commandHelp(const CommandRow& row) {
    std::string text = "usage: larkspan " + usageLine(row) + "\n" + row.summary + "\nOptions:\n";
    for (const std::string& name : optionNames(row))
        if (const OptionRow* option = optionNamed(name)) text += optionHelp(*option);
    return text + "  --help             print this text\n";
}

std::string programHelp() {
    std::string text = "Usage: larkspan " + usageLine(windowRow()) +
                       "\n"
                       "       larkspan COMMAND [OPTIONS] ...\n\nCommands:\n";
    for (const CommandRow& command : commandTable())
        text += "  larkspan " + usageLine(command) + "\n";
    text += "\nWith no command the window opens. Options:\n";
    for (const OptionRow& option : optionTable())
        text += optionHelp(option);
    return text + "  --help, --version\n"
                  "\nlarkspan COMMAND --help prints the usage of that command alone.\n";
}
