// Fuzz target for the argument handling of the LAPACKE layer (LAPACKE_dgetrf followed by
// LAPACKE_dgetri) and for the symmetric CSR product.
//
// The input chooses the layout (also invalid codes), dimensions from -2 up (leading
// dimensions from below their limit), matrix entries with NaN and infinity among them, an
// allocation to fail, and CSR structures with empty rows, repeated entries, entries of the
// other triangle and a non-zero base.  Arrays are exactly as long as the arguments say, so
// the address sanitizer sees any access beyond them.  Every run is checked against what the
// interface promises: the documented codes, nothing touched outside the matrix or on an
// error, pivots in range, info naming the first zero pivot, and the CSR product exactly (its
// entries are small integers, so every order of summation is exact).
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "include/ztr.h"
#include "testalloc.h"
#include "tests/reliability/fuzz_support.h"
#include "tests/support/test_support.h"

namespace {

using ztr::test::Bytes;
using ztr::test::fuzz_fail;

// info names the first zero pivot, and only a zero one.  (The factors' accuracy is the
// driver's tests' concern.)
void check_pivots(int mn, const std::vector<double>& lu, int info, int rs, int cs) {
  for (int k = 0; k < mn; ++k) {
    const double d = lu[k * rs + k * cs];
    if (info == 0 && d == 0) fuzz_fail("a zero pivot with info 0");
    if (info == k + 1 && d != 0) fuzz_fail("info names a non-zero pivot");
    if (info > 0 && k + 1 < info && d == 0) fuzz_fail("info is not the first zero pivot");
  }
}

void fuzz_lu(Bytes& in) {
  const int lb = in.next() % 8;
  const int layout = lb < 3 ? ZTR_ROW_MAJOR : lb < 6 ? ZTR_COL_MAJOR : lb == 6 ? 0 : 103;
  const bool row = layout == ZTR_ROW_MAJOR;
  const int m = in.dim(), n = in.dim();
  const int need = row ? n : m;
  int lda = (need > 1 ? need : 1) + in.next() % 4 - 1;  // one below the limit to two above
  if (lda < 1) lda = 1;
  const int lines = row ? m : n;  // rows (row-major) or columns (column-major) of the array
  const std::size_t size = lines > 0 ? static_cast<std::size_t>(lines) * lda : 1;
  std::vector<double> a(size);
  bool finite = true;
  for (double& v : a) {
    v = in.value();
    finite = finite && std::isfinite(v);
  }
  const std::vector<double> a0 = a;
  const int mn = m < n ? m : n;
  std::vector<int> ipiv(mn > 0 ? mn : 1, -7);
  const long fail_at = in.next() % 6;  // 0: no failure; else that allocation fails
  ztr_testalloc_fail_nth(fail_at, 0);
  const int info = LAPACKE_dgetrf(layout, m, n, a.data(), lda, ipiv.data());
  ztr_testalloc_reset();

  if (layout != ZTR_ROW_MAJOR && layout != ZTR_COL_MAJOR) {
    if (info != -1) fuzz_fail("a bad layout is not -1");
  } else if (!(info >= -5 || info == -1011) || info > (mn > 0 ? mn : 0)) {
    fuzz_fail("undocumented code");
  }
  if (info < 0) {
    if (!ztr::test::same_bits(a, a0)) fuzz_fail("an error changed the matrix");
    return;
  }
  if (m <= 0 || n <= 0) {
    if (!ztr::test::same_bits(a, a0)) fuzz_fail("an empty matrix changed");
    return;
  }
  const int rs = row ? lda : 1, cs = row ? 1 : lda;
  auto outside_kept = [&](const std::vector<double>& before) {
    for (std::size_t e = 0; e < size; ++e) {
      const std::size_t i = row ? e / lda : e % lda, j = row ? e % lda : e / lda;
      if ((i >= std::size_t(m) || j >= std::size_t(n)) && std::memcmp(&a[e], &before[e], 8) != 0)
        return false;
    }
    return true;
  };
  if (!outside_kept(a0)) fuzz_fail("an entry outside the matrix changed");
  for (int k = 0; k < mn; ++k)
    if (ipiv[k] < k + 1 || ipiv[k] > m) fuzz_fail("pivot index out of range");
  if (finite) check_pivots(mn, a, info, rs, cs);

  // The inverse of a square factorization, with its workspace or copy possibly failing.
  if (m != n) return;
  const std::vector<double> f = a;
  ztr_testalloc_fail_nth(in.next() % 4, 0);
  const int inv = LAPACKE_dgetri(layout, n, a.data(), lda, ipiv.data());
  ztr_testalloc_reset();
  if (!(inv == 0 || inv == -3 || inv == -1010 || inv == -1011 || (inv > 0 && inv <= n)))
    fuzz_fail("undocumented code from the inverse");
  if (inv == 0 && info > 0) fuzz_fail("the inverse of a singular factorization succeeded");
  if (inv != 0 && !ztr::test::same_bits(a, f)) fuzz_fail("a failed inverse changed the factors");
  if (!outside_kept(f)) fuzz_fail("the inverse changed an entry outside the matrix");
}

void fuzz_csr(Bytes& in) {
  static const char kUplo[] = {'L', 'l', 'U', 'u', 'N', '\0'};
  const char uplo = kUplo[in.next() % 6];
  const int m = in.dim() * 2;
  const int base = in.next() % 3;
  std::vector<int> ia(m > 0 ? m + 1 : 1, base), ja;
  std::vector<double> v;
  for (int r = 0; r < m; ++r) {
    const int count = in.next() % 5;
    for (int e = 0; e < count; ++e) {
      ja.push_back(in.next() % m);
      v.push_back(static_cast<std::int8_t>(in.next()));
    }
    ia[r + 1] = base + static_cast<int>(ja.size());
  }
  if (ja.empty()) {  // exact sizes, but never a zero-length array
    ja.push_back(0);
    v.push_back(0);
  }
  std::vector<double> x(m > 0 ? m : 1), y(m > 0 ? m : 1, -99.0);
  for (double& e : x) e = static_cast<std::int8_t>(in.next());
  ztr_cspblas_dcsrsymv(&uplo, &m, v.data(), ia.data(), ja.data(), x.data(), y.data());

  const bool lower = uplo == 'L' || uplo == 'l', upper = uplo == 'U' || uplo == 'u';
  if (m < 0 || !(lower || upper)) {
    for (double e : y)
      if (e != -99.0) fuzz_fail("an invalid call wrote y");
    return;
  }
  std::vector<double> want(y.size(), 0.0);
  for (int r = 0; r < m; ++r)
    for (int p = ia[r] - base; p < ia[r + 1] - base; ++p) {
      const int c = ja[p];
      if (lower ? c > r : c < r) continue;
      want[r] += v[p] * x[c];
      if (c != r) want[c] += v[p] * x[r];
    }
  for (int r = 0; r < m; ++r)
    if (y[r] != want[r]) fuzz_fail("wrong CSR product");
}

void fuzz_one(Bytes& in) {
  if (in.next() % 2 == 0)
    fuzz_lu(in);
  else
    fuzz_csr(in);
}

}  // namespace

ZTR_FUZZ_ENTRY_POINTS(fuzz_one)
