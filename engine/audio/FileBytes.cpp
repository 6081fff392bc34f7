// KvReadWholeFile: the bytes of a music file, for the decoders that take
// the whole file at once (modules, MIDI).
//
// Depends on: Decoder.h.
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "../core/RegularFile.h"
#include "Decoder.h"

bool KvReadWholeFile(const std::string& FileName, std::vector<uint8_t>& Data, std::string& ErrorText) {
  FILE* F = KvOpenRegularFileStream(FileName, ErrorText);
  if (!F) return false;
  uint8_t Chunk[65536];
  size_t Got;
  while ((Got = std::fread(Chunk, 1, sizeof(Chunk), F)) > 0) Data.insert(Data.end(), Chunk, Chunk + Got);
  const bool Failed = std::ferror(F) != 0;
  std::fclose(F);
  if (Failed) ErrorText = "Read error";
  return !Failed;
}
