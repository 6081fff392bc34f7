// nerith.com: the show for a command prompt. nerith.exe is a window
// program, which cmd.exe does not wait for, so its exit status never
// reached %ERRORLEVEL%. Typed as "nerith", cmd.exe runs this console
// program first (.COM comes before .EXE): it starts nerith.exe beside it
// with the same arguments and the same console, waits, and ends with its
// exit status. Ctrl-C reaches the show, which ends itself; this waits.
#include <windows.h>

#include <string>

namespace {

// The command line after the program's own name, as Windows parses it.
const wchar_t* ArgumentsOf(const wchar_t* Line) {
  bool Quoted = false;
  for (; *Line; ++Line) {
    if (*Line == L'"') Quoted = !Quoted;
    if (!Quoted && (*Line == L' ' || *Line == L'\t')) break;
  }
  return Line;
}

}  // namespace

int wmain() {
  wchar_t Self[32768];
  const DWORD Length = GetModuleFileNameW(nullptr, Self, DWORD(sizeof Self / sizeof Self[0]));
  if (Length == 0 || Length >= sizeof Self / sizeof Self[0]) return 1;
  std::wstring Exe(Self, Length);
  const size_t Dot = Exe.find_last_of(L'.');
  Exe = (Dot == std::wstring::npos ? Exe : Exe.substr(0, Dot)) + L".exe";
  std::wstring Line = L"\"" + Exe + L"\"" + ArgumentsOf(GetCommandLineW());

  SetConsoleCtrlHandler(nullptr, TRUE);
  STARTUPINFOW Start = {};
  Start.cb = sizeof Start;
  Start.dwFlags = STARTF_USESTDHANDLES;
  Start.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  Start.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
  Start.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  PROCESS_INFORMATION Process = {};
  if (!CreateProcessW(Exe.c_str(), Line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &Start, &Process)) {
    const std::wstring Text = L"nerith: cannot start " + Exe + L" (error " + std::to_wstring(GetLastError()) + L")\r\n";
    DWORD Written = 0;
    WriteConsoleW(GetStdHandle(STD_ERROR_HANDLE), Text.c_str(), DWORD(Text.size()), &Written, nullptr);
    return 1;
  }
  CloseHandle(Process.hThread);
  WaitForSingleObject(Process.hProcess, INFINITE);
  DWORD Status = 1;
  GetExitCodeProcess(Process.hProcess, &Status);
  CloseHandle(Process.hProcess);
  return int(Status);
}
