// The result checks of the dense fuzz target: residuals and invariants of a successful call,
// computed in long double, each against a bound that rounding alone stays below (elementwise
// where the error analysis is elementwise, so that small entries are held to small errors).
#pragma once

#include <cmath>
#include <cstddef>
#include <utility>
#include <vector>

#include "include/ztr.h"
#include "tests/reliability/fuzz_support.h"
#include "tests/support/test_support.h"

namespace ztr::test {

// A matrix as the caller stores it: either layout, any leading dimension.
struct View {
  const double* p;
  int layout, ld;
  double operator()(int i, int j) const {
    return layout == ZTR_ROW_MAJOR ? p[static_cast<std::size_t>(i) * ld + j]
                                   : p[i + static_cast<std::size_t>(j) * ld];
  }
};

// A long-double working matrix.
struct Mat {
  int r = 0, c = 0;
  std::vector<LD> v;
  Mat(int rows, int cols) : r(rows), c(cols), v(static_cast<std::size_t>(rows) * cols) {}
  LD& operator()(int i, int j) { return v[i + static_cast<std::size_t>(j) * r]; }
  LD operator()(int i, int j) const { return v[i + static_cast<std::size_t>(j) * r]; }
};

// Rows i0.., columns j0.. of a stored matrix; `part` 'U' keeps what lies on and above the
// diagonal, 'L' what lies strictly below it with a unit diagonal, anything else everything.
inline Mat take(View a, int rows, int cols, char part = 'A') {
  Mat m(rows, cols);
  for (int j = 0; j < cols; ++j)
    for (int i = 0; i < rows; ++i)
      m(i, j) = part == 'U'   ? (i <= j ? a(i, j) : 0)
                : part == 'L' ? (i > j ? a(i, j) : i == j)
                              : a(i, j);
  return m;
}
// The symmetric matrix of which `a` holds the uplo triangle.
inline Mat symmetric(View a, int n, char uplo) {
  const bool upper = uplo == 'U' || uplo == 'u';
  Mat m(n, n);
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < n; ++i) m(i, j) = (i <= j) == upper ? a(i, j) : a(j, i);
  return m;
}
inline Mat mul(const Mat& a, const Mat& b, bool abs_values = false) {
  Mat p(a.r, b.c);
  for (int j = 0; j < b.c; ++j)
    for (int l = 0; l < a.c; ++l) {
      const LD blj = abs_values ? std::fabs(b(l, j)) : b(l, j);
      for (int i = 0; i < a.r; ++i) p(i, j) += (abs_values ? std::fabs(a(i, l)) : a(i, l)) * blj;
    }
  return p;
}
inline Mat transpose(const Mat& a) {
  Mat t(a.c, a.r);
  for (int j = 0; j < a.c; ++j)
    for (int i = 0; i < a.r; ++i) t(j, i) = a(i, j);
  return t;
}
inline Mat minus(Mat a, const Mat& b) {
  for (std::size_t i = 0; i < a.v.size(); ++i) a.v[i] -= b.v[i];
  return a;
}
inline Mat minus_identity(Mat a) {
  for (int i = 0; i < a.r && i < a.c; ++i) a(i, i) -= 1;
  return a;
}
inline LD fnorm(const Mat& a) {
  LD s = 0;
  for (LD x : a.v) s += x * x;
  return std::sqrt(s);
}
// Every |r(i, j)| within factor * bound(i, j); a NaN fails.
inline void elementwise_within(const Mat& r, const Mat& bound, LD factor, const char* what) {
  for (std::size_t i = 0; i < r.v.size(); ++i)
    if (!(std::fabs(r.v[i]) <= factor * bound.v[i])) fuzz_fail(what);
}
inline void within(LD residual, LD bound, const char* what) {
  if (!(residual <= bound)) fuzz_fail(what);
}
// The row interchanges of a pivot vector (one-based), applied to the rows of m from the first
// (forward, P'*m) or from the last (P*m).
inline void interchange(Mat& m, const int* ipiv, int k, bool forward) {
  for (int s = 0; s < k; ++s) {
    const int i = forward ? s : k - 1 - s, p = ipiv[i] - 1;
    for (int j = 0; j < m.c; ++j) std::swap(m(i, j), m(p, j));
  }
}

// LU with partial pivoting (pivots in range): |L| <= 1, and |P'A - LU| <= c |L||U| entry by
// entry, the bound of Gaussian elimination in any order of summation.
inline void check_lu(View a0, View f, int m, int n, const int* ipiv) {
  const int k = m < n ? m : n;
  const Mat l = take(f, m, k, 'L'), u = take(f, k, n, 'U');
  for (LD x : l.v)
    if (!(std::fabs(x) <= 1)) fuzz_fail("dgetrf: a multiplier beyond 1");
  Mat pa = take(a0, m, n);
  interchange(pa, ipiv, k, true);
  elementwise_within(minus(pa, mul(l, u)), mul(l, u, true), (k + 2) * kEps, "dgetrf: P'A != LU");
}

// The inverse from the LU factors: the left residual |XA - I| <= c |X| P|L||U| entry by entry
// (inverting U and then solving X L = inv(U) keeps this bound whatever the condition).
inline void check_inverse(View a0, View x, View f, int n, const int* ipiv) {
  const Mat xm = take(x, n, n);
  Mat plu = mul(take(f, n, n, 'L'), take(f, n, n, 'U'), true);
  interchange(plu, ipiv, n, false);
  elementwise_within(minus_identity(mul(xm, take(a0, n, n))), mul(xm, plu, true),
                     4 * (n + 2) * kEps, "dgetri: XA != I");
}

// Householder QR of an m x n matrix: ||A - QR|| <= c m n eps ||A|| and ||Q'Q - I|| <= c m n eps,
// Q the first k = min(m, n) columns.
inline void check_qr(View a0, View f, View q, int m, int n) {
  const int k = m < n ? m : n;
  const LD tol = 2 * static_cast<LD>(m + 1) * (n + 1) * kEps;
  const Mat a = take(a0, m, n), qm = take(q, m, k);
  within(fnorm(minus(a, mul(qm, take(f, k, n, 'U')))), tol * fnorm(a), "dgeqrf: A != QR");
  within(fnorm(minus_identity(mul(transpose(qm), qm))), tol, "dorgqr: Q'Q != I");
}

// Eigenvalues ascending; with vectors (the first `found` columns of v), ||AV - VW|| and
// ||V'V - I|| within c n^2 eps; without, their sum is the trace.  An eigenvalue asked for only
// to an absolute tolerance may be that far off, and so may its vector's residual.  Vectors of
// the subset solver (relatively robust representations, or inverse iteration reorthogonalized
// within clusters only) are orthogonal only to O(n eps / g), g the relative gap below which
// eigenvalues count as a cluster: `by_gap` allows for that.
inline constexpr double kClusterGap = 1e-3;
inline LD eigen_tol(int n) {
  return 2 * static_cast<LD>(n + 1) * (n + 1) * kEps;
}
inline void check_eigen(const Mat& a, const double* w, int found, const View* v, bool all,
                        const char* what, double abstol = 0, bool by_gap = false) {
  for (int i = 1; i < found; ++i)
    if (!(w[i - 1] <= w[i])) fuzz_fail(what);
  const int n = a.r;
  const LD tol = eigen_tol(n), anorm = fnorm(a);
  if (v != nullptr) {
    Mat vm = take(*v, n, found), vw = vm;
    for (int j = 0; j < found; ++j)
      for (int i = 0; i < n; ++i) vw(i, j) *= w[j];
    const LD slack = std::sqrt(static_cast<LD>(found)) * std::fmax(abstol, 0.0);
    within(fnorm(minus(mul(a, vm), vw)), tol * anorm + slack, what);
    within(fnorm(minus_identity(mul(transpose(vm), vm))), by_gap ? tol / kClusterGap : tol, what);
  } else if (all) {
    LD trace = 0, sum = 0;
    for (int i = 0; i < n; ++i) trace += a(i, i), sum += w[i];
    within(std::fabs(trace - sum), tol * n * anorm, what);
  }
}

// The generalized problem with an SPD B whose smallest eigenvalue is at least n: the residual
// of the itype's equation and, for itype 1 and 2, Z'BZ = I, within c n^2 eps times the norms
// involved and the square root of B's condition (at most sqrt(||B|| / n)).
inline void check_generalized(const Mat& a, const Mat& b, int itype, const double* w, View z) {
  const int n = a.r;
  Mat zm = take(z, n, n), zw = zm;
  LD wmax = 0;
  for (int j = 0; j < n; ++j) {
    wmax = std::fmax(wmax, std::fabs(static_cast<LD>(w[j])));
    for (int i = 0; i < n; ++i) zw(i, j) *= w[j];
  }
  const LD an = fnorm(a), bn = fnorm(b), zn = fnorm(zm);
  const LD tol = eigen_tol(n) * (1 + std::sqrt(bn / n));
  if (itype == 1) {
    within(fnorm(minus(mul(a, zm), mul(b, zw))), tol * (an + bn * wmax) * zn, "dsygv: AZ != BZW");
  } else {
    const Mat lhs = itype == 2 ? mul(a, mul(b, zm)) : mul(b, mul(a, zm));
    within(fnorm(minus(lhs, zw)), tol * (an * bn + wmax) * zn, "dsygv: ABZ or BAZ != ZW");
  }
  if (itype != 3)
    within(fnorm(minus_identity(mul(transpose(zm), mul(b, zm)))), tol * bn * zn * zn,
           "dsygv: Z'BZ != I");
}

// Pivoted Cholesky of a semidefinite A: piv a permutation, the code 1 exactly when rank < n,
// and P'AP = U'U entry by entry within rounding plus what the stopping tolerance leaves out
// (the trailing block of a semidefinite matrix is bounded by its largest diagonal entry).
inline void check_pivoted_cholesky(View a0, View f, char uplo, int n, const int* piv, int rank,
                                   int info, double tol) {
  std::vector<int> seen(n, 0);
  for (int i = 0; i < n; ++i)
    if (piv[i] < 1 || piv[i] > n || seen[piv[i] - 1]++) fuzz_fail("dpstrf: piv not a permutation");
  if (info != (rank < n ? 1 : 0)) fuzz_fail("dpstrf: code and rank disagree");
  const bool upper = uplo == 'U' || uplo == 'u';
  Mat u(rank, n), pap(n, n);
  LD dmax = 0;
  for (int j = 0; j < n; ++j) {
    dmax = std::fmax(dmax, static_cast<LD>(a0(j, j)));
    for (int i = 0; i < rank && i <= j; ++i) u(i, j) = upper ? f(i, j) : f(j, i);
  }
  const Mat full = symmetric(a0, n, uplo);
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < n; ++i) pap(i, j) = full(piv[i] - 1, piv[j] - 1);
  const LD left_out = std::fmax(static_cast<LD>(tol), n * kEps * dmax);
  Mat bound = mul(transpose(u), u, true);
  for (LD& x : bound.v) x = (n + 2) * kEps * (x + dmax) + 2 * left_out;
  elementwise_within(minus(pap, mul(transpose(u), u)), bound, 1, "dpstrf: P'AP != U'U");
}

}  // namespace ztr::test
