// UTF-8 (the engine's text and paths) to and from UTF-16 (Windows' wide
// calls). Invalid sequences become U+FFFD rather than cutting the text.
#pragma once

#include <string>

#include "WindowsHeaders.h"

inline std::wstring KvWide(const std::string& Text) {
  if (Text.empty()) return std::wstring();
  const int Size = MultiByteToWideChar(CP_UTF8, 0, Text.data(), int(Text.size()), nullptr, 0);
  std::wstring Out(size_t(Size > 0 ? Size : 0), L'\0');
  if (Size > 0) MultiByteToWideChar(CP_UTF8, 0, Text.data(), int(Text.size()), Out.data(), Size);
  return Out;
}

inline std::string KvUtf8(const std::wstring& Text) {
  if (Text.empty()) return std::string();
  const int Size = WideCharToMultiByte(CP_UTF8, 0, Text.data(), int(Text.size()), nullptr, 0, nullptr, nullptr);
  std::string Out(size_t(Size > 0 ? Size : 0), '\0');
  if (Size > 0) WideCharToMultiByte(CP_UTF8, 0, Text.data(), int(Text.size()), Out.data(), Size, nullptr, nullptr);
  return Out;
}
