// The native picture decoders under KvDecodePicture (the loading path that
// calls them is draw/PictureLoad.cpp's, the same on every platform).
//
// Sections:
//   1. Limits, messages
//   2. PNG (libpng)
//   3. JPEG (libjpeg-turbo)
//   4. BMP (SDL2's reader)
//   5. KvDecodePicture
//
// Depends on: ImageDecode.h, BufferKv.h (the size limits, MakeSurface),
// PixelFormat.h (PackColorDepth), libpng, libjpeg-turbo, SDL2.
//
// libpng and libjpeg report errors by longjmp. Every function that calls
// setjmp below is plain C-like code: it holds no object with a destructor,
// and only libpng/libjpeg frames (and our own destructor-free callbacks) lie
// between it and the longjmp. Buffers are allocated by the C++ caller before
// the guarded phase runs, so a longjmp can never skip a destructor.
#include <SDL.h>

#include <algorithm>
#include <csetjmp>
#include <cstdio>  // jpeglib.h needs FILE
#include <cstring>
#include <new>

#include <jpeglib.h>
// After jpeglib.h: the message numbering depends on jconfig.h's settings.
#include <jerror.h>
#include <png.h>

#include "../draw/BufferKv.h"
#include "../draw/ImageDecode.h"
#include "../draw/PixelFormat.h"

// ---------------------------------------------------------------------------
// 1. Limits, messages
// ---------------------------------------------------------------------------
namespace {

constexpr const char* FormatMessage = "Stream Image format not supported...";
constexpr const char* PngMessage = "Error loading PNG from Stream...";
constexpr const char* JpegMessage = "Error loading JPEG from Stream...";
constexpr const char* BmpMessage = "Error loading BMP from Stream...";

// A progressive JPEG may hold any number of scans, each costing a pass over
// the whole picture; real pictures have about ten.
constexpr int MaxJpegScans = 1000;

// Checks a picture's size before anything of its size is allocated.
bool SizeAccepted(int64_t W, int64_t H, const char* DecodeMessage, std::string& Error) {
  if (W <= 0 || H <= 0) {
    Error = DecodeMessage;
    return false;
  }
  if (W > KvMaxPictureSide || H > KvMaxPictureSide || W * H > KvMaxPicturePixels) {
    Error = "Picture too large (" + std::to_string(W) + " x " + std::to_string(H) + " pixels; at most " +
            std::to_string(KvMaxPictureSide) + " per side and " + std::to_string(KvMaxPicturePixels) +
            " in all)";
    return false;
  }
  return true;
}

std::string NoMemoryMessage(int64_t W, int64_t H) {
  return "Not enough memory for a picture of " + std::to_string(W) + " x " + std::to_string(H) + " pixels";
}

}  // namespace


// ---------------------------------------------------------------------------
// 2. PNG
// ---------------------------------------------------------------------------
namespace {

struct PngSource {
  png_structp Png = nullptr;
  png_infop Info = nullptr;
  const uint8_t* Data = nullptr;
  size_t Size = 0;
  size_t Pos = 0;
};

void PngRead(png_structp Png, png_bytep Out, size_t Count) {
  PngSource* Src = static_cast<PngSource*>(png_get_io_ptr(Png));
  if (Count > Src->Size - Src->Pos) png_error(Png, "truncated");
  std::memcpy(Out, Src->Data + Src->Pos, Count);
  Src->Pos += Count;
}

// The engine reports one fixed line for any PNG failure; libpng's own texts
// are not printed.
void PngFail(png_structp Png, png_const_charp) { png_longjmp(Png, 1); }
void PngWarn(png_structp, png_const_charp) {}

// Reads the chunks before the pixels, up to the picture's size. Nothing of
// the picture's size is allocated yet. Guarded phase.
bool PngReadHeader(PngSource& Src, png_uint_32* W, png_uint_32* H) {
  if (setjmp(png_jmpbuf(Src.Png))) return false;
  png_set_read_fn(Src.Png, &Src, PngRead);
  // The engine's own limit is checked after this phase, with its own
  // message; libpng's smaller default limit would hide it.
  png_set_user_limits(Src.Png, 0x7FFFFFFF, 0x7FFFFFFF);
  png_read_info(Src.Png, Src.Info);
  *W = png_get_image_width(Src.Png, Src.Info);
  *H = png_get_image_height(Src.Png, Src.Info);
  return true;
}

// Asks libpng for 8-bit RGBA rows whatever the colour type, bit depth or
// interlacing (libpng's row buffers are made here), then reads every row
// (all passes of an interlaced picture) and the chunks after them. Guarded
// phase.
bool PngReadPixels(PngSource& Src, png_uint_32 W, png_bytepp RowPointers) {
  if (setjmp(png_jmpbuf(Src.Png))) return false;
  const png_byte ColorType = png_get_color_type(Src.Png, Src.Info);
  const png_byte BitDepth = png_get_bit_depth(Src.Png, Src.Info);
  const bool HasTrns = png_get_valid(Src.Png, Src.Info, PNG_INFO_tRNS) != 0;
  if (ColorType == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(Src.Png);
  if (ColorType == PNG_COLOR_TYPE_GRAY && BitDepth < 8) png_set_expand_gray_1_2_4_to_8(Src.Png);
  if (HasTrns) png_set_tRNS_to_alpha(Src.Png);
  if (BitDepth == 16) png_set_scale_16(Src.Png);
  if (!(ColorType & PNG_COLOR_MASK_COLOR)) png_set_gray_to_rgb(Src.Png);
  if (!(ColorType & PNG_COLOR_MASK_ALPHA) && !HasTrns) png_set_filler(Src.Png, 0xFF, PNG_FILLER_AFTER);
  png_set_interlace_handling(Src.Png);
  png_read_update_info(Src.Png, Src.Info);
  if (png_get_channels(Src.Png, Src.Info) != 4 || png_get_bit_depth(Src.Png, Src.Info) != 8 ||
      png_get_rowbytes(Src.Png, Src.Info) != size_t(W) * 4)
    return false;
  png_read_image(Src.Png, RowPointers);
  png_read_end(Src.Png, nullptr);
  return true;
}

bool DecodePng(const uint8_t* Data, size_t Size, KvPicture& Out, std::string& Error) {
  PngSource Src;
  Src.Data = Data;
  Src.Size = Size;
  Src.Png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, PngFail, PngWarn);
  if (Src.Png) Src.Info = png_create_info_struct(Src.Png);
  // Frees libpng's state on every way out of this function.
  struct Release {
    PngSource& S;
    ~Release() { png_destroy_read_struct(&S.Png, S.Info ? &S.Info : nullptr, nullptr); }
  } Releaser{Src};
  Error = PngMessage;
  if (!Src.Png || !Src.Info) return false;

  png_uint_32 W = 0, H = 0;
  if (!PngReadHeader(Src, &W, &H)) return false;
  if (!SizeAccepted(W, H, PngMessage, Error)) return false;

  // RGBA rows first, then composited over black into RGB in place.
  std::vector<uint8_t> Pixels;
  std::vector<png_bytep> RowPointers;
  try {
    Pixels.resize(size_t(W) * size_t(H) * 4);
    RowPointers.resize(H);
  } catch (const std::bad_alloc&) {
    Error = NoMemoryMessage(W, H);
    return false;
  }
  for (png_uint_32 y = 0; y < H; ++y) RowPointers[y] = Pixels.data() + size_t(y) * size_t(W) * 4;
  if (!PngReadPixels(Src, W, RowPointers.data())) return false;

  // Over black: c * a / 255, rounded to nearest. The write index never passes
  // the read index, so the conversion runs in place.
  const size_t Count = size_t(W) * size_t(H);
  uint8_t* P = Pixels.data();
  for (size_t i = 0; i < Count; ++i) {
    const unsigned A = P[i * 4 + 3];
    for (int c = 0; c < 3; ++c) P[i * 3 + c] = uint8_t((P[i * 4 + c] * A + 127) / 255);
  }
  Pixels.resize(Count * 3);
  Out.Width = int32_t(W);
  Out.Height = int32_t(H);
  Out.Rgb = std::move(Pixels);
  Error.clear();
  return true;
}

}  // namespace

// ---------------------------------------------------------------------------
// 3. JPEG
// ---------------------------------------------------------------------------
namespace {

struct JpegErrors {
  jpeg_error_mgr Manager;  // first, so the library's err pointer is ours
  std::jmp_buf Jump;
};

[[noreturn]] void JpegFail(j_common_ptr Info) { std::longjmp(reinterpret_cast<JpegErrors*>(Info->err)->Jump, 1); }

// Warnings that mean the entropy-coded data is damaged or cut short (the
// memory source pads a truncated file with an end marker and only warns):
// such a picture is refused rather than shown half grey.
void JpegEmit(j_common_ptr Info, int Level) {
  if (Level >= 0) return;  // trace messages
  switch (Info->err->msg_code) {
    case JWRN_JPEG_EOF:
    case JWRN_HIT_MARKER:
    case JWRN_HUFF_BAD_CODE:
    case JWRN_ARITH_BAD_CODE:
    case JWRN_MUST_RESYNC:
    case JWRN_BOGUS_PROGRESSION:
    case JWRN_NOT_SEQUENTIAL:
      JpegFail(Info);
    default:
      Info->err->num_warnings++;
  }
}
void JpegSilent(j_common_ptr) {}

void JpegProgress(j_common_ptr Info) {
  if (reinterpret_cast<j_decompress_ptr>(Info)->input_scan_number > MaxJpegScans) JpegFail(Info);
}

struct JpegHeader {
  JDIMENSION Width = 0, Height = 0;
  bool Cmyk = false;      // four components, C M Y K
  bool Inverted = false;  // Adobe CMYK: the components are stored inverted
};

// Reads the header and chooses the output: RGB (also for greyscale, which
// libjpeg-turbo expands) or CMYK (also for YCCK), with the accurate integer
// inverse DCT. Guarded phase.
bool JpegReadHeader(jpeg_decompress_struct* Info, const uint8_t* Data, size_t Size, JpegHeader* Header) {
  JpegErrors* Errors = reinterpret_cast<JpegErrors*>(Info->err);
  if (setjmp(Errors->Jump)) return false;
  jpeg_create_decompress(Info);
  jpeg_mem_src(Info, Data, static_cast<unsigned long>(Size));
  if (jpeg_read_header(Info, TRUE) != JPEG_HEADER_OK) return false;
  Info->dct_method = JDCT_ISLOW;
  Info->scale_num = Info->scale_denom = 1;
  if (Info->jpeg_color_space == JCS_CMYK || Info->jpeg_color_space == JCS_YCCK) {
    Info->out_color_space = JCS_CMYK;
    Header->Cmyk = true;
    Header->Inverted = Info->saw_Adobe_marker;
  } else {
    Info->out_color_space = JCS_RGB;  // anything libjpeg cannot turn into RGB fails in start_decompress
  }
  Header->Width = Info->image_width;
  Header->Height = Info->image_height;
  return true;
}

// CMYK -> RGB. Adobe files store 255 - ink, so R = C' * K' / 255 there and
// (255 - C) * (255 - K) / 255 otherwise, rounded to nearest.
inline uint8_t InkToLight(unsigned C, unsigned K, bool Inverted) {
  if (!Inverted) C = 255 - C, K = 255 - K;
  return uint8_t((C * K + 127) / 255);
}

// Decodes every scanline into Rgb (W x H x 3); Row is scratch room for one
// CMYK scanline. Guarded phase.
bool JpegReadPixels(jpeg_decompress_struct* Info, const JpegHeader* Header, uint8_t* Rgb, uint8_t* Row) {
  JpegErrors* Errors = reinterpret_cast<JpegErrors*>(Info->err);
  if (setjmp(Errors->Jump)) return false;
  jpeg_start_decompress(Info);
  const int Components = Header->Cmyk ? 4 : 3;
  if (Info->output_width != Header->Width || Info->output_height != Header->Height ||
      Info->output_components != Components)
    return false;
  const size_t Stride = size_t(Header->Width) * 3;
  while (Info->output_scanline < Info->output_height) {
    uint8_t* Dest = Rgb + size_t(Info->output_scanline) * Stride;
    JSAMPROW Line = Header->Cmyk ? Row : Dest;
    if (jpeg_read_scanlines(Info, &Line, 1) != 1) return false;
    if (Header->Cmyk) {
      for (JDIMENSION x = 0; x < Header->Width; ++x) {
        const uint8_t* S = Row + size_t(x) * 4;
        Dest[x * 3 + 0] = InkToLight(S[0], S[3], Header->Inverted);
        Dest[x * 3 + 1] = InkToLight(S[1], S[3], Header->Inverted);
        Dest[x * 3 + 2] = InkToLight(S[2], S[3], Header->Inverted);
      }
    }
  }
  jpeg_finish_decompress(Info);
  return true;
}

bool DecodeJpeg(const uint8_t* Data, size_t Size, KvPicture& Out, std::string& Error) {
  Error = JpegMessage;
  if (Size > 0xFFFFFFFFu) return false;  // jpeg_mem_src takes an unsigned long; keep it portable

  jpeg_decompress_struct Info;
  std::memset(&Info, 0, sizeof(Info));
  JpegErrors Errors;
  Info.err = jpeg_std_error(&Errors.Manager);
  Errors.Manager.error_exit = JpegFail;
  Errors.Manager.emit_message = JpegEmit;
  Errors.Manager.output_message = JpegSilent;
  jpeg_progress_mgr Progress;
  std::memset(&Progress, 0, sizeof(Progress));
  Progress.progress_monitor = JpegProgress;
  struct Release {
    jpeg_decompress_struct& I;
    ~Release() { jpeg_destroy_decompress(&I); }  // safe on a half-made or never-made decompressor
  } Releaser{Info};

  JpegHeader Header;
  if (!JpegReadHeader(&Info, Data, Size, &Header)) return false;
  Info.progress = &Progress;
  if (!SizeAccepted(Header.Width, Header.Height, JpegMessage, Error)) return false;

  std::vector<uint8_t> Rgb, Row;
  try {
    Rgb.resize(size_t(Header.Width) * size_t(Header.Height) * 3);
    if (Header.Cmyk) Row.resize(size_t(Header.Width) * 4);
  } catch (const std::bad_alloc&) {
    Error = NoMemoryMessage(Header.Width, Header.Height);
    return false;
  }
  Error = JpegMessage;
  if (!JpegReadPixels(&Info, &Header, Rgb.data(), Row.data())) return false;
  Out.Width = int32_t(Header.Width);
  Out.Height = int32_t(Header.Height);
  Out.Rgb = std::move(Rgb);
  Error.clear();
  return true;
}

}  // namespace

// ---------------------------------------------------------------------------
// 4. BMP
// ---------------------------------------------------------------------------
namespace {

int32_t ReadLe32(const uint8_t* P) {
  return int32_t(uint32_t(P[0]) | uint32_t(P[1]) << 8 | uint32_t(P[2]) << 16 | uint32_t(P[3]) << 24);
}
uint16_t ReadLe16(const uint8_t* P) { return uint16_t(P[0] | P[1] << 8); }

bool DecodeBmp(const uint8_t* Data, size_t Size, KvPicture& Out, std::string& Error) {
  Error = BmpMessage;
  // The size is checked from the header here, before SDL allocates a
  // surface for it: file header (14 bytes), then the info header's size and
  // the picture's width and height (16-bit in the old 12-byte header; a
  // negative height means the rows are stored top-down).
  if (Size < 26 || Size > size_t(INT32_MAX)) return false;
  const int32_t InfoSize = ReadLe32(Data + 14);
  int64_t W, H;
  if (InfoSize == 12) {
    W = ReadLe16(Data + 18);  // unsigned in this header, as SDL reads them
    H = ReadLe16(Data + 20);
  } else if (InfoSize >= 16) {
    W = ReadLe32(Data + 18);
    H = ReadLe32(Data + 22);
  } else {
    return false;
  }
  if (H < 0) H = -H;
  if (!SizeAccepted(W, H, BmpMessage, Error)) return false;

  SDL_RWops* Stream = SDL_RWFromConstMem(Data, int(Size));
  if (!Stream) return false;
  SDL_Surface* Loaded = SDL_LoadBMP_RW(Stream, 1);  // closes Stream
  if (!Loaded) return false;
  SDL_Surface* Rgb = SDL_ConvertSurfaceFormat(Loaded, SDL_PIXELFORMAT_RGB24, 0);
  SDL_FreeSurface(Loaded);
  if (!Rgb) return false;

  bool Ok = Rgb->w == W && Rgb->h == H && SDL_LockSurface(Rgb) == 0;
  if (Ok) {
    try {
      Out.Rgb.resize(size_t(W) * size_t(H) * 3);
      const size_t Stride = size_t(W) * 3;
      for (int64_t y = 0; y < H; ++y)
        std::memcpy(Out.Rgb.data() + size_t(y) * Stride,
                    static_cast<const uint8_t*>(Rgb->pixels) + size_t(y) * size_t(Rgb->pitch), Stride);
      Out.Width = int32_t(W);
      Out.Height = int32_t(H);
      Error.clear();
    } catch (const std::bad_alloc&) {
      Error = NoMemoryMessage(W, H);
      Ok = false;
    }
    SDL_UnlockSurface(Rgb);
  }
  SDL_FreeSurface(Rgb);
  return Ok;
}

}  // namespace

// ---------------------------------------------------------------------------
// 5. KvDecodePicture
// ---------------------------------------------------------------------------
void KvDecodeThreadDone() { SDL_TLSCleanup(); }

bool KvDecodePicture(const uint8_t* Data, size_t Size, KvPicture& Out, std::string& Error) {
  Out = KvPicture();
  bool Ok = false;
  switch (KvDetectPictureFormat(Data, Size)) {
    case KvPictureFormat::Jpeg: Ok = DecodeJpeg(Data, Size, Out, Error); break;
    case KvPictureFormat::Bmp: Ok = DecodeBmp(Data, Size, Out, Error); break;
    case KvPictureFormat::Png: Ok = DecodePng(Data, Size, Out, Error); break;
    case KvPictureFormat::Unknown: Error = FormatMessage; break;
  }
  if (!Ok) Out = KvPicture();
  return Ok;
}
