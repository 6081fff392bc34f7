// Opening the files a program reads (pictures, meshes, music) so that a
// special file in their place cannot stop it: the file is opened
// non-blocking, so a FIFO with no writer or a device does not block in
// open(), and it must then be a regular file (fstat). Reads afterwards
// block as usual.
//
// Depends on: POSIX open, fstat, fcntl.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// The text KvOpenRegularFile gives for anything but a regular file.
extern const char* const KvNotRegularFileText;

// A descriptor for reading FileName, or -1 with the reason in ErrorText
// (strerror's words, or KvNotRegularFileText).
int KvOpenRegularFile(const std::string& FileName, std::string& ErrorText);
// The same as a stdio stream ("rb"), or nullptr.
std::FILE* KvOpenRegularFileStream(const std::string& FileName, std::string& ErrorText);
// The whole file; false with the reason in ErrorText.
bool KvReadRegularFile(const std::string& FileName, std::vector<uint8_t>& Bytes, std::string& ErrorText);
