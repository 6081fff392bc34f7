// KvWriteFramePng, the engine's one PNG writer, on zlib alone (zlib is in
// every build that writes files; the Windows build has no libpng): an
// 8-bit RGB PNG of three chunks, IHDR, one IDAT and IEND. Rows use the "Up"
// filter (each byte minus the one above it), which suits the show's frames
// and costs one subtraction a byte. Written through KvAtomicFile: under its
// name only when complete.
//
// Depends on: Platform.h (KvFrameRgb), AtomicFile.h, zlib (deflate, crc32).
#include <zlib.h>

#include <string>
#include <vector>

#include "../core/AtomicFile.h"
#include "../core/Platform.h"

namespace {

void PutBe32(std::vector<uint8_t>& Out, uint32_t V) {
  Out.push_back(uint8_t(V >> 24));
  Out.push_back(uint8_t(V >> 16));
  Out.push_back(uint8_t(V >> 8));
  Out.push_back(uint8_t(V));
}

void PutChunk(std::vector<uint8_t>& Out, const char Type[4], const uint8_t* Data, size_t Size) {
  PutBe32(Out, uint32_t(Size));
  const size_t Start = Out.size();
  Out.insert(Out.end(), Type, Type + 4);
  Out.insert(Out.end(), Data, Data + Size);
  const uLong Crc = crc32(crc32(0L, Z_NULL, 0), Out.data() + Start, uInt(Out.size() - Start));
  PutBe32(Out, uint32_t(Crc));
}

}  // namespace

bool KvWriteFramePng(const KvFrameCopy& Frame, const std::string& Path, std::string* Error, bool Sync) {
  std::string Ignored;
  std::string& Why = Error ? *Error : Ignored;
  if (!Frame.Pixels || Frame.Width <= 0 || Frame.Height <= 0) {
    Why = "cannot write \"" + Path + "\": the frame is empty";
    return false;
  }
  const std::vector<uint8_t> Rgb = KvFrameRgb(Frame);
  const size_t Row = size_t(Frame.Width) * 3;

  std::vector<uint8_t> Filtered((Row + 1) * size_t(Frame.Height));
  for (int32_t Y = 0; Y < Frame.Height; ++Y) {
    uint8_t* To = &Filtered[(Row + 1) * size_t(Y)];
    const uint8_t* Line = &Rgb[Row * size_t(Y)];
    To[0] = Y ? 2 : 0;  // Up, or None on the first row
    for (size_t I = 0; I < Row; ++I) To[1 + I] = uint8_t(Line[I] - (Y ? Line[I - Row] : 0));
  }
  uLongf Packed = compressBound(uLong(Filtered.size()));
  std::vector<uint8_t> Deflated(Packed);
  // Level 3: fast, and most of the size gain.
  if (compress2(Deflated.data(), &Packed, Filtered.data(), uLong(Filtered.size()), 3) != Z_OK) {
    Why = "cannot write \"" + Path + "\": zlib could not compress the frame";
    return false;
  }

  std::vector<uint8_t> Png = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  std::vector<uint8_t> Header;
  PutBe32(Header, uint32_t(Frame.Width));
  PutBe32(Header, uint32_t(Frame.Height));
  Header.insert(Header.end(), {8, 2, 0, 0, 0});  // 8 bits, RGB, deflate, adaptive filters, no interlace
  PutChunk(Png, "IHDR", Header.data(), Header.size());
  PutChunk(Png, "IDAT", Deflated.data(), Packed);
  PutChunk(Png, "IEND", nullptr, 0);

  // Under Path only once complete, as natively.
  KvAtomicFile File;
  File.SetSync(Sync);
  return File.Create(Path, &Why) && File.Write(Png.data(), Png.size(), &Why) && File.Commit(&Why);
}
