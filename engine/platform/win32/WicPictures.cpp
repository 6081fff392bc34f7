// The Windows build's picture decoder under KvDecodePicture: the show's
// pictures come decoded from the asset pack (draw/PictureLoad.cpp looks
// there first), so they are the native ones bit for bit; a picture that is
// not in the pack (a user's own PNG, JPEG or BMP) is decoded by the Windows
// Imaging Component, with the native loader's size limits and error lines.
// Transparent pixels are composited over black, as natively (WIC's
// premultiplied BGRA over black is exactly that).
//
// Depends on: ImageDecode.h, BufferKv.h (the size limits), WIC
// (windowscodecs, ole32).
#include "WindowsHeaders.h"
#include <wincodec.h>

#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "../../core/Platform.h"
#include "../../draw/BufferKv.h"
#include "../../draw/ImageDecode.h"

namespace {

constexpr const char* FormatMessage = "Stream Image format not supported...";

const char* DecodeMessage(KvPictureFormat Format) {
  switch (Format) {
    case KvPictureFormat::Png: return "Error loading PNG from Stream...";
    case KvPictureFormat::Jpeg: return "Error loading JPEG from Stream...";
    case KvPictureFormat::Bmp: return "Error loading BMP from Stream...";
    default: return FormatMessage;
  }
}

template <typename T>
void Free(T*& P) {
  if (P) P->Release();
  P = nullptr;
}

IWICImagingFactory* Factory() {
  static std::once_flag Once;
  static IWICImagingFactory* Made = nullptr;
  std::call_once(Once, [] {
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&Made));
  });
  return Made;
}

bool Decode(const uint8_t* Data, size_t Size, KvPicture& Out, std::string& Error) {
  const KvPictureFormat Format = KvDetectPictureFormat(Data, Size);
  if (Format == KvPictureFormat::Unknown) {
    Error = FormatMessage;
    return false;
  }
  Error = DecodeMessage(Format);
  IWICImagingFactory* Wic = Factory();
  if (!Wic || Size > 0xFFFFFFFFu) return false;
  IWICStream* Stream = nullptr;
  IWICBitmapDecoder* Decoder = nullptr;
  IWICBitmapFrameDecode* Frame = nullptr;
  IWICFormatConverter* Converter = nullptr;
  bool Ok = false;
  UINT W = 0, H = 0;
  if (SUCCEEDED(Wic->CreateStream(&Stream)) &&
      SUCCEEDED(Stream->InitializeFromMemory(const_cast<BYTE*>(Data), DWORD(Size))) &&
      SUCCEEDED(Wic->CreateDecoderFromStream(Stream, nullptr, WICDecodeMetadataCacheOnDemand, &Decoder)) &&
      SUCCEEDED(Decoder->GetFrame(0, &Frame)) && SUCCEEDED(Frame->GetSize(&W, &H))) {
    // The native loader's limits, checked before anything of the size is made.
    if (W == 0 || H == 0) {
    } else if (W > UINT(KvMaxPictureSide) || H > UINT(KvMaxPictureSide) || int64_t(W) * H > KvMaxPicturePixels) {
      Error = "Picture too large (" + std::to_string(W) + " x " + std::to_string(H) + " pixels; at most " +
              std::to_string(KvMaxPictureSide) + " per side and " + std::to_string(KvMaxPicturePixels) + " in all)";
    } else if (SUCCEEDED(Wic->CreateFormatConverter(&Converter)) &&
               SUCCEEDED(Converter->Initialize(Frame, GUID_WICPixelFormat32bppPBGRA, WICBitmapDitherTypeNone,
                                               nullptr, 0.0, WICBitmapPaletteTypeCustom))) {
      std::vector<uint8_t> Bgra(size_t(W) * H * 4);
      if (SUCCEEDED(Converter->CopyPixels(nullptr, W * 4, UINT(Bgra.size()), Bgra.data()))) {
        Out.Width = int32_t(W);
        Out.Height = int32_t(H);
        Out.Rgb.resize(size_t(W) * H * 3);
        for (size_t I = 0, J = 0; I < Out.Rgb.size(); I += 3, J += 4) {
          Out.Rgb[I] = Bgra[J + 2];
          Out.Rgb[I + 1] = Bgra[J + 1];
          Out.Rgb[I + 2] = Bgra[J];
        }
        Ok = true;
      }
    }
  }
  Free(Converter);
  Free(Frame);
  Free(Decoder);
  Free(Stream);
  return Ok;
}

}  // namespace

bool KvDecodePicture(const uint8_t* Data, size_t Size, KvPicture& Out, std::string& Error) {
  Out = KvPicture();
  if (Decode(Data, Size, Out, Error)) return true;
  Out = KvPicture();
  return false;
}

void KvDecodeThreadDone() {}

// No PNG reader here: the window's icon comes with the executable instead.
bool KvReadPngRgba(const std::string&, int32_t, std::vector<uint8_t>*, int32_t*, int32_t*) { return false; }
