// First stage of the two-stage reduction: full to band.  For each block column of kd
// columns, the part below the band (for uplo 'U' its transpose, right of the band) is
// factored A = Q*R by Householder reflectors in a copy; R goes back into the band and the
// trailing matrix receives Q'*A22*Q as one symmetric multiply, two small multiplies and a
// rank-2k update:
//   X = A22*V*T,  X := X - (1/2)*V*(T'*V'*X),  A22 := A22 - V*X' - X*V'.
// The band is then copied (as a lower band) into the workspace for the second stage.
#include <algorithm>
#include <cstddef>

#include "blas/gemm/gemm.h"
#include "blas/level3/level3.h"
#include "lapack/householder/householder.h"
#include "lapack/sygv/syrdb.h"
#include "service/letters.h"

namespace ztr {

void ztr_lapack_dsyrdb(const char* jobz, const char* uplo, int n, int kd, double* a, int lda,
                       double* d, double* e, double* /*tau*/, double* /*z*/, int /*ldz*/,
                       double* work, int lwork, int* info) {
  const bool upper = same_letter(*uplo, 'U');
  *info = 0;
  if (!same_letter(*jobz, 'N')) {
    *info = -1;
  } else if (!upper && !same_letter(*uplo, 'L')) {
    *info = -2;
  } else if (n < 0) {
    *info = -3;
  } else if (n > 1 && (kd < 1 || kd >= n)) {
    *info = -4;
  } else if (lda < std::max(1, n)) {
    *info = -6;
  } else if (n > 1 && lwork < (3 * kd + 3) * n) {
    *info = -13;
  }
  if (*info != 0 || n == 0) return;
  if (n == 1) {
    d[0] = a[0];
    return;
  }
  auto A = [&](int i, int j) -> double& { return a[i + static_cast<std::ptrdiff_t>(j) * lda]; };
  const char* ul = upper ? "U" : "L";
  const double one = 1.0, zero = 0.0, minus_one = -1.0, minus_half = -0.5;

  for (int j = 0; n - j - kd >= 2; j += kd) {
    const int m = n - j - kd, k = std::min(m, kd), t0 = j + kd;
    double* v = work;                                      // m x kd, ld m
    double* x = v + static_cast<std::ptrdiff_t>(m) * kd;   // m x k, ld m
    double* t = x + static_cast<std::ptrdiff_t>(m) * k;    // k x k, ld kd
    double* s = t + static_cast<std::ptrdiff_t>(kd) * kd;  // k x k, ld kd
    double* tau = s + static_cast<std::ptrdiff_t>(kd) * kd;
    double* scratch = tau + kd;
    auto V = [&](int q, int p) -> double& { return v[q + static_cast<std::ptrdiff_t>(p) * m]; };
    for (int p = 0; p < kd; ++p)
      for (int q = 0; q < m; ++q) V(q, p) = upper ? A(j + p, t0 + q) : A(t0 + q, j + p);
    ztr_lapack_dgeqr2(m, kd, v, m, tau, scratch);
    // R into the band; V gets its unit diagonal and zeros above.
    for (int p = 0; p < kd; ++p)
      for (int q = 0; q <= std::min(p, m - 1); ++q) {
        (upper ? A(j + p, t0 + q) : A(t0 + q, j + p)) = V(q, p);
        if (p < k) V(q, p) = q == p ? 1.0 : 0.0;
      }
    ztr_lapack_dlarft("F", "C", m, k, v, m, tau, t, kd);
    double* a22 = &A(t0, t0);
    ztr_blas_dsymm("L", ul, &m, &k, &one, a22, &lda, v, &m, &zero, x, &m);
    ztr_blas_dtrmm("R", "U", "N", "N", &m, &k, &one, t, &kd, x, &m);
    ztr_blas_dgemm("T", "N", &k, &k, &m, &one, v, &m, x, &m, &zero, s, &kd);
    ztr_blas_dtrmm("L", "U", "T", "N", &k, &k, &one, t, &kd, s, &kd);
    ztr_blas_dgemm("N", "N", &m, &k, &k, &minus_half, v, &m, s, &kd, &one, x, &m);
    ztr_blas_dsyr2k(ul, "N", &m, &k, &minus_one, v, &m, x, &m, &one, a22, &lda);
  }

  // The band, as a lower band with room for the bulges, then the second stage.
  const int ldab = 2 * kd + 1;
  double* ab = work;
  for (int c = 0; c < n; ++c)
    for (int r = 0; r < ldab; ++r) {
      const int i = c + r;
      ab[r + static_cast<std::ptrdiff_t>(c) * ldab] =
          (r <= kd && i < n) ? (upper ? A(c, i) : A(i, c)) : 0.0;
    }
  ztr_lapack_dsbrdb(n, kd, ab, ldab, d, e, ab + static_cast<std::ptrdiff_t>(ldab) * n);
}

}  // namespace ztr
