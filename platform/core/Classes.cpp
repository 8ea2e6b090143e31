// Classes.cpp: the portable part of the streams (exact reads and writes,
// copying, memory streams).
#include "platform/Classes.h"

#include <algorithm>
#include <cstring>

#include "platform/Exceptions.h"

int64_t TStream::Position()
{
    return Seek(0, soFromCurrent);
}

void TStream::SetPosition(int64_t position)
{
    Seek(position, soFromBeginning);
}

int64_t TStream::Size()
{
    const int64_t here = Seek(0, soFromCurrent);
    const int64_t end = Seek(0, soFromEnd);
    Seek(here, soFromBeginning);
    return end;
}

void TStream::ReadBuffer(void* buffer, int64_t count)
{
    if (count > 0 && Read(buffer, count) != count)
        throw EReadError();
}

void TStream::WriteBuffer(const void* buffer, int64_t count)
{
    if (count > 0 && Write(buffer, count) != count)
        throw EWriteError();
}

int64_t TStream::CopyFrom(TStream& source, int64_t count)
{
    constexpr int64_t kBlock = 64 * 1024;
    std::vector<uint8_t> block(static_cast<size_t>(std::min(std::max<int64_t>(count, 0), kBlock)));
    int64_t left = count;
    while (left > 0) {
        const int64_t n = std::min(left, kBlock);
        source.ReadBuffer(block.data(), n);
        WriteBuffer(block.data(), n);
        left -= n;
    }
    return std::max<int64_t>(count, 0);
}

int64_t TMemoryStream::Read(void* buffer, int64_t count)
{
    const int64_t available = std::max<int64_t>(0, Size() - position_);
    const int64_t n = std::clamp<int64_t>(count, 0, available);
    if (n > 0)
        std::memcpy(buffer, bytes_.data() + position_, static_cast<size_t>(n));
    position_ += n;
    return n;
}

int64_t TMemoryStream::Write(const void* buffer, int64_t count)
{
    if (count <= 0)
        return 0;
    const auto end = static_cast<size_t>(position_ + count);
    if (end > bytes_.size())
        bytes_.resize(end);
    std::memcpy(bytes_.data() + position_, buffer, static_cast<size_t>(count));
    position_ += count;
    return count;
}

int64_t TMemoryStream::Seek(int64_t offset, int origin)
{
    int64_t base = 0;
    if (origin == soFromCurrent)
        base = position_;
    else if (origin == soFromEnd)
        base = Size();
    // A position before the start is refused, as a file would refuse it.
    const int64_t target = base + offset;
    if (target >= 0)
        position_ = target;
    return position_;
}
