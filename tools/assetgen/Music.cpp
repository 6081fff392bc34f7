// The show's tune: instruments, arrangement and mix (see Music.h).
//
//   time grid     steps of 38808 samples, beats of 19404, sixteenths of 4851
//   drums         Kick, Clap, Snare, Hat, Crash, Riser, Impact, Glitch
//   tonal         PadChord, Bass, Pluck, Lead, Bell, EPiano, Stab, Wind, Drone
//   arrangement   Arrange: the sections, scene by scene
//   mix           sends to delay and reverb, kick ducking, fade, soft limit
#include <algorithm>
#include <cmath>
#include <cstdint>

#include "Music.h"
#include "Synth.h"

namespace assetgen {

namespace {

constexpr int kBeat = kStepSamples / 2;     // 19404
constexpr int kSixteenth = kStepSamples / 8;  // 4851
constexpr float kSr = float(kSampleRate);

int64_t At(double Step) { return int64_t(std::llround(Step * kStepSamples)); }
int64_t At16(int Step, int Sixteenth) { return int64_t(Step) * kStepSamples + int64_t(Sixteenth) * kSixteenth; }

// The buses of the mix; each gets its own sends in Master.
struct Mix {
  explicit Mix(size_t N) : Drums(N), Bass(N), Pad(N), Lead(N), Arp(N), Keys(N), Fx(N) {}
  Stereo Drums, Bass, Pad, Lead, Arp, Keys, Fx;
  std::vector<int64_t> Kicks;  // kick times, for ducking
};

uint32_t SeedOf(int64_t Start, float Midi, uint32_t Salt) {
  uint32_t H = uint32_t(Start) * 2654435761u ^ uint32_t(int(Midi * 16.0f)) * 40503u ^ Salt * 97u;
  H ^= H >> 15;
  H *= 0x2c1b3c6dU;
  H ^= H >> 12;
  return H | 1u;
}

float Uniform01(uint32_t& S) {
  S ^= S << 13;
  S ^= S >> 17;
  S ^= S << 5;
  return float(S >> 8) * (1.0f / 16777216.0f);
}

// ---------------------------------------------------------------- drums ---

void Kick(Mix& M, int64_t Start, float Vel) {
  const int N = int(0.45f * kSr);
  std::vector<float> Out(static_cast<size_t>(N));
  double Phase = 0.0;
  Noise Click(SeedOf(Start, 0, 1));
  for (int I = 0; I < N; ++I) {
    float T = float(I) / kSr;
    float F = 44.0f + 115.0f * std::exp(-T * 32.0f) + 18.0f * std::exp(-T * 6.0f);
    Phase += double(F) / kSampleRate;
    float Amp = std::min(1.0f, T / 0.002f) * std::exp(-T * 7.0f);
    float Body = std::tanh(1.8f * float(std::sin(Phase * kTwoPi)) * Amp);
    Out[size_t(I)] = Body * 0.95f + Click.Next() * std::exp(-T * 500.0f) * 0.25f;
  }
  M.Drums.AddMono(Out, Start, Vel, 0.0f);
  M.Kicks.push_back(Start);
}

void Clap(Mix& M, int64_t Start, float Vel) {
  const int N = int(0.35f * kSr);
  Stereo Out(static_cast<size_t>(N));
  for (int Ch = 0; Ch < 2; ++Ch) {
    Noise Nz(SeedOf(Start, float(Ch), 2));
    Svf Bp;
    Bp.Set(1150.0f + 150.0f * float(Ch), 0.45f);
    std::vector<float>& D = Ch ? Out.R : Out.L;
    for (int I = 0; I < N; ++I) {
      float T = float(I) / kSr;
      // Three quick slaps, then the room's tail.
      float Env = 0.0f;
      for (int K = 0; K < 3; ++K) {
        float U = T - 0.0095f * float(K);
        if (U >= 0.0f) Env = std::max(Env, std::exp(-U / 0.0045f));
      }
      if (T > 0.02f) Env = std::max(Env, 0.7f * std::exp(-(T - 0.02f) / 0.1f));
      D[size_t(I)] = Bp.Band(Nz.Next()) * Env * 1.6f;
    }
  }
  M.Drums.AddStereo(Out, Start, Vel);
}

void Snare(Mix& M, int64_t Start, float Vel, float Decay = 0.13f) {
  const int N = int((Decay * 4.0f + 0.05f) * kSr);
  std::vector<float> Out(static_cast<size_t>(N));
  Noise Nz(SeedOf(Start, 0, 3));
  Svf Hp;
  Hp.Set(1400.0f, 0.1f);
  SineOsc Tone;
  for (int I = 0; I < N; ++I) {
    float T = float(I) / kSr;
    float Body = Tone.Next(185.0f + 40.0f * std::exp(-T * 40.0f)) * std::exp(-T / 0.05f) * 0.6f;
    float Rattle = Hp.High(Nz.Next()) * std::exp(-T / Decay) * 0.8f;
    Out[size_t(I)] = Body + Rattle;
  }
  M.Drums.AddMono(Out, Start, Vel, 0.05f);
}

// Metallic cluster of six square waves at inharmonic ratios, through a high-pass.
void Hat(Mix& M, int64_t Start, float Vel, bool Open, float Pan) {
  static const float Ratios[6] = {2.0f, 3.0f, 4.16f, 5.43f, 6.79f, 8.21f};
  const float Decay = Open ? 0.16f : 0.028f;
  const int N = int((Decay * 5.0f) * kSr);
  std::vector<float> Out(static_cast<size_t>(N));
  SquareOsc Osc[6];
  Noise Nz(SeedOf(Start, 0, 4));
  Svf Hp, Hp2;
  Hp.Set(7200.0f, 0.2f);
  Hp2.Set(9000.0f, 0.0f);
  for (int I = 0; I < N; ++I) {
    float T = float(I) / kSr;
    float Metal = 0.0f;
    for (int K = 0; K < 6; ++K) Metal += Osc[K].Next(Ratios[K] * 310.0f);
    float X = Metal * 0.12f + Nz.Next() * 0.6f;
    Out[size_t(I)] = Hp2.High(Hp.High(X)) * std::exp(-T / Decay);
  }
  M.Drums.AddMono(Out, Start, Vel, Pan);
}

std::vector<float> CrashSound(uint32_t Seed, float Length, int Channel) {
  const int N = int(Length * kSr);
  std::vector<float> Out(static_cast<size_t>(N));
  Noise Nz(Seed + uint32_t(Channel) * 77u);
  SquareOsc Osc[4];
  static const float Freq[4] = {587.0f, 845.0f, 1253.0f, 1797.0f};
  Svf Hp;
  Hp.Set(3800.0f, 0.15f);
  for (int I = 0; I < N; ++I) {
    float T = float(I) / kSr;
    float Metal = 0.0f;
    for (int K = 0; K < 4; ++K) Metal += Osc[K].Next(Freq[K] * (1.0f + 0.003f * float(Channel)));
    float Env = std::min(1.0f, T / 0.003f) * (0.6f * std::exp(-T / 0.25f) + 0.4f * std::exp(-T / (Length * 0.3f)));
    Out[size_t(I)] = Hp.High(Nz.Next() * 0.8f + Metal * 0.06f) * Env;
  }
  return Out;
}

void Crash(Mix& M, int64_t Start, float Vel) {
  Stereo S(static_cast<size_t>(2.6f * kSr));
  S.L = CrashSound(SeedOf(Start, 0, 5), 2.6f, 0);
  S.R = CrashSound(SeedOf(Start, 0, 5), 2.6f, 1);
  M.Drums.AddStereo(S, Start, Vel);
}

// A crash played backwards, swelling into End.
void ReverseCrash(Mix& M, int64_t End, float Length, float Vel) {
  Stereo S;
  S.L = CrashSound(SeedOf(End, 0, 6), Length, 0);
  S.R = CrashSound(SeedOf(End, 0, 6), Length, 1);
  std::reverse(S.L.begin(), S.L.end());
  std::reverse(S.R.begin(), S.R.end());
  M.Fx.AddStereo(S, End - int64_t(S.Size()), Vel);
}

// Noise swept up through a band-pass, with a rising saw under it.
void Riser(Mix& M, int64_t From, int64_t To, float Vel) {
  const int64_t N = To - From;
  Stereo Out(static_cast<size_t>(N));
  Noise Nl(SeedOf(From, 0, 7)), Nr(SeedOf(From, 1, 7));
  Svf Bl, Br, Lp;
  SawOsc Saw;
  float SawHz = 0.0f;
  for (int64_t I = 0; I < N; ++I) {
    float U = float(I) / float(N);
    if ((I & 15) == 0) {
      SawHz = MidiToHz(45.0f + 24.0f * U);
      float Fc = 300.0f * std::pow(30.0f, U);
      Bl.Set(Fc, 0.6f);
      Br.Set(Fc * 1.07f, 0.6f);
      Lp.Set(600.0f + 5000.0f * U * U, 0.3f);
    }
    float Amp = U * U * (0.3f + 0.7f * U);
    float Tone = Lp.Low(Saw.Next(SawHz)) * 0.25f;
    Out.L[size_t(I)] = (Bl.Band(Nl.Next()) * 1.2f + Tone) * Amp;
    Out.R[size_t(I)] = (Br.Band(Nr.Next()) * 1.2f + Tone) * Amp;
  }
  M.Fx.AddStereo(Out, From, Vel);
}

// The big hit: a falling sub boom, a burst of noise and a crash.
void Impact(Mix& M, int64_t Start, float Vel) {
  const int N = int(3.5f * kSr);
  std::vector<float> Out(static_cast<size_t>(N));
  double Phase = 0.0;
  Noise Nz(SeedOf(Start, 0, 8));
  Svf Lp;
  for (int I = 0; I < N; ++I) {
    float T = float(I) / kSr;
    float F = 28.0f + 70.0f * std::exp(-T * 3.0f);
    Phase += double(F) / kSampleRate;
    if ((I & 15) == 0) Lp.Set(200.0f + 6000.0f * std::exp(-T * 5.0f), 0.2f);
    float Boom = float(std::sin(Phase * kTwoPi)) * std::exp(-T / 1.1f) * std::min(1.0f, T / 0.004f);
    float Burst = Lp.Low(Nz.Next()) * std::exp(-T / 0.35f) * 0.5f;
    Out[size_t(I)] = std::tanh(1.5f * Boom) * 0.9f + Burst;
  }
  M.Fx.AddMono(Out, Start, Vel, 0.0f);
  Crash(M, Start, Vel * 0.9f);
  Kick(M, Start, Vel);
}

// Bursts of band-passed, sample-held noise on sixteenths: the noise scene.
void Glitch(Mix& M, int From, int To) {
  for (int S = From; S < To; ++S)
    for (int K = 0; K < 8; ++K) {
      int64_t Start = At16(S, K);
      uint32_t R = SeedOf(Start, 0, 9);
      if (Uniform01(R) < 0.25f) continue;
      const int N = kSixteenth;
      std::vector<float> Out(static_cast<size_t>(N));
      Noise Nz(R);
      Svf Bp;
      Bp.Set(400.0f + 5000.0f * Uniform01(R), 0.7f);
      int Hold = 1 + int(Uniform01(R) * 24.0f);  // sample-rate reduction
      float Held = 0.0f;
      for (int I = 0; I < N; ++I) {
        if (I % Hold == 0) Held = Nz.Next();
        float T = float(I) / float(N);
        Out[size_t(I)] = Bp.Band(Held) * (1.0f - T) * 1.4f;
      }
      M.Fx.AddMono(Out, Start, 0.5f + 0.3f * Uniform01(R), Uniform01(R) * 1.6f - 0.8f);
    }
}

// ---------------------------------------------------------------- tonal ---

// Supersaw chord: five detuned saws per note, spread across the stereo field,
// through a low-pass with a slow sweep.
void PadChord(Mix& M, int64_t Start, int64_t Gate, const std::vector<int>& Notes, float Vel, float Cutoff,
              float Attack = 0.35f, float Release = 1.1f) {
  static const float Detune[5] = {-0.17f, -0.07f, 0.0f, 0.08f, 0.16f};
  static const float Pan[5] = {-0.8f, 0.5f, 0.0f, -0.45f, 0.85f};
  Adsr Env{Attack, 0.8f, 0.85f, Release};
  const float GateS = float(Gate) / kSr;
  const int N = int(Env.Length(GateS) * kSr);
  Stereo Out(static_cast<size_t>(N));
  for (int Note : Notes) {
    uint32_t R = SeedOf(Start, float(Note), 10);
    SawOsc Osc[5];
    for (auto& O : Osc) O.Phase = Uniform01(R);
    Svf Fl, Fr;
    float Hz[5];
    for (int V = 0; V < 5; ++V) Hz[V] = MidiToHz(float(Note) + Detune[V]);
    // Filter and envelope move slowly: both are evaluated once per block of
    // 32 samples, the envelope interpolated linearly inside the block.
    const int Block = 32;
    for (int B0 = 0; B0 < N; B0 += Block) {
      float T = float(B0) / kSr;
      float Fc = Cutoff * (1.0f + 0.25f * std::sin(T * 1.3f + float(Note)));
      Fl.Set(Fc, 0.15f);
      Fr.Set(Fc * 1.05f, 0.15f);
      float E0 = Env.At(T, GateS) * 0.09f;
      float E1 = Env.At(float(B0 + Block) / kSr, GateS) * 0.09f;
      const int B1 = std::min(N, B0 + Block);
      for (int I = B0; I < B1; ++I) {
        float L = 0.0f, Rr = 0.0f;
        for (int V = 0; V < 5; ++V) {
          float S = Osc[V].Next(Hz[V]);
          L += S * (1.0f - Pan[V]) * 0.5f;
          Rr += S * (1.0f + Pan[V]) * 0.5f;
        }
        float E = E0 + (E1 - E0) * float(I - B0) * (1.0f / Block);
        Out.L[size_t(I)] += Fl.Low(L) * E;
        Out.R[size_t(I)] += Fr.Low(Rr) * E;
      }
    }
  }
  M.Pad.AddStereo(Out, Start, Vel);
}

void Bass(Mix& M, int64_t Start, int64_t Gate, float Midi, float Vel, float Cutoff, float EnvAmount) {
  Adsr Env{0.003f, 0.15f, 0.75f, 0.04f};
  const float GateS = float(Gate) / kSr;
  const int N = int(Env.Length(GateS) * kSr);
  std::vector<float> Out(static_cast<size_t>(N));
  SawOsc Saw;
  SquareOsc Sq;
  SineOsc Sub;
  Svf F;
  const float Hz = MidiToHz(Midi);
  for (int I = 0; I < N; ++I) {
    float T = float(I) / kSr;
    if ((I & 7) == 0) F.Set(Cutoff * (1.0f + EnvAmount * std::exp(-T / 0.07f)), 0.35f);
    float X = Saw.Next(Hz) * 0.55f + Sq.Next(Hz * 1.003f) * 0.35f;
    Out[size_t(I)] = (F.Low(X) + Sub.Next(Hz * 0.5f) * 0.55f) * Env.At(T, GateS) * 0.5f;
  }
  M.Bass.AddMono(Out, Start, Vel, 0.0f);
}

void Pluck(Mix& M, int64_t Start, float Midi, float Vel, float Cutoff, float Pan) {
  const int N = int(0.7f * kSr);
  std::vector<float> Out(static_cast<size_t>(N));
  SawOsc Saw;
  SquareOsc Sq;
  Svf F;
  const float Hz = MidiToHz(Midi);
  for (int I = 0; I < N; ++I) {
    float T = float(I) / kSr;
    if ((I & 7) == 0) F.Set(Cutoff * (1.0f + 5.0f * std::exp(-T / 0.05f)), 0.3f);
    float X = Saw.Next(Hz) * 0.5f + Sq.Next(Hz * 2.0f, 0.3f) * 0.25f;
    Out[size_t(I)] = F.Low(X) * std::exp(-T / 0.18f) * std::min(1.0f, T / 0.002f) * 0.45f;
  }
  M.Arp.AddMono(Out, Start, Vel, Pan);
}

// 0 during the first 0.2 s of a note, rising to 1 by 0.5 s.
float SmoothFade(float T) { return std::min(1.0f, std::max(0.0f, (T - 0.2f) / 0.3f)); }

void Lead(Mix& M, int64_t Start, int64_t Gate, float Midi, float Vel, float Pan = 0.0f) {
  Adsr Env{0.008f, 0.35f, 0.7f, 0.16f};
  const float GateS = float(Gate) / kSr;
  const int N = int(Env.Length(GateS) * kSr);
  Stereo Out(static_cast<size_t>(N));
  uint32_t R = SeedOf(Start, Midi, 11);
  SawOsc A, B, C;
  A.Phase = Uniform01(R), B.Phase = Uniform01(R), C.Phase = Uniform01(R);
  SquareOsc Sub;
  Svf F;
  float Hz = MidiToHz(Midi);
  for (int I = 0; I < N; ++I) {
    float T = float(I) / kSr;
    // Vibrato fades in after the attack.
    if ((I & 7) == 0) {
      float Vib = 0.16f * SmoothFade(T) * std::sin(float(kTwoPi) * 5.6f * T);
      Hz = MidiToHz(Midi + Vib);
      F.Set(3200.0f * (1.0f + 1.5f * std::exp(-T / 0.12f)), 0.25f);
    }
    float Sa = A.Next(Hz * 0.9955f), Sb = B.Next(Hz), Sc = C.Next(Hz * 1.0045f);
    float Mid = F.Low(Sb * 0.5f + Sub.Next(Hz * 0.5f) * 0.25f);
    float E = Env.At(T, GateS) * 0.32f;
    Out.L[size_t(I)] = (Mid + Sa * 0.3f) * E;
    Out.R[size_t(I)] = (Mid + Sc * 0.3f) * E;
  }
  // Equal-gain pan of the stereo pair.
  Stereo Panned(Out.Size());
  for (size_t I = 0; I < Out.Size(); ++I) {
    Panned.L[I] = Out.L[I] * (1.0f - std::max(0.0f, Pan));
    Panned.R[I] = Out.R[I] * (1.0f + std::min(0.0f, Pan));
  }
  M.Lead.AddStereo(Panned, Start, Vel);
}

void Bell(Mix& M, int64_t Start, float Midi, float Vel, float Pan) {
  const int N = int(3.0f * kSr);
  std::vector<float> Out(static_cast<size_t>(N));
  SineOsc Mod, Car;
  const float Hz = MidiToHz(Midi);
  for (int I = 0; I < N; ++I) {
    float T = float(I) / kSr;
    float Index = 2.2f * std::exp(-T / 0.5f) + 0.2f;
    float Ph = float(Mod.Next(Hz * 3.5f)) * Index;
    float V = float(std::sin(Car.Phase * kTwoPi + double(Ph)));
    Car.Phase += double(Hz) / kSampleRate;
    if (Car.Phase >= 1.0) Car.Phase -= 1.0;
    Out[size_t(I)] = V * std::exp(-T / 0.9f) * std::min(1.0f, T / 0.002f) * 0.3f;
  }
  M.Keys.AddMono(Out, Start, Vel, Pan);
}

void EPiano(Mix& M, int64_t Start, int64_t Gate, float Midi, float Vel, float Pan) {
  const float GateS = float(Gate) / kSr;
  const int N = int((GateS + 0.8f) * kSr);
  std::vector<float> Out(static_cast<size_t>(N));
  SineOsc Mod, Tine;
  double Car = 0.0;
  const float Hz = MidiToHz(Midi);
  for (int I = 0; I < N; ++I) {
    float T = float(I) / kSr;
    float Index = 1.6f * std::exp(-T / 0.3f) + 0.25f;
    float Ph = Mod.Next(Hz) * Index + Tine.Next(Hz * 14.0f) * 0.5f * std::exp(-T / 0.025f);
    float V = float(std::sin(Car * kTwoPi + double(Ph)));
    Car += double(Hz) / kSampleRate;
    if (Car >= 1.0) Car -= 1.0;
    float Amp = std::exp(-T / 1.8f) * std::min(1.0f, T / 0.003f);
    if (T > GateS) Amp *= std::exp(-(T - GateS) / 0.15f);
    Out[size_t(I)] = V * Amp * 0.28f;
  }
  M.Keys.AddMono(Out, Start, Vel, Pan);
}

// A short, bright chord stab.
void Stab(Mix& M, int64_t Start, const std::vector<int>& Notes, float Vel) {
  const int N = int(0.4f * kSr);
  Stereo Out(static_cast<size_t>(N));
  for (int Note : Notes) {
    uint32_t R = SeedOf(Start, float(Note), 12);
    SawOsc A, B;
    A.Phase = Uniform01(R), B.Phase = Uniform01(R);
    Svf F;
    const float Hz = MidiToHz(float(Note));
    for (int I = 0; I < N; ++I) {
      float T = float(I) / kSr;
      if ((I & 7) == 0) F.Set(900.0f + 5000.0f * std::exp(-T / 0.06f), 0.4f);
      float E = std::exp(-T / 0.09f) * std::min(1.0f, T / 0.002f) * 0.16f;
      float X = F.Low(A.Next(Hz * 0.997f) + B.Next(Hz * 1.003f));
      Out.L[size_t(I)] += X * E * 1.1f;
      Out.R[size_t(I)] += X * E * 0.9f;
    }
  }
  M.Arp.AddStereo(Out, Start, Vel);
}

// Wind: noise through two slowly wandering band-passes, one per side.
void Wind(Mix& M, int64_t From, int64_t To, float Vel, float FadeIn, float FadeOut) {
  const int64_t N = To - From;
  Stereo Out(static_cast<size_t>(N));
  Noise Nl(SeedOf(From, 0, 13)), Nr(SeedOf(From, 1, 13));
  Svf Bl, Br;
  for (int64_t I = 0; I < N; ++I) {
    float T = float(I) / kSr;
    if ((I & 31) == 0) {
      Bl.Set(500.0f + 350.0f * std::sin(T * 0.41f) + 200.0f * std::sin(T * 1.13f), 0.82f);
      Br.Set(560.0f + 330.0f * std::sin(T * 0.37f + 2.0f) + 220.0f * std::sin(T * 0.97f), 0.82f);
    }
    float Env = std::min(1.0f, T / FadeIn) * std::min(1.0f, float(N - I) / kSr / FadeOut);
    Out.L[size_t(I)] = Bl.Band(Nl.Next()) * Env * 0.5f;
    Out.R[size_t(I)] = Br.Band(Nr.Next()) * Env * 0.5f;
  }
  M.Fx.AddStereo(Out, From, Vel);
}

void Drone(Mix& M, int64_t From, int64_t To, float Midi, float Vel) {
  const int64_t N = To - From;
  std::vector<float> Out(static_cast<size_t>(N));
  SineOsc A, B;
  SawOsc S;
  Svf F;
  F.Set(260.0f, 0.2f);
  const float Hz = MidiToHz(Midi);
  for (int64_t I = 0; I < N; ++I) {
    float T = float(I) / kSr;
    float Env = std::min(1.0f, T / 6.0f) * std::min(1.0f, float(N - I) / kSr / 3.0f);
    Out[size_t(I)] = (A.Next(Hz) * 0.6f + B.Next(Hz * 1.5f) * 0.15f + F.Low(S.Next(Hz)) * 0.3f) * Env * 0.35f;
  }
  M.Bass.AddMono(Out, From, Vel, 0.0f);
}

// ---------------------------------------------------------- harmony -------

struct Chord {
  int Root;                // bass note
  std::vector<int> Notes;  // pad voicing
};
const Chord kAm{45, {57, 60, 64, 69}}, kF{41, {53, 57, 60, 65}}, kC{48, {55, 60, 64, 67}}, kG{43, {55, 59, 62, 67}};
const Chord kCm{48, {55, 60, 63, 67}}, kAb{44, {56, 60, 63, 68}}, kEb{39, {55, 58, 63, 67}}, kBb{46, {53, 58, 62, 65}};
const Chord kFmaj7{41, {53, 57, 60, 64}}, kEm7{40, {52, 55, 59, 62}}, kDm7{38, {50, 53, 57, 60}},
    kCmaj7{36, {48, 52, 55, 59}};
const Chord* const kMain[4] = {&kAm, &kF, &kC, &kG};
const Chord* const kDark[4] = {&kCm, &kAb, &kEb, &kBb};
const Chord* const kCalm[4] = {&kFmaj7, &kEm7, &kDm7, &kCmaj7};

// The chord of a step, one chord per bar (two steps) counted from From.
const Chord& ChordOf(const Chord* const* Prog, int From, int Step, int StepsPerChord = 2) {
  return *Prog[((Step - From) / StepsPerChord) % 4];
}

struct Note {
  int Start;  // eighths from the phrase start
  int Len;    // eighths
  int Midi;
};
// The main hook over Am F C G, four bars, and its answer.
const std::vector<Note> kHookA = {{0, 2, 69},  {2, 1, 72},  {3, 1, 76},  {4, 3, 81},  {7, 1, 79},  {8, 1, 77},
                                  {9, 1, 76},  {10, 2, 72}, {12, 2, 69}, {14, 1, 72}, {15, 1, 74}, {16, 3, 76},
                                  {19, 1, 79}, {20, 1, 76}, {21, 1, 74}, {22, 2, 72}, {24, 2, 74}, {26, 1, 71},
                                  {27, 1, 67}, {28, 2, 71}, {30, 1, 74}, {31, 1, 76}};
const std::vector<Note> kHookB = {{0, 2, 69},  {2, 1, 72},  {3, 1, 76},  {4, 3, 81},  {7, 1, 83},  {8, 2, 84},
                                  {10, 1, 83}, {11, 1, 81}, {12, 3, 77}, {15, 1, 76}, {16, 2, 79}, {18, 2, 76},
                                  {20, 3, 72}, {23, 1, 74}, {24, 2, 74}, {26, 2, 76}, {28, 4, 76}};
// The colour change over Cm Ab Eb Bb.
const std::vector<Note> kDarkTune = {{0, 3, 72},  {3, 1, 75},  {4, 2, 79},  {6, 2, 77},  {8, 3, 75},
                                     {11, 1, 72}, {12, 4, 68}, {16, 2, 70}, {18, 2, 75}, {20, 2, 79},
                                     {22, 2, 82}, {24, 3, 77}, {27, 1, 75}, {28, 4, 74}};

// Plays a phrase from Step on, cut at Until; Transpose in semitones; a
// Harmony offset > 0 adds a second voice that many scale steps below
// (approximated by a diatonic third: 3 or 4 semitones, whichever is in key).
void Phrase(Mix& M, const std::vector<Note>& Tune, int Step, int Until, int Transpose, float Vel, bool Harmony = false) {
  static const bool InA[12] = {true, false, true, true, false, true, false, true, true, false, true, false};
  for (const Note& N : Tune) {
    int64_t Start = int64_t(Step) * kStepSamples + int64_t(N.Start) * (kStepSamples / 4);
    if (Start >= At(Until)) continue;
    int64_t Gate = int64_t(N.Len) * (kStepSamples / 4) - 600;
    Lead(M, Start, Gate, float(N.Midi + Transpose), Vel, 0.0f);
    if (Harmony) {
      int Below = InA[(N.Midi + Transpose - 3 - 57 + 120) % 12] ? 3 : 4;
      Lead(M, Start, Gate, float(N.Midi + Transpose - Below), Vel * 0.55f, -0.5f);
    }
  }
}

// ------------------------------------------------------------ patterns ----

struct BeatStyle {
  bool Kick = true, Clap = true, OpenHat = true, Hats16 = false, HalfTime = false;
  float Level = 1.0f;
};

void Beat(Mix& M, int From, int To, const BeatStyle& B) {
  for (int S = From; S < To; ++S) {
    bool BarStart = ((S - From) % 2) == 0;
    for (int K = 0; K < 8; ++K) {
      int64_t T = At16(S, K);
      if (B.HalfTime) {
        if (K == 0 && BarStart && B.Kick) Kick(M, T, 0.85f * B.Level);
        if (K == 5 && !BarStart && B.Kick) Kick(M, T, 0.5f * B.Level);
        if (K == 0 && !BarStart && B.Clap) Snare(M, T, 0.5f * B.Level, 0.18f);
      } else {
        if ((K == 0 || K == 4) && B.Kick) Kick(M, T, 0.95f * B.Level);
        if (K == 4 && B.Clap) Clap(M, T, 0.55f * B.Level);
      }
      if (B.OpenHat && (K == 2 || K == 6)) Hat(M, T, 0.3f * B.Level, true, 0.25f);
      if (B.Hats16 && (K & 1)) Hat(M, T, (K == 3 || K == 7 ? 0.22f : 0.15f) * B.Level, false, -0.3f);
      if (!B.Hats16 && !B.OpenHat && (K == 2 || K == 6)) Hat(M, T, 0.2f * B.Level, false, -0.2f);
    }
  }
}

// A snare roll that speeds up and swells into To.
void Roll(Mix& M, int From, int To, float Vel) {
  const int64_t A = At(From), B = At(To);
  int64_t T = A;
  while (T < B) {
    float U = float(T - A) / float(B - A);
    Snare(M, T, Vel * (0.25f + 0.75f * U), 0.09f);
    T += U < 0.5f ? kSixteenth * 2 : (U < 0.8f ? kSixteenth : kSixteenth / 2);
  }
}

// Offbeat bass on the chord roots (trance style), with a fill at the end of
// every four-bar phrase.
void OffbeatBass(Mix& M, const Chord* const* Prog, int From, int To, float Cutoff, bool Ghosts) {
  for (int S = From; S < To; ++S) {
    const Chord& C = ChordOf(Prog, From, S);
    bool Fill = ((S - From) % 8) == 7;
    for (int K : {2, 6}) Bass(M, At16(S, K), kSixteenth * 3 / 2, float(C.Root), 0.9f, Cutoff, 3.0f);
    if (Ghosts) Bass(M, At16(S, 7), kSixteenth / 2, float(C.Root + 12), 0.45f, Cutoff, 2.0f);
    if (Fill) Bass(M, At16(S, 4), kSixteenth, float(C.Root + 12), 0.6f, Cutoff, 3.0f);
  }
}

// Rolling sixteenth bass, silent where the kick falls.
void RollingBass(Mix& M, const Chord* const* Prog, int From, int To, float Cutoff) {
  for (int S = From; S < To; ++S) {
    const Chord& C = ChordOf(Prog, From, S);
    for (int K : {1, 2, 3, 5, 6, 7}) {
      int Midi = C.Root + ((K == 3 || K == 7) ? 12 : 0);
      Bass(M, At16(S, K), kSixteenth * 3 / 4, float(Midi), K == 3 || K == 7 ? 0.7f : 0.85f, Cutoff, 4.0f);
    }
  }
}

void Pads(Mix& M, const Chord* const* Prog, int From, int To, float Vel, float Cutoff, int StepsPerChord = 2) {
  for (int S = From; S < To; S += StepsPerChord) {
    const Chord& C = ChordOf(Prog, From, S, StepsPerChord);
    int Len = std::min(StepsPerChord, To - S);
    PadChord(M, At(S), At(S + Len) - At(S) - 400, C.Notes, Vel, Cutoff);
  }
}

void Arps(Mix& M, const Chord* const* Prog, int From, int To, float Vel, float Cutoff, int Octave = 12,
          int StepsPerChord = 2) {
  static const int Order[8] = {0, 2, 1, 3, 2, 0, 3, 1};
  for (int S = From; S < To; ++S) {
    const Chord& C = ChordOf(Prog, From, S, StepsPerChord);
    for (int K = 0; K < 8; ++K) {
      float Pan = (K & 1) ? 0.35f : -0.35f;
      Pluck(M, At16(S, K), float(C.Notes[size_t(Order[K])] + Octave), Vel * (K == 0 ? 1.0f : 0.8f), Cutoff, Pan);
    }
  }
}

// ---------------------------------------------------------- arrangement ---

// Where each scene begins, in steps: the show's own table (show/ShowTime.h),
// so that the music changes section exactly where the picture does. Every
// other step below is counted from the scene it belongs to.
constexpr int Opening = int(SceneSteps[0]), Logo = int(SceneSteps[1]), Sky = int(SceneSteps[2]),
              Disc = int(SceneSteps[3]), Noise = int(SceneSteps[4]), Ball = int(SceneSteps[5]),
              Fire = int(SceneSteps[6]), Cone = int(SceneSteps[7]), Name = int(SceneSteps[8]),
              Credits = int(SceneSteps[9]), Crew = int(SceneSteps[10]), Greetings = int(SceneSteps[11]),
              Emblem = int(SceneSteps[12]), Afterglow = int(SceneSteps[13]), End = kShowSteps;

void Arrange(Mix& M) {
  // The opening text. Wind, a drone, slow chords that open up, bells; a
  // heartbeat and a filtered arpeggio creep in.
  Wind(M, 0, At(Logo + 3), 0.9f, 7.0f, 4.0f);
  Drone(M, 0, At(Logo), 33.0f, 0.9f);
  for (int S = Opening; S < Logo; S += 4) {
    const Chord& C = ChordOf(kMain, Opening, S, 4);
    float U = float(S) / float(Logo);
    PadChord(M, At(S), At(std::min(S + 4, Logo)) - At(S) - 400, C.Notes, 0.55f + 0.45f * U, 500.0f + 2200.0f * U,
             1.2f, 1.6f);
  }
  static const int BellOrder[8] = {3, 2, 1, 2, 3, 1, 2, 0};
  for (int S = Opening + 8; S < Logo; S += 2) {
    const Chord& C = ChordOf(kMain, Opening, S, 4);
    int I = (S / 2) % 8;
    Bell(M, At(S), float(C.Notes[size_t(BellOrder[I])] + 12), 0.5f, I % 2 ? 0.5f : -0.5f);
    if (S % 8 == 6) Bell(M, At16(S, 3), float(C.Notes[size_t(BellOrder[(I + 3) % 8])] + 12), 0.35f, 0.0f);
  }
  const int ArpFrom = Opening + 24;
  for (int S = ArpFrom; S < Logo; ++S) {
    const Chord& C = ChordOf(kMain, Opening, S, 4);
    float U = float(S - ArpFrom) / float(Logo - ArpFrom);
    static const int Order[8] = {0, 2, 1, 3, 2, 0, 3, 1};
    for (int K = 0; K < 8; ++K)
      Pluck(M, At16(S, K), float(C.Notes[size_t(Order[K])] + 12), 0.35f + 0.35f * U, 350.0f + 900.0f * U,
            (K & 1) ? 0.4f : -0.4f);
  }
  const int HeartFrom = Logo - 12, HeartTo = Logo + 4;
  for (int S = HeartFrom; S < HeartTo; ++S)
    for (int K : {0, 4}) Kick(M, At16(S, K), 0.3f + 0.25f * float(S - HeartFrom) / float(HeartTo - HeartFrom));
  for (int S = Logo - 4; S < Logo; ++S)
    for (int K : {2, 6}) Hat(M, At16(S, K), 0.15f, false, 0.2f);

  // The logo zooms in. A riser, a roll, the dominant chord held.
  Riser(M, At(Logo), At(Sky), 0.7f);
  Roll(M, Logo + 2, Sky, 0.55f);
  PadChord(M, At(Logo), At(Sky) - At(Logo), kG.Notes, 0.9f, 1800.0f, 0.6f, 0.3f);
  Bass(M, At(Logo), At(Sky) - At(Logo) - 2000, float(kG.Root), 0.55f, 300.0f, 1.0f);
  ReverseCrash(M, At(Sky), 2.2f, 0.5f);

  // The beat drops under the sky.
  Crash(M, At(Sky), 0.8f);
  Beat(M, Sky, Disc, BeatStyle{});
  OffbeatBass(M, kMain, Sky, Disc, 420.0f, false);
  Pads(M, kMain, Sky, Disc, 0.8f, 2200.0f);

  // The crop circle. An arpeggio joins; a roll and a riser at the end.
  BeatStyle Busy;
  Busy.Hats16 = true;
  Beat(M, Disc, Noise, Busy);
  OffbeatBass(M, kMain, Disc, Noise, 480.0f, false);
  Pads(M, kMain, Disc, Noise, 0.75f, 2600.0f);
  Arps(M, kMain, Disc, Noise, 0.55f, 1500.0f);
  Roll(M, Noise - 3, Noise, 0.6f);
  Riser(M, At(Noise - 3), At(Noise), 0.5f);

  // The noise. Drums out, glitches, a filtered chord.
  Glitch(M, Noise, Ball);
  PadChord(M, At(Noise), At(Ball) - At(Noise), kF.Notes, 0.7f, 700.0f, 0.05f, 0.4f);
  ReverseCrash(M, At(Ball), 1.6f, 0.6f);

  // The sprite ball. Full energy, the hook.
  Crash(M, At(Ball), 0.85f);
  Beat(M, Ball, Fire, Busy);
  OffbeatBass(M, kMain, Ball, Fire, 520.0f, true);
  Pads(M, kMain, Ball, Fire, 0.7f, 2800.0f);
  Arps(M, kMain, Ball, Fire, 0.45f, 1800.0f);
  Phrase(M, kHookA, Ball, Ball + 8, 0, 0.8f);
  Phrase(M, kHookB, Ball + 8, Fire, 0, 0.8f);

  // The fire twins. The hook, answered, in harmony.
  Crash(M, At(Fire), 0.85f);
  Beat(M, Fire, Cone, Busy);
  OffbeatBass(M, kMain, Fire, Cone, 560.0f, true);
  Pads(M, kMain, Fire, Cone, 0.7f, 3000.0f);
  Arps(M, kMain, Fire, Cone, 0.45f, 2000.0f, 24);
  Phrase(M, kHookA, Fire, Fire + 8, 0, 0.8f, true);
  Phrase(M, kHookB, Fire + 8, Fire + 16, 0, 0.8f, true);
  Phrase(M, kHookA, Fire + 16, Cone, 12, 0.65f);
  Roll(M, Cone - 2, Cone, 0.5f);

  // The cone and the swarm. The colour changes: C minor, rolling bass,
  // stabs on the offbeats.
  Crash(M, At(Cone), 0.85f);
  Beat(M, Cone, Name, Busy);
  RollingBass(M, kDark, Cone, Name, 380.0f);
  Pads(M, kDark, Cone, Name, 0.55f, 1600.0f);
  for (int S = Cone; S < Name; ++S)
    for (int K : {2, 6}) Stab(M, At16(S, K), ChordOf(kDark, Cone, S).Notes, 0.5f);
  Arps(M, kDark, Cone + 16, Name, 0.4f, 1400.0f, 24);

  // And the discs and letters. The dark tune on top; a build.
  Crash(M, At(Name), 0.85f);
  Beat(M, Name, Credits, Busy);
  RollingBass(M, kDark, Name, Credits, 450.0f);
  Pads(M, kDark, Name, Credits, 0.6f, 2200.0f);
  for (int S = Name; S < Credits; ++S)
    for (int K : {2, 6}) Stab(M, At16(S, K), ChordOf(kDark, Name, S).Notes, 0.45f);
  Phrase(M, kDarkTune, Name, Name + 8, 0, 0.8f);
  Phrase(M, kDarkTune, Name + 8, Credits, 0, 0.8f, true);
  Roll(M, Credits - 3, Credits, 0.55f);
  Riser(M, At(Credits - 4), At(Credits), 0.45f);

  // Credits, first page. Calm: half-time beat, electric piano, a plucked
  // line with long echoes, a warm bass.
  Crash(M, At(Credits), 0.5f);
  BeatStyle Calm;
  Calm.HalfTime = true;
  Calm.OpenHat = false;
  Calm.Level = 0.8f;
  Beat(M, Credits, Crew, Calm);
  for (int S = Credits; S < Crew; S += 2) {
    const Chord& C = ChordOf(kCalm, Credits, S);
    for (size_t I = 0; I < C.Notes.size(); ++I)
      EPiano(M, At(S) + int64_t(I) * 300, At(2) - 2000, float(C.Notes[I] + 12), 0.55f, float(I) * 0.3f - 0.45f);
    EPiano(M, At16(S + 1, 4), kSixteenth * 3, float(C.Notes[3] + 12), 0.35f, 0.3f);
    Bass(M, At(S), At(2) - 3000, float(C.Root), 0.55f, 220.0f, 0.5f);
  }
  Pads(M, kCalm, Credits, Crew, 0.45f, 1300.0f);
  {
    static const int Line[16] = {3, -1, 2, 1, -1, 3, 2, -1, 1, -1, 2, 3, -1, 1, 0, -1};
    const int LineFrom = Credits + 8;
    for (int S = LineFrom; S < Crew; ++S) {
      const Chord& C = ChordOf(kCalm, Credits, S);
      for (int K = 0; K < 8; K += 2) {
        int Idx = Line[((S - LineFrom) * 4 + K / 2) % 16];
        if (Idx >= 0) Pluck(M, At16(S, K), float(C.Notes[size_t(Idx)] + 24), 0.5f, 1100.0f, Idx % 2 ? 0.4f : -0.4f);
      }
    }
  }

  // Credits, second page. The same calm, moving more; a build.
  BeatStyle Calm2 = Calm;
  Calm2.Hats16 = true;
  Beat(M, Crew, Greetings, Calm2);
  for (int S = Crew; S < Greetings; S += 2) {
    const Chord& C = ChordOf(kCalm, Crew, S);
    for (size_t I = 0; I < C.Notes.size(); ++I)
      EPiano(M, At(S) + int64_t(I) * 300, At(2) - 2000, float(C.Notes[I] + 12), 0.5f, float(I) * 0.3f - 0.45f);
    for (int K = 0; K < 16; K += 2) {
      int Sub = K < 8 ? 0 : 1;
      Bass(M, At16(S + Sub, K % 8), kSixteenth * 3 / 2, float(C.Root + (K == 6 || K == 14 ? 12 : 0)), 0.6f, 300.0f,
           2.0f);
    }
  }
  Pads(M, kCalm, Crew, Greetings, 0.5f, 1600.0f);
  Arps(M, kCalm, Crew + 8, Greetings, 0.35f, 1300.0f, 12);
  for (int S = Greetings - 8; S < Greetings; ++S) Clap(M, At16(S, 4), 0.35f);
  Riser(M, At(Greetings - 4), At(Greetings), 0.5f);
  Roll(M, Greetings - 2, Greetings, 0.5f);
  ReverseCrash(M, At(Greetings), 1.8f, 0.5f);

  // The greetings. The main theme: groove, theme, breakdown, last chorus,
  // build into the final hit.
  const int Breakdown = Greetings + 32, Chorus = Greetings + 48;
  Crash(M, At(Greetings), 0.85f);
  Beat(M, Greetings, Breakdown, Busy);
  OffbeatBass(M, kMain, Greetings, Breakdown, 520.0f, true);
  Pads(M, kMain, Greetings, Breakdown, 0.7f, 2800.0f);
  Arps(M, kMain, Greetings, Breakdown, 0.45f, 1900.0f);
  Phrase(M, kHookA, Greetings + 8, Greetings + 16, 0, 0.8f);
  Crash(M, At(Greetings + 16), 0.7f);
  Phrase(M, kHookA, Greetings + 16, Greetings + 24, 0, 0.8f, true);
  Phrase(M, kHookB, Greetings + 24, Breakdown, 0, 0.8f, true);
  // Breakdown.
  BeatStyle Light;
  Light.Kick = false;
  Light.Hats16 = true;
  Light.Level = 0.7f;
  Beat(M, Breakdown, Chorus - 4, Light);
  Pads(M, kMain, Breakdown, Chorus, 0.85f, 1700.0f);
  for (int S = Breakdown; S < Chorus; S += 2)
    Bass(M, At(S), At(2) - 3000, float(ChordOf(kMain, Breakdown, S).Root), 0.6f, 200.0f, 0.5f);
  for (const Note& N : kHookA)
    Bell(M, At(Breakdown) + int64_t(N.Start) * (kStepSamples / 4), float(N.Midi), 0.55f, (N.Start % 4) ? 0.3f : -0.3f);
  for (const Note& N : kHookB)
    Bell(M, At(Breakdown + 8) + int64_t(N.Start) * (kStepSamples / 4), float(N.Midi), 0.55f,
         (N.Start % 4) ? 0.3f : -0.3f);
  Roll(M, Chorus - 4, Chorus, 0.6f);
  Riser(M, At(Chorus - 4), At(Chorus), 0.55f);
  // Last chorus.
  Crash(M, At(Chorus), 0.9f);
  Beat(M, Chorus, Emblem - 2, Busy);
  OffbeatBass(M, kMain, Chorus, Emblem - 2, 580.0f, true);
  Pads(M, kMain, Chorus, Emblem, 0.75f, 3200.0f);
  Arps(M, kMain, Chorus, Emblem - 2, 0.45f, 2200.0f, 24);
  Phrase(M, kHookA, Chorus, Chorus + 8, 12, 0.7f, true);
  Phrase(M, kHookB, Chorus + 8, Emblem - 4, 12, 0.7f, true);
  Lead(M, At(Emblem - 4), At(Emblem) - At(Emblem - 4) - 2000, 81.0f, 0.6f);
  Roll(M, Emblem - 3, Emblem, 0.6f);
  Riser(M, At(Emblem - 4), At(Emblem), 0.5f);
  ReverseCrash(M, At(Emblem), 2.0f, 0.6f);

  // The logo. One last hit; the chord rings out and fades away.
  Impact(M, At(Emblem), 1.0f);
  Stab(M, At(Emblem), {57, 64, 69, 72, 76}, 0.9f);
  PadChord(M, At(Emblem), At(End - 3) - At(Emblem), {45, 57, 64, 69, 72, 76}, 0.95f, 2400.0f, 0.01f, 2.5f);
  Lead(M, At(Emblem), At(Emblem + 4) - At(Emblem), 81.0f, 0.55f);
  Bell(M, At(Emblem), 81.0f, 0.6f, -0.3f);
  Bell(M, At(Emblem + 1), 76.0f, 0.45f, 0.3f);
  Bell(M, At(Emblem + 2), 72.0f, 0.4f, -0.2f);
  Bell(M, At(Emblem + 3), 69.0f, 0.4f, 0.2f);
  Drone(M, At(Emblem), At(End), 33.0f, 0.8f);
}

}  // namespace

std::vector<float> RenderTune() {
  const size_t N = size_t(kTuneSeconds * kSampleRate);
  Mix M(N);
  Arrange(M);

  // Kick ducking ("pumping") of the sustained parts.
  std::vector<float> Duck(N, 1.0f);
  std::sort(M.Kicks.begin(), M.Kicks.end());
  for (size_t K = 0; K < M.Kicks.size(); ++K) {
    int64_t From = M.Kicks[K];
    int64_t To = K + 1 < M.Kicks.size() ? M.Kicks[K + 1] : int64_t(N);
    for (int64_t I = std::max<int64_t>(From, 0); I < To && I < int64_t(N); ++I) {
      float T = float(I - From) / kSr;
      Duck[size_t(I)] = 1.0f - 0.6f * std::exp(-T / 0.11f);
    }
  }
  auto ApplyDuck = [&](Stereo& S, float Depth) {
    for (size_t I = 0; I < N; ++I) {
      float G = 1.0f - Depth * (1.0f - Duck[I]);
      S.L[I] *= G;
      S.R[I] *= G;
    }
  };
  ApplyDuck(M.Pad, 1.0f);
  ApplyDuck(M.Bass, 0.6f);
  ApplyDuck(M.Arp, 0.45f);
  ApplyDuck(M.Keys, 0.3f);

  // Sends.
  Stereo DelaySend(N), ReverbSend(N), Wet(N);
  auto Send = [&](const Stereo& S, Stereo& To, float G) {
    for (size_t I = 0; I < N; ++I) {
      To.L[I] += S.L[I] * G;
      To.R[I] += S.R[I] * G;
    }
  };
  Send(M.Lead, DelaySend, 0.3f);
  Send(M.Arp, DelaySend, 0.4f);
  Send(M.Keys, DelaySend, 0.35f);
  Stereo Echo(N);
  PingPongDelay(DelaySend, Echo, kSixteenth * 3, 0.45f, 3500.0f);
  Send(M.Drums, ReverbSend, 0.08f);
  Send(M.Pad, ReverbSend, 0.35f);
  Send(M.Lead, ReverbSend, 0.25f);
  Send(M.Arp, ReverbSend, 0.2f);
  Send(M.Keys, ReverbSend, 0.45f);
  Send(M.Fx, ReverbSend, 0.45f);
  Send(Echo, ReverbSend, 0.3f);
  FdnReverb(ReverbSend, Wet, 3.2f, 5000.0f, int(0.025f * kSr));

  // Sum with the bus levels.
  std::vector<float> Out(N * 2);
  const struct {
    const Stereo* S;
    float G;
  } Buses[] = {{&M.Drums, 1.0f}, {&M.Bass, 0.9f}, {&M.Pad, 0.8f},  {&M.Lead, 0.75f}, {&M.Arp, 0.6f},
               {&M.Keys, 0.8f},  {&M.Fx, 0.7f},   {&Echo, 0.45f}, {&Wet, 0.55f}};
  for (const auto& B : Buses)
    for (size_t I = 0; I < N; ++I) {
      Out[I * 2] += B.S->L[I] * B.G;
      Out[I * 2 + 1] += B.S->R[I] * B.G;
    }

  // The close: from the afterglow on a fade that reaches silence at the end.
  const int64_t FadeFrom = At(Afterglow), FadeTo = At(End);
  for (size_t I = 0; I < N; ++I) {
    float G = 1.0f;
    if (int64_t(I) >= FadeTo) G = 0.0f;
    else if (int64_t(I) > FadeFrom) {
      float U = float(int64_t(I) - FadeFrom) / float(FadeTo - FadeFrom);
      G = std::cos(U * float(kTwoPi) * 0.25f);
      G *= G;
    }
    Out[I * 2] *= G;
    Out[I * 2 + 1] *= G;
  }

  // Master: normalise, soft-limit the peaks with tanh, and bring the loudest
  // sample to kMasterPeak, well clear of full scale.
  float Peak = 0.0f;
  for (float V : Out) Peak = std::max(Peak, std::fabs(V));
  if (Peak > 0.0f) {
    const float Drive = 1.6f;
    const float Norm = std::tanh(Drive);
    for (float& V : Out) V = std::tanh(Drive * V / Peak) / Norm;
    float Peak2 = 0.0f;
    for (float V : Out) Peak2 = std::max(Peak2, std::fabs(V));
    for (float& V : Out) V *= kMasterPeak / Peak2;
  }
  return Out;
}

}  // namespace assetgen
