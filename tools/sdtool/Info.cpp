// Info.cpp: sdtool's view of a loaded show.
#include "tools/sdtool/Info.h"

#include <cstdio>
#include <fstream>

#include "datafile/CFileManage.h"
#include "model/CCharactorList.h"
#include "platform/Exceptions.h"
#include "platform/SysUtils.h"
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

ShowReport loadShow(const std::string& fileName)
{
    ShowReport report;
    report.version = readHeaderVersion(fileName);
    MessageLog log;
    TCharactorList list;
    try {
        report.outcome = loadScrSavData(fileName, list) ? ShowReport::Outcome::Loaded : ShowReport::Outcome::False;
    } catch (const Exception& e) {
        report.outcome = ShowReport::Outcome::Error;
        report.error = e.Message();
    } catch (const std::exception& e) {
        report.outcome = ShowReport::Outcome::Error;
        report.error = e.what();
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
    out += "\nversion:    " + (report.version ? std::to_string(*report.version) : std::string("none (not a data file)"));
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
