// Fuzz target for the argument handling of the other dense exports: the QR factorization and
// Q generation, the pivoted Cholesky factorization, the symmetric and generalized eigensolvers,
// the C-style multiply and the dot product.  The input chooses the routine, the layout (also
// invalid codes), dimensions from -2 up, leading dimensions from one below their limit,
// option letters (also wrong ones), entries with NaN and infinity among them, and an
// allocation to fail.  Arrays are exactly as long as the arguments say, so the address
// sanitizer sees any access beyond them.  Checked: the return value is 0, a documented
// negative code (an argument's position, -1010 or -1011) or a positive one within its range;
// and an argument error leaves the matrices alone.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "include/ztr.h"
#include "testalloc.h"
#include "tests/reliability/fuzz_support.h"
#include "tests/support/test_support.h"

namespace {

using ztr::test::Bytes;
using ztr::test::fuzz_fail;

int layout(Bytes& in) {
  const int b = in.next() % 8;
  return b < 4 ? ZTR_COL_MAJOR : b < 7 ? ZTR_ROW_MAJOR : 99;
}
char letter(Bytes& in, const char* choices) {
  return choices[static_cast<std::size_t>(in.next()) % std::strlen(choices)];
}

// An m x n matrix in the given layout with a leading dimension from one below its limit to
// two above, as long as that says; lda and the array are returned.
std::vector<double> matrix(Bytes& in, int lay, int m, int n, int* lda) {
  const int need = lay == ZTR_ROW_MAJOR ? n : m;
  *lda = (need > 1 ? need : 1) + in.next() % 4 - 1;
  if (*lda < 1) *lda = 1;
  const int lines = lay == ZTR_ROW_MAJOR ? m : n;
  std::vector<double> a(lines > 0 ? static_cast<std::size_t>(lines) * *lda : 1);
  for (double& v : a) v = in.value();
  return a;
}

// info against its documented range: an argument position up to `args`, a failed allocation,
// or 0 .. most.
void check_code(int info, int args, int most) {
  if (info < 0 && info != -1010 && info != -1011 && info < -args) {
    std::fprintf(stderr, "info %d\n", info);
    fuzz_fail("undocumented code");
  }
  if (info > 0 && info > most) fuzz_fail("a positive code beyond its range");
}
// An argument error leaves the matrix alone, unless it held an infinity: the scan for bad
// entries looks for NaN only, and what an infinity does inside a driver is not specified.
void check_untouched(int info, const std::vector<double>& a, const std::vector<double>& a0) {
  for (double v : a0)
    if (std::isinf(v)) return;
  if (info < 0 && info > -1000 && !ztr::test::same_bits(a, a0))
    fuzz_fail("an argument error changed a matrix");
}

void fuzz_driver(Bytes& in, int which) {
  const int lay = layout(in);
  const int m = in.dim(), n = in.dim();
  int lda = 1, ldb = 1;
  std::vector<double> a = matrix(in, lay, m, n, &lda);
  const std::vector<double> a0 = a;
  const int mn = m < n ? m : n;
  const std::size_t len = n > 0 ? static_cast<std::size_t>(n) : 1;
  ztr_testalloc_fail_nth(in.next() % 6, 0);
  ztr::test::Disarm disarm;
  switch (which) {
    case 0: {
      std::vector<double> tau(mn > 0 ? mn : 1);
      const int info = LAPACKE_dgeqrf(lay, m, n, a.data(), lda, tau.data());
      check_code(info, 5, 0);
      check_untouched(info, a, a0);
      break;
    }
    case 1: {
      const int k = in.dim();
      std::vector<double> tau(k > 0 ? k : 1);
      for (double& v : tau) v = in.value();
      const int info = LAPACKE_dorgqr(lay, m, n, k, a.data(), lda, tau.data());
      check_code(info, 7, 0);
      check_untouched(info, a, a0);
      break;
    }
    case 2: {  // square problems from here on: n rows and columns
      if (m != n) return;
      std::vector<int> piv(len);
      int rank = -1;
      const char uplo = letter(in, "ULux");
      const double tol = in.value();
      const int info = LAPACKE_dpstrf(lay, uplo, n, a.data(), lda, piv.data(), &rank, tol);
      check_code(info, 8, 1);
      check_untouched(info, a, a0);
      if (info >= 0 && n > 0 && (rank < 0 || rank > n)) fuzz_fail("rank out of range");
      break;
    }
    case 3: {
      if (m != n) return;
      std::vector<double> w(len);
      const char jobz = letter(in, "NVvx"), uplo = letter(in, "ULl?");
      const int info = LAPACKE_dsyevd(lay, jobz, uplo, n, a.data(), lda, w.data());
      check_code(info, 7, n);
      check_untouched(info, a, a0);
      break;
    }
    case 4: {
      if (m != n) return;
      std::vector<double> b = matrix(in, lay, n, n, &ldb), w(len);
      const std::vector<double> b0 = b;
      const int itype = in.next() % 5 - 1;
      const char jobz = letter(in, "NVx"), uplo = letter(in, "ULu?");
      const bool qr = in.next() % 2 == 0;
      const int info =
          qr ? LAPACKE_dsygv(lay, itype, jobz, uplo, n, a.data(), lda, b.data(), ldb, w.data())
             : LAPACKE_dsygvd(lay, itype, jobz, uplo, n, a.data(), lda, b.data(), ldb, w.data());
      check_code(info, 10, 2 * (n > 0 ? n : 0));
      check_untouched(info, a, a0);
      check_untouched(info, b, b0);
      break;
    }
    case 5: {
      if (m != n) return;
      const char jobz = letter(in, "NVx"), range = letter(in, "AVIx"), uplo = letter(in, "UL?");
      const double vl = in.value(), vu = in.value();
      const int il = in.dim(), iu = in.dim();
      int ldz = 1;
      std::vector<double> z = matrix(in, lay, n, n, &ldz), w(len);
      std::vector<int> isuppz(2 * len);
      int found = -1;
      const double abstol = in.value();
      const int info = LAPACKE_dsyevr(lay, jobz, range, uplo, n, a.data(), lda, vl, vu, il, iu,
                                      abstol, &found, w.data(), z.data(), ldz, isuppz.data());
      check_code(info, 16, n > 4 ? n : 4);  // the bisection's own failure codes go up to 4
      check_untouched(info, a, a0);
      if (info == 0 && (found < 0 || found > n)) fuzz_fail("eigenvalue count out of range");
      break;
    }
  }
}

void fuzz_multiply(Bytes& in) {
  const int lay = layout(in);
  const CBLAS_TRANSPOSE ta = in.next() % 2 ? CblasTrans : CblasNoTrans;
  const CBLAS_TRANSPOSE tb = in.next() % 2 ? CblasTrans : CblasNoTrans;
  const int m = in.dim(), n = in.dim(), k = in.dim();
  const bool row = lay == ZTR_ROW_MAJOR;
  // The stored shapes: op(A) is m x k, op(B) k x n.
  const bool a_rows_m = (ta == CblasNoTrans) != row, b_rows_k = (tb == CblasNoTrans) != row;
  int lda = 1, ldb = 1, ldc = 1;
  std::vector<double> a = matrix(in, ZTR_COL_MAJOR, a_rows_m ? m : k, a_rows_m ? k : m, &lda);
  std::vector<double> b = matrix(in, ZTR_COL_MAJOR, b_rows_k ? k : n, b_rows_k ? n : k, &ldb);
  std::vector<double> c = matrix(in, ZTR_COL_MAJOR, row ? n : m, row ? m : n, &ldc);
  const std::vector<double> c0 = c;
  const double alpha = in.value(), beta = in.value();
  cblas_dgemm(static_cast<CBLAS_LAYOUT>(lay), ta, tb, m, n, k, alpha, a.data(), lda, b.data(), ldb,
              beta, c.data(), ldc);
  // A call that the checks refuse, or one without rows or columns, leaves C alone.
  const bool bad = (lay != ZTR_ROW_MAJOR && lay != ZTR_COL_MAJOR) || m < 0 || n < 0 || k < 0;
  if ((bad || m == 0 || n == 0) && !ztr::test::same_bits(c, c0)) fuzz_fail("dgemm wrote C");

  const int count = in.dim(), incx = in.next() % 7 - 3, incy = in.next() % 7 - 3;
  auto vector = [&](int inc) {
    const int step = inc < 0 ? -inc : inc;
    std::vector<double> v(count > 0 ? 1 + static_cast<std::size_t>(count - 1) * step : 1);
    for (double& e : v) e = in.value();
    return v;
  };
  const std::vector<double> x = vector(incx), y = vector(incy);
  (void)cblas_ddot(count, x.data(), incx, y.data(), incy);
}

void fuzz_one(Bytes& in) {
  const int which = in.next() % 7;
  if (which == 6)
    fuzz_multiply(in);
  else
    fuzz_driver(in, which);
}

}  // namespace

ZTR_FUZZ_ENTRY_POINTS(fuzz_one)
