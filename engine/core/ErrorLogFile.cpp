// KvReplaceErrorLog (see ErrorLogFile.h).
#include "ErrorLogFile.h"

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

namespace {
constexpr const char* LogName = "KVR_ERR.txt";

bool WriteAll(int Fd, const std::string& Bytes) {
  size_t Done = 0;
  while (Done < Bytes.size()) {
    const ssize_t N = write(Fd, Bytes.data() + Done, Bytes.size() - Done);
    if (N < 0 && errno == EINTR) continue;
    if (N <= 0) {
      if (N == 0) errno = EIO;
      return false;
    }
    Done += size_t(N);
  }
  return true;
}
}  // namespace

std::string KvReplaceErrorLog(const std::string& Line) {
  const int Dir = open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (Dir < 0) return "";  // no current folder: nowhere to write, as before
  struct stat Old;
  if (fstatat(Dir, LogName, &Old, AT_SYMLINK_NOFOLLOW) == 0 && !S_ISREG(Old.st_mode) && !S_ISLNK(Old.st_mode)) {
    close(Dir);
    return std::string(LogName) + " is not a regular file: left as it is, the line above not written to it";
  }
  // A name no one else uses; made exclusively, so no link is followed.
  const auto Tick = uint64_t(std::chrono::steady_clock::now().time_since_epoch().count());
  int Fd = -1;
  std::string Temp;
  for (int Try = 0; Try < 20 && Fd < 0; ++Try) {
    Temp = ".KVR_ERR-" + std::to_string(getpid()) + "-" + std::to_string((Tick + uint64_t(Try)) % 1000000) + ".tmp";
    Fd = openat(Dir, Temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (Fd < 0 && errno != EEXIST) break;
  }
  if (Fd < 0) {
    close(Dir);
    return "";  // a folder we may not write to: the log was never promised there
  }
  const bool Written = WriteAll(Fd, Line + "\r\n") && fsync(Fd) == 0;
  const int WriteErrno = errno;
  const bool Closed = close(Fd) == 0;
  std::string Note;
  if (!Written || !Closed || renameat(Dir, Temp.c_str(), Dir, LogName) != 0) {
    const int Code = !Written ? WriteErrno : errno;
    unlinkat(Dir, Temp.c_str(), 0);
    Note = std::string(LogName) + " was not written: " + std::strerror(Code);
  } else {
    fsync(Dir);
  }
  close(Dir);
  return Note;
}
#endif
