// CFileManage.cpp: the data file loader: header, version choice, and the
// tagged records of files from version 111 on.
#include "datafile/CFileManage.h"

#include <algorithm>
#include <limits>
#include <utility>

#include "config/CData.h"
#include "datafile/CQDFileStream.h"
#include "datafile/DataFileFormat.h"
#include "model/CCharactorList.h"
#include "platform/Dialogs.h"
#include "platform/Exceptions.h"
#include "platform/ImageFiles.h"
#include "platform/SysUtils.h"

namespace {

// Reads the records of one tagged file; lives for one load.
class RecordReader {
public:
    RecordReader(TQDStream& stream, TCharactorList& list)
        : stream_(stream), list_(list), setting_(list.getSetting())
    {
    }

    void readAll()
    {
        while (stream_.Position() < stream_.Size())
            readRecord();
    }

private:
    void readRecord()
    {
        const uint8_t first = stream_.readByte();
        if (first >= 0x80) {
            group_ = first;
            tag_ = stream_.readByte();
        } else {
            tag_ = first;  // no group byte: the group of the record before
        }
        // Group 255 has a four-byte length, every other group one byte. A
        // negative four-byte length is taken as the unsigned number it
        // encodes: beyond the end of any file it could belong to.
        const int64_t length = group_ == kGroupFile ? int64_t{static_cast<uint32_t>(stream_.readLongInt())}
                                                    : int64_t{stream_.readByte()};
        switch (group_) {
        case kGroupShow: readShow(length); break;
        case kGroupSetting: readSetting(length); break;
        case kGroupCharactor: readCharactor(length); break;
        case kGroupFile: readFile(length); break;
        default: skip(length); break;
        }
    }

    void readShow(int64_t length)
    {
        if (tag_ == ShowTag::kLoopTime)
            list_.setLoopTime(stream_.readDelta());
        else
            skip(length);
    }

    void readSetting(int64_t length)
    {
        switch (tag_) {
        case SettingTag::kBackMode: setting_.setBackMode(stream_.readByte()); break;
        case SettingTag::kBackColor: setting_.setBackColor(stream_.readLongInt()); break;
        case SettingTag::kPlayBgm: setting_.setPlayBgm(stream_.readBoolean()); break;
        case SettingTag::kBgmName: setting_.setBgmName(stream_.readDeltaString()); break;
        case SettingTag::kPictureExtension: extension_ = stream_.readDeltaString(); break;
        default: skip(length); break;
        }
    }

    void readCharactor(int64_t length)
    {
        switch (tag_) {
        case CharactorTag::kBegin: current_ = &list_.add(); break;
        case CharactorTag::kTransparent:
            if (current_)
                current_->setTransparent(stream_.readBoolean());
            else
                skip(length);  // no character to give it to
            break;
        case CharactorTag::kName:
            if (current_)
                current_->setName(stream_.readDeltaString());
            else
                skip(length);
            break;
        case CharactorTag::kPictureExtension: extension_ = stream_.readDeltaString(); break;
        case CharactorTag::kEnd: current_ = nullptr; break;
        default: skip(length); break;
        }
    }

    void readFile(int64_t length)
    {
        switch (tag_) {
        case FileTag::kBackground:
            setting_.setBackFile(extract(pictureName("back."), length));
            break;
        case FileTag::kFrame:
            if (!current_) {
                skip(length);  // a frame of no character: nothing is unpacked
                break;
            }
            {
                const std::string path = extract(pictureName("chara."), length);
                current_->loadGraphic(current_->getGraphicCount(), path);
            }
            break;
        case FileTag::kPoints:
            if (current_)
                readPoints();
            else
                skip(length);
            break;
        case FileTag::kMusic:
            setting_.setBgmFile(extract("bgm.mid", length));
            break;
        default: skip(length); break;
        }
    }

    // The count comes from the file; each point is read before it is used,
    // so a count larger than the file ends in a short read.
    void readPoints()
    {
        const uint32_t count = stream_.readDelta();
        for (uint32_t i = 0; i < count; ++i) {
            const double x = stream_.readDouble();
            const double y = stream_.readDouble();
            // Indices from 600 up are ignored by the character anyway.
            current_->setPoint(static_cast<int32_t>(std::min<uint32_t>(i, std::numeric_limits<int32_t>::max())), x, y);
        }
    }

    // The wanted name of an embedded picture. The extension comes from the
    // file; one that is not a plain name would steer the copy's name (a
    // separator, "..") and is refused before anything is written.
    std::string pictureName(const std::string& stem) const
    {
        if (!isPlainPictureExtension(extension_))
            throw EInvalidGraphic(Format(kUnknownExtensionText, {extension_}));
        return stem + extension_;
    }

    // Copies the record's payload into the work directory under a fresh
    // name made from wantedName. A payload longer than what the file still
    // holds is cut off: that is a short read, found before a file is made
    // (and before anything is allocated for it).
    std::string extract(const std::string& wantedName, int64_t length)
    {
        if (length > bytesLeft() || length > std::numeric_limits<int32_t>::max())
            throw EReadError();
        return writeStreamToFile(stream_, getWorkDir() + wantedName, static_cast<int32_t>(length));
    }

    // Skips an unrecognised record. A skip never moves backwards, and one
    // that runs past the end stops at the end (which ends the load).
    void skip(int64_t length)
    {
        stream_.Seek(std::min(length, bytesLeft()), soFromCurrent);
    }

    int64_t bytesLeft() { return std::max<int64_t>(0, stream_.Size() - stream_.Position()); }

    TQDStream& stream_;
    TCharactorList& list_;
    TSetting& setting_;
    uint8_t group_ = kGroupFile;  // before the first group byte
    uint8_t tag_ = 255;
    TCharactor* current_ = nullptr;  // borrowed from list_
    std::string extension_ = "bmp";  // one for every picture, background and frames alike
};

}  // namespace

bool isPlainPictureExtension(const std::string& extension)
{
    if (extension.size() > kMaxPictureExtensionLength)
        return false;
    return std::all_of(extension.begin(), extension.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    });
}

namespace {

// The load itself, from a stream over a file or over bytes in memory.
bool loadFrom(TQDStream& stream, TCharactorList& list)
{
    // Every picture the show holds, the background and each frame, counts.
    const TPictureBudget pictures(kMaxShowPictureBytes);
    try {
        stream.init();
        if (stream.readString(4) != kDataFileMagic)
            return false;
        const int32_t version = stream.readLongInt();
        if (version >= kFirstRefusedVersion) {
            ShowMessage(kTooNewVersionText);
            return false;
        }
        if (version >= kFirstTaggedVersion) {
            list.clear();
            RecordReader(stream, list).readAll();
            return true;
        }
        // The old layout goes to the list, from this same stream.
        return list.loadOldScrSavData(stream, version);
    } catch (const EReadError&) {
        return false;  // the file ends inside a record; nothing is shown
    }
}

}  // namespace

bool loadScrSavData(const std::string& fileName, TCharactorList& list)
{
    if (!FileExists(fileName))
        return false;
    // Closed when this function is left, by any way.
    TQDFileStream stream(fileName, fmOpenRead);
    return loadFrom(stream, list);
}

bool loadScrSavDataFromMemory(std::vector<uint8_t> bytes, TCharactorList& list)
{
    TQDMemoryStream stream(std::move(bytes));
    return loadFrom(stream, list);
}

std::string describeLoadFailure(const std::string& fileName)
{
    if (DirectoryExists(fileName))
        return "a folder, not a file";
    if (!FileExists(fileName))
        return "no such file";
    try {
        TQDFileStream stream(fileName, fmOpenRead);
        stream.init();
        if (stream.Size() == 0)
            return "the file is empty";
        if (stream.readString(4) != kDataFileMagic)
            return "not a data file";
        const int32_t version = stream.readLongInt();
        if (version >= kFirstRefusedVersion)
            return "made by a newer version of the authoring tool (version " + std::to_string(version) + ")";
    } catch (const EReadError&) {
        return "not a data file";  // too short for the header
    } catch (const Exception& e) {
        return e.Message();
    }
    return "the file is cut off";
}
