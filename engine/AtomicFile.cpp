// KvAtomicFile (see AtomicFile.h).
#include "AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "Errors.h"

#ifdef _WIN32
#include <io.h>

#include <filesystem>
#include <random>

#include "platform/win32/WindowsHeaders.h"
#endif

namespace {
std::string TempPrefix = ".kelvra-";

// The folder part of Target ("." for a bare name), for the temporary file.
std::string FolderOf(const std::string& Target) {
#ifdef _WIN32
  const size_t Slash = Target.find_last_of("/\\");  // Windows takes either
#else
  const size_t Slash = Target.find_last_of('/');
#endif
  if (Slash == std::string::npos) return ".";
  if (Slash == 0) return "/";
  return Target.substr(0, Slash);
}

std::string Quoted(const std::string& Path) { return "\"" + Path + "\""; }

#ifndef _WIN32
// Files made by mkostemps have mode 0600; a finished file gets the mode any
// new file of the user gets. The umask can only be read by setting it, so
// it is read once, on the first file, before writer threads exist.
mode_t NewFileMode() {
  static const mode_t Mode = [] {
    const mode_t Mask = umask(022);
    umask(Mask);
    return mode_t(0666 & ~Mask);
  }();
  return Mode;
}
#endif

// Target itself must not be a folder, and its name must fit the folder's
// file system. The name is not tried out by making a file of it: between
// making and removing that file another run could rename a finished file
// over it, which would then be lost.
bool CheckTargetName(const std::string& Target, const std::string& Folder, std::string* Error) {
  struct stat Info;
  int Code = 0;
  if (stat(Target.c_str(), &Info) == 0) {
    if (S_ISDIR(Info.st_mode)) Code = EISDIR;
  } else if (errno != ENOENT) {
    Code = errno;
  } else {
    const size_t Slash = Target.find_last_of('/');
    const size_t Length = Target.size() - (Slash == std::string::npos ? 0 : Slash + 1);
#ifdef _WIN32
    (void)Folder;
    if (Length > 255) Code = ENAMETOOLONG;  // NTFS and FAT32 names
#else
    const long Max = pathconf(Folder.c_str(), _PC_NAME_MAX);
    if (Max > 0 && Length > size_t(Max)) Code = ENAMETOOLONG;
#endif
  }
  if (Code == 0) return true;
  *Error = "cannot create " + Quoted(Target) + ": " + std::strerror(Code);
  return false;
}

#ifdef _WIN32
// mkostemps for Windows: Name ends in "XXXXXX.part"; the X's become random
// letters until a file of that name can be made exclusively.
int MakeTempFile(std::vector<char>& Name) {
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
bool RenameOver(const std::string& From, const std::string& To) {
  if (MoveFileExW(std::filesystem::u8path(From).wstring().c_str(), std::filesystem::u8path(To).wstring().c_str(),
                  MOVEFILE_REPLACE_EXISTING))
    return true;
  errno = GetLastError() == ERROR_ACCESS_DENIED ? EACCES : EIO;
  return false;
}
#else
bool RenameOver(const std::string& From, const std::string& To) { return std::rename(From.c_str(), To.c_str()) == 0; }
#endif
}  // namespace

void KvSetTempFilePrefix(const std::string& Prefix) { TempPrefix = Prefix; }

KvAtomicFile::~KvAtomicFile() { Discard(); }

bool KvAtomicFile::Create(const std::string& Path, std::string* Error) {
  Discard();
  if (Path.empty() || Path.back() == '/') {
    *Error = "cannot create " + Quoted(Path) + ": " + std::strerror(EISDIR);
    return false;
  }
  const std::string Folder = FolderOf(Path);
  std::string Pattern = (Folder == "/" ? std::string("/") : Folder + "/") + TempPrefix + "XXXXXX.part";
  std::vector<char> Name(Pattern.begin(), Pattern.end());
  Name.push_back('\0');
#ifdef _WIN32
  const int Fd = MakeTempFile(Name);
#else
  const mode_t Mode = NewFileMode();
  const int Fd = mkostemps(Name.data(), 5, O_CLOEXEC);
#endif
  if (Fd < 0) {
    const int Code = errno;
    *Error = "cannot create " + Quoted(Path) + ": " + std::strerror(Code);
    if (Code == ENOENT || Code == ENOTDIR) *Error += " (the folder " + Quoted(Folder) + ")";
    return false;
  }
  Descriptor = Fd;
  Temp = Name.data();
  Target = Path;
  CleanupSlot = KvAddCleanupFile(Temp.c_str());
#ifndef _WIN32
  fchmod(Fd, Mode);
#endif
  if (!CheckTargetName(Path, Folder, Error)) {
    Discard();
    return false;
  }
  return true;
}

bool KvAtomicFile::Write(const void* Data, size_t Size, std::string* Error) {
  const char* P = static_cast<const char*>(Data);
  while (Size > 0) {
    const ssize_t Done = ::write(Descriptor, P, Size);
    if (Done < 0 && errno == EINTR) continue;
    if (Done <= 0) {
      *Error = "cannot write " + Quoted(Target) + ": " + std::strerror(Done < 0 ? errno : EIO);
      return false;
    }
    P += Done;
    Size -= size_t(Done);
  }
  return true;
}

bool KvAtomicFile::Commit(std::string* Error) {
  if (Temp.empty()) {
    *Error = "cannot write " + Quoted(Target) + ": nothing was created";
    return false;
  }
  // close reports the write errors some file systems hold back (NFS).
  if (Descriptor >= 0 && close(Descriptor) != 0) {
    Descriptor = -1;
    *Error = "cannot write " + Quoted(Target) + ": " + std::strerror(errno);
    Discard();
    return false;
  }
  Descriptor = -1;
  if (!RenameOver(Temp, Target)) {
    *Error = "cannot rename " + Quoted(Temp) + " to " + Quoted(Target) + ": " + std::strerror(errno);
    Discard();
    return false;
  }
  Forget();
  return true;
}

void KvAtomicFile::Discard() {
  if (Descriptor >= 0) close(Descriptor);
  Descriptor = -1;
  if (!Temp.empty()) unlink(Temp.c_str());
  Forget();
}

void KvAtomicFile::Forget() {
  KvRemoveCleanupFile(CleanupSlot);
  CleanupSlot = -1;
  Temp.clear();
}

bool KvCheckWritableTarget(const std::string& Target, std::string* Error) {
  KvAtomicFile Probe;
  return Probe.Create(Target, Error);
}
