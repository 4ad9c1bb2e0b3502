#include <algorithm>
#include <cstddef>

#include "blas/gemm/gemm.h"
#include "blas/level2/level2.h"
#include "blas/level3/level3.h"
#include "lapack/householder/householder.h"
#include "lapack/ilaenv.h"
#include "service/letters.h"

namespace ztr {

namespace {

// Forward columnwise T of the k reflectors in columns c0..c0+k-1 of V (rows c0.. hold them:
// the unit diagonal at row c0+j of column c0+j); T's diagonal block at (c0, c0).
void forward_unblocked(int n, int c0, int k, const double* v, int ldv, const double* tau, double* t,
                       int ldt) {
  auto V = [&](int i, int j) { return v + i + static_cast<std::ptrdiff_t>(j) * ldv; };
  auto T = [&](int i, int j) { return t + i + static_cast<std::ptrdiff_t>(j) * ldt; };
  const double one = 1.0;
  const int inc1 = 1;
  for (int j = 0; j < k; ++j) {
    const int c = c0 + j;
    if (tau[c] == 0.0) {
      for (int i = 0; i <= j; ++i) *T(c0 + i, c) = 0.0;
      continue;
    }
    if (j > 0) {
      // T(c0:c, c) = -tau * (V(c, c0:c)' + V(c+1:n, c0:c)' * V(c+1:n, c)); the unit of
      // column c and the zeros above it are implied.
      for (int i = 0; i < j; ++i) *T(c0 + i, c) = -tau[c] * *V(c, c0 + i);
      const int rows = n - c - 1;
      if (rows > 0) {
        const double alpha = -tau[c];
        blas_dgemv("T", &rows, &j, &alpha, V(c + 1, c0), &ldv, V(c + 1, c), &inc1, &one, T(c0, c),
                   &inc1);
      }
      blas_dtrmv("U", "N", "N", &j, T(c0, c0), &ldt, T(c0, c), &inc1);
    }
    *T(c, c) = tau[c];
  }
}

// Backward columnwise T (lower triangular): column j's unit sits at row n-k+j, zeros below.
void backward_unblocked(int n, int k, const double* v, int ldv, const double* tau, double* t,
                        int ldt) {
  auto V = [&](int i, int j) { return v + i + static_cast<std::ptrdiff_t>(j) * ldv; };
  auto T = [&](int i, int j) { return t + i + static_cast<std::ptrdiff_t>(j) * ldt; };
  const double one = 1.0;
  const int inc1 = 1;
  for (int i = k - 1; i >= 0; --i) {
    if (tau[i] == 0.0) {
      for (int j = i; j < k; ++j) *T(j, i) = 0.0;
      continue;
    }
    if (i + 1 < k) {
      const int p = n - k + i;  // row of column i's unit
      const int cols = k - i - 1;
      for (int j = i + 1; j < k; ++j) *T(j, i) = -tau[i] * *V(p, j);
      if (p > 0) {
        const double alpha = -tau[i];
        blas_dgemv("T", &p, &cols, &alpha, V(0, i + 1), &ldv, V(0, i), &inc1, &one, T(i + 1, i),
                   &inc1);
      }
      blas_dtrmv("L", "N", "N", &cols, T(i + 1, i + 1), &ldt, T(i + 1, i), &inc1);
    }
    *T(i, i) = tau[i];
  }
}

}  // namespace

namespace householder_detail {

void couple_t(int n, int i, int ib, const double* v, int ldv, double* t, int ldt) {
  if (i <= 0 || ib <= 0) return;
  auto V = [&](int r, int c) { return v + r + static_cast<std::ptrdiff_t>(c) * ldv; };
  auto T = [&](int r, int c) { return t + r + static_cast<std::ptrdiff_t>(c) * ldt; };
  const double one = 1.0, minus_one = -1.0;
  // W = V1(i:i+ib, :)' (V1's rows facing V2's unit triangle), then W := W * L2.
  for (int c = 0; c < ib; ++c)
    for (int r = 0; r < i; ++r) *T(r, i + c) = *V(i + c, r);
  ztr_blas_dtrmm("R", "L", "N", "U", &i, &ib, &one, V(i, i), &ldv, T(0, i), &ldt);
  const int below = n - i - ib;
  if (below > 0) {
    ztr_blas_dgemm("T", "N", &i, &ib, &below, &one, V(i + ib, 0), &ldv, V(i + ib, i), &ldv, &one,
                   T(0, i), &ldt);
  }
  ztr_blas_dtrmm("L", "U", "N", "N", &i, &ib, &one, t, &ldt, T(0, i), &ldt);
  ztr_blas_dtrmm("R", "U", "N", "N", &i, &ib, &minus_one, T(i, i), &ldt, T(0, i), &ldt);
}

}  // namespace householder_detail

void ztr_lapack_dlarft(const char* direct, const char*, int n, int k, const double* v, int ldv,
                       const double* tau, double* t, int ldt) {
  if (n <= 0 || k <= 0) return;
  if (!same_letter(*direct, 'F')) {
    backward_unblocked(n, k, v, ldv, tau, t, ldt);
    return;
  }
  const int nbt = std::max(1, ilaenv(1, "DLARFT", " ", n, k, -1, -1));
  for (int i = 0; i < k; i += nbt) {
    const int ib = std::min(nbt, k - i);
    forward_unblocked(n, i, ib, v, ldv, tau, t, ldt);
    householder_detail::couple_t(n, i, ib, v, ldv, t, ldt);
  }
}

}  // namespace ztr
