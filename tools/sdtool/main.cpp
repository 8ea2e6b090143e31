// main.cpp: sdtool, the command line that inspects and builds screen saver data files.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include "platform/Exceptions.h"
#include "tools/sdtool/Info.h"
#include "tools/sdtool/Manifest.h"
#include "tools/sdtool/Pack.h"
#include "tools/sdtool/Render.h"
#include "tools/sdtool/WorkSession.h"

namespace {

// Exit statuses besides the load results 0, 1 and 2.
constexpr int kExitUsage = 64;

constexpr const char* kProgramHelp = R"(Usage: sdtool COMMAND [ARGUMENTS]

Inspects and builds Lurva screen saver data files (*.sdt).

Commands:
  info FILE [--json]        load FILE as the screen saver does and print the show
  check FILE...             load each FILE and print ok, false or error
  pack MANIFEST -o OUT.sdt  write a data file from a JSON manifest
  render FILE -o OUT --size WxH [--tick N | --ticks A-B] [--desktop IMAGE.png]
                            play FILE without a display and write what the
                            window shows as PNG files or an animated WebP
  help [COMMAND]            this text, or the help of COMMAND

'sdtool COMMAND --help' tells more about one command.
)";

constexpr const char* kInfoHelp = R"(Usage: sdtool info FILE [--json]

Loads FILE as the screen saver does and prints the show: the version in its
header, the loop time, the background, the music and every character with its
frames and path. Embedded pictures and music are unpacked into a private work
directory, which is emptied and removed before sdtool ends. Message boxes the
load would show are listed, not shown. Names stored in Shift-JIS are printed in
UTF-8.

  --json   print one JSON object:
           {"loaded", "version" (null when FILE has no data file header),
            "loopTime", "setting": {"backMode", "backColor", "playBgm",
            "bgmName", "backGraphic": {"width", "height"} or null, "hasBgm"},
            "charactors": [{"name", "transparent", "frames": [{"width",
            "height"}], "points": [[x, y], ... 600 entries]}], "messages"}

Exit status: 0 the load returned true; 1 it returned false (no such file, not
a data file, too new, cut off); 2 an error escaped the load (its message on
standard error, as the error box shows it); 64 wrong arguments.
)";

constexpr const char* kCheckHelp = R"(Usage: sdtool check FILE...

Loads each FILE as the screen saver does and prints one line per file:
"FILE: ok", "FILE: false" or "FILE: error: MESSAGE". The work directory is
private and emptied after each file.

Exit status: the highest of the files' statuses (0 ok, 1 false, 2 error);
64 wrong arguments.
)";

constexpr const char* kPackHelp = R"(Usage: sdtool pack MANIFEST -o OUT.sdt

Writes a data file from a JSON manifest. File names in the manifest are
relative to the manifest's folder. Every key is optional:

  {"version": 120,            111..131 (default 120); with "legacy": 0..110 (default 110)
   "loopTime": 60,            seconds
   "setting": {"backMode": 2, "backColor": 0, "playBgm": true, "bgmName": "tune"},
   "background": "back.jpg",  a picture: bmp, jpg, jpeg or ico
   "bgm": "tune.mid",         a standard MIDI file
   "charactors": [{"name": "blob", "transparent": true,
                   "frames": ["blob0.bmp", "blob1.bmp"],   at most 10
                   "points": [[0.5, 0.5], [0.51, 0.5]]}],  at most 600, fractions of the screen
   "legacy": false}           true: the old layout (bitmaps only, no music, no names)

Names are given in UTF-8 and stored in Shift-JIS. Each picture's extension is
recorded from its file name; every picture must load as the player loads it,
and the music must be a standard MIDI file. Nothing is written when the
manifest is refused.

Exit status: 0 written; 1 the manifest or a file it names was refused (the
reason on standard error); 64 wrong arguments.
)";

bool isHelp(const std::string& arg)
{
    return arg == "--help" || arg == "-h";
}

int usage(const char* text)
{
    std::fputs(text, stderr);
    return kExitUsage;
}

int runInfo(const std::vector<std::string>& args)
{
    std::string file;
    bool json = false;
    for (const std::string& arg : args) {
        if (isHelp(arg)) {
            std::fputs(kInfoHelp, stdout);
            return 0;
        }
        if (arg == "--json")
            json = true;
        else if (file.empty() && (arg.empty() || arg[0] != '-'))
            file = arg;
        else
            return usage(kInfoHelp);
    }
    if (file.empty())
        return usage(kInfoHelp);

    PrivateWorkDir workDir;
    const ShowReport report = loadShow(file);
    const std::string text = json ? reportJson(report) : reportText(file, report);
    std::fputs(text.c_str(), stdout);
    if (report.outcome == ShowReport::Outcome::Error)
        std::fprintf(stderr, "%s\n", report.error.c_str());
    return report.exitStatus();
}

int runCheck(const std::vector<std::string>& args)
{
    std::vector<std::string> files;
    for (const std::string& arg : args) {
        if (isHelp(arg)) {
            std::fputs(kCheckHelp, stdout);
            return 0;
        }
        if (!arg.empty() && arg[0] == '-')
            return usage(kCheckHelp);
        files.push_back(arg);
    }
    if (files.empty())
        return usage(kCheckHelp);

    PrivateWorkDir workDir;
    int status = 0;
    for (const std::string& file : files) {
        const ShowReport report = loadShow(file);
        workDir.empty();
        const char* verdict = report.outcome == ShowReport::Outcome::Loaded ? "ok"
                              : report.outcome == ShowReport::Outcome::False ? "false"
                                                                             : "error";
        std::printf("%s: %s", file.c_str(), verdict);
        if (report.outcome == ShowReport::Outcome::Error)
            std::printf(": %s", report.error.c_str());
        std::printf("\n");
        status = std::max(status, report.exitStatus());
    }
    return status;
}

int runPack(const std::vector<std::string>& args)
{
    std::string manifestPath;
    std::string outPath;
    for (size_t i = 0; i < args.size(); ++i) {
        if (isHelp(args[i])) {
            std::fputs(kPackHelp, stdout);
            return 0;
        }
        if (args[i] == "-o" && i + 1 < args.size() && outPath.empty())
            outPath = args[++i];
        else if (manifestPath.empty() && !args[i].empty() && args[i][0] != '-')
            manifestPath = args[i];
        else
            return usage(kPackHelp);
    }
    if (manifestPath.empty() || outPath.empty())
        return usage(kPackHelp);
    try {
        packShow(readManifest(manifestPath), outPath);
    } catch (const Exception& e) {
        std::fprintf(stderr, "sdtool pack: %s\n", e.Message().c_str());
        return 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "sdtool pack: %s\n", e.what());
        return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    const std::vector<std::string> all(argv + 1, argv + argc);
    if (all.empty())
        return usage(kProgramHelp);
    const std::string command = all[0];
    const std::vector<std::string> args(all.begin() + 1, all.end());
    try {
        if (isHelp(command) || command == "help") {
            const std::string topic = args.empty() ? "" : args[0];
            std::fputs(topic == "info"    ? kInfoHelp
                       : topic == "check" ? kCheckHelp
                       : topic == "pack"  ? kPackHelp
                       : topic == "render" ? kRenderHelp
                                          : kProgramHelp,
                       stdout);
            return 0;
        }
        if (command == "info")
            return runInfo(args);
        if (command == "check")
            return runCheck(args);
        if (command == "pack")
            return runPack(args);
        if (command == "render")
            return runRender(args);
        std::fprintf(stderr, "sdtool: unknown command \"%s\"\n\n", command.c_str());
        return usage(kProgramHelp);
    } catch (const std::exception& e) {
        // Only the set-up can fail here (no private work directory).
        std::fprintf(stderr, "sdtool: %s\n", e.what());
        return 2;
    }
}
