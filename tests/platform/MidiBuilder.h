// MidiBuilder.h: builds small standard MIDI files byte by byte for the music tests.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <string>
#include <vector>

inline void appendVarLen(std::vector<uint8_t>& out, uint32_t value)
{
    uint8_t groups[5];
    int n = 0;
    do {
        groups[n++] = uint8_t(value & 0x7F);
        value >>= 7;
    } while (value != 0);
    while (n > 1) out.push_back(uint8_t(groups[--n] | 0x80));
    out.push_back(groups[0]);
}

inline void appendBE(std::vector<uint8_t>& out, uint32_t value, int bytes)
{
    for (int i = bytes - 1; i >= 0; --i) out.push_back(uint8_t(value >> (8 * i)));
}

// The events of one track; each call takes the delta time in ticks since the previous event.
class TrackBuilder {
public:
    TrackBuilder& raw(uint32_t delta, std::initializer_list<uint8_t> bytes)
    {
        appendVarLen(data_, delta);
        data_.insert(data_.end(), bytes);
        return *this;
    }
    TrackBuilder& program(uint32_t delta, int channel, int program)
    {
        return raw(delta, {uint8_t(0xC0 | channel), uint8_t(program)});
    }
    TrackBuilder& noteOn(uint32_t delta, int channel, int key, int velocity = 100)
    {
        return raw(delta, {uint8_t(0x90 | channel), uint8_t(key), uint8_t(velocity)});
    }
    TrackBuilder& noteOff(uint32_t delta, int channel, int key)
    {
        return raw(delta, {uint8_t(0x80 | channel), uint8_t(key), 0x40});
    }
    TrackBuilder& tempo(uint32_t delta, uint32_t microsecondsPerQuarter)
    {
        return raw(delta, {0xFF, 0x51, 0x03, uint8_t(microsecondsPerQuarter >> 16),
                           uint8_t(microsecondsPerQuarter >> 8), uint8_t(microsecondsPerQuarter)});
    }
    TrackBuilder& end(uint32_t delta) { return raw(delta, {0xFF, 0x2F, 0x00}); }
    const std::vector<uint8_t>& bytes() const { return data_; }

private:
    std::vector<uint8_t> data_;
};

inline std::vector<uint8_t> chunk(const char* id, const std::vector<uint8_t>& body)
{
    std::vector<uint8_t> out(id, id + 4);
    appendBE(out, uint32_t(body.size()), 4);
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

inline std::vector<uint8_t> midiHeader(int format, int tracks, int division)
{
    std::vector<uint8_t> body;
    appendBE(body, uint32_t(format), 2);
    appendBE(body, uint32_t(tracks), 2);
    appendBE(body, uint32_t(division), 2);
    return chunk("MThd", body);
}

inline std::vector<uint8_t> midiFile(int format, int division, std::initializer_list<TrackBuilder> tracks)
{
    std::vector<uint8_t> out = midiHeader(format, int(tracks.size()), division);
    for (const auto& t : tracks) {
        auto c = chunk("MTrk", t.bytes());
        out.insert(out.end(), c.begin(), c.end());
    }
    return out;
}

inline void writeBytes(const std::filesystem::path& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                std::streamsize(bytes.size()));
}
