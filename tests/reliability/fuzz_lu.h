// What the dense fuzz targets draw from their input (matrices as the caller stores them, from
// the input or from a generator it seeds) and the checks every call gets, with the LU
// factorization and inverse, which both LAPACKE targets drive.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "include/ztr.h"
#include "testalloc.h"
#include "tests/reliability/fuzz_dense_checks.h"
#include "tests/reliability/fuzz_support.h"
#include "tests/support/test_support.h"

namespace ztr::test {

inline constexpr int kBigMin = 24;  // large dimensions: kBigMin .. kBigMin + kBigSpan - 1
inline constexpr int kBigSpan = 64;
inline constexpr int kMaxPatches = 4;  // hostile entries planted into a generated matrix

// Where the numbers come from: the input, or for large problems a generator it seeds.  With
// `finite`, entries are multiples of 1/32 in [-4, 4), so that products and sums of a few of
// them are exact and the results can be checked.
struct Source {
  Bytes& in;
  bool finite, big;
  Rng rng;
  int dim() { return big ? kBigMin + in.next() % kBigSpan : finite ? in.next() % 18 : in.dim(); }
  double value() { return finite ? static_cast<std::int8_t>(in.next()) / 32.0 : in.value(); }
  double entry() { return big ? (below(rng, 256) - 128) / 32.0 : value(); }
  // 0, 1, -1 or a value.
  double scalar() {
    const int b = in.next() % 4;
    return b == 0 ? 0.0 : b == 1 ? 1.0 : b == 2 ? -1.0 : value();
  }
};

// Inputs whose results are checked keep to valid arguments: the layout codes, and leading
// dimensions from their limit up.
inline int layout(Source& s) {
  const int b = s.in.next() % (s.finite ? 7 : 8);
  return b < 4 ? ZTR_COL_MAJOR : b < 7 ? ZTR_ROW_MAJOR : 99;
}

// Room for an m x n matrix in the given layout with a leading dimension from one below its
// limit to two above, exactly as long as that says; lda and the array are returned.
inline std::vector<double> storage(Source& s, int lay, int m, int n, int* lda) {
  const int need = lay == ZTR_ROW_MAJOR ? n : m;
  *lda = (need > 1 ? need : 1) + (s.finite ? s.in.next() % 3 : s.in.next() % 4 - 1);
  if (*lda < 1) *lda = 1;
  const int lines = lay == ZTR_ROW_MAJOR ? m : n;
  return std::vector<double>(lines > 0 ? static_cast<std::size_t>(lines) * *lda : 1);
}
// The same filled with the source's entries (a generated one with a few hostile entries).
inline std::vector<double> matrix(Source& s, int lay, int m, int n, int* lda) {
  std::vector<double> a = storage(s, lay, m, n, lda);
  for (double& v : a) v = s.entry();
  if (s.big && !s.finite)
    for (int p = s.in.next() % (kMaxPatches + 1); p > 0; --p) {
      const std::size_t high = s.in.next();
      a[(high << 8 | s.in.next()) % a.size()] = s.in.value();
    }
  return a;
}

// info against its documented range (an argument position up to `args`, a failed allocation,
// or 0 .. most; -1 alone for a wrong layout), and an argument error must leave the matrix
// alone, unless it held an infinity: the scan for bad entries looks for NaN only, and what an
// infinity does inside a driver is not specified.
inline void check_call(int lay, int info, int args, int most, const std::vector<double>& a,
                       const std::vector<double>& a0) {
  if (info < 0 && info != -1010 && info != -1011 && info < -args) {
    std::fprintf(stderr, "info %d\n", info);
    fuzz_fail("undocumented code");
  }
  if (info > 0 && info > most) fuzz_fail("a positive code beyond its range");
  if (lay != ZTR_ROW_MAJOR && lay != ZTR_COL_MAJOR && info != -1) fuzz_fail("a bad layout not -1");
  for (double v : a0)
    if (std::isinf(v)) return;
  if (info < 0 && info > -1000 && !same_bits(a, a0))
    fuzz_fail("an argument error changed a matrix");
}

// One of the next few allocations fails, or none; not when the results are to be checked.
inline void fail_an_allocation(Source& s) {
  ztr_testalloc_fail_nth(s.finite ? 0 : s.in.next() % 6, 0);
}

// Nothing beyond the m x n matrix changed: the rest of each stored line, and further lines.
inline void check_outside(int lay, int m, int n, int lda, const std::vector<double>& a,
                          const std::vector<double>& a0, const char* what) {
  const long used = lay == ZTR_ROW_MAJOR ? n : m, lines = lay == ZTR_ROW_MAJOR ? m : n;
  for (std::size_t e = 0; e < a.size(); ++e)
    if ((static_cast<long>(e % lda) >= used || static_cast<long>(e / lda) >= lines) &&
        std::memcmp(&a[e], &a0[e], sizeof(double)) != 0)
      fuzz_fail(what);
}

// LU and, for a square matrix, the inverse from it: the codes (the inverse's the same as the
// factorization's, bar NaN and allocation failures), pivots in range, info naming the first
// exactly zero pivot (where every entry is finite), nothing outside the matrix written, a
// failed inverse leaving the factors; and for checked inputs the factors and the inverse within
// rounding.  The layout, and whether the matrix is square, come from the input.
inline void fuzz_lu(Source& s) {
  const int lay = layout(s);
  const bool square_only = s.in.next() % 2 == 0;
  const int m = s.dim(), n = square_only ? m : s.dim();
  int lda = 1;
  std::vector<double> a = matrix(s, lay, m, n, &lda);
  const std::vector<double> a0 = a;
  const int mn = m < n ? m : n;
  std::vector<int> ipiv(mn > 0 ? mn : 1);
  fail_an_allocation(s);
  const int info = LAPACKE_dgetrf(lay, m, n, a.data(), lda, ipiv.data());
  ztr_testalloc_reset();
  check_call(lay, info, 5, mn, a, a0);
  if (info < 0) return;
  check_outside(lay, m, n, lda, a, a0, "dgetrf wrote outside the matrix");
  const View f{a.data(), lay, lda};
  bool finite = true;
  for (double v : a0) finite = finite && std::isfinite(v);
  int first_zero = 0;
  for (int k = mn - 1; k >= 0; --k) {
    if (ipiv[k] <= k || ipiv[k] > m) fuzz_fail("dgetrf: pivot out of range");
    if (f(k, k) == 0) first_zero = k + 1;
  }
  if (finite && info != first_zero) fuzz_fail("dgetrf: info is not the first zero pivot");
  if (s.finite) check_lu({a0.data(), lay, lda}, f, m, n, ipiv.data());
  if (m != n) return;
  std::vector<double> x = a;
  fail_an_allocation(s);
  Disarm disarm;
  const int inv = LAPACKE_dgetri(lay, n, x.data(), lda, ipiv.data());
  check_outside(lay, n, n, lda, x, a, "dgetri wrote outside the matrix");
  if (inv != 0 && !same_bits(x, a)) fuzz_fail("dgetri: a failure changed the factors");
  if (inv != info && inv != -3 && inv != -1010 && inv != -1011)  // -3: NaN in the factors
    fuzz_fail("dgetri: a code other than dgetrf's");
  if (s.finite && inv == 0)
    check_inverse({a0.data(), lay, lda}, {x.data(), lay, lda}, f, n, ipiv.data());
}

}  // namespace ztr::test
