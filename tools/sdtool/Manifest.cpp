// Manifest.cpp: reading and checking a show manifest.
#include "tools/sdtool/Manifest.h"

#include <nlohmann/json.hpp>

#include <cerrno>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>
#include <set>

#include "datafile/DataFileFormat.h"
#include "tools/sdtool/Cli.h"
#include "tools/sdtool/ShiftJis.h"

namespace {

namespace fs = std::filesystem;
using nlohmann::json;

[[noreturn]] void fail(const std::string& where, const std::string& why)
{
    throw ManifestError(where + ": " + why);
}

void onlyKeys(const json& object, const std::string& where, const std::set<std::string>& known)
{
    for (const auto& item : object.items())
        if (!known.count(item.key()))
            fail(where, "unknown key \"" + item.key() + "\"");
}

const json& objectAt(const json& parent, const char* key, const std::string& where)
{
    const json& value = parent.at(key);
    if (!value.is_object())
        fail(where + "." + key, "expected an object");
    return value;
}

int64_t integerAt(const json& parent, const char* key, const std::string& where, int64_t min, int64_t max)
{
    const json& value = parent.at(key);
    if (!value.is_number_integer())
        fail(where + "." + key, "expected an integer");
    // Unsigned values beyond int64 are out of every range here.
    if (value.is_number_unsigned() && value.get<uint64_t>() > static_cast<uint64_t>(max))
        fail(where + "." + key, "must be from " + std::to_string(min) + " to " + std::to_string(max));
    const auto v = value.get<int64_t>();
    if (v < min || v > max)
        fail(where + "." + key, "must be from " + std::to_string(min) + " to " + std::to_string(max));
    return v;
}

bool boolAt(const json& parent, const char* key, const std::string& where)
{
    const json& value = parent.at(key);
    if (!value.is_boolean())
        fail(where + "." + key, "expected true or false");
    return value.get<bool>();
}

std::string stringOf(const json& value, const std::string& where)
{
    if (!value.is_string())
        fail(where, "expected a string");
    return value.get<std::string>();
}

// A name as the file stores it: Shift-JIS, at most 254 bytes (a delta string).
std::string nameOf(const json& value, const std::string& where)
{
    std::string sjis;
    try {
        sjis = utf8ToSjis(stringOf(value, where));
    } catch (const TextEncodingError& e) {
        fail(where, e.what());
    }
    if (sjis.size() > 254)
        fail(where, "longer than 254 bytes in Shift-JIS");
    return sjis;
}

// A file named relative to the manifest's folder; it must exist.
std::string fileOf(const json& value, const std::string& where, const fs::path& base)
{
    const fs::path named = stringOf(value, where);
    if (named.empty())
        fail(where, "empty file name");
    const fs::path path = named.is_absolute() ? named : base / named;
    std::error_code ec;
    if (!fs::is_regular_file(path, ec))
        fail(where, "no such file: " + path.string());
    return path.string();
}

ManifestCharactor charactorOf(const json& value, const std::string& where, const fs::path& base)
{
    if (!value.is_object())
        fail(where, "expected an object");
    onlyKeys(value, where, {"name", "transparent", "frames", "points"});
    ManifestCharactor charactor;
    if (value.contains("name"))
        charactor.name = nameOf(value.at("name"), where + ".name");
    if (value.contains("transparent"))
        charactor.transparent = boolAt(value, "transparent", where);
    if (value.contains("frames")) {
        const json& frames = value.at("frames");
        if (!frames.is_array())
            fail(where + ".frames", "expected an array of file names");
        if (frames.size() > kManifestMaxFrames)
            fail(where + ".frames", "at most " + std::to_string(kManifestMaxFrames) + " frames");
        for (size_t i = 0; i < frames.size(); ++i)
            charactor.frames.push_back(fileOf(frames[i], where + ".frames[" + std::to_string(i) + "]", base));
    }
    if (value.contains("points")) {
        const json& points = value.at("points");
        if (!points.is_array())
            fail(where + ".points", "expected an array of [x, y] pairs");
        if (points.size() > kManifestMaxPoints)
            fail(where + ".points", "at most " + std::to_string(kManifestMaxPoints) + " points");
        for (size_t i = 0; i < points.size(); ++i) {
            const json& point = points[i];
            const std::string at = where + ".points[" + std::to_string(i) + "]";
            if (!point.is_array() || point.size() != 2 || !point[0].is_number() || !point[1].is_number())
                fail(at, "expected [x, y], two numbers");
            charactor.points.emplace_back(point[0].get<double>(), point[1].get<double>());
        }
    }
    return charactor;
}

}  // namespace

Manifest readManifest(const std::string& manifestPath)
{
    std::error_code ec;
    if (fs::is_directory(manifestPath, ec))
        throw ManifestError("cannot read " + manifestPath + ": " + errnoText(EISDIR));
    errno = 0;
    std::ifstream in(manifestPath, std::ios::binary);
    if (!in) {
        const int error = errno;
        throw ManifestError("cannot open " + manifestPath + ": " + (error != 0 ? errnoText(error) : "unreadable"));
    }
    json root;
    try {
        root = json::parse(in);
    } catch (const json::parse_error& e) {
        throw ManifestError(manifestPath + ": not JSON: " + e.what());
    }
    const std::string where = "manifest";
    if (!root.is_object())
        fail(where, "expected an object");
    onlyKeys(root, where,
             {"version", "loopTime", "setting", "background", "bgm", "charactors", "legacy"});
    const fs::path base = fs::path(manifestPath).parent_path();

    Manifest manifest;
    if (root.contains("legacy"))
        manifest.legacy = boolAt(root, "legacy", where);
    // The newest version of each layout unless the manifest names one.
    constexpr int32_t newestLegacy = kFirstTaggedVersion - 1;
    if (manifest.legacy) {
        manifest.version = newestLegacy;
        if (root.contains("version"))
            manifest.version = static_cast<int32_t>(integerAt(root, "version", where, 0, newestLegacy));
    } else if (root.contains("version")) {
        manifest.version =
            static_cast<int32_t>(integerAt(root, "version", where, kFirstTaggedVersion, kFirstRefusedVersion - 1));
    }
    if (root.contains("loopTime"))
        manifest.loopTime = static_cast<uint32_t>(integerAt(root, "loopTime", where, 0, kManifestMaxLoopTime));

    if (root.contains("setting")) {
        const json& setting = objectAt(root, "setting", where);
        const std::string at = where + ".setting";
        onlyKeys(setting, at, {"backMode", "backColor", "playBgm", "bgmName"});
        if (setting.contains("backMode"))
            manifest.backMode = static_cast<uint8_t>(integerAt(setting, "backMode", at, 0, 255));
        // A colour may be given as 0x00BBGGRR or as any signed 32-bit number.
        if (setting.contains("backColor"))
            manifest.backColor = static_cast<int32_t>(static_cast<uint32_t>(
                integerAt(setting, "backColor", at, std::numeric_limits<int32_t>::min(),
                          std::numeric_limits<uint32_t>::max())));
        if (setting.contains("playBgm"))
            manifest.playBgm = boolAt(setting, "playBgm", at);
        if (setting.contains("bgmName"))
            manifest.bgmName = nameOf(setting.at("bgmName"), at + ".bgmName");
    }
    if (root.contains("background"))
        manifest.background = fileOf(root.at("background"), where + ".background", base);
    if (root.contains("bgm"))
        manifest.bgm = fileOf(root.at("bgm"), where + ".bgm", base);
    if (root.contains("charactors")) {
        const json& list = root.at("charactors");
        if (!list.is_array())
            fail(where + ".charactors", "expected an array");
        for (size_t i = 0; i < list.size(); ++i)
            manifest.charactors.push_back(
                charactorOf(list[i], where + ".charactors[" + std::to_string(i) + "]", base));
    }

    if (manifest.legacy) {
        // The old layout has no music, no names and (before 110) no transparency.
        if (manifest.bgm || manifest.playBgm || manifest.bgmName)
            fail(where, "the old layout (\"legacy\": true) carries no music: remove bgm, playBgm and bgmName");
        for (size_t i = 0; i < manifest.charactors.size(); ++i) {
            const ManifestCharactor& c = manifest.charactors[i];
            const std::string at = where + ".charactors[" + std::to_string(i) + "]";
            if (!c.name.empty())
                fail(at + ".name", "the old layout (\"legacy\": true) carries no names");
            if (manifest.version < kFirstVersionWithTransparency && c.transparent == false)
                fail(at + ".transparent", "the old layout before version 110 carries no transparency "
                                          "(its characters are transparent)");
        }
    }
    return manifest;
}
