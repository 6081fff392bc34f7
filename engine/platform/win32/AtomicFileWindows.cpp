// The Windows calls of KvAtomicFile (core/AtomicFile.cpp): wide file names
// and a rename that replaces.
#include "../../core/AtomicFileWindows.h"

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <random>

#include "WindowsHeaders.h"

// mkostemps for Windows: Name ends in "XXXXXX.part"; the X's become random
// letters until a file of that name can be made exclusively.
int KvMakeTempFileWindows(std::vector<char>& Name) {
  static std::mt19937 Random(std::random_device{}());
  const size_t At = std::strlen(Name.data()) - 11;
  for (int Try = 0; Try < 100; ++Try) {
    for (size_t I = 0; I < 6; ++I) Name[At + I] = "abcdefghijklmnopqrstuvwxyz0123456789"[Random() % 36];
    const int Fd = _wopen(std::filesystem::u8path(Name.data()).wstring().c_str(),
                          _O_CREAT | _O_EXCL | _O_WRONLY | _O_BINARY | _O_NOINHERIT, _S_IREAD | _S_IWRITE);
    if (Fd >= 0 || errno != EEXIST) return Fd;
  }
  return -1;
}

// rename() on Windows refuses an existing target; MoveFileEx replaces it.
bool KvRenameOverWindows(const std::string& From, const std::string& To) {
  if (MoveFileExW(std::filesystem::u8path(From).wstring().c_str(), std::filesystem::u8path(To).wstring().c_str(),
                  MOVEFILE_REPLACE_EXISTING))
    return true;
  errno = GetLastError() == ERROR_ACCESS_DENIED ? EACCES : EIO;
  return false;
}
