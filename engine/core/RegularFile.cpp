// KvOpenRegularFile and its two forms (see RegularFile.h).
#include "RegularFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#ifdef _WIN32
#include <io.h>

#include <filesystem>
#endif
#include <cstring>

const char* const KvNotRegularFileText = "not a regular file";

#ifdef _WIN32
// Windows: a binary open that child processes do not inherit, then the same
// regular-file check (opening a pipe's name there does not wait for a writer).
int KvOpenRegularFile(const std::string& FileName, std::string& ErrorText) {
  const int Fd = _wopen(std::filesystem::u8path(FileName).wstring().c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT);
  if (Fd < 0) {
    ErrorText = std::strerror(errno);
    return -1;
  }
  struct _stat64 Info;
  if (_fstat64(Fd, &Info) != 0 || !(Info.st_mode & _S_IFREG)) {
    ErrorText = KvNotRegularFileText;
    _close(Fd);
    return -1;
  }
  return Fd;
}
#else
int KvOpenRegularFile(const std::string& FileName, std::string& ErrorText) {
  const int Fd = open(FileName.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (Fd < 0) {
    ErrorText = std::strerror(errno);
    return -1;
  }
  struct stat Info;
  if (fstat(Fd, &Info) != 0 || !S_ISREG(Info.st_mode)) {
    ErrorText = KvNotRegularFileText;
    close(Fd);
    return -1;
  }
  // Regular files never block on open; reading them the usual way is fine.
  const int Flags = fcntl(Fd, F_GETFL);
  if (Flags >= 0) fcntl(Fd, F_SETFL, Flags & ~O_NONBLOCK);
  return Fd;
}
#endif

std::FILE* KvOpenRegularFileStream(const std::string& FileName, std::string& ErrorText) {
  const int Fd = KvOpenRegularFile(FileName, ErrorText);
  if (Fd < 0) return nullptr;
  std::FILE* File = fdopen(Fd, "rb");
  if (!File) {
    ErrorText = std::strerror(errno);
    close(Fd);
  }
  return File;
}

bool KvReadRegularFile(const std::string& FileName, std::vector<uint8_t>& Bytes, std::string& ErrorText) {
  Bytes.clear();
  const int Fd = KvOpenRegularFile(FileName, ErrorText);
  if (Fd < 0) return false;
  uint8_t Chunk[65536];
  for (;;) {
    const ssize_t Got = read(Fd, Chunk, sizeof Chunk);
    if (Got < 0 && errno == EINTR) continue;
    if (Got < 0) {
      ErrorText = std::strerror(errno);
      close(Fd);
      return false;
    }
    if (Got == 0) break;
    try {
      Bytes.insert(Bytes.end(), Chunk, Chunk + Got);
    } catch (const std::bad_alloc&) {
      ErrorText = "Not enough memory to read the file";
      close(Fd);
      return false;
    }
  }
  close(Fd);
  return true;
}
