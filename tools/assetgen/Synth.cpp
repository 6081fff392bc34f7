// Sound synthesis building blocks (see Synth.h).
#include "Synth.h"

#include <algorithm>

namespace assetgen {

void Stereo::AddMono(const std::vector<float>& Src, int64_t Offset, float Gain, float Pan) {
  // Constant-power pan law.
  float A = (std::min(1.0f, std::max(-1.0f, Pan)) + 1.0f) * 0.25f * float(kTwoPi) * 0.5f;
  float Gl = Gain * std::cos(A), Gr = Gain * std::sin(A);
  for (size_t I = 0; I < Src.size(); ++I) {
    int64_t D = Offset + int64_t(I);
    if (D < 0) continue;
    if (size_t(D) >= L.size()) break;
    L[size_t(D)] += Src[I] * Gl;
    R[size_t(D)] += Src[I] * Gr;
  }
}

void Stereo::AddStereo(const Stereo& Src, int64_t Offset, float Gain) {
  for (size_t I = 0; I < Src.Size(); ++I) {
    int64_t D = Offset + int64_t(I);
    if (D < 0) continue;
    if (size_t(D) >= L.size()) break;
    L[size_t(D)] += Src.L[I] * Gain;
    R[size_t(D)] += Src.R[I] * Gain;
  }
}

void Svf::Set(float CutoffHz, float Resonance) {
  float Fc = std::min(std::max(CutoffHz, 10.0f), 0.45f * float(kSampleRate));
  float G = std::tan(float(kTwoPi) * 0.5f * Fc / float(kSampleRate));
  K_ = 2.0f - 2.0f * std::min(std::max(Resonance, 0.0f), 0.98f);
  A1_ = 1.0f / (1.0f + G * (G + K_));
  A2_ = G * A1_;
  A3_ = G * A2_;
}

float Adsr::At(float T, float Gate) const {
  auto Held = [&](float U) {
    if (U < Attack) return U / Attack;
    float D = U - Attack;
    return Sustain + (1.0f - Sustain) * std::exp(-D / std::max(Decay, 1e-4f));
  };
  if (T < 0.0f) return 0.0f;
  if (T < Gate) return Held(T);
  return Held(Gate) * std::exp(-(T - Gate) / std::max(Release, 1e-4f));
}

void PingPongDelay(const Stereo& In, Stereo& Out, int DelaySamples, float Feedback, float DampHz) {
  const size_t N = In.Size();
  std::vector<float> Bl(size_t(DelaySamples), 0.0f), Br(size_t(DelaySamples), 0.0f);
  OnePole Dl, Dr;
  Dl.Set(DampHz);
  Dr.Set(DampHz);
  size_t P = 0;
  for (size_t I = 0; I < N; ++I) {
    float El = Bl[P], Er = Br[P];
    Out.L[I] += El;
    Out.R[I] += Er;
    // The left input enters the left line, each line feeds the other: echoes
    // alternate between the sides.
    float Mono = 0.5f * (In.L[I] + In.R[I]);
    Bl[P] = Mono + Dr.Next(Er) * Feedback;
    Br[P] = Dl.Next(El) * Feedback;
    if (++P == Bl.size()) P = 0;
  }
}

void FdnReverb(const Stereo& In, Stereo& Out, float Rt60, float DampHz, int PreDelaySamples) {
  // Mutually prime line lengths between 25 and 80 ms.
  static const int Len[8] = {1109, 1433, 1693, 1999, 2311, 2617, 2927, 3469};
  std::vector<float> Line[8];
  float Gain[8];
  OnePole Damp[8];
  size_t Pos[8] = {};
  for (int K = 0; K < 8; ++K) {
    Line[K].assign(size_t(Len[K]), 0.0f);
    // -60 dB after Rt60 seconds: g = 10^(-3 L / (Rt60 fs)).
    Gain[K] = std::pow(10.0f, -3.0f * float(Len[K]) / (Rt60 * float(kSampleRate)));
    Damp[K].Set(DampHz);
  }
  std::vector<float> PreL(size_t(PreDelaySamples) + 1, 0.0f), PreR(size_t(PreDelaySamples) + 1, 0.0f);
  size_t Pp = 0;
  const size_t N = In.Size();
  for (size_t I = 0; I < N; ++I) {
    float InL = PreL[Pp], InR = PreR[Pp];
    PreL[Pp] = In.L[I];
    PreR[Pp] = In.R[I];
    if (++Pp == PreL.size()) Pp = 0;
    float Y[8];
    float Sum = 0.0f;
    for (int K = 0; K < 8; ++K) {
      Y[K] = Damp[K].Next(Line[K][Pos[K]]) * Gain[K];
      Sum += Y[K];
    }
    // Householder reflection: y - (2/8) * sum(y), lossless and fully mixing.
    float H = Sum * 0.25f;
    Out.L[I] += (Y[0] - Y[2] + Y[4] - Y[6]) * 0.35f;
    Out.R[I] += (Y[1] - Y[3] + Y[5] - Y[7]) * 0.35f;
    for (int K = 0; K < 8; ++K) {
      float Feed = Y[K] - H + ((K & 1) ? InR : InL) * 0.5f;
      Line[K][Pos[K]] = Feed;
      if (++Pos[K] == Line[K].size()) Pos[K] = 0;
    }
  }
}

}  // namespace assetgen
