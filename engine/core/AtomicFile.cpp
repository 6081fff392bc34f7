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
#include "RegularFile.h"

#ifdef _WIN32
#include <io.h>

#include "AtomicFileWindows.h"
#else
#include <random>
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

std::string LeafOf(const std::string& Target) {
  const size_t Slash = Target.find_last_of('/');
  return Slash == std::string::npos ? Target : Target.substr(Slash + 1);
}

// Target itself must be a regular file or nothing yet, and its name must
// fit the folder's file system. The name is not tried out by making a file
// of it: between making and removing that file another run could rename a
// finished file over it, which would then be lost.
#ifdef _WIN32
bool CheckTargetName(const std::string& Target, int, std::string* Error) {
  struct stat Info;
  int Code = 0;
  if (stat(Target.c_str(), &Info) == 0) {
    if (S_ISDIR(Info.st_mode)) Code = EISDIR;
  } else if (errno != ENOENT) {
    Code = errno;
  } else if (LeafOf(Target).size() > 255) {  // NTFS and FAT32 names
    Code = ENAMETOOLONG;
  }
  if (Code == 0) return true;
  *Error = "cannot create " + Quoted(Target) + ": " + std::strerror(Code);
  return false;
}
#else
bool CheckTargetName(const std::string& Target, int Folder, std::string* Error) {
  const std::string Leaf = LeafOf(Target);
  struct stat Link, Info;
  std::string Why;
  if (fstatat(Folder, Leaf.c_str(), &Link, AT_SYMLINK_NOFOLLOW) != 0) {
    const long Max = fpathconf(Folder, _PC_NAME_MAX);
    if (errno != ENOENT)
      Why = std::strerror(errno);
    else if (Max > 0 && Leaf.size() > size_t(Max))
      Why = std::strerror(ENAMETOOLONG);
  } else if (fstatat(Folder, Leaf.c_str(), &Info, 0) != 0) {
    // A dangling link: the rename replaces the link itself.
  } else if (S_ISDIR(Info.st_mode)) {
    Why = std::strerror(EISDIR);
  } else if (!S_ISREG(Info.st_mode)) {
    Why = KvNotRegularFileText;  // a reader of a FIFO would wait for ever
  } else {
    // In a sticky folder only a file's owner (or the folder's) may replace
    // it; the rename would fail after all the work.
    struct stat Dir;
    const uid_t Me = geteuid();
    if (Me != 0 && fstat(Folder, &Dir) == 0 && (Dir.st_mode & S_ISVTX) && Link.st_uid != Me && Dir.st_uid != Me) {
      *Error = "cannot replace " + Quoted(Target) + ": it belongs to another user in a folder where only owners may "
               "replace files (sticky)";
      return false;
    }
  }
  if (Why.empty()) return true;
  *Error = "cannot create " + Quoted(Target) + ": " + Why;
  return false;
}

// An exclusive new file "<prefix>XXXXXX.part" in Folder, never through a
// link; its name in Name. Open for reading too: writers that move data
// within the file (a video's index put first) read it back.
int MakeTempFileAt(int Folder, std::string* Name) {
  static std::mt19937 Random(std::random_device{}() ^ uint32_t(getpid()));
  for (int Try = 0; Try < 100; ++Try) {
    std::string Candidate = TempPrefix;
    for (int I = 0; I < 6; ++I) Candidate += "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789"[Random() % 62];
    Candidate += ".part";
    const int Fd = openat(Folder, Candidate.c_str(), O_CREAT | O_EXCL | O_RDWR | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (Fd >= 0) *Name = Candidate;
    if (Fd >= 0 || errno != EEXIST) return Fd;
  }
  return -1;
}

// The target's permissions (and, for root, its owner) on the new file.
void KeepTargetMode(int Folder, const std::string& Leaf, int Fd) {
  struct stat Old;
  if (fstatat(Folder, Leaf.c_str(), &Old, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(Old.st_mode)) return;
  if (geteuid() == 0 && fchown(Fd, Old.st_uid, Old.st_gid) != 0) return;
  fchmod(Fd, Old.st_mode & 01777);
}
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
  const std::string InFolder = Folder == "/" ? std::string("/") : Folder + "/";
  auto FolderFailed = [&](int Code) {
    *Error = "cannot create " + Quoted(Path) + ": " + std::strerror(Code);
    if (Code == ENOENT || Code == ENOTDIR) *Error += " (the folder " + Quoted(Folder) + ")";
    Discard();
    return false;
  };
#ifdef _WIN32
  std::string Pattern = InFolder + TempPrefix + "XXXXXX.part";
  std::vector<char> Name(Pattern.begin(), Pattern.end());
  Name.push_back('\0');
  const int Fd = KvMakeTempFileWindows(Name);
  if (Fd < 0) return FolderFailed(errno);
  Descriptor = Fd;
  Temp = Name.data();
  Target = Path;
  CleanupSlot = KvAddCleanupFile(Temp.c_str());
  if (!CheckTargetName(Path, -1, Error)) {
    Discard();
    return false;
  }
#else
  const mode_t Mode = NewFileMode();
  FolderFd = open(Folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (FolderFd < 0) return FolderFailed(errno);
  Target = Path;
  if (!CheckTargetName(Path, FolderFd, Error)) {
    Discard();
    return false;
  }
  Descriptor = MakeTempFileAt(FolderFd, &TempName);
  if (Descriptor < 0) return FolderFailed(errno);
  Temp = InFolder + TempName;
  CleanupSlot = KvAddCleanupFileAt(FolderFd, TempName.c_str());
  fchmod(Descriptor, Mode);
#endif
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
  auto Failed = [&](const std::string& Text) {
    *Error = Text + ": " + std::strerror(errno);
    Discard();
    return false;
  };
#ifdef _WIN32
  // close reports the write errors some file systems hold back.
  const int Fd = Descriptor;
  Descriptor = -1;
  if (Fd >= 0 && close(Fd) != 0) return Failed("cannot write " + Quoted(Target));
  if (!KvRenameOverWindows(Temp, Target)) return Failed("cannot rename " + Quoted(Temp) + " to " + Quoted(Target));
#else
  KeepTargetMode(FolderFd, LeafOf(Target), Descriptor);
  if (Sync && fsync(Descriptor) != 0) return Failed("cannot write " + Quoted(Target));
  // The name must still be this file: in a folder others may write to, it
  // could have been swapped for a link to a file of theirs (or ours).
  struct stat Mine, Named;
  if (fstat(Descriptor, &Mine) != 0 || fstatat(FolderFd, TempName.c_str(), &Named, AT_SYMLINK_NOFOLLOW) != 0 ||
      Mine.st_dev != Named.st_dev || Mine.st_ino != Named.st_ino) {
    *Error = "cannot rename " + Quoted(Temp) + " to " + Quoted(Target) + ": it was replaced while being written";
    TempName.clear();  // not ours to remove
    Discard();
    return false;
  }
  // close reports the write errors some file systems hold back (NFS).
  const int Fd = Descriptor;
  Descriptor = -1;
  if (close(Fd) != 0) return Failed("cannot write " + Quoted(Target));
  if (renameat(FolderFd, TempName.c_str(), FolderFd, LeafOf(Target).c_str()) != 0)
    return Failed("cannot rename " + Quoted(Temp) + " to " + Quoted(Target));
  // The new name itself reaches the disk with the folder.
  if (Sync) fsync(FolderFd);
#endif
  Forget();
  return true;
}

void KvAtomicFile::Discard() {
  if (Descriptor >= 0) close(Descriptor);
  Descriptor = -1;
#ifdef _WIN32
  if (!Temp.empty()) unlink(Temp.c_str());
#else
  if (FolderFd >= 0 && !TempName.empty()) unlinkat(FolderFd, TempName.c_str(), 0);
#endif
  Forget();
}

void KvAtomicFile::Forget() {
  KvRemoveCleanupFile(CleanupSlot);
  CleanupSlot = -1;
  Temp.clear();
  TempName.clear();
  if (FolderFd >= 0) close(FolderFd);
  FolderFd = -1;
}

bool KvCheckWritableTarget(const std::string& Target, std::string* Error) {
  KvAtomicFile Probe;
  return Probe.Create(Target, Error);
}
