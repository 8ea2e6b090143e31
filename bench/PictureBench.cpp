// PictureBench.cpp: decoding a 256 x 256 frame in each picture format, and the
// raster row loops against memcpy on a 256 x 256 frame and a 1920 x 1080 screen.
#include <benchmark/benchmark.h>


#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/Graphics.h"
#include "platform/ImageFiles.h"
#include "platform/Raster.h"
#include "support/PictureFixtures.h"

namespace {

constexpr int kSide = 256;

// A frame with smooth areas and edges, like a sprite.
std::unique_ptr<TBitmap> makeFrame()
{
    auto owned = std::make_unique<TBitmap>(kSide, kSide);
    TBitmap& frame = *owned;
    for (int y = 0; y < kSide; ++y)
        for (int x = 0; x < kSide; ++x) {
            const int dx = x - kSide / 2, dy = y - kSide / 2;
            const bool inside = dx * dx + dy * dy < 100 * 100;
            frame.ScanLine(y)[x] = inside ? static_cast<uint32_t>((x << 16) | (y << 8) | ((x + y) & 0xFF)) : 0x00FFFFFFu;
        }
    return owned;
}

void put32(std::vector<uint8_t>& out, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out[at + static_cast<size_t>(i)] = static_cast<uint8_t>(v >> (8 * i));
}

// An 8-bit RLE bitmap: 16-pixel runs of 16 colours, a literal every row.
std::vector<uint8_t> makeRle8()
{
    std::vector<uint8_t> data;
    for (int y = 0; y < kSide; ++y) {
        data.insert(data.end(), {0x00, 0x04, 1, 2, 3, 4});
        for (int x = 4; x < kSide - 12; x += 16)
            data.insert(data.end(), {16, static_cast<uint8_t>((x / 16 + y) & 15)});
        data.insert(data.end(), {12, 7, 0x00, 0x00});
    }
    data.insert(data.end(), {0x00, 0x01});
    std::vector<uint8_t> out(14 + 40 + 16 * 4, 0);
    out[0] = 'B';
    out[1] = 'M';
    put32(out, 10, static_cast<uint32_t>(out.size()));
    put32(out, 14, 40);
    put32(out, 18, kSide);
    put32(out, 22, kSide);
    out[26] = 1;
    out[28] = 8;
    put32(out, 30, 1);  // RLE8
    put32(out, 46, 16);
    for (uint32_t i = 0; i < 16; ++i)
        put32(out, 54 + 4 * i, i * 0x00101010);
    out.insert(out.end(), data.begin(), data.end());
    return out;
}

std::vector<uint8_t> makeJpeg(const TBitmap& frame)
{
    std::vector<uint8_t> samples;
    samples.reserve(static_cast<size_t>(kSide) * kSide * 3);
    for (int y = 0; y < kSide; ++y) {
        const uint32_t* src = frame.ScanLine(y);
        for (int x = 0; x < kSide; ++x)
            samples.insert(samples.end(), {static_cast<uint8_t>(src[x] >> 16), static_cast<uint8_t>(src[x] >> 8),
                                           static_cast<uint8_t>(src[x])});
    }
    return makeJpegSamples(samples, kSide, kSide, 3, {90, false});
}

// A one-image icon: the frame as 24-bit colour rows and an AND mask of its white pixels.
std::vector<uint8_t> makeIco(const TBitmap& frame)
{
    const std::vector<uint8_t> bmp = EncodeBmp24(frame);
    std::vector<uint8_t> dib(bmp.begin() + 14, bmp.end());
    put32(dib, 8, 2 * kSide);
    const size_t maskStride = kSide / 8;
    for (int row = 0; row < kSide; ++row) {
        const uint32_t* src = frame.ScanLine(kSide - 1 - row);
        std::vector<uint8_t> bits(maskStride, 0);
        for (int x = 0; x < kSide; ++x)
            if (src[x] == 0x00FFFFFF)
                bits[static_cast<size_t>(x) / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
        dib.insert(dib.end(), bits.begin(), bits.end());
    }
    std::vector<uint8_t> out(6 + 16, 0);
    out[2] = 1;
    out[4] = 1;
    out[6 + 4] = 1;
    out[6 + 6] = 24;
    put32(out, 6 + 8, static_cast<uint32_t>(dib.size()));
    put32(out, 6 + 12, 22);
    out.insert(out.end(), dib.begin(), dib.end());
    return out;
}

template <TDecodedImage (*Decode)(std::span<const uint8_t>)>
void decodeBench(benchmark::State& state, const std::vector<uint8_t>& file)
{
    for (auto _ : state) {
        TDecodedImage image = Decode(file);
        benchmark::DoNotOptimize(image.pixels.data());
    }
    state.SetItemsProcessed(state.iterations() * kSide * kSide);
    state.counters["file_bytes"] = static_cast<double>(file.size());
}

void BM_DecodeBmp24(benchmark::State& state)
{
    decodeBench<DecodeBmp>(state, EncodeBmp24(*makeFrame()));
}
void BM_DecodeBmpRle8(benchmark::State& state)
{
    decodeBench<DecodeBmp>(state, makeRle8());
}
void BM_DecodeJpeg(benchmark::State& state)
{
    decodeBench<DecodeJpeg>(state, makeJpeg(*makeFrame()));
}
void BM_DecodeIco(benchmark::State& state)
{
    decodeBench<DecodeIco>(state, makeIco(*makeFrame()));
}
BENCHMARK(BM_DecodeBmp24);
BENCHMARK(BM_DecodeBmpRle8);
BENCHMARK(BM_DecodeJpeg);
BENCHMARK(BM_DecodeIco);

// Row loops over width x height pixels; bytes processed count the destination once.
enum class Loop { Memcpy, Copy, Or, And, MergePaint, KeyCopy };

void BM_Rows(benchmark::State& state, Loop loop)
{
    const auto width = static_cast<size_t>(state.range(0));
    const auto height = static_cast<size_t>(state.range(1));
    std::vector<uint32_t> src(width * height, 0x00123456), dest(width * height, 0x00654321);
    for (auto _ : state) {
        for (size_t y = 0; y < height; ++y) {
            uint32_t* d = dest.data() + y * width;
            const uint32_t* s = src.data() + y * width;
            switch (loop) {
            case Loop::Memcpy: std::memcpy(d, s, width * sizeof(uint32_t)); break;
            case Loop::Copy: Raster::CopyRow(d, s, width); break;
            case Loop::Or: Raster::OrRow(d, s, width); break;
            case Loop::And: Raster::AndRow(d, s, width); break;
            case Loop::MergePaint: Raster::MergePaintRow(d, s, width); break;
            case Loop::KeyCopy: Raster::KeyCopyRow(d, s, width, 0x00123456, 0x00EDCBA9); break;
            }
        }
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * width * height * sizeof(uint32_t)));
}
BENCHMARK_CAPTURE(BM_Rows, memcpy, Loop::Memcpy)->Args({256, 256})->Args({1920, 1080});
BENCHMARK_CAPTURE(BM_Rows, SRCCOPY, Loop::Copy)->Args({256, 256})->Args({1920, 1080});
BENCHMARK_CAPTURE(BM_Rows, SRCPAINT, Loop::Or)->Args({256, 256})->Args({1920, 1080});
BENCHMARK_CAPTURE(BM_Rows, SRCAND, Loop::And)->Args({256, 256})->Args({1920, 1080});
BENCHMARK_CAPTURE(BM_Rows, MERGEPAINT, Loop::MergePaint)->Args({256, 256})->Args({1920, 1080});
BENCHMARK_CAPTURE(BM_Rows, BrushCopy, Loop::KeyCopy)->Args({256, 256})->Args({1920, 1080});

// The two raster copies the window makes per visible character per tick.
void BM_CanvasMaskAndFrame(benchmark::State& state)
{
    const auto frame = makeFrame();
    TBitmap mask(kSide, kSide), scene(1920, 1080);
    for (auto _ : state) {
        scene.Canvas().CopyMode = cmSrcPaint;
        scene.Canvas().Draw(600, 400, mask);
        scene.Canvas().CopyMode = cmSrcAnd;
        scene.Canvas().Draw(600, 400, *frame);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kSide * kSide);
}
BENCHMARK(BM_CanvasMaskAndFrame);

}  // namespace
