// The viewer's keys of a live run: full screen, pause, screenshot, seeking
// (Seeking.h), and the overlay's notes.
#include "Options.h"
#include "RunClock.h"
#include "ScreenOverlay.h"
#include "Seeking.h"
#include "Show.h"
#include "Viewer.h"

namespace {

constexpr uint32_t PausePollMs = 10;

void ToggleFullScreen() {
  if (!Display || !Display->DirectDraw) return;
  const bool On = !Display->FullScreen;
  if (Display->DirectDraw->SetFullScreen(On) == KV_OK) Display->FullScreen = On;
}

// Presses only, not held keys: holding Space is one pause, not one a frame.
// Alt+Enter counts by the Alt held at the moment Enter went down, as a
// quick one is over before the frame ends.
void ApplyKeys(bool Screenshot = true) {
  const bool AltEnter = Input->KeyPressedWithAlt(KvKeyEnter) || Input->KeyPressedWithAlt(KvKeyKeypadEnter);
  if (Input->KeyPressed(KvKeyF11) || AltEnter) ToggleFullScreen();
  if (Input->KeyPressed(KvKeySpace) || Input->KeyPressed(KvKeyP)) PauseShow(!ShowPaused());
  if (Screenshot && Input->KeyPressed(KvKeyF12)) {
    const std::string Path = SaveScreenshot();
    ShowOverlayNote(Path.empty() ? std::string("The screenshot could not be saved") : "Saved " + Path, 2000);
  }
  ApplySeekKeys();
}

}  // namespace

void HandleViewerKeys() {
  if (Options.Offline || !Input) return;
  // Catching up, the frame in Screen is not the one on screen: no
  // screenshot, and a pause holds the landing frame.
  if (CatchingUp()) {
    ApplyKeys(false);
    return;
  }
  ApplyKeys();
  // Paused: the frame stays on screen (the device draws it again when the
  // window is exposed or resized) and the keys are read every 10 ms. A stop
  // signal leaves the wait for EndFrame to end the run.
  if (ShowPaused()) RefreshOverlay();
  // A seek leaves the wait: the runner lands it, and the landing frame
  // comes back here, still paused.
  while (ShowPaused() && !SeekPending() && StopSignalNumber() == 0) {
    KvSleep(PausePollMs);
    if (!ProcessMessage(Display)) Shutdown();
    Input->ReadKeys();
    if (Input->KeyHit(KvKeyEscape)) Shutdown();
    ApplyKeys();
    RefreshOverlay();
  }
}
