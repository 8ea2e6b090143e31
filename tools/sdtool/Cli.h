// Cli.h: what every sdtool command shares on its command line: the exit
// statuses, the argument parser (GNU forms) and the error lines.
#pragma once

#include <initializer_list>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

// Exit statuses, the same for every command.
constexpr int kExitOk = 0;
constexpr int kExitNotLoaded = 1;  // the show did not load, check said false, a manifest was refused
constexpr int kExitError = 2;      // an error: the load raised one, an output cannot be written
constexpr int kExitUsage = 64;     // wrong arguments
constexpr int kExitSigInt = 130;   // ended by SIGINT (Ctrl+C): 128 + the signal's number
constexpr int kExitSigTerm = 143;  // ended by SIGTERM

// The lines of the exit statuses that end every command's help.
extern const char* const kExitStatusHelp;

// Wrong arguments; the text names the argument.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct KnownOption {
    std::string name;  // "--size" or "-o"
    bool takesValue = false;
};

struct ParsedArgs {
    bool help = false;                            // --help or -h
    std::map<std::string, std::string> options;   // by name as in KnownOption; "" for a flag
    std::vector<std::string> operands;            // in order
    bool has(const std::string& name) const { return options.count(name) != 0; }
};

// Parses the arguments after the command: "--name value", "--name=value",
// "-o value", "-ovalue", flags, and "--", after which everything is an
// operand ("-" alone is one too). UsageError for an unknown option, a
// missing value, a value given to a flag, or an option given twice.
ParsedArgs parseArgs(const std::vector<std::string>& args, std::initializer_list<KnownOption> known);

// "sdtool: COMMAND: why", the synopsis of help, and a hint to COMMAND --help,
// on standard error. Returns kExitUsage.
int usageFailure(const std::string& command, const std::string& why, const char* help);

// "sdtool: text" on standard error.
void printError(const std::string& text);

// The system's text of errno value code, in English whatever the locale.
std::string errnoText(int code);
