// The order of additions of each ddot variant, written out plainly with scalar accumulators,
// so that the vector kernels can be checked bit for bit against it.  Every variant has the
// same shape: a few products peeled into one running sum or lane 0, whole blocks spread over
// lanes (element q of a block goes to lane q mod lanes), the rest, then a fixed reduction.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "tests/support/test_support.h"

namespace ztr::test {

inline double ld(const double* p) {
  double v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

inline std::uintptr_t mis(const double* p, std::uintptr_t b) {
  return reinterpret_cast<std::uintptr_t>(p) % b;
}

// Element i in BLAS order.
inline double elem(const double* v, int n, int inc, int i) {
  return ld(v + at(i, n, inc));
}

inline double ref_strided(int n, const double* x, int incx, const double* y, int incy) {
  double s = 0.0;
  for (int i = 0; i < n; ++i) s = s + elem(x, n, incx, i) * elem(y, n, incy, i);
  return s;
}

// Types 2 and 3: unit stride of one sign in memory order, 16-byte aligned or both off by 8
// (one product peeled into lane 0); eight lanes over blocks of 16, then 8, 4, 2, 1.
// Types 4 and 5: unit stride, 8-byte aligned; from 32 elements a product peeled into lane 0
// to align x and eight lanes over blocks of 32; the rest in the running sum.
// Types 6 and 7: unit stride (type 7 also any nonzero stride) from 16 elements; up to three
// products peeled into the running sum to align y (unit stride); sixteen lanes over blocks
// of 16; the rest in the running sum.
inline double ref_ddot(int type, int n, const double* x, int incx, const double* y, int incy) {
  if (n <= 0) return 0.0;
  const bool unit = incx == 1 && incy == 1;
  bool memory_order = false;
  auto e = [&](int i) {
    return memory_order ? ld(x + i) * ld(y + i) : elem(x, n, incx, i) * elem(y, n, incy, i);
  };
  double s[16] = {}, run = 0.0;
  int i = 0;
  auto lanes = [&](int count, int block) {
    for (; n - i >= block; i += block)
      for (int q = 0; q < block; ++q) s[q % count] = s[q % count] + e(i + q);
  };
  auto quad = [&](int j, int step) {
    return (s[j] + s[j + step]) + (s[j + 2 * step] + s[j + 3 * step]);
  };
  auto rest = [&] {
    for (; i < n; ++i) run = run + e(i);
    return run;
  };
  if (type <= 3) {
    memory_order = unit || (incx == -1 && incy == -1);
    if (!memory_order) return rest();
    if (mis(x, 16) != 0 || mis(y, 16) != 0) {
      if (mis(x, 16) != 8 || mis(y, 16) != 8) return memory_order = false, rest();
      s[0] = e(i++);
    }
    for (int block : {16, 8, 4, 2, 1}) lanes(8, block);
    if (type == 2) return quad(0, 2) + quad(1, 2);
    return (((s[0] + s[2]) + s[4]) + s[6]) + (((s[1] + s[3]) + s[5]) + s[7]);
  }
  if (type <= 5) {
    if (!unit || mis(x, 8) != 0 || mis(y, 8) != 0) return rest();
    if (n >= 32) {
      if (mis(x, 16) != 0) s[0] = e(i++);
      lanes(8, 32);
    }
    return (quad(0, 2) + quad(1, 2)) + rest();
  }
  if (n < 16 || !(unit || (type == 7 && incx != 0 && incy != 0))) return rest();
  const int peel = unit && mis(y, 8) == 0 ? static_cast<int>((32 - mis(y, 32)) % 32 / 8) : 0;
  for (; i < peel; ++i) run = run + e(i);
  lanes(16, 16);
  rest();
  const double v[4] = {quad(0, 4), quad(1, 4), quad(2, 4), quad(3, 4)};
  return ((v[0] + v[2]) + (v[1] + v[3])) + run;
}

}  // namespace ztr::test
