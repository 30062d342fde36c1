// Screen pictures written as PNG through WIC.
#include "Picture.h"

#include "KestSupportOwners.h"

#include <wincodec.h>

#include <cstdio>
#include <new>

namespace kest::tool {
namespace {

using kest::putInto;
using kest::UniqueCom;

[[nodiscard]] bool failedStep(const char* step, HRESULT result, std::string& problem) noexcept {
    char text[96];
    std::snprintf(text, sizeof text, "%s failed (0x%08lx)", step, static_cast<unsigned long>(result));
    try {
        problem = text;
    } catch (const std::bad_alloc&) {
    }
    return false;
}

}  // namespace

ComApartment::ComApartment() noexcept
    : result_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE)) {}

ComApartment::~ComApartment() {
    if (SUCCEEDED(result_)) CoUninitialize();
}

bool writePng(const std::wstring& path, const Picture& picture, std::string& problem) noexcept {
    const UINT stride = static_cast<UINT>(picture.width) * 4;
    if (picture.width <= 0 || picture.height <= 0 || picture.pixels.size() != std::size_t{stride} * picture.height)
        return failedStep("an empty picture", E_INVALIDARG, problem);

    UniqueCom<IWICImagingFactory> factory;
    HRESULT result = CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                                      static_cast<void**>(putInto(factory)));
    if (FAILED(result)) return failedStep("creating the imaging factory", result, problem);

    UniqueCom<IWICBitmap> bitmap;
    // The pixels are copied: the bitmap does not depend on the picture staying as it is.
    result = factory->CreateBitmapFromMemory(
        static_cast<UINT>(picture.width), static_cast<UINT>(picture.height), GUID_WICPixelFormat32bppBGR, stride,
        static_cast<UINT>(picture.pixels.size()), const_cast<BYTE*>(picture.pixels.data()), putInto(bitmap));
    if (FAILED(result)) return failedStep("making a bitmap of the picture", result, problem);

    UniqueCom<IWICStream> stream;
    result = factory->CreateStream(putInto(stream));
    if (FAILED(result)) return failedStep("creating a stream", result, problem);
    result = stream->InitializeFromFilename(path.c_str(), GENERIC_WRITE);
    if (FAILED(result)) return failedStep("creating the file", result, problem);

    UniqueCom<IWICBitmapEncoder> encoder;
    result = factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, putInto(encoder));
    if (FAILED(result)) return failedStep("creating the PNG encoder", result, problem);
    result = encoder->Initialize(stream.get(), WICBitmapEncoderNoCache);
    if (FAILED(result)) return failedStep("starting the PNG encoder", result, problem);

    UniqueCom<IWICBitmapFrameEncode> frame;
    result = encoder->CreateNewFrame(putInto(frame), nullptr);
    if (FAILED(result)) return failedStep("creating the PNG frame", result, problem);
    result = frame->Initialize(nullptr);
    if (FAILED(result)) return failedStep("starting the PNG frame", result, problem);
    result = frame->SetSize(static_cast<UINT>(picture.width), static_cast<UINT>(picture.height));
    if (FAILED(result)) return failedStep("setting the PNG size", result, problem);
    // Without the unused byte: the encoder may pick another format, WriteSource converts.
    WICPixelFormatGUID format = GUID_WICPixelFormat24bppBGR;
    result = frame->SetPixelFormat(&format);
    if (FAILED(result)) return failedStep("setting the PNG pixel format", result, problem);
    result = frame->WriteSource(bitmap.get(), nullptr);
    if (FAILED(result)) return failedStep("encoding the pixels", result, problem);
    result = frame->Commit();
    if (FAILED(result)) return failedStep("finishing the PNG frame", result, problem);
    result = encoder->Commit();
    if (FAILED(result)) return failedStep("finishing the PNG file", result, problem);
    return true;
}

}  // namespace kest::tool
