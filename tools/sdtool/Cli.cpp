// Cli.cpp: sdtool's argument parser and error lines.
#include "tools/sdtool/Cli.h"

#include <cstdio>
#include <cstring>
#include <optional>

const char* const kExitStatusHelp = R"(Exit status (the same for every command):
  0    success
  1    the show did not load (check: some file is false; pack: the manifest or
       a file it names was refused)
  2    an error: the load raised one (its message on standard error), or an
       output cannot be written
  64   wrong arguments
  130  ended by SIGINT (Ctrl+C), 143 by SIGTERM; what the run had begun
       writing and its private folders are removed
)";

namespace {

const KnownOption* findOption(std::initializer_list<KnownOption> known, const std::string& name)
{
    for (const KnownOption& option : known)
        if (option.name == name)
            return &option;
    return nullptr;
}

void store(ParsedArgs& parsed, const std::string& name, std::string value)
{
    if (!parsed.options.emplace(name, std::move(value)).second)
        throw UsageError("option '" + name + "' given more than once");
}

}  // namespace

ParsedArgs parseArgs(const std::vector<std::string>& args, std::initializer_list<KnownOption> known)
{
    ParsedArgs parsed;
    // Help wins over every other mistake on the line.
    for (const std::string& arg : args) {
        if (arg == "--")
            break;
        if (arg == "--help" || arg == "-h") {
            parsed.help = true;
            return parsed;
        }
    }
    bool optionsEnded = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            parsed.operands.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        std::string name = arg;
        std::optional<std::string> attached;
        if (arg.compare(0, 2, "--") == 0) {
            if (const size_t eq = arg.find('='); eq != std::string::npos) {
                name = arg.substr(0, eq);
                attached = arg.substr(eq + 1);
            }
        } else if (arg.size() > 2) {
            name = arg.substr(0, 2);  // -oFILE
            attached = arg.substr(2);
        }
        const KnownOption* option = findOption(known, name);
        if (option == nullptr || (!option->takesValue && attached && name.compare(0, 2, "--") != 0))
            throw UsageError("unknown option '" + (option == nullptr ? name : arg) + "'");
        if (!option->takesValue) {
            if (attached)
                throw UsageError("option '" + name + "' takes no value");
            store(parsed, name, "");
        } else if (attached) {
            store(parsed, name, *attached);
        } else {
            if (i + 1 >= args.size())
                throw UsageError("option '" + name + "' needs a value");
            store(parsed, name, args[++i]);
        }
    }
    return parsed;
}

int usageFailure(const std::string& command, const std::string& why, const char* help)
{
    const std::string text = help;
    const size_t synopsisEnd = text.find("\n\n");
    std::fprintf(stderr, "sdtool: %s%s%s\n%s\nTry 'sdtool %s%s--help'.\n", command.c_str(),
                 command.empty() ? "" : ": ", why.c_str(), text.substr(0, synopsisEnd).c_str(), command.c_str(),
                 command.empty() ? "" : " ");
    return kExitUsage;
}

void printError(const std::string& text)
{
    std::fprintf(stderr, "sdtool: %s\n", text.c_str());
}

std::string errnoText(int code)
{
    // strerror follows LC_MESSAGES, which sdtool leaves at "C".
    return std::strerror(code);
}
