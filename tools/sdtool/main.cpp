// main.cpp: sdtool, the command line that inspects and builds screen saver data files.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include "LurvaVersion.h"
#include "platform/Exceptions.h"
#include "tools/sdtool/Cli.h"
#include "tools/sdtool/Info.h"
#include "tools/sdtool/Interrupt.h"
#include "tools/sdtool/Manifest.h"
#include "tools/sdtool/Output.h"
#include "tools/sdtool/Pack.h"
#include "tools/sdtool/Render.h"
#include "tools/sdtool/Thumbnail.h"
#include "tools/sdtool/WorkSession.h"

namespace {

constexpr const char* kProgramHelp = R"(Usage: sdtool COMMAND [ARGUMENTS]

Inspects and builds Lurva screen saver data files (*.sdt).

Commands:
  info FILE [--json]        load FILE as the screen saver does and print the show
  check FILE...             load each FILE and print ok, false or error
  pack MANIFEST -o OUT.sdt  write a data file from a JSON manifest
  render FILE -o OUT [--size WxH] [--tick N | --ticks A-B] [--desktop IMAGE.png]
                            play FILE without a display and write what the
                            window shows as PNG files, an animated WebP, or a
                            video with the show's tune (.mp4, .webm, .mkv, .gif)
  thumbnail IN OUT --size N a PNG of the show IN whose longer side is N, at a
                            step where its characters are on screen
  help [COMMAND]            this text, or the help of COMMAND
  --version                 print "sdtool VERSION"

'sdtool COMMAND --help' tells more about one command. Options take their
value as "--size 10x10" or "--size=10x10", "-o OUT" or "-oOUT"; "--" ends
the options.

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

When the show does not load, standard error says why: the file cannot be
opened or read, is empty, is no data file, is too new, or is cut off inside a
record. A file that ends between records (even right after its header) loads
with what it holds.

)";

constexpr const char* kCheckHelp = R"(Usage: sdtool check FILE...

Loads each FILE as the screen saver does and prints one line per file:
"FILE: ok", "FILE: false" or "FILE: error: MESSAGE". The work directory is
private and emptied after each file. "false" is what the loader returns for
a file it cannot use (no such file, not a data file, too new, cut off inside a
record); why goes to standard error. A file that ends between records (even
right after its header) is "ok": the loader takes what it holds.

The exit status is the highest of the files' statuses.

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
and the music must be a standard MIDI file. OUT is written under a temporary
name beside it and renamed when complete: when the manifest is refused or the
run fails or is interrupted, OUT is left as it was. OUT may not be the
manifest or a file it names.

)";

bool isHelp(const std::string& arg)
{
    return arg == "--help" || arg == "-h";
}

// A command's help with the exit statuses every command shares.
void printHelp(const char* help)
{
    std::fputs(help, stdout);
    std::fputs(kExitStatusHelp, stdout);
}

int runInfo(const std::vector<std::string>& args)
{
    ParsedArgs parsed;
    try {
        parsed = parseArgs(args, {{"--json", false}});
        if (parsed.help) {
            printHelp(kInfoHelp);
            return kExitOk;
        }
        if (parsed.operands.empty())
            throw UsageError("FILE is needed");
        if (parsed.operands.size() > 1)
            throw UsageError("unexpected argument '" + parsed.operands[1] + "' (one FILE at a time)");
    } catch (const UsageError& e) {
        return usageFailure("info", e.what(), kInfoHelp);
    }
    const std::string& file = parsed.operands[0];

    PrivateWorkDir workDir;
    const ShowReport report = loadShow(file);
    throwIfInterrupted();
    const std::string text = parsed.has("--json") ? reportJson(report) : reportText(file, report);
    std::fputs(text.c_str(), stdout);
    std::fflush(stdout);
    if (report.outcome != ShowReport::Outcome::Loaded)
        printError(loadFailureText(file, report));
    return report.exitStatus();
}

int runCheck(const std::vector<std::string>& args)
{
    ParsedArgs parsed;
    try {
        parsed = parseArgs(args, {});
        if (parsed.help) {
            printHelp(kCheckHelp);
            return kExitOk;
        }
        if (parsed.operands.empty())
            throw UsageError("FILE is needed");
    } catch (const UsageError& e) {
        return usageFailure("check", e.what(), kCheckHelp);
    }

    PrivateWorkDir workDir;
    int status = kExitOk;
    for (const std::string& file : parsed.operands) {
        const ShowReport report = loadShow(file);
        workDir.empty();
        throwIfInterrupted();
        const char* verdict = report.outcome == ShowReport::Outcome::Loaded ? "ok"
                              : report.outcome == ShowReport::Outcome::False ? "false"
                                                                             : "error";
        const std::string why = loadFailureText(file, report);
        std::printf("%s: %s", file.c_str(), verdict);
        if (report.outcome == ShowReport::Outcome::Error)
            std::printf(": %s", why.c_str());
        std::printf("\n");
        std::fflush(stdout);
        if (!why.empty())
            printError(why);
        status = std::max(status, report.exitStatus());
    }
    return status;
}

int runPack(const std::vector<std::string>& args)
{
    std::string manifestPath;
    std::string outPath;
    try {
        const ParsedArgs parsed = parseArgs(args, {{"-o", true}});
        if (parsed.help) {
            printHelp(kPackHelp);
            return kExitOk;
        }
        if (parsed.operands.empty() || !parsed.has("-o"))
            throw UsageError("MANIFEST and -o OUT.sdt are needed");
        if (parsed.operands.size() > 1)
            throw UsageError("unexpected argument '" + parsed.operands[1] + "' (one MANIFEST at a time)");
        manifestPath = parsed.operands[0];
        outPath = parsed.options.at("-o");
        if (outPath.empty())
            throw UsageError("-o wants a file name");
        refuseOutputAmongInputs(outPath, {manifestPath});
    } catch (const UsageError& e) {
        return usageFailure("pack", e.what(), kPackHelp);
    }
    try {
        const Manifest manifest = readManifest(manifestPath);
        std::vector<std::string> inputs = {manifestPath};
        if (manifest.background)
            inputs.push_back(*manifest.background);
        if (manifest.bgm)
            inputs.push_back(*manifest.bgm);
        for (const ManifestCharactor& c : manifest.charactors)
            inputs.insert(inputs.end(), c.frames.begin(), c.frames.end());
        refuseOutputAmongInputs(outPath, inputs);
        packShow(manifest, outPath);
    } catch (const UsageError& e) {
        return usageFailure("pack", e.what(), kPackHelp);
    } catch (const OutputError& e) {
        printError(e.what());
        return kExitError;
    } catch (const Interrupted&) {
        throw;
    } catch (const std::exception& e) {
        // A refused manifest or a file in it: the text names it.
        printError(std::string("pack: ") + e.what());
        return kExitNotLoaded;
    }
    return kExitOk;
}

const char* helpOf(const std::string& command)
{
    return command == "info"     ? kInfoHelp
           : command == "check"  ? kCheckHelp
           : command == "pack"   ? kPackHelp
           : command == "render" ? kRenderHelp
           : command == "thumbnail" ? kThumbnailHelp
                                 : nullptr;
}

}  // namespace

int main(int argc, char** argv)
{
    installInterruptHandlers();
    const std::vector<std::string> all(argv + 1, argv + argc);
    if (all.empty()) {
        std::fputs(kProgramHelp, stderr);
        return kExitUsage;
    }
    const std::string command = all[0];
    const std::vector<std::string> args(all.begin() + 1, all.end());
    try {
        if (command == "--version") {
            std::printf("sdtool %s\n", lurva::kVersion);
            return kExitOk;
        }
        if (isHelp(command) || command == "help") {
            if (args.size() > 1)
                return usageFailure("", "help: unexpected argument '" + args[1] + "'", kProgramHelp);
            if (args.empty() || isHelp(args[0])) {
                printHelp(kProgramHelp);
                return kExitOk;
            }
            const char* help = helpOf(args[0]);
            if (help == nullptr)
                return usageFailure("", "help: unknown command '" + args[0] + "'", kProgramHelp);
            printHelp(help);
            return kExitOk;
        }
        if (command == "info")
            return runInfo(args);
        if (command == "check")
            return runCheck(args);
        if (command == "pack")
            return runPack(args);
        if (command == "render")
            return runRender(args);
        if (command == "thumbnail")
            return runThumbnail(args);
        return usageFailure("", "unknown command '" + command + "'", kProgramHelp);
    } catch (const Interrupted& e) {
        // The unwinding has removed the private folders and unfinished files.
        printError(e.what());
        return e.exitStatus();
    } catch (const std::exception& e) {
        // Only the set-up can fail here (no private work directory).
        printError(e.what());
        return kExitError;
    }
}
