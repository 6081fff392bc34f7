// KVR_ERR.txt on POSIX systems: the error line written to a new file beside
// it and renamed over it, so the log is never written through a symbolic
// link, never truncated before the new line is safely on disk, and a FIFO
// or device of that name is left alone instead of blocking the fatal path.
//
// Depends on: POSIX openat, renameat, fsync.
#pragma once

#include <string>

// Replaces KVR_ERR.txt in the current folder by Line + CR LF. Returns a line
// for standard error when the log was not written for a reason the user
// should know (not a regular file, a full disk), else "".
std::string KvReplaceErrorLog(const std::string& Line);
