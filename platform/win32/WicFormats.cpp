// WicFormats.cpp: JPEG and PNG through the Windows Imaging Component, since
// libjpeg and libpng are not built for Windows. Errors read as the portable
// readers' do ("JPEG エラー #<libjpeg message number>", "PNG イメージが不正です").
#include <windows.h>
#include <objbase.h>
#include <wincodec.h>

#include <string>

#include "platform/Classes.h"
#include "platform/Graphics.h"
#include "platform/ImageFiles.h"
#include "platform/core/PictureIO.h"

namespace {

// libjpeg's message numbers for what a user can meet; other decoder
// failures read as a file that ends too early, the usual cause.
constexpr int kJpegImageTooBig = 41;
constexpr int kJpegInputEmpty = 42;
constexpr int kJpegInputEof = 43;
constexpr int kJpegNoSoi = 53;

[[noreturn]] void jpegError(int code)
{
    throw EInvalidGraphic(Format(kJpegErrorText, {std::to_string(code)}));
}

// Owns one COM interface pointer.
template <typename T>
class ComPtr {
public:
    ComPtr() = default;
    ~ComPtr()
    {
        if (p_ != nullptr)
            p_->Release();
    }
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    T* operator->() const { return p_; }
    T* get() const { return p_; }
    T** out() { return &p_; }

private:
    T* p_ = nullptr;
};

// COM on this thread for as long as it lives (any apartment already entered is kept).
class ComScope {
public:
    ComScope() : result_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
    ~ComScope()
    {
        if (SUCCEEDED(result_))
            CoUninitialize();
    }
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;

private:
    HRESULT result_;
};

enum class WicResult { Ok, Failed, TooLarge };

// Decodes the first frame of bytes in the given container format to BGRA.
WicResult decode(std::span<const uint8_t> bytes, const GUID& container, UINT& width, UINT& height,
                 std::vector<uint8_t>& bgra)
{
    if (bytes.size() > MAXDWORD)
        return WicResult::TooLarge;
    ComScope com;
    ComPtr<IWICImagingFactory> factory;
    ComPtr<IWICStream> stream;
    ComPtr<IWICBitmapDecoder> decoder;
    ComPtr<IWICBitmapFrameDecode> frame;
    ComPtr<IWICFormatConverter> converter;
    if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                                reinterpret_cast<void**>(factory.out())))
        || FAILED(factory->CreateStream(stream.out()))
        || FAILED(stream->InitializeFromMemory(const_cast<BYTE*>(bytes.data()), static_cast<DWORD>(bytes.size())))
        || FAILED(factory->CreateDecoder(container, nullptr, decoder.out()))
        || FAILED(decoder->Initialize(stream.get(), WICDecodeMetadataCacheOnDemand))
        || FAILED(decoder->GetFrame(0, frame.out())) || FAILED(frame->GetSize(&width, &height)))
        return WicResult::Failed;
    if (!PictureIO::sizeAllowed(width, height))
        return WicResult::TooLarge;
    TPictureBudget::Charge(width, height);
    if (FAILED(factory->CreateFormatConverter(converter.out()))
        || FAILED(converter->Initialize(frame.get(), GUID_WICPixelFormat32bppBGRA, WICBitmapDitherTypeNone, nullptr,
                                        0.0, WICBitmapPaletteTypeCustom)))
        return WicResult::Failed;
    bgra.resize(size_t{width} * height * 4);
    if (FAILED(converter->CopyPixels(nullptr, width * 4, static_cast<UINT>(bgra.size()), bgra.data())))
        return WicResult::Failed;
    return WicResult::Ok;
}

TDecodedImage toImage(UINT width, UINT height, const std::vector<uint8_t>& bgra, bool withTransparency)
{
    TDecodedImage out;
    out.width = static_cast<int>(width);
    out.height = static_cast<int>(height);
    const size_t count = size_t{width} * height;
    out.pixels.resize(count);
    if (withTransparency)
        out.transparent.resize(count);
    for (size_t i = 0; i < count; ++i) {
        const uint8_t* p = bgra.data() + 4 * i;
        out.pixels[i] = static_cast<uint32_t>(p[0] | (p[1] << 8) | (p[2] << 16));
        if (withTransparency)
            out.transparent[i] = p[3] < 128;
    }
    if (withTransparency)
        PictureIO::keepPartialAlpha(out, bgra);
    return out;
}

}  // namespace

TDecodedImage DecodeJpeg(std::span<const uint8_t> bytes)
{
    if (bytes.empty())
        jpegError(kJpegInputEmpty);
    if (bytes.size() < 2 || bytes[0] != 0xFF || bytes[1] != 0xD8)
        jpegError(kJpegNoSoi);
    UINT width = 0;
    UINT height = 0;
    std::vector<uint8_t> bgra;
    switch (decode(bytes, GUID_ContainerFormatJpeg, width, height, bgra)) {
    case WicResult::Ok: return toImage(width, height, bgra, false);
    case WicResult::TooLarge: jpegError(kJpegImageTooBig);
    case WicResult::Failed: break;
    }
    jpegError(kJpegInputEof);
}

void TJPEGImage::LoadFromStream(TStream& stream)
{
    const std::string tooLarge = Format(kJpegErrorText, {std::to_string(kJpegImageTooBig)});
    TDecodedImage image = DecodeJpeg(PictureIO::readRest(stream, tooLarge.c_str()));
    image_.SetPixels(image.width, image.height, std::move(image.pixels));
}

TDecodedImage PictureIO::decodePng(std::span<const uint8_t> bytes, const char* invalidText)
{
    UINT width = 0;
    UINT height = 0;
    std::vector<uint8_t> bgra;
    if (decode(bytes, GUID_ContainerFormatPng, width, height, bgra) != WicResult::Ok)
        fail(invalidText);
    return toImage(width, height, bgra, true);
}

TDecodedImage DecodePng(std::span<const uint8_t> bytes)
{
    return PictureIO::decodePng(bytes, kInvalidPngText);
}

std::vector<uint8_t> EncodePng(const TBitmap& bitmap)
{
    const UINT width = static_cast<UINT>(bitmap.Width());
    const UINT height = static_cast<UINT>(bitmap.Height());
    std::vector<uint8_t> bgr(size_t{width} * height * 3);
    const uint32_t* pixels = bitmap.Pixels();
    for (size_t i = 0; i < size_t{width} * height; ++i) {
        bgr[3 * i] = static_cast<uint8_t>(pixels[i]);
        bgr[3 * i + 1] = static_cast<uint8_t>(pixels[i] >> 8);
        bgr[3 * i + 2] = static_cast<uint8_t>(pixels[i] >> 16);
    }
    ComScope com;
    ComPtr<IWICImagingFactory> factory;
    ComPtr<IStream> stream;
    ComPtr<IWICBitmapEncoder> encoder;
    ComPtr<IWICBitmapFrameEncode> frame;
    WICPixelFormatGUID format = GUID_WICPixelFormat24bppBGR;
    if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                                reinterpret_cast<void**>(factory.out())))
        || FAILED(CreateStreamOnHGlobal(nullptr, TRUE, stream.out()))
        || FAILED(factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, encoder.out()))
        || FAILED(encoder->Initialize(stream.get(), WICBitmapEncoderNoCache))
        || FAILED(encoder->CreateNewFrame(frame.out(), nullptr)) || FAILED(frame->Initialize(nullptr))
        || FAILED(frame->SetSize(width, height)) || FAILED(frame->SetPixelFormat(&format))
        || !IsEqualGUID(format, GUID_WICPixelFormat24bppBGR)
        || FAILED(frame->WritePixels(height, width * 3, static_cast<UINT>(bgr.size()), bgr.data()))
        || FAILED(frame->Commit()) || FAILED(encoder->Commit()))
        throw EWriteError();
    HGLOBAL memory = nullptr;
    if (FAILED(GetHGlobalFromStream(stream.get(), &memory)))
        throw EWriteError();
    STATSTG status{};
    if (FAILED(stream->Stat(&status, STATFLAG_NONAME)))
        throw EWriteError();
    const auto* data = static_cast<const uint8_t*>(GlobalLock(memory));
    std::vector<uint8_t> out(data, data + status.cbSize.QuadPart);
    GlobalUnlock(memory);
    return out;
}
