// The order of additions of each ddot variant, written out plainly with scalar accumulators,
// so that the vector kernels can be checked bit for bit against it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

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
  const std::ptrdiff_t k = inc >= 0 ? std::ptrdiff_t{i} * inc : std::ptrdiff_t{n - 1 - i} * -inc;
  return ld(v + k);
}

inline double ref_strided(int n, const double* x, int incx, const double* y, int incy) {
  double s = 0.0;
  for (int i = 0; i < n; ++i) s = s + elem(x, n, incx, i) * elem(y, n, incy, i);
  return s;
}

// Types 2 and 3: eight accumulators, one peeled product, blocks of 16 then 8, 4, 2, 1.
inline double ref_sse_pairs(int type, int n, const double* x, int incx, const double* y, int incy) {
  if (n <= 0) return 0.0;
  const bool unit = (incx == 1 && incy == 1) || (incx == -1 && incy == -1);
  if (!unit) return ref_strided(n, x, incx, y, incy);
  double s[8] = {0, 0, 0, 0, 0, 0, 0, 0};
  int i = 0;
  if (mis(x, 16) != 0 || mis(y, 16) != 0) {
    if (mis(x, 16) != 8 || mis(y, 16) != 8) return ref_strided(n, x, incx, y, incy);
    s[0] = x[0] * y[0];
    i = 1;
  }
  for (; n - i >= 16; i += 16) {
    for (int j = 0; j < 8; ++j) s[j] = s[j] + x[i + j] * y[i + j];
    for (int j = 0; j < 8; ++j) s[j] = s[j] + x[i + 8 + j] * y[i + 8 + j];
  }
  for (int width : {8, 4, 2, 1}) {
    if (n - i >= width) {
      for (int j = 0; j < width; ++j) s[j] = s[j] + x[i + j] * y[i + j];
      i += width;
    }
  }
  if (type == 2) return ((s[0] + s[2]) + (s[4] + s[6])) + ((s[1] + s[3]) + (s[5] + s[7]));
  return (((s[0] + s[2]) + s[4]) + s[6]) + (((s[1] + s[3]) + s[5]) + s[7]);
}

// Types 4 and 5: 8-byte aligned unit stride only; under 32 elements one running sum; else a
// product peeled to align x, blocks of 32 into eight accumulators, the tail into t.
inline double ref_sse_wide(int n, const double* x, int incx, const double* y, int incy) {
  if (n <= 0) return 0.0;
  if (incx != 1 || incy != 1 || mis(x, 8) != 0 || mis(y, 8) != 0)
    return ref_strided(n, x, incx, y, incy);
  double s[8] = {0, 0, 0, 0, 0, 0, 0, 0};
  int i = 0;
  if (n >= 32) {
    if (mis(x, 16) != 0) {
      s[0] = x[0] * y[0];
      i = 1;
    }
    for (; n - i >= 32; i += 32)
      for (int q = 0; q < 32; q += 8)
        for (int j = 0; j < 8; ++j) s[j] = s[j] + x[i + q + j] * y[i + q + j];
  }
  double t = 0.0;
  for (; i < n; ++i) t = t + x[i] * y[i];
  const double lane0 = (s[0] + s[2]) + (s[4] + s[6]);
  const double lane1 = (s[1] + s[3]) + (s[5] + s[7]);
  return (lane0 + lane1) + t;
}

// Types 6 and 7: sixteen accumulators over blocks of 16 of the elements e(i) = x_i*y_i in
// order, with the peeled products and the tail in one running sum.
template <typename Product>
double ref_avx_blocks(int n, int peel, Product e) {
  double s = 0.0;
  int i = 0;
  for (; i < peel; ++i) s = s + e(i);
  double a[16] = {};
  for (; n - i >= 16; i += 16)
    for (int j = 0; j < 16; ++j) a[j] = a[j] + e(i + j);
  for (; i < n; ++i) s = s + e(i);
  double v[4];
  for (int j = 0; j < 4; ++j) v[j] = (a[j] + a[4 + j]) + (a[8 + j] + a[12 + j]);
  return ((v[0] + v[2]) + (v[1] + v[3])) + s;
}

inline double ref_avx(int type, int n, const double* x, int incx, const double* y, int incy) {
  if (n <= 0) return 0.0;
  if (incx == 1 && incy == 1 && n >= 16) {
    const int peel = mis(y, 8) == 0 ? static_cast<int>((32 - mis(y, 32)) % 32 / 8) : 0;
    return ref_avx_blocks(n, peel, [&](int i) { return ld(x + i) * ld(y + i); });
  }
  if (type == 7 && n >= 16 && incx != 0 && incy != 0)
    return ref_avx_blocks(n, 0, [&](int i) { return elem(x, n, incx, i) * elem(y, n, incy, i); });
  return ref_strided(n, x, incx, y, incy);
}

inline double ref_ddot(int type, int n, const double* x, int incx, const double* y, int incy) {
  switch (type) {
    case 2:
    case 3:
      return ref_sse_pairs(type, n, x, incx, y, incy);
    case 4:
    case 5:
      return ref_sse_wide(n, x, incx, y, incy);
    default:
      return ref_avx(type, n, x, incx, y, incy);
  }
}

}  // namespace ztr::test
