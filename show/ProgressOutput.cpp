// The frame-output user that reports the progress of a long offline run on
// standard error: on a terminal one line redrawn four times a second
// (percent, frame, frames per second, elapsed, left), cut to the terminal's
// width ($COLUMNS, else the terminal's own); otherwise, and on a terminal
// that cannot go back to the line's start (TERM=dumb), a plain line at
// every 10 %. A closed pipe on standard error ends the run (exit 141).
#ifndef _WIN32
#include <sys/ioctl.h>
#endif
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "FrameOutput.h"
#include "RunClock.h"

namespace {
using Clock = std::chrono::steady_clock;

std::string MinSec(double Seconds) {
  if (Seconds < 0) Seconds = 0;
  const long S = long(Seconds + 0.5);
  char Text[32];
  std::snprintf(Text, sizeof Text, "%ld:%02ld", S / 60, S % 60);
  return Text;
}

bool RedrawnLine() {
  if (!isatty(2)) return false;
  const char* Term = std::getenv("TERM");
  return !(Term && std::strcmp(Term, "dumb") == 0);
}

// Columns of standard error's terminal: $COLUMNS when it is a number, else
// the terminal's size, else 80.
size_t TerminalColumns() {
  if (const char* Env = std::getenv("COLUMNS")) {
    char* End = nullptr;
    const long Columns = std::strtol(Env, &End, 10);
    if (End != Env && *End == '\0' && Columns > 0 && Columns < 10000) return size_t(Columns);
  }
#ifndef _WIN32
  winsize Size = {};
  if (ioctl(2, TIOCGWINSZ, &Size) == 0 && Size.ws_col > 0) return Size.ws_col;
#endif
  return 80;
}

class ProgressOutput : public FrameOutput {
 public:
  ProgressOutput(uint32_t F, uint32_t L) : First(F), Last(L), Terminal(RedrawnLine()), Start(Clock::now()) {
    if (Terminal) Width = TerminalColumns() - 1;  // the cursor's column stays free: no wrap
  }

  void Take(const FinishedFrame& Frame) override {
    if (Last < First || Frame.Number < First) return;
    const uint32_t Total = Last - First + 1;
    const uint32_t Done = std::min(Frame.Number - First + 1, Total);
    const int Percent = int(uint64_t(Done) * 100 / Total);
    const Clock::time_point Now = Clock::now();
    if (Terminal) {
      if (Done != Total && Now - LastDraw < std::chrono::milliseconds(250)) return;
      LastDraw = Now;
      const double Elapsed = std::chrono::duration<double>(Now - Start).count();
      const double Fps = Elapsed > 0 ? Done / Elapsed : 0.0;
      const double Left = Fps > 0 ? (Total - Done) / Fps : 0.0;
      char Line[160];
      std::snprintf(Line, sizeof Line, "nerith: %3d%%  frame %u of %u  %6.1f fps  %s elapsed  %s left", Percent,
                    Frame.Number, Last, Fps, MinSec(Elapsed).c_str(), MinSec(Left).c_str());
      std::string Text(Line, std::min(std::strlen(Line), Width));
      // Spaces over what the longer line before left.
      const size_t Shown = Text.size();
      if (Shown < DrawnWidth) Text.append(DrawnWidth - Shown, ' ');
      DrawnWidth = Shown;
      std::fprintf(stderr, "\r%s", Text.c_str());
      Drawn = true;
    } else {
      if (Percent / 10 <= LastTenth) return;
      LastTenth = Percent / 10;
      std::fprintf(stderr, "nerith: %d%% (frame %u of %u)\n", LastTenth * 10, Frame.Number, Last);
    }
    Flush();
  }

  void Finish(bool) override {
    if (Drawn) std::fputc('\n', stderr);
    Flush();
  }

 private:
  void Flush() {
    if (std::fflush(stderr) == 0 && !std::ferror(stderr)) return;
    ReportClosedOutput(errno);
    std::clearerr(stderr);
  }

  uint32_t First, Last;
  bool Terminal;
  size_t Width = 0, DrawnWidth = 0;
  bool Drawn = false;
  int LastTenth = 0;
  Clock::time_point Start, LastDraw;
};
}  // namespace

std::unique_ptr<FrameOutput> MakeProgressOutput(uint32_t FirstNumber, uint32_t LastNumber) {
  return std::make_unique<ProgressOutput>(FirstNumber, LastNumber);
}
