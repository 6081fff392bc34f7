// What KvAtomicFile asks of the Windows platform part
// (platform/win32/AtomicFileWindows.cpp).
#pragma once

#include <string>
#include <vector>

// mkostemps for Windows: Name ends in "XXXXXX.part"; the X's become random
// letters until a file of that name can be made exclusively.
int KvMakeTempFileWindows(std::vector<char>& Name);
// rename() that replaces an existing target; false with errno set.
bool KvRenameOverWindows(const std::string& From, const std::string& To);
