// KvSin, KvCos: sine and cosine from + - * / alone, so that every platform
// the engine is built for gets the same bits. The C libraries differ in the
// last bit for some inputs (MinGW's against glibc's), and a frame that
// depends on such a bit would differ from one platform to the other.
//
// Results are the correctly rounded value except in rare cases within about
// 2^-40 units in the last place of a rounding boundary, and then the same on
// every platform. |X| up to 2^30 is reduced exactly enough; beyond that, and
// for infinities and NaN, the C library's result is returned.
//
// Depends on: nothing. Compiled with -ffp-contract=off (fused multiply-adds
// would break the exact products).
#pragma once

double KvSin(double X);
double KvCos(double X);
