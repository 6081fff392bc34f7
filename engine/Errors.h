// The engine's one error convention.
//
// Every engine class reports a failure through its Error(Step, Message),
// which releases the object and hands the line "[Tag]Step -> Message" to
// FatalError. FatalError restores the desktop, rewrites "KVR_ERR.txt" in the
// current directory with that one line (CR LF), prints it on standard error,
// shows it in a message box in windowed mode and ends the process with a
// non-zero exit status. It never returns.
#pragma once

#include <string>

// Copy of the FullScreen flag of the display object constructed last.
extern bool FullScreenActive;

// Exit status of every fatal error (normal ends exit 0).
constexpr int KvFatalExitCode = 1;

[[noreturn]] void FatalError(const char* Text);

// "[Tag]" + Step + " -> " + Message, the one-line format of the log.
std::string KvErrorLine(const char* Tag, const std::string& Step, const std::string& Message);

// Hooks FatalError runs before it writes the log: the display layer installs
// one that restores the desktop mode and one that shows the message box.
using KvFatalHook = void (*)(const char* Text);
void KvSetRestoreDesktopHook(KvFatalHook Hook);
void KvSetMessageBoxHook(KvFatalHook Hook);
