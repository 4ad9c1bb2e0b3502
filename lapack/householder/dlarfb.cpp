#include <cstddef>

#include "blas/gemm/gemm.h"
#include "blas/level1/level1.h"
#include "blas/level3/level3.h"
#include "lapack/householder/householder.h"
#include "service/letters.h"

namespace ztr {

// One scheme for the four columnwise cases.  The k reflectors' vectors run over `count` rows
// of V (m for side 'L', n for 'R'); their unit triangle occupies rows [u0, u0+k) (the top for
// the forward direction, lower unit triangle; the bottom for the backward one, upper), and the
// rest of V, rows [o0, o0+other), is full.  With W = C'*V (side 'L') or C*V (side 'R'):
//   W := W*op(T);  C := C - V*W' (side 'L') or C - W*V' (side 'R'),
// where op(T) = T' for H*C, T for H'*C, T for C*H and T' for C*H'.
void ztr_lapack_dlarfb(const char* side, const char* trans, const char* direct, const char*, int m,
                       int n, int k, const double* v, int ldv, const double* t, int ldt, double* c,
                       int ldc, double* work, int ldwork) {
  if (m <= 0 || n <= 0 || k <= 0) return;
  auto V = [&](int i, int j) { return v + i + static_cast<std::ptrdiff_t>(j) * ldv; };
  auto C = [&](int i, int j) { return c + i + static_cast<std::ptrdiff_t>(j) * ldc; };
  auto W = [&](int i, int j) { return work + i + static_cast<std::ptrdiff_t>(j) * ldwork; };
  const double one = 1.0, minus_one = -1.0;
  const int inc1 = 1;
  const bool left = same_letter(*side, 'L');
  const bool forward = same_letter(*direct, 'F');
  const bool no_trans = same_letter(*trans, 'N');
  const int count = left ? m : n;
  const int other = count - k;
  const int u0 = forward ? 0 : other;
  const int o0 = forward ? k : 0;
  const char* vtri = forward ? "L" : "U";
  const char* ttri = forward ? "U" : "L";
  // H*C needs T' when W = C'*V; C*H needs T.
  const char* op_t = (left == no_trans) ? "T" : "N";

  if (left) {
    // W (n x k) = C(u0:u0+k, :)' * V_unit + C(o0:o0+other, :)' * V_other
    for (int j = 0; j < k; ++j) blas_dcopy(&n, C(u0 + j, 0), &ldc, W(0, j), &inc1);
    ztr_blas_dtrmm("R", vtri, "N", "U", &n, &k, &one, V(u0, 0), &ldv, work, &ldwork);
    if (other > 0)
      ztr_blas_dgemm("T", "N", &n, &k, &other, &one, C(o0, 0), &ldc, V(o0, 0), &ldv, &one, work,
                     &ldwork);
    ztr_blas_dtrmm("R", ttri, op_t, "N", &n, &k, &one, t, &ldt, work, &ldwork);
    if (other > 0)
      ztr_blas_dgemm("N", "T", &other, &n, &k, &minus_one, V(o0, 0), &ldv, work, &ldwork, &one,
                     C(o0, 0), &ldc);
    ztr_blas_dtrmm("R", vtri, "T", "U", &n, &k, &one, V(u0, 0), &ldv, work, &ldwork);
    for (int j = 0; j < k; ++j)
      for (int i = 0; i < n; ++i) *C(u0 + j, i) -= *W(i, j);
  } else {
    // W (m x k) = C(:, u0:u0+k) * V_unit + C(:, o0:o0+other) * V_other
    for (int j = 0; j < k; ++j) blas_dcopy(&m, C(0, u0 + j), &inc1, W(0, j), &inc1);
    ztr_blas_dtrmm("R", vtri, "N", "U", &m, &k, &one, V(u0, 0), &ldv, work, &ldwork);
    if (other > 0)
      ztr_blas_dgemm("N", "N", &m, &k, &other, &one, C(0, o0), &ldc, V(o0, 0), &ldv, &one, work,
                     &ldwork);
    ztr_blas_dtrmm("R", ttri, op_t, "N", &m, &k, &one, t, &ldt, work, &ldwork);
    if (other > 0)
      ztr_blas_dgemm("N", "T", &m, &other, &k, &minus_one, work, &ldwork, V(o0, 0), &ldv, &one,
                     C(0, o0), &ldc);
    ztr_blas_dtrmm("R", vtri, "T", "U", &m, &k, &one, V(u0, 0), &ldv, work, &ldwork);
    for (int j = 0; j < k; ++j)
      for (int i = 0; i < m; ++i) *C(i, u0 + j) -= *W(i, j);
  }
}

}  // namespace ztr
