// The overlay over the presented picture.
#include "ScreenOverlay.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>

#include "Options.h"
#include "Show.h"
#include "RunClock.h"
#include "ShowTime.h"
#include "Viewer.h"

namespace {
using Clock = std::chrono::steady_clock;

bool Enabled = false;
TBufferKv* Composite = nullptr;  // the frame with the overlay on it
Clock::time_point BarUntil, NoteUntil, LastProgress;
std::string Note;
uint32_t Shown = 0;      // the frame on screen, as the last look found it
bool PausedNow = false;

void Look() {
  Shown = ShownFrameTime();
  PausedNow = ShowPaused();
}
std::string LastDrawn;  // what the last present showed ("" without overlay)

constexpr int32_t BarTop = 438;
constexpr uint32_t ShowLengthMs = ShowSteps * StepMs;

bool BarVisible() { return PausedNow || Clock::now() < BarUntil; }
bool NoteVisible() { return !Note.empty() && Clock::now() < NoteUntil; }

// The frame copied into Composite, which is made on first use.
bool CopyFrame() {
  if (!Screen || !Display) return false;
  if (!Composite) {
    Composite = new TBufferKv(Display, Screen->Width, Screen->Height, false);
    Composite->SetFont("", 16);
  }
  if (Composite->Width != Screen->Width || Composite->BytesPerPixel != Screen->BytesPerPixel) return false;
  const size_t RowBytes = size_t(Screen->Width) * Screen->BytesPerPixel;
  for (int32_t Y = 0; Y < Screen->Height; ++Y)
    std::memcpy(Composite->Rows[size_t(Y)], Screen->Rows[size_t(Y)], RowBytes);
  return true;
}

// A dark band at the bottom: the track with the scene marks, the part
// played, and one line of text above it.
void DrawBar(uint32_t NowMs, uint32_t EndMs, const std::string& Text) {
  TBufferKv& B = *Composite;
  B.FillRect(0, BarTop, B.Width, B.Height, PackColor(16, 16, 24));
  const int32_t Left = 12, Right = B.Width - 13, TrackY = B.Height - 10;
  auto XOf = [&](uint64_t Ms) { return Left + int32_t(Ms * uint64_t(Right - Left) / ShowLengthMs); };
  B.FillRect(Left, TrackY, Right, TrackY + 3, PackColor(70, 70, 80));
  B.FillRect(Left, TrackY, XOf(std::min(NowMs, ShowLengthMs)), TrackY + 3, PackColor(230, 150, 90));
  if (EndMs > NowMs) B.FillRect(XOf(NowMs), TrackY, XOf(std::min(EndMs, ShowLengthMs)), TrackY + 3, PackColor(130, 90, 60));
  for (int i = 1; i < SceneCount; ++i) {
    const int32_t X = XOf(uint64_t(SceneSteps[i]) * StepMs);
    B.FillRect(X, TrackY - 3, X + 2, TrackY + 6, PackColor(200, 200, 210));  // half-open: 2 columns
  }
  B.TextOut(Left, BarTop + 2, Text, PackColor(235, 235, 240));
}

std::string BarText() {
  const int Scene = SceneAtMs(Shown);
  std::string Text = ShowClockText(Shown) + " / " + ShowClockText(ShowLengthMs) + "   " + std::to_string(Scene) + " " +
                     SceneNames[Scene - 1];
  if (PausedNow) Text += "   paused";
  return Text;
}

void PresentComposite() {
  Composite->Present(PresentWait);
}
}  // namespace

void EnableScreenOverlay(bool On) {
#ifdef __EMSCRIPTEN__
  On = false;  // the page draws its own bar around the canvas
#endif
  Enabled = On;
}

void ShowSeekBar(uint32_t ForMs) { BarUntil = Clock::now() + std::chrono::milliseconds(ForMs); }

void ShowOverlayNote(const std::string& Text, uint32_t ForMs) {
  Note = Text;
  NoteUntil = Clock::now() + std::chrono::milliseconds(ForMs);
}


void PresentWithOverlay() {
  if (!Screen) return;
  Look();
  const bool Bar = Enabled && BarVisible(), WithNote = Enabled && NoteVisible();
  if (!(Bar || WithNote) || !CopyFrame()) {
    LastDrawn.clear();
    Screen->Present(PresentWait);
    return;
  }
  LastDrawn = (Bar ? BarText() : std::string()) + "\n" + (WithNote ? Note : std::string());
  if (WithNote) {
    const int32_t Top = Bar ? BarTop - 26 : Composite->Height - 28;
    Composite->FillRect(0, Top, Composite->Width, Top + 24, PackColor(16, 16, 24));
    Composite->TextOut(12, Top + 2, Note, PackColor(235, 235, 240));
  }
  if (Bar) DrawBar(Shown, Shown, BarText());
  PresentComposite();
}

void RefreshOverlay() {
  if (!Enabled) return;
  Look();
  const bool Bar = BarVisible(), WithNote = NoteVisible();
  const std::string Now =
      (Bar || WithNote) ? (Bar ? BarText() : std::string()) + "\n" + (WithNote ? Note : std::string()) : std::string();
  if (Now != LastDrawn) PresentWithOverlay();
}

void PresentCatchUpProgress(uint32_t FromMs, uint32_t NowMs, uint32_t TargetMs) {
  if (!Enabled || !Screen) return;
  const Clock::time_point Now = Clock::now();
  if (Now - LastProgress < std::chrono::milliseconds(100)) return;
  LastProgress = Now;
  if (!CopyFrame()) return;
  const uint32_t Span = TargetMs > FromMs ? TargetMs - FromMs : 1;
  const uint32_t Done = NowMs > FromMs ? NowMs - FromMs : 0;
  const int Percent = int(std::min<uint64_t>(100, uint64_t(Done) * 100 / Span));
  DrawBar(NowMs, TargetMs,
          "catching up to " + ShowClockText(TargetMs) + "   " + std::to_string(Percent) + " %   " +
              SceneNames[SceneAtMs(TargetMs) - 1]);
  LastDrawn = "catching up";
  PresentComposite();
}

std::string ShowClockText(uint32_t ShowMs) {
  char Text[32];
  std::snprintf(Text, sizeof Text, "%u:%02u.%u", ShowMs / 60000, ShowMs / 1000 % 60, ShowMs / 100 % 10);
  return Text;
}

void FreeScreenOverlay() {
  delete Composite;
  Composite = nullptr;
}
