// Info.cpp: sdtool's view of a loaded show.
#include "tools/sdtool/Info.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <new>

#include "datafile/CFileManage.h"
#include "model/CCharactorList.h"
#include "platform/Exceptions.h"
#include "platform/SysUtils.h"
#include "tools/sdtool/Cli.h"
#include "tools/sdtool/Json.h"
#include "tools/sdtool/ShiftJis.h"
#include "tools/sdtool/WorkSession.h"

std::optional<int32_t> readHeaderVersion(const std::string& fileName)
{
    std::ifstream in(fileName, std::ios::binary);
    char header[8];
    if (!in.read(header, sizeof header) || std::string(header, 4) != kDataFileMagic)
        return std::nullopt;
    uint32_t version = 0;
    for (int i = 4; i < 8; ++i)
        version = (version << 8) | static_cast<uint8_t>(header[i]);
    return static_cast<int32_t>(version);
}

namespace {

void describe(const TCharactorList& list, ShowReport& report)
{
    report.loopTime = list.getLoopTime();
    const TSetting& setting = list.getSetting();
    report.backMode = setting.getBackMode();
    report.backColor = setting.getBackColor();
    report.playBgm = setting.getPlayBgm();
    report.bgmName = setting.getBgmName();
    if (const TGraphic* graphic = setting.getBackGraphic())
        report.backGraphic = std::make_pair(graphic->Width(), graphic->Height());
    report.hasBgm = !setting.getBgmFile().empty() && FileExists(setting.getBgmFile());
    for (int32_t i = 0; i < list.getCount(); ++i) {
        const TCharactor* charactor = list.getCharactor(i);
        if (!charactor)
            break;
        ShowReport::Charactor c;
        c.name = charactor->getName();
        c.transparent = charactor->getTransparent();
        for (int32_t slot = 0; slot < charactor->getGraphicCount(); ++slot) {
            const TGraphic* graphic = charactor->getGraphic(slot);
            c.frames.emplace_back(graphic ? graphic->Width() : 0, graphic ? graphic->Height() : 0);
        }
        for (int32_t j = 0; j < charactor->getPointCount(); ++j) {
            const TDoublePoint* point = charactor->getPoint(j);
            c.points.emplace_back(point ? point->x : kNoPosition.x, point ? point->y : kNoPosition.y);
        }
        report.charactors.push_back(std::move(c));
    }
}

std::string hexColor(int32_t color)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(color));
    return text;
}

}  // namespace

std::optional<std::string> fileProblem(const std::string& fileName)
{
    struct stat st {};
    if (::stat(fileName.c_str(), &st) != 0) {
        const int error = errno;
        return "cannot open " + fileName + ": " + errnoText(error);
    }
    if (S_ISDIR(st.st_mode))
        return "cannot read " + fileName + ": " + errnoText(EISDIR);
    const int fd = ::open(fileName.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        return "cannot open " + fileName + ": " + errnoText(error);
    }
    char header[8];
    size_t got = 0;
    int error = 0;
    while (got < sizeof header) {
        const ssize_t n = ::read(fd, header + got, sizeof header - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            error = errno;
        if (n <= 0)
            break;
        got += static_cast<size_t>(n);
    }
    ::close(fd);
    if (error != 0)
        return "cannot read " + fileName + ": " + errnoText(error);
    if (got == 0)
        return fileName + " is empty, not a data file";
    if (got < 4 || std::string(header, 4) != kDataFileMagic)
        return fileName + " is not a data file: it does not start with \"" + kDataFileMagic + "\"";
    if (got < sizeof header)
        return fileName + " is cut off: it ends inside its header";
    return std::nullopt;
}

void recordLoadError(ShowReport& report, const std::exception& error)
{
    report.outcome = ShowReport::Outcome::Error;
    report.error = error.what();
    report.errorHasBoxText = dynamic_cast<const Exception*>(&error) != nullptr;
    if (const auto* tooLarge = dynamic_cast<const EShowTooLarge*>(&error))
        report.errorReason = "the show is too large: " + tooLarge->Limit();
    else if (dynamic_cast<const EInvalidGraphic*>(&error))
        report.errorReason = "a picture in it cannot be read";
    else if (dynamic_cast<const EFCreateError*>(&error))
        report.errorReason = "an embedded file cannot be unpacked into the work folder";
    else if (dynamic_cast<const EFOpenError*>(&error))
        report.errorReason = "a file cannot be opened";
    else if (dynamic_cast<const EWriteError*>(&error))
        report.errorReason = "an embedded file cannot be written out";
    else if (dynamic_cast<const EReadError*>(&error))
        report.errorReason = "a read failed";
    else if (dynamic_cast<const ERangeError*>(&error) || dynamic_cast<const EIntOverflow*>(&error))
        report.errorReason = "a number in it is out of range";
    else if (dynamic_cast<const std::bad_alloc*>(&error))
        report.errorReason = "out of memory";
    else if (report.errorHasBoxText)
        report.errorReason = "the load stopped with an error";
    else
        report.errorReason = std::string("the load stopped with an error: ") + error.what();
}

std::string loadFailureText(const std::string& fileName, const ShowReport& report)
{
    if (report.outcome == ShowReport::Outcome::Loaded)
        return "";
    if (report.outcome == ShowReport::Outcome::Error)
        return "cannot load " + fileName + ": " + report.errorReason
               + (report.errorHasBoxText ? " (" + report.error + ")" : "");
    if (const auto problem = fileProblem(fileName))
        return *problem;
    if (report.version && *report.version >= kFirstRefusedVersion) {
        std::string box = kTooNewVersionText;
        for (char& c : box)
            c = c == '\n' ? ' ' : c;
        return fileName + " has version " + std::to_string(*report.version) + ", newer than the player reads (up to "
               + std::to_string(kFirstRefusedVersion - 1) + ") (" + box + ")";
    }
    return fileName + " is cut off: it ends inside a record, where the loader stops";
}

ShowReport loadShow(const std::string& fileName)
{
    ShowReport report;
    report.version = readHeaderVersion(fileName);
    MessageLog log;
    TCharactorList list;
    try {
        report.outcome = loadScrSavData(fileName, list) ? ShowReport::Outcome::Loaded : ShowReport::Outcome::False;
    } catch (const std::exception& e) {
        recordLoadError(report, e);
    }
    describe(list, report);
    report.messages = log.messages();
    return report;
}

std::string reportJson(const ShowReport& report)
{
    std::string out = "{\"loaded\": ";
    out += jsonBool(report.outcome == ShowReport::Outcome::Loaded);
    out += ", \"version\": " + (report.version ? jsonNumber(int64_t{*report.version}) : std::string("null"));
    out += ", \"loopTime\": " + jsonNumber(int64_t{report.loopTime});
    out += ",\n \"setting\": {\"backMode\": " + jsonNumber(int64_t{report.backMode});
    out += ", \"backColor\": " + jsonNumber(int64_t{report.backColor});
    out += ", \"playBgm\": " + std::string(jsonBool(report.playBgm));
    out += ", \"bgmName\": " + jsonString(sjisToUtf8(report.bgmName));
    out += ", \"backGraphic\": ";
    if (report.backGraphic)
        out += "{\"width\": " + std::to_string(report.backGraphic->first) +
               ", \"height\": " + std::to_string(report.backGraphic->second) + "}";
    else
        out += "null";
    out += ", \"hasBgm\": " + std::string(jsonBool(report.hasBgm)) + "},\n \"charactors\": [";
    for (size_t i = 0; i < report.charactors.size(); ++i) {
        const ShowReport::Charactor& c = report.charactors[i];
        out += i == 0 ? "\n  " : ",\n  ";
        out += "{\"name\": " + jsonString(sjisToUtf8(c.name));
        out += ", \"transparent\": " + std::string(jsonBool(c.transparent)) + ", \"frames\": [";
        for (size_t f = 0; f < c.frames.size(); ++f) {
            out += f == 0 ? "" : ", ";
            out += "{\"width\": " + std::to_string(c.frames[f].first) +
                   ", \"height\": " + std::to_string(c.frames[f].second) + "}";
        }
        out += "],\n   \"points\": [";
        for (size_t j = 0; j < c.points.size(); ++j) {
            out += j == 0 ? "" : ", ";
            out += "[" + jsonNumber(c.points[j].first) + ", " + jsonNumber(c.points[j].second) + "]";
        }
        out += "]}";
    }
    out += report.charactors.empty() ? "],\n" : "\n ],\n";
    out += " \"messages\": [";
    for (size_t i = 0; i < report.messages.size(); ++i)
        out += (i == 0 ? "" : ", ") + jsonString(report.messages[i]);
    out += "]}\n";
    return out;
}

std::string reportText(const std::string& fileName, const ShowReport& report)
{
    std::string out = "file:       " + fileName + "\n";
    out += "loaded:     ";
    out += report.outcome == ShowReport::Outcome::Loaded ? "yes"
           : report.outcome == ShowReport::Outcome::False ? "no (the load returned false)"
                                                          : "no (error: " + report.error + ")";
    out += "\nversion:    " + (report.version ? std::to_string(*report.version) : std::string("none (no data file header)"));
    out += "\nloop time:  " + std::to_string(report.loopTime) + " s\n";
    static const char* const kModes[] = {"colour", "desktop", "stretched picture", "tiled picture"};
    out += "background: mode " + std::to_string(report.backMode) + " (" +
           (report.backMode < 4 ? kModes[report.backMode] : "none") + "), colour " + hexColor(report.backColor) +
           ", picture " +
           (report.backGraphic ? std::to_string(report.backGraphic->first) + "x" +
                                     std::to_string(report.backGraphic->second)
                               : std::string("none")) +
           "\n";
    out += "music:      " + std::string(report.playBgm ? "on" : "off") + ", name \"" + sjisToUtf8(report.bgmName) +
           "\", " + (report.hasBgm ? "file unpacked" : "no file") + "\n";
    out += "characters: " + std::to_string(report.charactors.size()) + "\n";
    for (size_t i = 0; i < report.charactors.size(); ++i) {
        const ShowReport::Charactor& c = report.charactors[i];
        size_t placed = 0;
        for (const auto& [x, y] : c.points)
            placed += (x != kNoPosition.x || y != kNoPosition.y) ? 1 : 0;
        out += "  " + std::to_string(i) + ": \"" + sjisToUtf8(c.name) + "\", " +
               (c.transparent ? "transparent" : "opaque") + ", " + std::to_string(c.frames.size()) + " frame(s)";
        for (size_t f = 0; f < c.frames.size(); ++f)
            out += std::string(f == 0 ? " " : ", ") + std::to_string(c.frames[f].first) + "x" +
                   std::to_string(c.frames[f].second);
        out += "; " + std::to_string(placed) + " of " + std::to_string(c.points.size()) + " points placed\n";
    }
    for (const std::string& message : report.messages)
        out += "message:    " + message + "\n";
    return sanitizeUtf8(out);
}
