// Loading a picture into a buffer, one path on every platform: LoadFromFile
// takes the picture from the active asset pack when it is there (decoded by
// the native loaders, so every build shows the same pixels), else reads the
// file; its bytes, like LoadFromStream's, go to the platform's decoder
// (KvDecodePicture on bytes: libpng, libjpeg and the BMP reader natively,
// WIC on Windows, none in the browser). The copy into the buffer is
// draw/PictureCopy.cpp's.
//
// Depends on: AssetPack.h, RegularFile.h, BufferKv.h, ImageDecode.h.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "../core/RegularFile.h"
#include "../draw/BufferKv.h"
#include "../draw/ImageDecode.h"
#include "AssetPack.h"

namespace {

constexpr const char* FormatMessage = "Stream Image format not supported...";
constexpr const char* NoMemoryMessage = "Not enough memory to read the picture";

std::string PackFolder;  // as KvPackName writes it, with its final '/'

// The pack's name of a picture asked for by its path under the asset root.
std::string PackNameOf(const std::string& FileName) {
  std::string Name = KvPackName(FileName);
  if (!PackFolder.empty() && Name.compare(0, PackFolder.size(), PackFolder) == 0) Name.erase(0, PackFolder.size());
  return Name;
}

// Appends up to Count bytes (or everything, for Count 0) from Stream to
// Bytes. A stream that throws is treated as ending there.
bool ReadStream(std::istream& Stream, std::vector<uint8_t>& Bytes, size_t Count) {
  // Chunks grow from 64 KB to 1 MB: a small picture is not read into a
  // megabyte of zeroed memory, a large one is not read in thousands of steps.
  size_t Chunk = size_t(1) << 16;
  try {
    for (;; Chunk = std::min(Chunk * 2, size_t(1) << 20)) {
      const size_t Want = Count ? Count - Bytes.size() : Chunk;
      if (Count && Want == 0) break;
      const size_t Old = Bytes.size();
      Bytes.resize(Old + std::min(Want, Chunk));
      Stream.read(reinterpret_cast<char*>(Bytes.data() + Old), std::streamsize(Bytes.size() - Old));
      const size_t Got = size_t(std::max<std::streamsize>(Stream.gcount(), 0));
      Bytes.resize(Old + Got);
      if (!Stream) break;
    }
  } catch (const std::ios_base::failure&) {
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

}  // namespace

void KvSetPackFolder(const std::string& Folder) {
  PackFolder = Folder.empty() ? std::string() : KvPackName(Folder);
  if (!PackFolder.empty() && PackFolder.back() != '/') PackFolder += '/';
}

KvPictureFormat KvDetectPictureFormat(const uint8_t* Head, size_t Count) {
  static const uint8_t PngSignature[8] = {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A};
  if (Count >= 2 && Head[0] == 0xFF && Head[1] == 0xD8) return KvPictureFormat::Jpeg;
  if (Count >= 2 && Head[0] == 'B' && Head[1] == 'M') return KvPictureFormat::Bmp;
  if (Count >= 8 && std::memcmp(Head, PngSignature, 8) == 0) return KvPictureFormat::Png;
  return KvPictureFormat::Unknown;
}

bool KvDecodePicture(std::istream& Stream, KvPicture& Out, std::string& Error) {
  Out = KvPicture();
  std::streampos Start(-1);
  try {
    Start = Stream.tellg();
  } catch (const std::ios_base::failure&) {
  }

  // The signature first, so that data of no known format is not read whole.
  std::vector<uint8_t> Bytes;
  bool Ok = ReadStream(Stream, Bytes, 8);
  if (Ok && KvDetectPictureFormat(Bytes.data(), Bytes.size()) == KvPictureFormat::Unknown) {
    Error = FormatMessage;
    Ok = false;
  } else if (Ok) {
    Ok = ReadStream(Stream, Bytes, 0);
    if (!Ok) Error = NoMemoryMessage;
  } else {
    Error = NoMemoryMessage;
  }

  try {
    Stream.clear();
    if (Start != std::streampos(-1)) Stream.seekg(Start);
  } catch (const std::ios_base::failure&) {
  }
  if (!Ok) return false;
  return KvDecodePicture(Bytes.data(), Bytes.size(), Out, Error);
}

void TBufferKv::LoadFromStream(std::istream& Stream, bool VideoMem) {
  KvPicture Picture;
  std::string Message;
  if (!KvDecodePicture(Stream, Picture, Message)) Error("LoadStreamImage", Message);
  LoadPicture(Picture, VideoMem);
}

void TBufferKv::LoadFromFile(const std::string& FileName, bool VideoMem) {
  if (const KvAssetPack* Pack = KvActivePack()) {
    const auto Found = Pack->Pictures.find(PackNameOf(FileName));
    if (Found != Pack->Pictures.end()) {
      LoadPicture(Found->second, VideoMem);
      return;
    }
  }
  // Non-blocking and regular only: a FIFO or device in the picture's place
  // gives its error line instead of stopping the program.
  std::string Why;
  std::FILE* In = KvOpenRegularFileStream(FileName, Why);
  if (!In) {
    if (Why == KvNotRegularFileText) Error("LoadFromFile", "Cannot open file " + FileName + ": " + Why);
    Error("LoadFromFile", "Cannot open file " + FileName);
  }
  // The signature first, so that data of no known format is not read whole.
  std::vector<uint8_t> Bytes(8);
  Bytes.resize(std::fread(Bytes.data(), 1, Bytes.size(), In));
  std::string Message;
  bool Ok = true;
  if (KvDetectPictureFormat(Bytes.data(), Bytes.size()) == KvPictureFormat::Unknown) {
    Message = FormatMessage;
    Ok = false;
  } else {
    uint8_t Chunk[65536];
    size_t Got;
    try {
      while ((Got = std::fread(Chunk, 1, sizeof Chunk, In)) > 0) Bytes.insert(Bytes.end(), Chunk, Chunk + Got);
    } catch (const std::bad_alloc&) {
      Message = NoMemoryMessage;
      Ok = false;
    }
  }
  std::fclose(In);
  KvPicture Picture;
  if (Ok) Ok = KvDecodePicture(Bytes.data(), Bytes.size(), Picture, Message);
  Bytes = std::vector<uint8_t>();
  // The decoder's message, then which file it was about.
  if (!Ok) Error("LoadStreamImage", Message + " (" + FileName + ")");
  LoadPicture(Picture, VideoMem);
}
