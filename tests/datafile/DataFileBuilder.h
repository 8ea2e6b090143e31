// DataFileBuilder.h: writes data files for the loader tests through the data
// file stream's write side, record by record, well formed or not.
#pragma once

#include <cstdint>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "datafile/CQDFileStream.h"
#include "support/PictureFixtures.h"

using Bytes = std::vector<uint8_t>;

class DataFileBuilder {
public:
    using Payload = std::function<void(TQDFileStream&)>;

    explicit DataFileBuilder(const std::string& path) : stream_(std::make_unique<TQDFileStream>(path, fmCreate)) {}

    DataFileBuilder& header(int32_t version, const std::string& magic = "QDsm")
    {
        stream_->writeString(magic);
        stream_->writeLongInt(version);
        return *this;
    }
    // A record with its group byte and a one-byte length patched in after the payload.
    DataFileBuilder& item(uint8_t group, uint8_t tag, const Payload& payload = {})
    {
        stream_->beginItem(group, tag);
        if (payload)
            payload(*stream_);
        stream_->endItem(group, tag);
        return *this;
    }
    DataFileBuilder& deltaStringItem(uint8_t group, uint8_t tag, const std::string& text)
    {
        return item(group, tag, [&](TQDFileStream& s) { s.writeDeltaString(text); });
    }
    // A group-255 record: group, tag, a four-byte length patched in after the payload.
    DataFileBuilder& longItem(uint8_t tag, const Payload& payload)
    {
        stream_->writeByte(255);
        stream_->writeByte(tag);
        stream_->writeLongInt(0);
        const int64_t start = stream_->Position();
        payload(*stream_);
        stream_->writeBackLenLong(static_cast<int32_t>(stream_->Position() - start));
        return *this;
    }
    DataFileBuilder& fileItem(uint8_t tag, const Bytes& bytes)
    {
        return longItem(tag, [&](TQDFileStream& s) { s.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size())); });
    }
    DataFileBuilder& pointsItem(const std::vector<std::pair<double, double>>& points)
    {
        return longItem(2, [&](TQDFileStream& s) {
            s.writeDelta(static_cast<uint32_t>(points.size()));
            for (const auto& [x, y] : points) {
                s.writeDouble(x);
                s.writeDouble(y);
            }
        });
    }
    // Bytes exactly as given (for records the framing cannot express).
    DataFileBuilder& raw(const Bytes& bytes)
    {
        stream_->WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
        return *this;
    }
    TQDFileStream& stream() { return *stream_; }
    // Closes the file.
    void finish() { stream_.reset(); }

private:
    std::unique_ptr<TQDFileStream> stream_;
};

inline Bytes readBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

// A 24-bit bitmap file of one colour (0x00RRGGBB), with a different top-left pixel when asked.
inline Bytes solidBmp(int width, int height, uint32_t rgb, uint32_t topLeft)
{
    std::vector<uint32_t> values(static_cast<size_t>(width * height), rgb);
    values[0] = topLeft;
    DibFixture dib;
    dib.width = width;
    dib.height = height;
    dib.bitCount = 24;
    dib.pixelData = packRows(values, width, height, 24);
    return makeBmp(dib);
}
inline Bytes solidBmp(int width, int height, uint32_t rgb = 0x336699)
{
    return solidBmp(width, height, rgb, rgb);
}

// bytes followed by zeros up to size (picture readers stop where their data ends).
inline Bytes paddedTo(Bytes bytes, size_t size)
{
    bytes.resize(size, 0);
    return bytes;
}
