// KvAtomicFile: a file that appears under its name only when it is
// complete. It is written as a temporary file in the target's folder,
// created exclusively (O_EXCL) under a short unique name such as
// ".kelvra-Ab3xQ9.part", and renamed over the target by Commit. Until then
// the temporary file is registered with the error convention's clean-up
// (Errors.h), so a fatal error or a signal removes it too; an object
// destroyed uncommitted removes it itself. A target that exists stays as
// it was until the rename.
//
// Two runs writing one target each get their own temporary file; the one
// that commits last wins, and either way the target is a whole file.
//
// Depends on: Errors.h (KvAddCleanupFile); POSIX open, mkostemps, rename.
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
  // (strerror's words), when Target is a folder, its folder is missing or
  // not writable, or a file of Target's name cannot be made there.
  bool Create(const std::string& Target, std::string* Error);

  // The temporary file: its descriptor (open for writing, -1 when none)
  // and its path, for writers that open it by name themselves.
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
  int Descriptor = -1;
  int CleanupSlot = -1;
};

// Whether Target could be written, with the checks of Create; leaves
// nothing behind. For checking output files before any work starts.
bool KvCheckWritableTarget(const std::string& Target, std::string* Error);

// The start of temporary file names (default ".kelvra-"); a program sets
// its own once, before it writes files.
void KvSetTempFilePrefix(const std::string& Prefix);
