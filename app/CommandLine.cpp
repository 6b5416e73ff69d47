#include "app/CommandLine.h"

#include "platform/Error.h"

#include <cstring>

CommandLine parseCommandLine(int argc, char** argv) {
    CommandLine cl;
    auto valueOf = [&](int& i, const std::string& arg,
                       const std::string& name) -> std::optional<std::string> {
        if (arg == name) {
            if (i + 1 >= argc) throw LarkspanError("option " + name + " needs a value");
            return std::string(argv[++i]);
        }
        if (arg.rfind(name + "=", 0) == 0) return arg.substr(name.size() + 1);
        return std::nullopt;
    };
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
        } else if (auto v = valueOf(i, arg, "--dir")) {
            cl.dir = v;
        } else if (auto v = valueOf(i, arg, "--config")) {
            cl.config = v;
        } else if (auto v = valueOf(i, arg, "--proxy")) {
            cl.proxy = v;
        } else if (arg == "--all") {
            cl.all = true;
        } else if (arg == "--all-pages") {
            cl.allPages = true;
        } else if (arg == "--generate") {
            cl.generate = true;
        } else if (arg == "--check") {
            cl.check = true;
        } else if (arg == "--json") {
            cl.json = true;
        } else if (auto v = valueOf(i, arg, "--forget")) {
            cl.forget = v;
        } else if (auto v = valueOf(i, arg, "--save")) {
            cl.save = v;
        } else if (auto v = valueOf(i, arg, "--cacert")) {
            cl.cacert = v;
        } else if (auto v = valueOf(i, arg, "--log")) {
            cl.log = v;
        } else if (auto v = valueOf(i, arg, "--run")) {
            cl.run = v;
        } else {
            throw LarkspanError("unknown option " + arg);
        }
    }
    return cl;
}
