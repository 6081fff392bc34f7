// Placing a frame in a larger area, shape kept.
#include "Letterbox.h"

#include <algorithm>

KvRect KvLetterbox(int32_t AreaWidth, int32_t AreaHeight, int32_t FrameWidth, int32_t FrameHeight,
                   bool WholeMultiples) {
  if (AreaWidth <= 0 || AreaHeight <= 0 || FrameWidth <= 0 || FrameHeight <= 0) return KvRect{0, 0, 0, 0};
  int64_t W = 0, H = 0;
  const int32_t Multiple = std::min(AreaWidth / FrameWidth, AreaHeight / FrameHeight);
  if (WholeMultiples && Multiple >= 1) {
    W = int64_t(FrameWidth) * Multiple;
    H = int64_t(FrameHeight) * Multiple;
  } else if (int64_t(AreaWidth) * FrameHeight >= int64_t(AreaHeight) * FrameWidth) {
    // Wider than the frame: full height, bars left and right.
    H = AreaHeight;
    W = std::max<int64_t>(1, int64_t(AreaHeight) * FrameWidth / FrameHeight);
  } else {
    W = AreaWidth;
    H = std::max<int64_t>(1, int64_t(AreaWidth) * FrameHeight / FrameWidth);
  }
  const int32_t Left = int32_t((AreaWidth - W) / 2);
  const int32_t Top = int32_t((AreaHeight - H) / 2);
  return KvRect{Left, Top, Left + int32_t(W), Top + int32_t(H)};
}
