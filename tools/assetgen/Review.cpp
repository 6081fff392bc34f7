// Review pictures (see Review.h).
#include "Review.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <cstdio>
#include <stdexcept>

#include "../../show/ShowTime.h"
#include "Noise.h"
#include "Text.h"

namespace assetgen {

namespace {

const Image8& Find(const std::vector<NamedPicture>& Pics, const std::string& Name) {
  for (const NamedPicture& P : Pics)
    if (P.Name == Name) return P.Pic;
  throw std::runtime_error("review: picture " + Name + " missing");
}

Image8 Canvas(int W, int H, uint8_t R, uint8_t G, uint8_t B) {
  Image8 C;
  C.W = W;
  C.H = H;
  C.Rgb8.resize(size_t(W) * H * 3);
  for (size_t I = 0; I < size_t(W) * H; ++I) C.Rgb8[I * 3] = R, C.Rgb8[I * 3 + 1] = G, C.Rgb8[I * 3 + 2] = B;
  return C;
}

// Alpha blend of Src onto Dst, skipping black (the show's keyed alpha draw).
void BlitAlphaKeyed(Image8& Dst, const Image8& Src, int X, int Y, int Alpha) {
  for (int Sy = 0; Sy < Src.H; ++Sy)
    for (int Sx = 0; Sx < Src.W; ++Sx) {
      int Dx = X + Sx, Dy = Y + Sy;
      if (Dx < 0 || Dy < 0 || Dx >= Dst.W || Dy >= Dst.H) continue;
      const uint8_t* S = &Src.Rgb8[(size_t(Sy) * Src.W + Sx) * 3];
      if (!(S[0] | S[1] | S[2])) continue;
      uint8_t* D = &Dst.Rgb8[(size_t(Dy) * Dst.W + Dx) * 3];
      for (int K = 0; K < 3; ++K) D[K] = uint8_t((S[K] * Alpha + D[K] * (255 - Alpha)) / 255);
    }
}

// The show's text: bold, grey, top-left at (X, Y) for a 32-pixel cell.
void ShowText(Image8& Dst, int X, int Y, const std::string& Text, uint8_t Grey) {
  TextStyle S;
  S.Face = FontFace::SansBold;
  S.PixelHeight = 24.0f;
  TextMask T = RenderText(Text, S, 0);
  // The baseline about 25 rows below the cell's top.
  BlendMask(Dst, T.M, X, Y + 25 - T.BaselineY, Grey, Grey, Grey);
}

// Flat-shaded triangle fill with a depth buffer (nearer = larger Inv).
struct Raster {
  Image8& Img;
  std::vector<float> Depth;
  Raster(Image8& I) : Img(I), Depth(size_t(I.W) * I.H, -std::numeric_limits<float>::infinity()) {}
  void Fill(const float* X, const float* Y, const float* Inv, uint8_t R, uint8_t G, uint8_t B, int Ox) {
    float MinX = std::min({X[0], X[1], X[2]}), MaxX = std::max({X[0], X[1], X[2]});
    float MinY = std::min({Y[0], Y[1], Y[2]}), MaxY = std::max({Y[0], Y[1], Y[2]});
    int X0 = std::max(0, int(std::floor(MinX))), X1 = std::min(639, int(std::ceil(MaxX)));
    int Y0 = std::max(0, int(std::floor(MinY))), Y1 = std::min(Img.H - 1, int(std::ceil(MaxY)));
    float Area = (X[1] - X[0]) * (Y[2] - Y[0]) - (Y[1] - Y[0]) * (X[2] - X[0]);
    if (std::fabs(Area) < 1e-9f) return;
    for (int Py = Y0; Py <= Y1; ++Py)
      for (int Px = X0; Px <= X1; ++Px) {
        float Cx = Px + 0.5f, Cy = Py + 0.5f;
        float W0 = ((X[1] - Cx) * (Y[2] - Cy) - (Y[1] - Cy) * (X[2] - Cx)) / Area;
        float W1 = ((X[2] - Cx) * (Y[0] - Cy) - (Y[2] - Cy) * (X[0] - Cx)) / Area;
        float W2 = 1.0f - W0 - W1;
        if (W0 < 0 || W1 < 0 || W2 < 0) continue;
        float Z = W0 * Inv[0] + W1 * Inv[1] + W2 * Inv[2];
        size_t I = size_t(Py) * Img.W + size_t(Px + Ox);
        if (Z <= Depth[I]) continue;
        Depth[I] = Z;
        uint8_t* D = &Img.Rgb8[I * 3];
        D[0] = R, D[1] = G, D[2] = B;
      }
  }
};

// Rotation in the show's order and sense: about x by StepX, then about y.
Vec3 Turn(Vec3 P, float Ax, float Ay) {
  float S = std::sin(Ax), C = std::cos(Ax);
  float Y1 = P.Y * C - P.Z * S, Z1 = P.Y * S + P.Z * C;
  float Sy = std::sin(Ay), Cy = std::cos(Ay);
  return {P.X * Cy - Z1 * Sy, Y1, P.X * Sy + Z1 * Cy};
}

// Draws M into the 640-wide panel at Ox, placed at (Px, Py, Pz), turned by
// the two angles, projected as the show does and shaded with its flat colours.
void DrawMesh(Raster& R, const Mesh& M, float Ax, float Ay, float Px, float Py, float Pz, int Ox) {
  std::vector<Vec3> V(M.V.size());
  for (size_t I = 0; I < M.V.size(); ++I) V[I] = Turn(M.V[I], Ax, Ay);
  for (const Tri& T : M.F) {
    Vec3 A = V[size_t(T.A)], B = V[size_t(T.B)], C = V[size_t(T.C)];
    Vec3 N = Normalize(Cross(B - A, C - A));
    float X[3], Y[3], Inv[3];
    const Vec3 P[3] = {A, B, C};
    bool Behind = false;
    for (int K = 0; K < 3; ++K) {
      float D = 100.0f - (P[K].Z + Pz);
      if (D <= 0.5f) Behind = true;
      float F = 480.0f / D;
      X[K] = F * (P[K].X + Px) + 320.0f;
      Y[K] = F * (P[K].Y + Py) + 240.0f;
      Inv[K] = 1.0f / D;
    }
    if (Behind) continue;
    // The show's back-face test: clockwise on the screen (y down) is front.
    float Wn = (X[1] - X[0]) * (Y[2] - Y[0]) - (Y[1] - Y[0]) * (X[2] - X[0]);
    if (Wn <= 0.0f) continue;
    float Light = std::max(0.0f, N.Z) * 160.0f;
    int L = int(std::lround(Light * 10.0f / 7.0f)) & 255;
    R.Fill(X, Y, Inv, uint8_t(L), uint8_t(L), uint8_t(255 - L), Ox);
  }
}

}  // namespace

Image8 ContactSheet(const std::vector<NamedPicture>& Pics) {
  // Three rows: the full-screen pictures; the wide logos; the rest.
  const int Gap = 16, LabelH = 22;
  std::vector<std::vector<std::string>> Rows = {
      {"GFX/gradiente.png", "GFX/mp056.jpg", "GFX/water.jpg"},
      {"GFX/nerith.png", "GFX/corvel.png", "GFX/tw_nr.png"},
      {"GFX/corvel_M.png", "GFX/fire11.jpg", "GFX/code.png", "GFX/music.png", "GFX/gfx.png", "GFX/ball.png",
       "GFX/star.bmp"}};
  int Width = 0, Height = Gap;
  std::vector<int> RowH;
  for (const auto& Row : Rows) {
    int W = Gap, H = 0;
    for (const auto& N : Row) {
      const Image8& P = Find(Pics, N);
      W += std::max(P.W, 120) + Gap;
      H = std::max(H, P.H);
    }
    Width = std::max(Width, W);
    RowH.push_back(H);
    Height += H + LabelH + Gap;
  }
  Image8 Sheet = Canvas(Width, Height, 46, 48, 56);
  int Y = Gap;
  for (size_t R = 0; R < Rows.size(); ++R) {
    int X = Gap;
    for (const auto& N : Rows[R]) {
      const Image8& P = Find(Pics, N);
      Blit(Sheet, P, X, Y);
      DrawLabel(Sheet, X, Y + P.H + 4, N + "  " + std::to_string(P.W) + "x" + std::to_string(P.H), 13.0f, 210, 210,
                220);
      X += std::max(P.W, 120) + Gap;
    }
    Y += RowH[R] + LabelH + Gap;
  }
  return Sheet;
}

Image8 MeshPreview(const Mesh& M) {
  Image8 Img = Canvas(1280, 480, 0, 0, 0);
  FillRect(Img, 640, 0, 640, 480, 24, 24, 30);
  Raster R(Img);
  ShowPlacement S = PlacementOf(M.Name);
  const float Step = kPi / 540.0f;
  DrawMesh(R, M, float(S.TiltX) * Step, float(S.TiltY) * Step, S.X, S.Y, S.Z, 0);
  // Three-quarter view, scaled to fill the panel.
  float Radius = 0.0f;
  for (const Vec3& P : M.V) Radius = std::max(Radius, Length(P));
  float Z = 100.0f - 480.0f * Radius / 190.0f;
  DrawMesh(R, M, -0.55f, 0.6f, 0.0f, 0.0f, Z, 640);
  char Info[128];
  std::snprintf(Info, sizeof Info, "%s: %d vertices, %d faces", M.Name.c_str(), int(M.V.size()), int(M.F.size()));
  DrawLabel(Img, 8, 6, Info, 14.0f, 230, 230, 230);
  DrawLabel(Img, 8, 458, "as the show places it", 13.0f, 180, 180, 180);
  DrawLabel(Img, 648, 458, "three-quarter view", 13.0f, 180, 180, 180);
  return Img;
}

std::vector<NamedPicture> MockUps(const std::vector<NamedPicture>& Pics) {
  std::vector<NamedPicture> Out;
  // The close: the gradient at full strength, the logo keyed across the middle.
  {
    Image8 S = Find(Pics, "GFX/gradiente.png");
    BlitKeyed(S, Find(Pics, "GFX/nerith.png"), 0, 200);
    Out.push_back({"mock_close.png", S});
  }
  // The logo over the starfield.
  {
    Image8 S = Canvas(640, 480, 0, 0, 0);
    Rng R(7);
    for (int I = 0; I < 600; ++I) {
      int X = R.Below(640), Y = R.Below(480), Z = R.Below(180);
      FillRect(S, X, Y, 1, 1, uint8_t(Z + 50), uint8_t(std::min(255, Z + 60)), uint8_t(std::min(255, Z + 70)));
    }
    BlitKeyed(S, Find(Pics, "GFX/nerith.png"), 0, 200);
    Out.push_back({"mock_logo.png", S});
  }
  // Credits, first page.
  {
    Image8 S = Find(Pics, "GFX/water.jpg");
    const Image8& Title = Find(Pics, "GFX/tw_nr.png");
    BlitKeyed(S, Title, 320 - Title.W / 2, 30);
    BlitKeyed(S, Find(Pics, "GFX/code.png"), 50, 100);
    BlitKeyed(S, Find(Pics, "GFX/music.png"), 50, 175);
    BlitKeyed(S, Find(Pics, "GFX/gfx.png"), 50, 250);
    ShowText(S, 100, 130, "Tarnwick", 127);
    ShowText(S, 100, 210, "Tarnwick", 127);
    ShowText(S, 100, 285, "Tarnwick", 127);
    Out.push_back({"mock_credits1.png", S});
  }
  // Credits, second page.
  {
    Image8 S = Find(Pics, "GFX/water.jpg");
    const Image8& Group = Find(Pics, "GFX/corvel.png");
    BlitAlphaKeyed(S, Group, 320 - Group.W / 2, 43, 55);
    BlitKeyed(S, Find(Pics, "GFX/corvel_M.png"), 20, 180);
    const struct {
      int X, Y;
      const char* T;
    } Labels[] = {{30, 215, "code /"},  {120, 215, "2d"},   {30, 290, "music /"}, {130, 290, "code /"}, {215, 290, "2d / ..."},
                  {30, 360, "2d /"},    {85, 360, "design"}, {30, 430, "2d /"},     {85, 430, "3d"}};
    for (const auto& L : Labels) ShowText(S, L.X, L.Y, L.T, 128);
    Out.push_back({"mock_credits2.png", S});
  }
  // Credits, second page, during a flash (the group logo added).
  {
    Image8 S = Find(Pics, "GFX/water.jpg");
    const Image8& Group = Find(Pics, "GFX/corvel.png");
    BlitAdd(S, Group, 320 - Group.W / 2, 43);
    Out.push_back({"mock_credits2_flash.png", S});
  }
  // The sprite ball over the backdrop.
  {
    Image8 S = Find(Pics, "GFX/mp056.jpg");
    const Image8& Ball = Find(Pics, "GFX/ball.png");
    Mesh Sphere = MakeObjSphere();
    for (const Vec3& P : Sphere.V) {
      float D = 100.0f - P.Z - 50.0f;
      BlitAdd(S, Ball, int(std::lround(P.X * 480.0f / D + 320.0f)), int(std::lround(P.Y * 480.0f / D + 240.0f)));
    }
    const Image8& Star = Find(Pics, "GFX/star.bmp");
    Rng R(3);
    for (int I = 0; I < 12; ++I) BlitAdd(S, Star, 40 + R.Below(560), 40 + R.Below(400));
    Out.push_back({"mock_sprites.png", S});
  }
  return Out;
}

}  // namespace assetgen

namespace assetgen {

namespace {
// In-place iterative radix-2 FFT of N (a power of two) complex values.
void Fft(std::vector<float>& Re, std::vector<float>& Im) {
  const size_t N = Re.size();
  for (size_t I = 1, J = 0; I < N; ++I) {
    size_t Bit = N >> 1;
    for (; J & Bit; Bit >>= 1) J ^= Bit;
    J ^= Bit;
    if (I < J) std::swap(Re[I], Re[J]), std::swap(Im[I], Im[J]);
  }
  for (size_t Len = 2; Len <= N; Len <<= 1) {
    double Ang = -2.0 * 3.14159265358979323846 / double(Len);
    for (size_t I = 0; I < N; I += Len)
      for (size_t K = 0; K < Len / 2; ++K) {
        float Wr = float(std::cos(Ang * double(K))), Wi = float(std::sin(Ang * double(K)));
        float Ur = Re[I + K], Ui = Im[I + K];
        float Vr = Re[I + K + Len / 2] * Wr - Im[I + K + Len / 2] * Wi;
        float Vi = Re[I + K + Len / 2] * Wi + Im[I + K + Len / 2] * Wr;
        Re[I + K] = Ur + Vr, Im[I + K] = Ui + Vi;
        Re[I + K + Len / 2] = Ur - Vr, Im[I + K + Len / 2] = Ui - Vi;
      }
  }
}
}  // namespace

Image8 Spectrogram(const std::vector<float>& Tune, const std::vector<int>& MarkSteps) {
  const size_t Frames = Tune.size() / 2;
  const int Cols = int(double(Frames) / 44100.0 / 0.2);
  const int Rows = 256, LoudH = 80, W = Cols, H = Rows + LoudH + 24;
  Image8 Img = Canvas(W, H, 0, 0, 0);
  const size_t Win = 2048;
  std::vector<float> Re(Win), Im(Win);
  for (int C = 0; C < Cols; ++C) {
    size_t Start = size_t(double(C) * 0.2 * 44100.0);
    double Sum = 0.0;
    for (size_t I = 0; I < Win; ++I) {
      size_t F = std::min(Frames - 1, Start + I);
      float Mono = 0.5f * (Tune[F * 2] + Tune[F * 2 + 1]);
      float Hann = 0.5f - 0.5f * std::cos(2.0f * kPi * float(I) / float(Win - 1));
      Re[I] = Mono * Hann;
      Im[I] = 0.0f;
      Sum += double(Mono) * Mono;
    }
    Fft(Re, Im);
    for (int R = 0; R < Rows; ++R) {
      // Row 0 at the top is 16 kHz; the bottom row 20 Hz.
      double Hz = 20.0 * std::pow(800.0, double(Rows - 1 - R) / (Rows - 1));
      size_t Bin = std::min(Win / 2 - 1, size_t(Hz * double(Win) / 44100.0));
      // Scaled so that a full-scale sine reads 0 dB (Hann window gain 1/2).
      float Mag = std::sqrt(Re[Bin] * Re[Bin] + Im[Bin] * Im[Bin]) * 4.0f / float(Win);
      float Db = 20.0f * std::log10(Mag + 1e-9f);
      float T = Clamp01((Db + 90.0f) / 80.0f);
      uint8_t* D = &Img.Rgb8[(size_t(R) * W + size_t(C)) * 3];
      D[0] = uint8_t(255.0f * Clamp01(T * 1.6f - 0.4f));
      D[1] = uint8_t(255.0f * Clamp01(T * 1.4f - 0.7f) + 0.0f);
      D[2] = uint8_t(255.0f * Clamp01(T < 0.5f ? T * 1.6f : 1.6f - T * 1.4f));
    }
    float Rms = float(std::sqrt(Sum / double(Win)));
    int Bar = int(Clamp01(Rms / 0.35f) * float(LoudH));
    FillRect(Img, C, Rows + LoudH - Bar, 1, Bar, 120, 200, 120);
  }
  for (int Step : MarkSteps) {
    int X = int(double(Step) * double(TimelineStep) / 0.2);
    FillRect(Img, X, 0, 1, Rows + LoudH, 255, 255, 255);
    DrawLabel(Img, X + 2, Rows + LoudH + 4, std::to_string(Step), 12.0f, 220, 220, 220);
  }
  return Img;
}

}  // namespace assetgen

namespace assetgen {

std::string MusicLevels(const std::vector<float>& Tune, const std::vector<int>& Steps) {
  std::string Out = "section (steps)   rms dBFS   peak dBFS   L/R balance dB\n";
  const size_t Frames = Tune.size() / 2;
  for (size_t I = 0; I + 1 < Steps.size(); ++I) {
    size_t A = size_t(Steps[I]) * 38808, B = std::min(Frames, size_t(Steps[I + 1]) * 38808);
    double Sl = 0, Sr = 0, Peak = 0;
    for (size_t F = A; F < B; ++F) {
      Sl += double(Tune[F * 2]) * Tune[F * 2];
      Sr += double(Tune[F * 2 + 1]) * Tune[F * 2 + 1];
      Peak = std::max(Peak, double(std::max(std::fabs(Tune[F * 2]), std::fabs(Tune[F * 2 + 1]))));
    }
    double N = double(std::max<size_t>(1, B - A));
    char Line[128];
    std::snprintf(Line, sizeof Line, "%3d-%3d           %7.1f    %7.1f      %+5.1f\n", Steps[I], Steps[I + 1],
                  10.0 * std::log10((Sl + Sr) / (2.0 * N) + 1e-12), 20.0 * std::log10(Peak + 1e-12),
                  10.0 * std::log10((Sl + 1e-12) / (Sr + 1e-12)));
    Out += Line;
  }
  return Out;
}

}  // namespace assetgen
