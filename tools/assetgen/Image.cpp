// Float pictures and masks (see Image.h).
#include "Image.h"

#include <algorithm>
#include <cmath>

#include "Noise.h"

namespace assetgen {

Rgb Ramp(const std::vector<RampStop>& Stops, float T) {
  if (T <= Stops.front().At) return Stops.front().Color;
  if (T >= Stops.back().At) return Stops.back().Color;
  for (size_t I = 1; I < Stops.size(); ++I) {
    if (T <= Stops[I].At) {
      const RampStop& A = Stops[I - 1];
      const RampStop& B = Stops[I];
      float U = (T - A.At) / (B.At - A.At);
      U = U * U * (3.0f - 2.0f * U);
      return Mix(A.Color, B.Color, U);
    }
  }
  return Stops.back().Color;
}

float Mask::Sample(float X, float Y) const {
  float Fx = std::floor(X), Fy = std::floor(Y);
  int Ix = int(Fx), Iy = int(Fy);
  float Dx = X - Fx, Dy = Y - Fy;
  float A = Get(Ix, Iy), B = Get(Ix + 1, Iy), C = Get(Ix, Iy + 1), D = Get(Ix + 1, Iy + 1);
  return Lerp(Lerp(A, B, Dx), Lerp(C, D, Dx), Dy);
}

Rgb Image::Sample(float X, float Y) const {
  X = std::min(std::max(X, 0.0f), float(W - 1));
  Y = std::min(std::max(Y, 0.0f), float(H - 1));
  int Ix = std::min(int(X), W - 2 < 0 ? 0 : W - 2), Iy = std::min(int(Y), H - 2 < 0 ? 0 : H - 2);
  float Dx = X - float(Ix), Dy = Y - float(Iy);
  int Ix1 = std::min(Ix + 1, W - 1), Iy1 = std::min(Iy + 1, H - 1);
  Rgb Top = Mix(At(Ix, Iy), At(Ix1, Iy), Dx);
  Rgb Bottom = Mix(At(Ix, Iy1), At(Ix1, Iy1), Dx);
  return Mix(Top, Bottom, Dy);
}

namespace {

std::vector<float> GaussKernel(float Sigma, int& Radius) {
  Radius = std::max(1, int(std::ceil(Sigma * 3.0f)));
  std::vector<float> K(size_t(2 * Radius + 1));
  float Sum = 0.0f;
  for (int I = -Radius; I <= Radius; ++I) {
    float V = std::exp(-float(I * I) / (2.0f * Sigma * Sigma));
    K[size_t(I + Radius)] = V;
    Sum += V;
  }
  for (float& V : K) V /= Sum;
  return K;
}

// One separable pass over a strided array of T (float or Rgb).
template <typename T>
void BlurPass(const std::vector<T>& In, std::vector<T>& Out, int W, int H, bool Horizontal,
              const std::vector<float>& K, int Radius) {
  for (int Y = 0; Y < H; ++Y) {
    for (int X = 0; X < W; ++X) {
      T Acc{};
      for (int I = -Radius; I <= Radius; ++I) {
        int Sx = Horizontal ? X + I : X;
        int Sy = Horizontal ? Y : Y + I;
        if (Sx < 0 || Sy < 0 || Sx >= W || Sy >= H) continue;
        Acc = Acc + In[size_t(Sy) * W + Sx] * K[size_t(I + Radius)];
      }
      Out[size_t(Y) * W + X] = Acc;
    }
  }
}

// Across, then down; Pixels names the picture's pixel vector.
template <class Picture, class Pixel>
Picture BlurPicture(const Picture& In, float Sigma, std::vector<Pixel> Picture::*Pixels) {
  if (Sigma <= 0.0f) return In;
  int Radius = 0;
  std::vector<float> K = GaussKernel(Sigma, Radius);
  Picture Tmp(In.W, In.H), Out(In.W, In.H);
  BlurPass(In.*Pixels, Tmp.*Pixels, In.W, In.H, true, K, Radius);
  BlurPass(Tmp.*Pixels, Out.*Pixels, In.W, In.H, false, K, Radius);
  return Out;
}

}  // namespace

Mask Blur(const Mask& M, float Sigma) { return BlurPicture(M, Sigma, &Mask::V); }
Image Blur(const Image& Img, float Sigma) { return BlurPicture(Img, Sigma, &Image::P); }

Mask Dilate(const Mask& M, float Radius) {
  int R = int(std::ceil(Radius));
  Mask Out(M.W, M.H);
  for (int Y = 0; Y < M.H; ++Y) {
    for (int X = 0; X < M.W; ++X) {
      float Best = 0.0f;
      for (int Dy = -R; Dy <= R; ++Dy) {
        for (int Dx = -R; Dx <= R; ++Dx) {
          float D = std::sqrt(float(Dx * Dx + Dy * Dy));
          if (D > Radius + 0.5f) continue;
          // Soft disc edge, so the grown outline stays anti-aliased.
          float W = Clamp01(Radius + 0.5f - D);
          Best = std::max(Best, M.Get(X + Dx, Y + Dy) * W);
        }
      }
      Out.At(X, Y) = Best;
    }
  }
  return Out;
}

Mask Shift(const Mask& M, int Dx, int Dy) {
  Mask Out(M.W, M.H);
  for (int Y = 0; Y < M.H; ++Y)
    for (int X = 0; X < M.W; ++X) Out.At(X, Y) = M.Get(X - Dx, Y - Dy);
  return Out;
}

Image8 Quantize(const Image& Img, const QuantizeOptions& Opt) {
  Image8 Out;
  Out.W = Img.W;
  Out.H = Img.H;
  Out.Rgb8.resize(size_t(Img.W) * Img.H * 3);
  Rng R(Opt.DitherSeed ? Opt.DitherSeed : 1u);
  for (size_t I = 0; I < Img.P.size(); ++I) {
    Rgb C = Img.P[I];
    float Peak = std::max(C.R, std::max(C.G, C.B));
    uint8_t* D = &Out.Rgb8[I * 3];
    if (Peak < Opt.BlackCut || Peak <= 0.0f) {
      D[0] = D[1] = D[2] = 0;
      continue;
    }
    float Ch[3] = {C.R, C.G, C.B};
    for (int K = 0; K < 3; ++K) {
      float V = Ch[K] * 255.0f;
      if (Opt.DitherSeed) V += R.Triangular() * 0.75f;
      // NaN-safe clamp before the float-to-int conversion.
      if (!(V > 0.0f)) V = 0.0f;
      if (V > 255.0f) V = 255.0f;
      D[K] = uint8_t(int(V + 0.5f) > 255 ? 255 : int(V + 0.5f));
    }
    // A lit pixel must never round down to the key colour.
    if (D[0] == 0 && D[1] == 0 && D[2] == 0 && Opt.BlackCut > 0.0f) {
      int K = (C.B >= C.R && C.B >= C.G) ? 2 : (C.G >= C.R ? 1 : 0);
      D[K] = 1;
    }
  }
  return Out;
}

namespace {
template <typename Op>
void ForClipped(Image8& Dst, const Image8& Src, int X, int Y, Op F) {
  ForEachInside(Dst.W, Dst.H, Src.W, Src.H, X, Y, [&](int Dx, int Dy, int Sx, int Sy) {
    F(&Dst.Rgb8[(size_t(Dy) * Dst.W + Dx) * 3], &Src.Rgb8[(size_t(Sy) * Src.W + Sx) * 3]);
  });
}
}  // namespace

void Blit(Image8& Dst, const Image8& Src, int X, int Y) {
  ForClipped(Dst, Src, X, Y, [](uint8_t* D, const uint8_t* S) { D[0] = S[0], D[1] = S[1], D[2] = S[2]; });
}

void BlitAdd(Image8& Dst, const Image8& Src, int X, int Y) {
  ForClipped(Dst, Src, X, Y, [](uint8_t* D, const uint8_t* S) {
    for (int K = 0; K < 3; ++K) D[K] = uint8_t(std::min(255, D[K] + S[K]));
  });
}

void BlitKeyed(Image8& Dst, const Image8& Src, int X, int Y) {
  ForClipped(Dst, Src, X, Y, [](uint8_t* D, const uint8_t* S) {
    if (S[0] | S[1] | S[2]) D[0] = S[0], D[1] = S[1], D[2] = S[2];
  });
}

void FillRect(Image8& Dst, int X, int Y, int W, int H, uint8_t R, uint8_t G, uint8_t B) {
  for (int Yy = std::max(0, Y); Yy < std::min(Dst.H, Y + H); ++Yy)
    for (int Xx = std::max(0, X); Xx < std::min(Dst.W, X + W); ++Xx) {
      uint8_t* D = &Dst.Rgb8[(size_t(Yy) * Dst.W + Xx) * 3];
      D[0] = R, D[1] = G, D[2] = B;
    }
}

}  // namespace assetgen
