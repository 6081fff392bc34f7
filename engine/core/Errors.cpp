// The error convention: one line in KVR_ERR.txt, on standard error and (in a
// window) in a message box, then a non-zero exit.
#include "Errors.h"
#include "ErrorLogFile.h"

#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

bool FullScreenActive = false;

namespace {
KvFatalHook RestoreDesktopHook = nullptr;
KvFatalHook MessageBoxHook = nullptr;
bool InFatalError = false;
// KvAddErrorHint: (marker, hint).
std::vector<std::pair<std::string, std::string>> ErrorHints;

// A slot is Free, Filling while its path is copied in, or Armed. Only Armed
// slots are removed, so a signal that lands during a registration never
// sees half a path.
enum SlotState : int { Free = 0, Filling = 1, Armed = 2 };
constexpr size_t SlotChars = 4096;
struct CleanupSlot {
  std::atomic<int> State{Free};
  int DirFd = -1;  // -1: Path is a whole path
  char Path[SlotChars];
};
CleanupSlot CleanupFiles[KvCleanupSlots];
static_assert(std::atomic<int>::is_always_lock_free, "clean-up slots are used from signal handlers");
}  // namespace

int KvAddCleanupFile(const char* Path) { return KvAddCleanupFileAt(-1, Path); }

int KvAddCleanupFileAt(int DirFd, const char* Path) {
  const size_t Length = std::strlen(Path);
  if (Length >= SlotChars) return -1;
  for (int I = 0; I < KvCleanupSlots; ++I) {
    int Expected = Free;
    if (!CleanupFiles[I].State.compare_exchange_strong(Expected, Filling)) continue;
    std::memcpy(CleanupFiles[I].Path, Path, Length + 1);
    CleanupFiles[I].DirFd = DirFd;
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
#ifdef _WIN32
      unlink(Slot.Path);
#else
      if (Slot.DirFd >= 0)
        unlinkat(Slot.DirFd, Slot.Path, 0);
      else
        unlink(Slot.Path);
#endif
      Slot.State.store(Free);
    }
  }
}

void KvSetRestoreDesktopHook(KvFatalHook Hook) { RestoreDesktopHook = Hook; }
void KvSetMessageBoxHook(KvFatalHook Hook) { MessageBoxHook = Hook; }

std::string KvEscapeControls(const std::string& Text) {
  std::string Out;
  Out.reserve(Text.size());
  for (const char C : Text) {
    const unsigned char U = static_cast<unsigned char>(C);
    if (U >= 0x20 && U != 0x7F) {
      Out += C;
    } else if (C == '\n') {
      Out += "\\n";
    } else if (C == '\r') {
      Out += "\\r";
    } else if (C == '\t') {
      Out += "\\t";
    } else {
      char Hex[8];
      std::snprintf(Hex, sizeof Hex, "\\x%02x", U);
      Out += Hex;
    }
  }
  return Out;
}

std::string KvErrorLine(const char* Tag, const std::string& Step, const std::string& Message) {
  return std::string(Tag) + Step + " -> " + Message;
}

void KvAddErrorHint(const std::string& Marker, const std::string& Hint) { ErrorHints.push_back({Marker, Hint}); }

void FatalError(const char* Raw) {
  std::string Full = Raw;
  for (const auto& Hint : ErrorHints)
    if (Full.find(Hint.first) != std::string::npos) Full += "; " + Hint.second;
  const std::string Line = KvEscapeControls(Full);
  const char* Text = Line.c_str();
  // A failure inside a hook must not recurse into a second report.
  if (InFatalError) {
    KvRunCleanup();
    std::_Exit(KvFatalExitCode);
  }
  InFatalError = true;

  // First the unfinished files: nothing after this point may leave them.
  KvRunCleanup();

  if (RestoreDesktopHook) RestoreDesktopHook(Text);

  // Standard error first: whatever happens to the log, the line is out.
  std::fprintf(stderr, "%s\n", Text);
  std::fflush(stderr);
  std::fflush(stdout);

  // The log holds only the last error: the file is replaced, not appended.
#ifdef _WIN32
  if (std::FILE* Log = std::fopen("KVR_ERR.txt", "wb")) {
    std::fputs(Text, Log);
    std::fputs("\r\n", Log);
    std::fclose(Log);
  }
#else
  const std::string Note = KvReplaceErrorLog(Line);
  if (!Note.empty()) {
    std::fprintf(stderr, "%s\n", Note.c_str());
    std::fflush(stderr);
  }
#endif

  if (!FullScreenActive && MessageBoxHook) MessageBoxHook(Text);

  // _Exit: no static destructors run over objects the failure left half-made.
  std::_Exit(KvFatalExitCode);
}
