// WIC writes the GIF from an 8-bit indexed bitmap that carries the chart's
// own palette, set on both the bitmap and the frame: that way the encoder
// neither quantises again nor drops the exact key colours.
#include "bridge/charts/gif_wic_win.h"

#include <objbase.h>
#include <wincodec.h>
#include <windows.h>

#include <cstdio>
#include <stdexcept>
#include <vector>

#include "base/apartment.h"
#include "base/codepage.h"
#include "base/com_win.h"

namespace gw::bridge {
namespace {

void Check(HRESULT hr, const char* step) {
  if (FAILED(hr)) throw std::runtime_error(std::string("cannot encode the GIF image: ") + step + ": " +
                                           HResultText(hr));
}

ComPtr<IWICPalette> MakePalette(IWICImagingFactory& factory, const std::vector<uint32_t>& colours) {
  // A GIF palette has at least two entries; an image of one colour gets
  // black as an unused second.
  std::vector<WICColor> entries;
  for (uint32_t rgb : colours) entries.push_back(0xFF000000u | (rgb & 0xFFFFFFu));
  if (entries.size() < 2) entries.resize(2, 0xFF000000u);
  ComPtr<IWICPalette> palette;
  Check(factory.CreatePalette(palette.Put()), "creating the palette");
  Check(palette->InitializeCustom(entries.data(), static_cast<UINT>(entries.size())), "filling the palette");
  return palette;
}

ComPtr<IWICBitmap> MakeIndexedBitmap(IWICImagingFactory& factory, int width, int height,
                                     const IndexedImage& image, IWICPalette& palette) {
  // The indices are one byte a pixel, row after row: the bitmap's own layout
  // with a stride of the width. WIC copies them.
  ComPtr<IWICBitmap> bitmap;
  Check(factory.CreateBitmapFromMemory(static_cast<UINT>(width), static_cast<UINT>(height),
                                       GUID_WICPixelFormat8bppIndexed, static_cast<UINT>(width),
                                       static_cast<UINT>(image.indices.size()),
                                       const_cast<BYTE*>(image.indices.data()), bitmap.Put()),
        "creating the indexed bitmap");
  Check(bitmap->SetPalette(&palette), "setting the bitmap's palette");
  return bitmap;
}

void WriteFrame(IWICBitmapEncoder& encoder, int width, int height, IWICBitmap& bitmap, IWICPalette& palette) {
  ComPtr<IWICBitmapFrameEncode> frame;
  ComPtr<IPropertyBag2> options;
  Check(encoder.CreateNewFrame(frame.Put(), options.Put()), "creating the frame");
  Check(frame->Initialize(options.Get()), "starting the frame");
  Check(frame->SetSize(static_cast<UINT>(width), static_cast<UINT>(height)), "sizing the frame");
  WICPixelFormatGUID format = GUID_WICPixelFormat8bppIndexed;
  Check(frame->SetPixelFormat(&format), "setting the pixel format");
  if (!IsEqualGUID(format, GUID_WICPixelFormat8bppIndexed)) {
    throw std::runtime_error("cannot encode the GIF image: the encoder refuses 8-bit indexed pixels");
  }
  Check(frame->SetPalette(&palette), "setting the frame's palette");
  Check(frame->WriteSource(&bitmap, nullptr), "writing the pixels");
  Check(frame->Commit(), "finishing the frame");
}

// The bytes written to a memory stream.
std::string StreamBytes(IStream& stream) {
  STATSTG stat{};
  Check(stream.Stat(&stat, STATFLAG_NONAME), "sizing the file");
  HGLOBAL memory = nullptr;
  Check(GetHGlobalFromStream(&stream, &memory), "reading the file");
  const void* bytes = GlobalLock(memory);
  if (bytes == nullptr) Check(HRESULT_FROM_WIN32(GetLastError()), "reading the file");
  std::string gif(static_cast<const char*>(bytes), static_cast<size_t>(stat.cbSize.QuadPart));
  GlobalUnlock(memory);
  return gif;
}

}  // namespace

std::string HResultText(int32_t hr) {
  char code[16];
  std::snprintf(code, sizeof code, "0x%08lX", static_cast<unsigned long>(static_cast<uint32_t>(hr)));
  wchar_t* text = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
      static_cast<DWORD>(hr), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::string words;
  if (length > 0) words = WideToUtf8(WideView(reinterpret_cast<const char16_t*>(text), length));
  LocalFree(text);
  while (!words.empty() && (words.back() == '\n' || words.back() == '\r' || words.back() == ' ' ||
                            words.back() == '.')) {
    words.pop_back();
  }
  return words.empty() ? std::string(code) : words + " (" + code + ")";
}

std::string EncodeIndexedGif(int width, int height, const IndexedImage& image) {
  // The drawing thread may be any; COM is set up for this call and released
  // after it, which leaves a thread that already has COM as it was.
  const ThreadApartment apartment;
  ComPtr<IWICImagingFactory> factory;
  Check(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                         factory.PutVoid()),
        "starting WIC");
  const ComPtr<IWICPalette> palette = MakePalette(*factory.Get(), image.palette);
  const ComPtr<IWICBitmap> bitmap = MakeIndexedBitmap(*factory.Get(), width, height, image, *palette.Get());
  ComPtr<IStream> stream;
  Check(CreateStreamOnHGlobal(nullptr, TRUE, stream.Put()), "making a memory stream");
  ComPtr<IWICBitmapEncoder> encoder;
  Check(factory->CreateEncoder(GUID_ContainerFormatGif, nullptr, encoder.Put()), "creating the GIF encoder");
  Check(encoder->Initialize(stream.Get(), WICBitmapEncoderNoCache), "starting the encoder");
  WriteFrame(*encoder.Get(), width, height, *bitmap.Get(), *palette.Get());
  Check(encoder->Commit(), "finishing the file");
  return StreamBytes(*stream.Get());
}

}  // namespace gw::bridge
