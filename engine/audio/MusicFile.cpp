// Music files: the one table from extension to music type, and the decoder
// each type opens with.
#include <sys/stat.h>

#include <cctype>

#include "Decoder.h"

namespace {

struct KindByExtension {
  const char* Extension;  // upper case, dot included
  KvMusicKind Kind;
};

const KindByExtension MusicTypes[] = {
    {".MOD", KvMusicKind::Module}, {".S3M", KvMusicKind::Module}, {".XM", KvMusicKind::Module},
    {".IT", KvMusicKind::Module},  {".MID", KvMusicKind::Midi},   {".RMI", KvMusicKind::Midi},
    {".RAW", KvMusicKind::Raw},    {".WAV", KvMusicKind::Stream}, {".MP2", KvMusicKind::Stream},
    {".MP3", KvMusicKind::Stream}, {".OGG", KvMusicKind::Stream}, {".WMA", KvMusicKind::Stream},
    {".ASF", KvMusicKind::Stream}, {".SGT", KvMusicKind::Segment},
};

// The extension from the last dot of the file's own name on, dot included,
// in upper case; empty when the name has no dot (a dot in a folder name does
// not count).
std::string UpperExtension(const std::string& FileName) {
  const size_t Dot = FileName.find_last_of(".");
  const size_t Slash = FileName.find_last_of("/\\");
  if (Dot == std::string::npos || (Slash != std::string::npos && Dot < Slash)) return "";
  std::string Ext = FileName.substr(Dot);
  for (char& C : Ext) C = static_cast<char>(std::toupper(static_cast<unsigned char>(C)));
  return Ext;
}

}  // namespace

bool KvMusicFileExists(const std::string& FileName) {
  struct stat St;
  return stat(FileName.c_str(), &St) == 0 && !S_ISDIR(St.st_mode);
}

KvMusicKind KvMusicKindOf(const std::string& FileName) {
  const std::string Ext = UpperExtension(FileName);
  for (const KindByExtension& Type : MusicTypes)
    if (Ext == Type.Extension) return Type.Kind;
  return KvMusicKind::Unknown;
}

std::unique_ptr<KvDecoder> KvOpenDecoder(const std::string& FileName, KvMusicKind Kind, bool Loop,
                                         std::string& ErrorText) {
  switch (Kind) {
    case KvMusicKind::Raw: return KvOpenRawDecoder(FileName, ErrorText);
    case KvMusicKind::Stream: return KvOpenStreamDecoder(FileName, ErrorText);
    case KvMusicKind::Module: return KvOpenModuleDecoder(FileName, Loop, ErrorText);
    case KvMusicKind::Midi: return KvOpenMidiDecoder(FileName, Loop, ErrorText);
    case KvMusicKind::Segment:
      ErrorText = "DirectMusic segments (.SGT) are not supported by this player...";
      return nullptr;
    case KvMusicKind::Unknown: break;
  }
  ErrorText = "File type not supported...";
  return nullptr;
}

std::unique_ptr<KvDecoder> KvOpenMusicFile(const std::string& FileName, bool Loop, std::string& ErrorText) {
  if (!KvMusicFileExists(FileName)) {
    ErrorText = "File not found...";
    return nullptr;
  }
  return KvOpenDecoder(FileName, KvMusicKindOf(FileName), Loop, ErrorText);
}
