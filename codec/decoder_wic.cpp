// The codec's decoder on Windows: the Windows Imaging Component. The JPEG
// decoder reads the caller's bytes through a memory stream, a format
// converter turns its frame into 32-bit BGRA, which is copied straight into
// the caller's picture and put into R, G, B, 255 order there.
// windows.h first: wincodec.h relies on its definitions.
#include <windows.h>

#include <wincodec.h>

#include <climits>

#include "codec/decoder.h"

namespace velmora::codec {

struct Decoder {
  IWICImagingFactory* factory = nullptr;
  // COM is set up on the thread that made the decoder and, if this decoder
  // set it up, taken down again there.
  bool comStarted = false;
  DWORD thread = 0;
};

namespace {

// Owns one COM reference.
template <typename T>
class ComRef {
 public:
  ComRef() = default;
  ~ComRef() { release(); }
  ComRef(const ComRef&) = delete;
  ComRef& operator=(const ComRef&) = delete;

  T** out() {
    release();
    return &object_;
  }
  T* get() const { return object_; }
  T* operator->() const { return object_; }

 private:
  void release() {
    if (object_ != nullptr) object_->Release();
    object_ = nullptr;
  }
  T* object_ = nullptr;
};

// The first frame of the JPEG in `stream`. The frame reads `stream` until
// it is released.
IJLERR openFrame(Decoder& decoder, std::span<const unsigned char> stream, ComRef<IWICBitmapFrameDecode>& frame) {
  if (stream.size() > MAXDWORD) return IJL_BAD_PARAMETER;
  ComRef<IWICStream> input;
  if (FAILED(decoder.factory->CreateStream(input.out()))) return IJL_MEMORY_ERROR;
  // The stream only reads the bytes; its interface just does not say so.
  if (FAILED(input->InitializeFromMemory(const_cast<BYTE*>(stream.data()), static_cast<DWORD>(stream.size())))) {
    return IJL_MEMORY_ERROR;
  }
  ComRef<IWICBitmapDecoder> jpeg;
  if (FAILED(decoder.factory->CreateDecoder(GUID_ContainerFormatJpeg, nullptr, jpeg.out()))) {
    return IJL_DECODER_UNAVAILABLE;
  }
  if (FAILED(jpeg->Initialize(input.get(), WICDecodeMetadataCacheOnDemand))) return IJL_BAD_STREAM;
  if (FAILED(jpeg->GetFrame(0, frame.out()))) return IJL_BAD_STREAM;
  return IJL_OK;
}

IJLERR frameInfo(IWICBitmapFrameDecode& frame, PictureInfo& info) {
  UINT width = 0;
  UINT height = 0;
  WICPixelFormatGUID format{};
  if (FAILED(frame.GetSize(&width, &height)) || FAILED(frame.GetPixelFormat(&format))) return IJL_BAD_STREAM;
  if (width > INT_MAX || height > INT_MAX) return IJL_UNSUPPORTED_STREAM;
  info.width = static_cast<int>(width);
  info.height = static_cast<int>(height);
  if (IsEqualGUID(format, GUID_WICPixelFormat8bppGray)) {
    info.channels = 1;
  } else if (IsEqualGUID(format, GUID_WICPixelFormat32bppCMYK)) {
    info.channels = 4;
  } else {
    info.channels = 3;
  }
  return IJL_OK;
}

// B, G, R, A to R, G, B, A in the area's pixels only.
void swapRedAndBlue(const PixelArea& area) {
  for (int y = 0; y < area.height; ++y) {
    unsigned char* pixel = area.first + area.rowStride * static_cast<std::size_t>(y);
    for (int x = 0; x < area.width; ++x, pixel += 4) {
      const unsigned char blue = pixel[0];
      pixel[0] = pixel[2];
      pixel[2] = blue;
    }
  }
}

}  // namespace

IJLERR openDecoder(Decoder*& decoder) {
  decoder = nullptr;
  auto* made = makeDecoder<Decoder>();
  if (made == nullptr) return IJL_MEMORY_ERROR;
  made->thread = GetCurrentThreadId();
  // A thread that already runs COM in the other model serves as it is.
  const HRESULT started = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  if (FAILED(started) && started != RPC_E_CHANGED_MODE) {
    dropDecoder(made);
    return IJL_DECODER_UNAVAILABLE;
  }
  made->comStarted = SUCCEEDED(started);
  if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                              reinterpret_cast<void**>(&made->factory)))) {
    closeDecoder(made);
    return IJL_DECODER_UNAVAILABLE;
  }
  decoder = made;
  return IJL_OK;
}

void closeDecoder(Decoder* decoder) {
  if (decoder == nullptr) return;
  if (decoder->factory != nullptr) decoder->factory->Release();
  // Taking COM down on another thread would unbalance that thread's count.
  if (decoder->comStarted && decoder->thread == GetCurrentThreadId()) CoUninitialize();
  dropDecoder(decoder);
}

IJLERR decodePicture(Decoder& decoder, std::span<const unsigned char> stream, const PixelArea& area) {
  ComRef<IWICBitmapFrameDecode> frame;
  if (const IJLERR status = openFrame(decoder, stream, frame); status != IJL_OK) return status;
  PictureInfo info;
  if (const IJLERR status = frameInfo(*frame.get(), info); status != IJL_OK) return status;
  if (info.width != area.width || info.height != area.height) return IJL_SIZE_MISMATCH;
  if (info.channels == 4) return IJL_UNSUPPORTED_STREAM;
  const std::size_t extent = area.span();
  if (area.rowStride > UINT_MAX || extent > UINT_MAX) return IJL_BAD_PARAMETER;

  ComRef<IWICFormatConverter> converter;
  if (FAILED(decoder.factory->CreateFormatConverter(converter.out()))) return IJL_MEMORY_ERROR;
  if (FAILED(converter->Initialize(frame.get(), GUID_WICPixelFormat32bppBGRA, WICBitmapDitherTypeNone, nullptr, 0.0,
                                   WICBitmapPaletteTypeCustom))) {
    return IJL_UNSUPPORTED_STREAM;
  }
  // The whole frame, rows `rowStride` apart; WIC writes width * 4 bytes of
  // each and never more than `extent` bytes from the first.
  const HRESULT copied =
      converter->CopyPixels(nullptr, static_cast<UINT>(area.rowStride), static_cast<UINT>(extent), area.first);
  // Whatever a failed copy left is turned as well, so that the area holds
  // one pixel order whatever happened.
  swapRedAndBlue(area);
  return SUCCEEDED(copied) ? IJL_OK : IJL_BAD_STREAM;
}

const char kDecoderDescription[] = "Windows Imaging Component";

}  // namespace velmora::codec
