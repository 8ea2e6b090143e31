// PictureFixtures.cpp: the fixture builders.
#include "support/PictureFixtures.h"

#ifdef _WIN32
#include <windows.h>
#include <objbase.h>
#include <wincodec.h>
#else
#include <jpeglib.h>
#include <png.h>
#endif

#include <cstdio>
#include <fstream>
#include <stdexcept>

std::vector<uint8_t> makeDib(const DibFixture& dib)
{
    ByteWriter w;
    if (dib.headerSize == 12) {
        w.u32(12);
        w.u16(static_cast<uint32_t>(dib.width));
        w.u16(static_cast<uint32_t>(dib.height));
        w.u16(1);
        w.u16(dib.bitCount);
        for (uint32_t c : dib.palette) {
            w.u8(c);
            w.u8(c >> 8);
            w.u8(c >> 16);
        }
    } else {
        w.u32(dib.headerSize);
        w.u32(static_cast<uint32_t>(dib.width));
        w.u32(static_cast<uint32_t>(dib.height));
        w.u16(1);
        w.u16(dib.bitCount);
        const size_t start = w.bytes.size() - 16;
        if (dib.headerSize >= 20)
            w.u32(dib.compression);
        if (dib.headerSize >= 24)
            w.u32(static_cast<uint32_t>(dib.pixelData.size()));
        if (dib.headerSize >= 32) {
            w.u32(2835);
            w.u32(2835);
        }
        if (dib.headerSize >= 40) {
            w.u32(dib.colorsUsed);
            w.u32(0);
        }
        if (dib.headerSize >= 52)
            for (uint32_t m : dib.masks)
                w.u32(m);
        while (w.bytes.size() - start < dib.headerSize)
            w.u8(0);
        if (dib.headerSize == 40 && dib.compression == 3)
            for (uint32_t m : dib.masks)
                w.u32(m);
        for (uint32_t c : dib.palette)
            w.u32(c);
    }
    w.append(dib.pixelData);
    return w.bytes;
}

std::vector<uint8_t> makeBmp(const DibFixture& dib, std::optional<uint32_t> offBits)
{
    const std::vector<uint8_t> body = makeDib(dib);
    ByteWriter w;
    w.u8('B');
    w.u8('M');
    w.u32(static_cast<uint32_t>(14 + body.size()));
    w.u32(0);
    w.u32(offBits.value_or(static_cast<uint32_t>(14 + body.size() - dib.pixelData.size())));
    w.append(body);
    return w.bytes;
}

std::vector<uint8_t> packRows(const std::vector<uint32_t>& values, int width, int height, int bitCount, bool topDown)
{
    const size_t stride = (static_cast<size_t>(width) * bitCount + 31) / 32 * 4;
    std::vector<uint8_t> out(stride * static_cast<size_t>(height), 0);
    for (int row = 0; row < height; ++row) {
        const int y = topDown ? row : height - 1 - row;
        uint8_t* dst = out.data() + static_cast<size_t>(row) * stride;
        for (int x = 0; x < width; ++x) {
            const uint32_t v = values.at(static_cast<size_t>(y) * width + x);
            switch (bitCount) {
            case 1: dst[x / 8] |= static_cast<uint8_t>((v & 1) << (7 - x % 8)); break;
            case 4: dst[x / 2] |= static_cast<uint8_t>((v & 15) << (x % 2 ? 0 : 4)); break;
            case 8: dst[x] = static_cast<uint8_t>(v); break;
            case 16:
                dst[2 * x] = static_cast<uint8_t>(v);
                dst[2 * x + 1] = static_cast<uint8_t>(v >> 8);
                break;
            case 24:
                dst[3 * x] = static_cast<uint8_t>(v);
                dst[3 * x + 1] = static_cast<uint8_t>(v >> 8);
                dst[3 * x + 2] = static_cast<uint8_t>(v >> 16);
                break;
            case 32:
                for (int i = 0; i < 4; ++i)
                    dst[4 * x + i] = static_cast<uint8_t>(v >> (8 * i));
                break;
            default: throw std::invalid_argument("bit count");
            }
        }
    }
    return out;
}

std::vector<uint8_t> makeIco(const std::vector<IconEntry>& entries)
{
    ByteWriter w;
    w.u16(0);
    w.u16(1);
    w.u16(static_cast<uint32_t>(entries.size()));
    uint32_t offset = static_cast<uint32_t>(6 + 16 * entries.size());
    for (const IconEntry& e : entries) {
        w.u8(e.width >= 256 ? 0 : static_cast<uint32_t>(e.width));
        w.u8(e.height >= 256 ? 0 : static_cast<uint32_t>(e.height));
        w.u8(0);
        w.u8(0);
        w.u16(1);
        w.u16(e.bitCount);
        w.u32(static_cast<uint32_t>(e.data.size()));
        w.u32(offset);
        offset += static_cast<uint32_t>(e.data.size());
    }
    for (const IconEntry& e : entries)
        w.append(e.data);
    return w.bytes;
}

IconEntry makeIconImage(int width, int height, uint16_t bitCount, const std::vector<uint32_t>& values,
                        const std::vector<uint8_t>& andMask, const std::vector<uint32_t>& palette)
{
    DibFixture dib;
    dib.width = width;
    dib.height = height * 2;
    dib.bitCount = bitCount;
    dib.palette = palette;
    dib.pixelData = packRows(values, width, height, bitCount);
    if (!andMask.empty()) {
        std::vector<uint32_t> bits(andMask.begin(), andMask.end());
        const auto mask = packRows(bits, width, height, 1);
        dib.pixelData.insert(dib.pixelData.end(), mask.begin(), mask.end());
    }
    IconEntry entry;
    entry.width = width;
    entry.height = height;
    entry.bitCount = bitCount;
    entry.data = makeDib(dib);
    return entry;
}

#ifdef _WIN32
namespace {
// Encodes rows of the given WIC pixel format into a file of container.
// Options are set when the encoder knows them (quality, no subsampling).
std::vector<uint8_t> encodeWithWic(const GUID& container, WICPixelFormatGUID format, const std::vector<uint8_t>& rows,
                                   int width, int height, UINT stride, float quality)
{
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    IWICImagingFactory* factory = nullptr;
    IStream* stream = nullptr;
    IWICBitmapEncoder* encoder = nullptr;
    IWICBitmapFrameEncode* frame = nullptr;
    IPropertyBag2* options = nullptr;
    const WICPixelFormatGUID wanted = format;
    bool ok = SUCCEEDED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                         IID_IWICImagingFactory, reinterpret_cast<void**>(&factory)))
        && SUCCEEDED(CreateStreamOnHGlobal(nullptr, TRUE, &stream))
        && SUCCEEDED(factory->CreateEncoder(container, nullptr, &encoder))
        && SUCCEEDED(encoder->Initialize(stream, WICBitmapEncoderNoCache))
        && SUCCEEDED(encoder->CreateNewFrame(&frame, &options));
    if (ok && options != nullptr) {
        PROPBAG2 name{};
        VARIANT value;
        VariantInit(&value);
        name.pstrName = const_cast<LPOLESTR>(L"ImageQuality");
        value.vt = VT_R4;
        value.fltVal = quality;
        options->Write(1, &name, &value);
        name.pstrName = const_cast<LPOLESTR>(L"JpegYCrCbSubsampling");
        value.vt = VT_UI1;
        value.bVal = 3;  // 4:4:4
        options->Write(1, &name, &value);
    }
    ok = ok && SUCCEEDED(frame->Initialize(options)) && SUCCEEDED(frame->SetSize(width, height))
        && SUCCEEDED(frame->SetPixelFormat(&format)) && IsEqualGUID(format, wanted)
        && SUCCEEDED(frame->WritePixels(height, stride, static_cast<UINT>(rows.size()),
                                        const_cast<BYTE*>(rows.data())))
        && SUCCEEDED(frame->Commit()) && SUCCEEDED(encoder->Commit());
    std::vector<uint8_t> out;
    HGLOBAL memory = nullptr;
    STATSTG status{};
    if (ok && SUCCEEDED(GetHGlobalFromStream(stream, &memory)) && SUCCEEDED(stream->Stat(&status, STATFLAG_NONAME))) {
        const auto* data = static_cast<const uint8_t*>(GlobalLock(memory));
        out.assign(data, data + status.cbSize.QuadPart);
        GlobalUnlock(memory);
    }
    for (IUnknown* object : std::initializer_list<IUnknown*>{options, frame, encoder, stream, factory})
        if (object != nullptr)
            object->Release();
    if (SUCCEEDED(com))
        CoUninitialize();
    if (out.empty())
        throw std::runtime_error("WIC could not encode the fixture");
    return out;
}
}  // namespace

std::vector<uint8_t> makeJpeg(const std::vector<uint32_t>& pixels, int width, int height, bool grayscale,
                              int quality)
{
    const UINT stride = static_cast<UINT>(width) * (grayscale ? 1 : 3);
    std::vector<uint8_t> rows(static_cast<size_t>(stride) * height);
    for (size_t i = 0; i < pixels.size(); ++i) {
        if (grayscale) {
            rows[i] = static_cast<uint8_t>(pixels[i]);
        } else {
            rows[3 * i] = static_cast<uint8_t>(pixels[i]);
            rows[3 * i + 1] = static_cast<uint8_t>(pixels[i] >> 8);
            rows[3 * i + 2] = static_cast<uint8_t>(pixels[i] >> 16);
        }
    }
    return encodeWithWic(GUID_ContainerFormatJpeg, grayscale ? GUID_WICPixelFormat8bppGray : GUID_WICPixelFormat24bppBGR,
                         rows, width, height, stride, static_cast<float>(quality) / 100.0f);
}

std::vector<uint8_t> makePngRgba(const std::vector<uint32_t>& argb, int width, int height)
{
    std::vector<uint8_t> rows(argb.size() * 4);
    for (size_t i = 0; i < argb.size(); ++i) {
        rows[4 * i] = static_cast<uint8_t>(argb[i]);
        rows[4 * i + 1] = static_cast<uint8_t>(argb[i] >> 8);
        rows[4 * i + 2] = static_cast<uint8_t>(argb[i] >> 16);
        rows[4 * i + 3] = static_cast<uint8_t>(argb[i] >> 24);
    }
    return encodeWithWic(GUID_ContainerFormatPng, GUID_WICPixelFormat32bppBGRA, rows, width, height,
                         static_cast<UINT>(width) * 4, 1.0f);
}

#else
std::vector<uint8_t> makeJpegSamples(const std::vector<uint8_t>& samples, int width, int height, int components,
                                     JpegOptions options)
{
    jpeg_compress_struct info;
    jpeg_error_mgr errors;
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = static_cast<JDIMENSION>(width);
    info.image_height = static_cast<JDIMENSION>(height);
    info.input_components = components;
    info.in_color_space = components == 1 ? JCS_GRAYSCALE : components == 4 ? JCS_CMYK : JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, options.quality, TRUE);
    if (options.fullResolutionColour)
        info.comp_info[0].h_samp_factor = info.comp_info[0].v_samp_factor = 1;
    jpeg_start_compress(&info, TRUE);
    const size_t stride = static_cast<size_t>(width) * static_cast<size_t>(components);
    while (info.next_scanline < info.image_height) {
        // libjpeg does not write through its rows.
        JSAMPROW rows[1] = {const_cast<JSAMPROW>(samples.data() + stride * info.next_scanline)};
        jpeg_write_scanlines(&info, rows, 1);
    }
    jpeg_finish_compress(&info);
    std::vector<uint8_t> out(buffer, buffer + size);
    jpeg_destroy_compress(&info);
    std::free(buffer);
    return out;
}

std::vector<uint8_t> makeJpeg(const std::vector<uint32_t>& pixels, int width, int height, bool grayscale,
                              int quality)
{
    const int components = grayscale ? 1 : 3;
    std::vector<uint8_t> samples;
    samples.reserve(pixels.size() * static_cast<size_t>(components));
    for (const uint32_t pixel : pixels) {
        if (grayscale) {
            samples.push_back(static_cast<uint8_t>(pixel));
        } else {
            samples.push_back(static_cast<uint8_t>(pixel >> 16));
            samples.push_back(static_cast<uint8_t>(pixel >> 8));
            samples.push_back(static_cast<uint8_t>(pixel));
        }
    }
    return makeJpegSamples(samples, width, height, components, {quality, true});
}

std::vector<uint8_t> makePngRgba(const std::vector<uint32_t>& argb, int width, int height)
{
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(width);
    image.height = static_cast<png_uint_32>(height);
    image.format = PNG_FORMAT_RGBA;
    std::vector<uint8_t> rgba(argb.size() * 4);
    for (size_t i = 0; i < argb.size(); ++i) {
        rgba[4 * i] = static_cast<uint8_t>(argb[i] >> 16);
        rgba[4 * i + 1] = static_cast<uint8_t>(argb[i] >> 8);
        rgba[4 * i + 2] = static_cast<uint8_t>(argb[i]);
        rgba[4 * i + 3] = static_cast<uint8_t>(argb[i] >> 24);
    }
    png_alloc_size_t size = 0;
    png_image_write_to_memory(&image, nullptr, &size, 0, rgba.data(), 0, nullptr);
    std::vector<uint8_t> out(size);
    if (!png_image_write_to_memory(&image, out.data(), &size, 0, rgba.data(), 0, nullptr))
        throw std::runtime_error("png");
    out.resize(size);
    return out;
}

#endif

void writeFile(const std::string& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}
