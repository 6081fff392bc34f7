// The span steps' table division against the division instruction.
#include <gtest/gtest.h>

#include <cstdint>

#include "show/3d/SpanDivide.h"

namespace {

using spandiv::SpanDivisor;
using spandiv::SpanReciprocalLimit;

// Every length in the table over every dividend |N| < 2^32. For a divisor d
// the product overshoots N / d by an amount that grows with |N|, and never
// falls short, so a remainder r fails first at its largest dividend: the top
// d dividends hold each remainder at its largest, and passing them proves
// the whole range. The bottom of the range catches sign and zero mistakes.
TEST(SpanDivide, ExactForEveryDividendOfEveryTableLength) {
  const int64_t Top = (int64_t(1) << 32) - 1;
  int64_t Wrong = 0;
  for (int64_t D = 1; D <= SpanReciprocalLimit; ++D) {
    const SpanDivisor Div(D);
    auto Check = [&](int64_t N) {
      if (Div.Divide(N) != N / D && ++Wrong <= 5) ADD_FAILURE() << N << " / " << D << " gave " << Div.Divide(N);
      if (Div.Divide(-N) != -N / D && ++Wrong <= 5) ADD_FAILURE() << -N << " / " << D << " gave " << Div.Divide(-N);
    };
    for (int64_t N = Top - D + 1; N <= Top; ++N) Check(N);
    for (int64_t N = 0; N <= 2 * D + 1; ++N) Check(N);
  }
  EXPECT_EQ(Wrong, 0);
}

TEST(SpanDivide, LengthsOutsideTheTableDivideAsBefore) {
  EXPECT_EQ(SpanDivisor(0).Divide(123456), 0);
  for (int64_t D : {int64_t(SpanReciprocalLimit) + 1, int64_t(64000), (int64_t(1) << 32) - 1})
    for (int64_t N : {int64_t(0), int64_t(-1), (int64_t(1) << 32) - 1, -(int64_t(1) << 31), int64_t(987654321)})
      EXPECT_EQ(SpanDivisor(D).Divide(N), N / D) << N << " / " << D;
}

}  // namespace
