// The engine's one error convention.
//
// Every engine class reports a failure through its Error(Step, Message),
// which releases the object and hands the line "[Tag]Step -> Message" to
// FatalError. FatalError restores the desktop, prints the line on standard
// error, rewrites "KVR_ERR.txt" in the current directory with it (CR LF),
// shows it in a message box in windowed mode and ends the process with a
// non-zero exit status. It never returns. Control characters in the line
// are shown escaped (\n, \x1b), so a file name cannot forge a second line
// or command the terminal.
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

// Text with its control characters escaped: \n, \r, \t and \xNN.
std::string KvEscapeControls(const std::string& Text);

// "[Tag]" + Step + " -> " + Message, the one-line format of the log.
std::string KvErrorLine(const char* Tag, const std::string& Step, const std::string& Message);

// A program's own advice on a failure it knows a way around (an option of
// its own, say): FatalError ends a line that contains Marker ("Step ->
// message start") with "; " and Hint. The engine's texts name no program's
// options.
void KvAddErrorHint(const std::string& Marker, const std::string& Hint);

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
// The same for Name inside the folder open as DirFd (POSIX: removed with
// unlinkat, so the folder may be renamed meanwhile). DirFd must stay open
// until the slot is forgotten.
int KvAddCleanupFileAt(int DirFd, const char* Name);
// Forgets a slot of KvAddCleanupFile (the file was finished or removed);
// -1 is ignored.
void KvRemoveCleanupFile(int Slot);
// Removes every registered file and forgets it. Async-signal-safe: a
// signal handler may call it just before _exit.
void KvRunCleanup();
