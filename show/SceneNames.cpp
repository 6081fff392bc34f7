// Looking scenes up by number or name.
#include <cctype>

#include "ShowTime.h"

int SceneByNumberOrName(const std::string& Text) {
  if (Text.empty() || Text.size() > 12) return 0;
  bool Digits = true;
  std::string Lower;
  for (const char C : Text) {
    Digits = Digits && std::isdigit(static_cast<unsigned char>(C));
    Lower += static_cast<char>(std::tolower(static_cast<unsigned char>(C)));
  }
  if (Digits) {
    const int N = std::stoi(Text);
    return (N >= 1 && N <= SceneCount) ? N : 0;
  }
  for (int i = 0; i < SceneCount; ++i)
    if (Lower == SceneNames[i]) return i + 1;
  return 0;
}

std::string SceneNameList() {
  std::string List;
  for (const char* Name : SceneNames) List += (List.empty() ? "" : ", ") + std::string(Name);
  return List;
}

int SceneAtMs(uint32_t ShowMs) {
  for (int i = SceneCount; i > 1; --i)
    if (uint64_t(ShowMs) >= uint64_t(SceneSteps[i - 1]) * StepMs) return i;
  return 1;
}
