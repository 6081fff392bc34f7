// The window's icon: the generated desktop icon. Installed, it is in the
// hicolor theme beside share/nerith; in the build tree, assetgen's icons/
// folder beside bin/.
#include <string>
#include <vector>

#include "Show.h"
#include "Viewer.h"

void SetShowWindowIcon() {
  if (!Display || !Display->DirectDraw) return;
  const std::string Places[] = {
      AssetPath("../icons/hicolor/64x64/apps/" + std::string(NerithAppId) + ".png"),
      AssetPath("../icons/icon_64.png"),
  };
  std::vector<uint8_t> Rgba;
  int32_t W = 0, H = 0;
  for (const std::string& Path : Places) {
    if (!KvReadPngRgba(Path, 256, &Rgba, &W, &H)) continue;
    Display->DirectDraw->SetWindowIcon(Rgba.data(), W, H);
    return;
  }
}
