// Pack.cpp: a show written as a data file, record by record.
#include "tools/sdtool/Pack.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <vector>

#include "datafile/CQDFileStream.h"
#include "datafile/DataFileFormat.h"
#include "platform/Exceptions.h"
#include "platform/Graphics.h"
#include "platform/MidiFile.h"
#include "platform/SysUtils.h"
#include "tools/sdtool/Interrupt.h"
#include "tools/sdtool/Output.h"

namespace {

// The picture extension record holds the file name's extension without its dot.
std::string extensionOf(const std::string& path)
{
    const std::string ext = ExtractFileExt(ExtractFileName(path));
    return ext.empty() ? ext : ext.substr(1);
}

// A picture must load as the player will load it, from its extension.
void checkPicture(const std::string& path, bool bitmapOnly)
{
    const std::string ext = extensionOf(path);
    if (bitmapOnly) {
        std::string lower;
        for (const char c : ext)
            lower += static_cast<char>((c >= 'A' && c <= 'Z') ? c + ('a' - 'A') : c);
        if (lower != "bmp")
            throw PackError(path + ": the old layout holds Windows bitmaps (.bmp) only");
    }
    if (ext.empty() || ext.size() > 8)
        throw PackError(path + ": the file name needs a picture extension (bmp, jpg, jpeg, ico)");
    for (const char c : ext)
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')))
            throw PackError(path + ": the file name needs a picture extension (bmp, jpg, jpeg, ico)");
    try {
        TPicture picture;
        picture.LoadFromFile(path);
    } catch (const Exception& e) {
        throw PackError(path + ": " + e.Message());
    }
}

// The music must be a standard MIDI file the player accepts.
void checkMusic(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    try {
        checkMidiFile(bytes);
    } catch (const Exception& e) {
        throw PackError(path + ": " + e.Message());
    }
}

int64_t fileSize(const std::string& path)
{
    std::error_code ec;
    const auto size = std::filesystem::file_size(path, ec);
    if (ec)
        throw PackError(path + ": " + ec.message());
    if (size > static_cast<uintmax_t>(std::numeric_limits<int32_t>::max()))
        throw PackError(path + ": too large for a data file (at most 2 GiB)");
    return static_cast<int64_t>(size);
}

// A record of group 255: group, tag, a four-byte length patched in after the payload.
template <typename WritePayload>
void writeLongItem(TQDFileStream& out, uint8_t tag, WritePayload writePayload)
{
    throwIfInterrupted();
    out.writeByte(kGroupFile);
    out.writeByte(tag);
    out.writeLongInt(0);
    const int64_t start = out.Position();
    writePayload();
    out.writeBackLenLong(static_cast<int32_t>(out.Position() - start));
}

// The file's bytes as they are (through the base stream, not the typed writes).
void copyFile(TQDFileStream& out, const std::string& path)
{
    TFileStream in(path, fmOpenRead);
    out.CopyFrom(in, in.Size());
}

void writeDeltaStringItem(TQDFileStream& out, uint8_t group, uint8_t tag, const std::string& text)
{
    out.beginItem(group, tag);
    out.writeDeltaString(text);
    out.endItem(group, tag);
}

void writePoints(TQDFileStream& out, const std::vector<std::pair<double, double>>& points)
{
    out.writeDelta(static_cast<uint32_t>(points.size()));
    for (const auto& [x, y] : points) {
        out.writeDouble(x);
        out.writeDouble(y);
    }
}

void writeTagged(TQDFileStream& out, const Manifest& m)
{
    out.writeString(kDataFileMagic);
    out.writeLongInt(m.version);
    if (m.loopTime) {
        out.beginItem(kGroupShow, ShowTag::kLoopTime);
        out.writeDelta(*m.loopTime);
        out.endItem(kGroupShow, ShowTag::kLoopTime);
    }
    if (m.backMode) {
        out.beginItem(kGroupSetting, SettingTag::kBackMode);
        out.writeByte(*m.backMode);
        out.endItem(kGroupSetting, SettingTag::kBackMode);
    }
    if (m.backColor) {
        out.beginItem(kGroupSetting, SettingTag::kBackColor);
        out.writeLongInt(*m.backColor);
        out.endItem(kGroupSetting, SettingTag::kBackColor);
    }
    if (m.playBgm) {
        out.beginItem(kGroupSetting, SettingTag::kPlayBgm);
        out.writeBoolean(*m.playBgm);
        out.endItem(kGroupSetting, SettingTag::kPlayBgm);
    }
    if (m.bgmName)
        writeDeltaStringItem(out, kGroupSetting, SettingTag::kBgmName, *m.bgmName);

    // The loader starts with "bmp" and keeps one current extension for every
    // picture that follows; a record is written whenever the next one differs.
    std::string currentExtension = "bmp";
    auto useExtension = [&](uint8_t group, uint8_t tag, const std::string& path) {
        const std::string ext = extensionOf(path);
        if (ext != currentExtension) {
            writeDeltaStringItem(out, group, tag, ext);
            currentExtension = ext;
        }
    };
    if (m.background) {
        useExtension(kGroupSetting, SettingTag::kPictureExtension, *m.background);
        writeLongItem(out, FileTag::kBackground, [&] { copyFile(out, *m.background); });
    }
    if (m.bgm)
        writeLongItem(out, FileTag::kMusic, [&] { copyFile(out, *m.bgm); });

    for (const ManifestCharactor& c : m.charactors) {
        out.beginItem(kGroupCharactor, CharactorTag::kBegin);
        out.endItem(kGroupCharactor, CharactorTag::kBegin);
        if (c.transparent) {
            out.beginItem(kGroupCharactor, CharactorTag::kTransparent);
            out.writeBoolean(*c.transparent);
            out.endItem(kGroupCharactor, CharactorTag::kTransparent);
        }
        if (!c.name.empty())
            writeDeltaStringItem(out, kGroupCharactor, CharactorTag::kName, c.name);
        for (const std::string& frame : c.frames) {
            useExtension(kGroupCharactor, CharactorTag::kPictureExtension, frame);
            writeLongItem(out, FileTag::kFrame, [&] { copyFile(out, frame); });
        }
        if (!c.points.empty())
            writeLongItem(out, FileTag::kPoints, [&] { writePoints(out, c.points); });
        out.beginItem(kGroupCharactor, CharactorTag::kEnd);
        out.endItem(kGroupCharactor, CharactorTag::kEnd);
    }
}

// A bitmap block of the old layout: the length, then the bitmap file.
void writeBitmapBlock(TQDFileStream& out, const std::string& path)
{
    out.writeLongInt(static_cast<int32_t>(fileSize(path)));
    copyFile(out, path);
}

void writeLegacy(TQDFileStream& out, const Manifest& m)
{
    out.writeString(kDataFileMagic);
    out.writeLongInt(m.version);
    out.writeDelta(m.loopTime.value_or(60));
    out.writeDelta(static_cast<uint32_t>(m.charactors.size()));
    for (const ManifestCharactor& c : m.charactors) {
        if (m.version >= kFirstVersionWithTransparency)
            out.writeBoolean(c.transparent.value_or(true));
        out.writeDelta(static_cast<uint32_t>(c.frames.size()));
        for (const std::string& frame : c.frames)
            writeBitmapBlock(out, frame);
        writePoints(out, c.points);
    }
    out.writeByte(m.backMode.value_or(0));
    out.writeLongInt(m.backColor.value_or(0));
    out.writeBoolean(m.background.has_value());
    if (m.background)
        writeBitmapBlock(out, *m.background);
}

}  // namespace

void packShow(const Manifest& manifest, const std::string& outPath)
{
    int64_t total = 0;
    auto checkFile = [&](const std::string& path) {
        total += fileSize(path);
        if (total > std::numeric_limits<int32_t>::max())
            throw PackError("the embedded files together are too large for a data file (at most 2 GiB)");
    };
    if (manifest.background) {
        checkPicture(*manifest.background, manifest.legacy);
        checkFile(*manifest.background);
    }
    if (manifest.bgm) {
        checkFile(*manifest.bgm);
        checkMusic(*manifest.bgm);
    }
    for (const ManifestCharactor& c : manifest.charactors)
        for (const std::string& frame : c.frames) {
            checkPicture(frame, manifest.legacy);
            checkFile(frame);
        }

    AtomicFile file(outPath);
    try {
        TQDFileStream out(file.path(), fmCreate);
        if (manifest.legacy)
            writeLegacy(out, manifest);
        else
            writeTagged(out, manifest);
    } catch (const EStreamError& e) {
        throw OutputError("cannot write " + outPath + " (" + e.Message() + ")");
    }
    file.commit();
}
