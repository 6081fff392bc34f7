// Sound synthesis building blocks: band-limited oscillators, a state-variable
// filter, envelopes, noise, and the effects of the mix (ping-pong delay,
// feedback-delay-network reverb). All deterministic, 44.1 kHz, float.
#pragma once

#include <cmath>
#include <cstdint>
#include <vector>

namespace assetgen {

constexpr int kSampleRate = 44100;
constexpr double kTwoPi = 6.283185307179586;

inline float MidiToHz(float Midi) { return 440.0f * std::pow(2.0f, (Midi - 69.0f) / 12.0f); }

// Stereo buffer of the whole tune (or of a part of it).
struct Stereo {
  std::vector<float> L, R;
  Stereo() = default;
  explicit Stereo(size_t N) : L(N, 0.0f), R(N, 0.0f) {}
  size_t Size() const { return L.size(); }
  // Adds a mono signal at Offset with constant-power pan (-1 left .. 1 right).
  void AddMono(const std::vector<float>& Src, int64_t Offset, float Gain, float Pan);
  void AddStereo(const Stereo& Src, int64_t Offset, float Gain);
};

// xorshift32 white noise in [-1, 1).
class Noise {
 public:
  explicit Noise(uint32_t Seed) : S_(Seed ? Seed : 0x9e3779b9u) {}
  float Next() {
    S_ ^= S_ << 13;
    S_ ^= S_ >> 17;
    S_ ^= S_ << 5;
    return float(int32_t(S_)) * (1.0f / 2147483648.0f);
  }

 private:
  uint32_t S_;
};

// PolyBLEP residual: subtracting it from a naive step removes most aliasing.
inline float PolyBlep(float T, float Dt) {
  if (T < Dt) {
    T /= Dt;
    return T + T - T * T - 1.0f;
  }
  if (T > 1.0f - Dt) {
    T = (T - 1.0f) / Dt;
    return T * T + T + T + 1.0f;
  }
  return 0.0f;
}

// Band-limited sawtooth (PolyBLEP), phase in [0, 1).
struct SawOsc {
  float Phase = 0.0f;
  float Next(float Hz) {
    float Dt = Hz / float(kSampleRate);
    float V = 2.0f * Phase - 1.0f - PolyBlep(Phase, Dt);
    Phase += Dt;
    if (Phase >= 1.0f) Phase -= 1.0f;
    return V;
  }
};

// Band-limited square (two PolyBLEP steps).
struct SquareOsc {
  float Phase = 0.0f;
  float Next(float Hz, float Width = 0.5f) {
    float Dt = Hz / float(kSampleRate);
    float V = Phase < Width ? 1.0f : -1.0f;
    V += PolyBlep(Phase, Dt);
    float P2 = Phase - Width;
    if (P2 < 0.0f) P2 += 1.0f;
    V -= PolyBlep(P2, Dt);
    Phase += Dt;
    if (Phase >= 1.0f) Phase -= 1.0f;
    return V;
  }
};

struct SineOsc {
  double Phase = 0.0;
  float Next(float Hz) {
    float V = float(std::sin(Phase * kTwoPi));
    Phase += double(Hz) / kSampleRate;
    if (Phase >= 1.0) Phase -= 1.0;
    return V;
  }
};

// Zero-delay-feedback state-variable filter (trapezoidal integration), with
// low-, band- and high-pass outputs. Cutoff is clamped below Nyquist.
class Svf {
 public:
  void Set(float CutoffHz, float Resonance);  // Resonance 0 .. ~0.97
  float Low(float X) {
    Tick(X);
    return V2_;
  }
  float Band(float X) {
    Tick(X);
    return V1_;
  }
  float High(float X) {
    Tick(X);
    return X - K_ * V1_ - V2_;
  }

 private:
  void Tick(float X) {
    float V3 = X - Ic2_;
    V1_ = A1_ * Ic1_ + A2_ * V3;
    V2_ = Ic2_ + A2_ * Ic1_ + A3_ * V3;
    Ic1_ = 2.0f * V1_ - Ic1_;
    Ic2_ = 2.0f * V2_ - Ic2_;
  }
  float A1_ = 0, A2_ = 0, A3_ = 0, K_ = 2.0f;
  float Ic1_ = 0, Ic2_ = 0, V1_ = 0, V2_ = 0;
};

// One-pole low-pass (for damping and smoothing).
struct OnePole {
  float Z = 0.0f, A = 0.0f;
  void Set(float CutoffHz) { A = std::exp(-float(kTwoPi) * CutoffHz / float(kSampleRate)); }
  float Next(float X) {
    Z = X + (Z - X) * A;
    return Z;
  }
};

// Attack-decay-sustain-release envelope evaluated at time T (seconds) for a
// note held Gate seconds: linear attack, exponential decay and release.
struct Adsr {
  float Attack = 0.005f, Decay = 0.2f, Sustain = 0.7f, Release = 0.2f;
  float At(float T, float Gate) const;
  float Length(float Gate) const { return Gate + Release * 5.0f; }  // until about -43 dB
};

// Ping-pong delay with a low-pass in the feedback loop.
void PingPongDelay(const Stereo& In, Stereo& Out, int DelaySamples, float Feedback, float DampHz);

// Feedback delay network reverb: eight delay lines mixed by a Householder
// matrix, damped per line, decaying by 60 dB in Rt60 seconds.
void FdnReverb(const Stereo& In, Stereo& Out, float Rt60, float DampHz, int PreDelaySamples);

}  // namespace assetgen
