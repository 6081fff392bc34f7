// libswscale's RGB to yuv420p: see SwsConvert.h.
#include "SwsConvert.h"

extern "C" {
#include <libswscale/swscale.h>
}

// Full-range RGB in, studio range out, both tables BT.709; chroma from the
// mean of each 2 x 2 block (area) with exact rounding, as RgbToYuv420.
SwsBt709::SwsBt709(int W, int H) : Width(W), Height(H) {
  Context = sws_getContext(W, H, AV_PIX_FMT_RGB24, W, H, AV_PIX_FMT_YUV420P,
                           SWS_AREA | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INP, nullptr, nullptr, nullptr);
  if (!Context) return;
  const int* Bt709 = sws_getCoefficients(SWS_CS_ITU709);
  if (sws_setColorspaceDetails(Context, Bt709, 1, Bt709, 0, 0, 1 << 16, 1 << 16) < 0) {
    sws_freeContext(Context);
    Context = nullptr;
  }
}

SwsBt709::~SwsBt709() { sws_freeContext(Context); }

void SwsBt709::Convert(const uint8_t* Rgb, uint8_t* Y, int PitchY, uint8_t* Cb, int PitchCb, uint8_t* Cr,
                       int PitchCr) {
  const uint8_t* Src[1] = {Rgb};
  const int SrcPitch[1] = {Width * 3};
  uint8_t* Dst[3] = {Y, Cb, Cr};
  const int DstPitch[3] = {PitchY, PitchCb, PitchCr};
  sws_scale(Context, Src, SrcPitch, 0, Height, Dst, DstPitch);
}
