// Where the frame goes in a window, a screen or a recording: shape kept,
// centred, whole multiples when asked.
#include <gtest/gtest.h>

#include "engine/core/Letterbox.h"

namespace {
void ExpectRect(const KvRect& R, int Left, int Top, int Right, int Bottom) {
  EXPECT_EQ(R.Left, Left);
  EXPECT_EQ(R.Top, Top);
  EXPECT_EQ(R.Right, Right);
  EXPECT_EQ(R.Bottom, Bottom);
}
}  // namespace

TEST(Letterbox, FitsAt4By3WithBars) {
  ExpectRect(KvLetterbox(1920, 1080, 640, 480, false), 240, 0, 1680, 1080);  // bars left and right
  ExpectRect(KvLetterbox(1600, 900, 640, 480, false), 200, 0, 1400, 900);
  ExpectRect(KvLetterbox(3840, 2160, 640, 480, false), 480, 0, 3360, 2160);
  ExpectRect(KvLetterbox(1280, 960, 640, 480, false), 0, 0, 1280, 960);     // exactly 2 x: no bars
  ExpectRect(KvLetterbox(800, 1000, 640, 480, false), 0, 200, 800, 800);    // taller: bars above and below
  ExpectRect(KvLetterbox(320, 240, 640, 480, false), 0, 0, 320, 240);       // smaller than the frame
  ExpectRect(KvLetterbox(1366, 768, 640, 480, false), 171, 0, 1195, 768);   // odd margin: one more on the right
}

TEST(Letterbox, WholeMultiplesOnly) {
  ExpectRect(KvLetterbox(1920, 1080, 640, 480, true), 320, 60, 1600, 1020);  // 2 x, not 2.25 x
  ExpectRect(KvLetterbox(3840, 2160, 640, 480, true), 640, 120, 3200, 2040);  // 4 x, not 4.5 x
  ExpectRect(KvLetterbox(2560, 1440, 640, 480, true), 320, 0, 2240, 1440);    // 3 x
  ExpectRect(KvLetterbox(600, 400, 640, 480, true), 33, 0, 566, 400);        // below 1 x: the plain fit
  ExpectRect(KvLetterbox(0, 1080, 640, 480, true), 0, 0, 0, 0);
  ExpectRect(KvLetterbox(1920, 1080, 0, 480, false), 0, 0, 0, 0);
}
