// KvSin, KvCos (see Trigonometry.h).
//
// X is reduced by the nearest multiple k of pi/2 in double-double arithmetic
// (pi/2 carried as three doubles, about 160 bits), then sine or cosine of the
// remainder r, |r| <= pi/4, is summed from its Taylor series in double-double
// and rounded once. Double-double: a value is an unevaluated sum Hi + Lo with
// |Lo| <= half an ulp of Hi (Dekker 1971; Shewchuk 1997 for the two-sum).
#include "Trigonometry.h"

#include <cmath>

namespace {

struct DD {
  double Hi, Lo;
};

// a + b exactly as Hi + Lo.
DD TwoSum(double A, double B) {
  const double S = A + B;
  const double V = S - A;
  const double E = (A - (S - V)) + (B - V);
  return {S, E};
}

DD QuickTwoSum(double A, double B) {  // |A| >= |B|
  const double S = A + B;
  return {S, B - (S - A)};
}

// Dekker's split: A = Hi + Lo with 26 significant bits each.
void Split(double A, double& Hi, double& Lo) {
  const double T = 134217729.0 * A;  // 2^27 + 1
  Hi = T - (T - A);
  Lo = A - Hi;
}

// a * b exactly as Hi + Lo.
DD TwoProd(double A, double B) {
  const double P = A * B;
  double Ah, Al, Bh, Bl;
  Split(A, Ah, Al);
  Split(B, Bh, Bl);
  const double E = ((Ah * Bh - P) + Ah * Bl + Al * Bh) + Al * Bl;
  return {P, E};
}

DD Add(DD A, DD B) {
  DD S = TwoSum(A.Hi, B.Hi);
  const DD T = TwoSum(A.Lo, B.Lo);
  S.Lo += T.Hi;
  S = QuickTwoSum(S.Hi, S.Lo);
  S.Lo += T.Lo;
  return QuickTwoSum(S.Hi, S.Lo);
}

DD Mul(DD A, DD B) {
  DD P = TwoProd(A.Hi, B.Hi);
  P.Lo += A.Hi * B.Lo + A.Lo * B.Hi;
  return QuickTwoSum(P.Hi, P.Lo);
}

DD MulD(DD A, double B) {
  DD P = TwoProd(A.Hi, B);
  P.Lo += A.Lo * B;
  return QuickTwoSum(P.Hi, P.Lo);
}

DD DivD(DD A, double B) {
  const double Q1 = A.Hi / B;
  const DD P = TwoProd(Q1, B);
  const DD R = Add(A, DD{-P.Hi, -P.Lo});
  const double Q2 = R.Hi / B;
  return QuickTwoSum(Q1, Q2);
}

// pi/2 = PiHalf0 + PiHalf1 + PiHalf2 to about 160 bits.
constexpr double PiHalf0 = 0x1.921fb54442d18p+0;
constexpr double PiHalf1 = 0x1.1a62633145c07p-54;
constexpr double PiHalf2 = -0x1.f1976b7ed8fbcp-110;
constexpr double TwoOverPi = 0x1.45f306dc9c883p-1;
constexpr double ReduceLimit = 1073741824.0;  // 2^30

constexpr int Terms = 14;  // (pi/4)^29 / 29! is below 2^-120

// 1/(2n+1)! and 1/(2n)! as double-doubles, built from divisions so that they
// are the same on every platform.
struct Coefficients {
  DD Odd[Terms];   // 1/1!, 1/3!, 1/5!, ...
  DD Even[Terms];  // 1/0!, 1/2!, 1/4!, ...
  Coefficients() {
    DD F{1.0, 0.0};
    for (int N = 0; N < 2 * Terms; ++N) {
      if (N > 0) F = DivD(F, double(N));
      if (N % 2 == 0)
        Even[N / 2] = F;
      else
        Odd[N / 2] = F;
    }
  }
};

const Coefficients& Coeffs() {
  static const Coefficients C;
  return C;
}

// sin r and cos r for |r| <= pi/4, by Horner's rule in r^2, alternating signs.
DD SinSeries(DD R) {
  const Coefficients& C = Coeffs();
  const DD R2 = Mul(R, R);
  DD Sum{0.0, 0.0};
  for (int N = Terms - 1; N >= 0; --N) {
    const DD Term = N % 2 ? DD{-C.Odd[N].Hi, -C.Odd[N].Lo} : C.Odd[N];
    Sum = Add(Mul(Sum, R2), Term);
  }
  return Mul(Sum, R);
}

DD CosSeries(DD R) {
  const Coefficients& C = Coeffs();
  const DD R2 = Mul(R, R);
  DD Sum{0.0, 0.0};
  for (int N = Terms - 1; N >= 0; --N) {
    const DD Term = N % 2 ? DD{-C.Even[N].Hi, -C.Even[N].Lo} : C.Even[N];
    Sum = Add(Mul(Sum, R2), Term);
  }
  return Sum;
}

// X - K * pi/2 as a double-double; Quadrant = K mod 4.
DD Reduce(double X, int& Quadrant) {
  const double K = std::nearbyint(X * TwoOverPi);
  DD R = TwoSum(X, 0.0);
  R = Add(R, [&] { const DD P = TwoProd(K, PiHalf0); return DD{-P.Hi, -P.Lo}; }());
  R = Add(R, [&] { const DD P = TwoProd(K, PiHalf1); return DD{-P.Hi, -P.Lo}; }());
  R = Add(R, DD{-K * PiHalf2, 0.0});
  Quadrant = int(static_cast<long long>(K) & 3);
  return R;
}

double Rounded(DD V) { return V.Hi + V.Lo; }

}  // namespace

double KvSin(double X) {
  if (!(std::fabs(X) < ReduceLimit)) return std::sin(X);
  if (X == 0.0) return X;  // keeps the sign of -0
  int Quadrant;
  const DD R = Reduce(X, Quadrant);
  switch (Quadrant) {
    case 0:
      return Rounded(SinSeries(R));
    case 1:
      return Rounded(CosSeries(R));
    case 2:
      return -Rounded(SinSeries(R));
    default:
      return -Rounded(CosSeries(R));
  }
}

double KvCos(double X) {
  if (!(std::fabs(X) < ReduceLimit)) return std::cos(X);
  int Quadrant;
  const DD R = Reduce(X, Quadrant);
  switch (Quadrant) {
    case 0:
      return Rounded(CosSeries(R));
    case 1:
      return -Rounded(SinSeries(R));
    case 2:
      return -Rounded(CosSeries(R));
    default:
      return Rounded(SinSeries(R));
  }
}
