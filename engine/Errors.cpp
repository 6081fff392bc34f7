// The error convention: one line in KVR_ERR.txt, on standard error and (in a
// window) in a message box, then a non-zero exit.
#include "Errors.h"

#include <cstdio>
#include <cstdlib>

bool FullScreenActive = false;

namespace {
KvFatalHook RestoreDesktopHook = nullptr;
KvFatalHook MessageBoxHook = nullptr;
bool InFatalError = false;
}  // namespace

void KvSetRestoreDesktopHook(KvFatalHook Hook) { RestoreDesktopHook = Hook; }
void KvSetMessageBoxHook(KvFatalHook Hook) { MessageBoxHook = Hook; }

std::string KvErrorLine(const char* Tag, const std::string& Step, const std::string& Message) {
  return std::string(Tag) + Step + " -> " + Message;
}

void FatalError(const char* Text) {
  // A failure inside a hook must not recurse into a second report.
  if (InFatalError) std::_Exit(KvFatalExitCode);
  InFatalError = true;

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
