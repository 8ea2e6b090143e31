// CommandLine.cpp: taking the options out of the lurva program's command line.
#include "shell/CommandLine.h"

#include <charconv>

#include "platform/SysUtils.h"

namespace {

// "--name VALUE" or "--name=VALUE": true when argument i is the option, with
// its value in value (empty when none follows).
bool takeValue(const std::vector<std::string>& arguments, size_t& i, const std::string& name, std::string& value)
{
    const std::string& argument = arguments[i];
    if (argument == name) {
        value = i + 1 < arguments.size() ? arguments[++i] : std::string();
        return true;
    }
    if (argument.size() > name.size() && argument.compare(0, name.size(), name) == 0 && argument[name.size()] == '=') {
        value = argument.substr(name.size() + 1);
        return true;
    }
    return false;
}

std::optional<int> wholeNumber(const std::string& text)
{
    int number = 0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, number);
    if (text.empty() || error != std::errc() || stop != end)
        return std::nullopt;
    return number;
}

}  // namespace

TCommandLine ParseCommandLine(const std::vector<std::string>& arguments)
{
    TCommandLine line;
    const std::string program = arguments.empty() ? std::string("lurva") : arguments[0];
    line.dispatch.push_back(program);
    line.hostWindow.push_back(program);
    bool optionsEnded = false;
    for (size_t i = 1; i < arguments.size(); ++i) {
        const std::string& a = arguments[i];
        std::string value;
        if (optionsEnded || a.size() < 2 || a[0] != '-' || FileExists(a)) {
            line.dispatch.push_back(a);
        } else if (a == "--") {
            optionsEnded = true;
        } else if (a == "-h" || a == "--help") {
            line.help = true;
        } else if (a == "--version") {
            line.version = true;
        } else if (a == "-root" || a == "--root") {
            line.hostWindow.push_back(a);
        } else if (a == "-window-id" || a == "--window-id") {
            // The id is the backend's to read, also when it is missing.
            line.hostWindow.push_back(a);
            if (i + 1 < arguments.size())
                line.hostWindow.push_back(arguments[++i]);
        } else if (a.rfind("-window-id=", 0) == 0 || a.rfind("--window-id=", 0) == 0) {
            line.hostWindow.push_back(a);
        } else if (a == "--window") {
            // A mode, as a host's switch is: the dispatch decides by it.
            line.dispatch.push_back(a);
        } else if (a == "--sound") {
            line.show.sound = true;
        } else if (a == "--mute") {
            line.show.mute = true;
        } else if (takeValue(arguments, i, "--show", value)) {
            if (value.empty() && line.error.empty())
                line.error = "--show needs the data file to play";
            line.show.showFile = value;
        } else if (takeValue(arguments, i, "--scale", value)) {
            const std::optional<int> scale = wholeNumber(value);
            if ((!scale || *scale < 1 || *scale > kLargestScale) && line.error.empty())
                line.error = "--scale takes a whole number from 1 to " + std::to_string(kLargestScale) + ", not '"
                             + value + "'";
            line.scale = scale;
        } else if (a.compare(0, 2, "--") == 0) {
            // A mistyped option would otherwise start a full-screen show
            // that holds the keyboard.
            if (line.error.empty())
                line.error = "unknown option '" + a + "'";
        } else {
            line.dispatch.push_back(a);
        }
    }
    return line;
}
