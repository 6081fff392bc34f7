// KvAtomicFile: a file that appears under its name only when it is
// complete. It is written as a temporary file in the target's folder,
// created exclusively (O_EXCL) under a short unique name such as
// ".kelvra-Ab3xQ9.part", and renamed over the target by Commit. Until then
// the temporary file is registered with the error convention's clean-up
// (Errors.h), so a fatal error or a signal removes it too; an object
// destroyed uncommitted removes it itself. A target that exists stays as
// it was until the rename.
//
// On POSIX systems the temporary file is made, renamed and removed through
// a descriptor of the target's folder (openat, renameat, unlinkat), so a
// folder renamed meanwhile is still the one written to and cleaned up, and
// no symbolic link is ever followed to the temporary file. Commit flushes
// the file to the disk before the rename and the folder after it. A target
// that exists keeps its permissions (and its owner when root writes); one
// that is not a regular file, or that the user could not replace (another
// user's file in a sticky folder), is refused by Create.
//
// Two runs writing one target each get their own temporary file; the one
// that commits last wins, and either way the target is a whole file.
//
// Depends on: Errors.h (KvAddCleanupFileAt); POSIX openat, renameat, fsync.
#pragma once

#include <cstddef>
#include <string>

class KvAtomicFile {
 public:
  KvAtomicFile() = default;
  ~KvAtomicFile();  // Discard, unless committed
  KvAtomicFile(const KvAtomicFile&) = delete;
  KvAtomicFile& operator=(const KvAtomicFile&) = delete;

  // Makes the temporary file for Target. False, with the reason in Error
  // (strerror's words), when Target is a folder or not a regular file, its
  // folder is missing or not writable, a file of Target's name cannot be
  // made there, or Target could not be replaced by this user.
  bool Create(const std::string& Target, std::string* Error);

  // Off: Commit does not flush to the disk, for writers of many files that
  // flush the whole file system once at the end (syncfs).
  void SetSync(bool On) { Sync = On; }

  // The temporary file: its descriptor (open for writing, -1 when none)
  // and its path (for messages; it is never opened again by name).
  int Fd() const { return Descriptor; }
  const std::string& TempPath() const { return Temp; }
  const std::string& TargetPath() const { return Target; }

  // Writes all of Data to Fd (short writes are retried); false with the
  // reason in Error.
  bool Write(const void* Data, size_t Size, std::string* Error);

  // Closes the temporary file and renames it over the target. On failure
  // the temporary file is removed and Error says why.
  bool Commit(std::string* Error);

  // Closes and removes the temporary file; the target is not touched.
  void Discard();

 private:
  void Forget();

  std::string Target;
  std::string Temp;
  std::string TempName;  // Temp's last part, in FolderFd
  int Descriptor = -1;
  int FolderFd = -1;
  int CleanupSlot = -1;
  bool Sync = true;
};

// Whether Target could be written, with the checks of Create; leaves
// nothing behind. For checking output files before any work starts.
bool KvCheckWritableTarget(const std::string& Target, std::string* Error);

// The start of temporary file names (default ".kelvra-"); a program sets
// its own once, before it writes files.
void KvSetTempFilePrefix(const std::string& Prefix);
