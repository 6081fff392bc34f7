// The error convention: one line in KVR_ERR.txt, on standard error and (in a
// window) in a message box, then a non-zero exit.
#include "Errors.h"

#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>

bool FullScreenActive = false;

namespace {
KvFatalHook RestoreDesktopHook = nullptr;
KvFatalHook MessageBoxHook = nullptr;
bool InFatalError = false;

// A slot is Free, Filling while its path is copied in, or Armed. Only Armed
// slots are removed, so a signal that lands during a registration never
// sees half a path.
enum SlotState : int { Free = 0, Filling = 1, Armed = 2 };
constexpr size_t SlotChars = 4096;
struct CleanupSlot {
  std::atomic<int> State{Free};
  char Path[SlotChars];
};
CleanupSlot CleanupFiles[KvCleanupSlots];
static_assert(std::atomic<int>::is_always_lock_free, "clean-up slots are used from signal handlers");
}  // namespace

int KvAddCleanupFile(const char* Path) {
  const size_t Length = std::strlen(Path);
  if (Length >= SlotChars) return -1;
  for (int I = 0; I < KvCleanupSlots; ++I) {
    int Expected = Free;
    if (!CleanupFiles[I].State.compare_exchange_strong(Expected, Filling)) continue;
    std::memcpy(CleanupFiles[I].Path, Path, Length + 1);
    CleanupFiles[I].State.store(Armed);
    return I;
  }
  return -1;
}

void KvRemoveCleanupFile(int Slot) {
  if (Slot >= 0 && Slot < KvCleanupSlots) CleanupFiles[Slot].State.store(Free);
}

void KvRunCleanup() {
  for (CleanupSlot& Slot : CleanupFiles) {
    int Expected = Armed;
    if (Slot.State.compare_exchange_strong(Expected, Filling)) {
      unlink(Slot.Path);
      Slot.State.store(Free);
    }
  }
}

void KvSetRestoreDesktopHook(KvFatalHook Hook) { RestoreDesktopHook = Hook; }
void KvSetMessageBoxHook(KvFatalHook Hook) { MessageBoxHook = Hook; }

std::string KvErrorLine(const char* Tag, const std::string& Step, const std::string& Message) {
  return std::string(Tag) + Step + " -> " + Message;
}

void FatalError(const char* Text) {
  // A failure inside a hook must not recurse into a second report.
  if (InFatalError) {
    KvRunCleanup();
    std::_Exit(KvFatalExitCode);
  }
  InFatalError = true;

  // First the unfinished files: nothing after this point may leave them.
  KvRunCleanup();

  if (RestoreDesktopHook) RestoreDesktopHook(Text);

  // The log holds only the last error: the file is replaced, not appended.
  if (std::FILE* Log = std::fopen("KVR_ERR.txt", "wb")) {
    std::fputs(Text, Log);
    std::fputs("\r\n", Log);
    std::fclose(Log);
  }
  std::fprintf(stderr, "%s\n", Text);
  std::fflush(stderr);
  std::fflush(stdout);

  if (!FullScreenActive && MessageBoxHook) MessageBoxHook(Text);

  // _Exit: no static destructors run over objects the failure left half-made.
  std::_Exit(KvFatalExitCode);
}
