// The engine's one error convention.
//
// Every engine class reports a failure through its Error(Step, Message),
// which releases the object and hands the line "[Tag]Step -> Message" to
// FatalError. FatalError restores the desktop, rewrites "KVR_ERR.txt" in the
// current directory with that one line (CR LF), prints it on standard error,
// shows it in a message box in windowed mode and ends the process with a
// non-zero exit status. It never returns.
//
// Before anything else it runs the clean-up: the files registered with
// KvAddCleanupFile (unfinished temporary files) are removed, so that no way
// out of the program leaves half a file behind. Signal handlers run the same
// clean-up through KvRunCleanup.
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

// The clean-up of abnormal ends: paths of unfinished files, removed by
// FatalError (and by KvRunCleanup) before the process exits. Registered
// paths live in fixed slots, so that removing them needs neither the heap
// nor locks.
constexpr int KvCleanupSlots = 64;
// Registers Path; returns its slot, or -1 when every slot is taken or the
// path is longer than a slot (the file is then not removed on a fatal end).
int KvAddCleanupFile(const char* Path);
// Forgets a slot of KvAddCleanupFile (the file was finished or removed);
// -1 is ignored.
void KvRemoveCleanupFile(int Slot);
// Removes every registered file and forgets it. Async-signal-safe: a
// signal handler may call it just before _exit.
void KvRunCleanup();
