// CCharactorListLegacy.cpp: TCharactorList::loadOldScrSavData, the reader of
// data files in the old fixed layout (version 110 and below). An operation of
// the list, defined here with the other loaders: the model knows nothing of
// the bytes.
#include <algorithm>
#include <string>
#include <vector>

#include "config/CData.h"
#include "datafile/CQDFileStream.h"
#include "datafile/DataFileFormat.h"
#include "model/CCharactorList.h"
#include "platform/Exceptions.h"
#include "platform/Graphics.h"
#include "platform/SysUtils.h"

namespace {

// Reads a bitmap block (a length L, then a bitmap file) into bitmap and leaves
// the stream at the block's end as L gives it, whatever the bitmap used. The
// reader is shown the block's own bytes only, so L decides both what is
// decoded and where the next field starts. L is checked against what the file
// still holds before anything is allocated: a block longer than that, or one
// whose L is negative (it would end before it starts), is a file cut off.
void readBitmapBlock(TQDStream& stream, TBitmap& bitmap)
{
    const int32_t length = stream.readLongInt();
    const int64_t start = stream.Position();
    if (length < 0 || length > stream.Size() - start)
        throw EReadError();
    std::vector<uint8_t> bytes(static_cast<size_t>(length));
    stream.ReadBuffer(bytes.data(), length);
    TMemoryStream block(std::move(bytes));
    bitmap.LoadFromStream(block);
}

// Saves the bitmap under its fixed name in the work directory, replacing what
// is there; a link of that name is replaced itself, never followed.
void saveBitmap(const TBitmap& bitmap, const std::string& path)
{
    const std::unique_ptr<TFileStream> file = CreateNewFile(path, ExistingEntry::Replace);
    if (!file)
        throw EFCreateError(path);
    bitmap.SaveToStream(*file);
}

// Counts are signed: 0, or one with its top bit set, means none.
int32_t readCount(TQDStream& stream)
{
    return static_cast<int32_t>(stream.readDelta());
}

}  // namespace

bool TCharactorList::loadOldScrSavData(const std::string& fileName)
{
    if (!FileExists(fileName))
        return false;
    // Closed when this function is left, by any way.
    TQDFileStream stream(fileName, fmOpenRead);
    if (stream.readString(4) != kDataFileMagic)
        return false;
    const int32_t version = stream.readLongInt();
    if (version >= kFirstRefusedVersion)
        return false;
    return loadOldScrSavData(stream, version);
}

bool TCharactorList::loadOldScrSavData(TQDStream& stream, int32_t version)
{
    clear();
    setLoopTime(stream.readDelta());
    const int32_t charactorCount = readCount(stream);
    for (int32_t i = 0; i < charactorCount; ++i) {
        TCharactor& charactor = add();
        if (version >= kFirstVersionWithTransparency)
            charactor.setTransparent(stream.readBoolean());
        const int32_t frameCount = readCount(stream);
        for (int32_t f = 0; f < frameCount; ++f) {
            TBitmap bitmap;
            readBitmapBlock(stream, bitmap);
            const std::string path = getWorkDir() + "chara" + std::to_string(i) + "_" + std::to_string(f) + ".bmp";
            saveBitmap(bitmap, path);
            charactor.loadGraphic(f, path);  // slots from 10 up are refused with a message
        }
        const int32_t pointCount = readCount(stream);
        for (int32_t j = 0; j < pointCount; ++j) {
            const double x = stream.readDouble();
            const double y = stream.readDouble();
            charactor.setPoint(j, x, y);
        }
    }

    TSetting& setting = getSetting();
    setting.setBackMode(stream.readByte());
    setting.setBackColor(stream.readLongInt());
    if (stream.readBoolean()) {
        const std::string path = getWorkDir() + "oldback.bmp";
        {
            TBitmap bitmap;
            readBitmapBlock(stream, bitmap);
            saveBitmap(bitmap, path);
        }
        setting.setBackFile(path);
    }
    return true;
}
