// Symmetric matrix times general matrix.  The symmetric operand is expanded, one panel of
// columns at a time, into a full work panel, and each panel's contribution is one multiply;
// the parallelism is the multiply's.
#include <cstddef>

#include "blas/level3/level3.h"
#include "blas/level3/level3_common.h"
#include "service/error.h"
#include "service/memory.h"
#include "service/letters.h"

namespace ztr {
namespace {

using Index = std::ptrdiff_t;

// Columns of A expanded per multiply: wide enough for the multiply's inner dimension, small
// enough that the panel stays a modest buffer.
constexpr int kPanel = 256;

// Entry (i, j) of the symmetric matrix stored in its uplo triangle.
inline double sym(bool upper, const double* a, Index lda, Index i, Index j) {
  const bool stored = upper ? i <= j : i >= j;
  return stored ? a[i + j * lda] : a[j + i * lda];
}

// Without a work panel: the reference loops.
void symm_unblocked(bool left, bool upper, int m, int n, double alpha, const double* a,
                    int lda, const double* b, int ldb, double beta, double* c, int ldc) {
  const int inner = left ? m : n;
  for (Index j = 0; j < n; ++j)
    for (Index i = 0; i < m; ++i) {
      double s = 0.0;
      for (Index p = 0; p < inner; ++p)
        s += left ? sym(upper, a, lda, i, p) * b[p + j * ldb] : b[i + p * ldb] * sym(upper, a, lda, p, j);
      double& e = c[i + j * ldc];
      e = beta == 0.0 ? alpha * s : alpha * s + beta * e;
    }
}

}  // namespace

void ztr_blas_dsymm(const char* side, const char* uplo, const int* m_, const int* n_,
                    const double* alpha_, const double* a, const int* lda_, const double* b,
                    const int* ldb_, const double* beta_, double* c, const int* ldc_) {
  const int m = *m_, n = *n_, lda = *lda_, ldb = *ldb_, ldc = *ldc_;
  const double alpha = *alpha_, beta = *beta_;
  if (m <= 0 || n <= 0 || (alpha == 0.0 && beta == 1.0)) return;
  const bool left = same_letter(*side, 'L'), upper = same_letter(*uplo, 'U');
  if (alpha == 0.0) {
    for (Index j = 0; j < n; ++j)
      for (Index i = 0; i < m; ++i) c[i + j * ldc] = beta == 0.0 ? 0.0 : beta * c[i + j * ldc];
    return;
  }
  const int order = left ? m : n;
  const int width = order < kPanel ? order : kPanel;
  double* panel = static_cast<double*>(mm_malloc(sizeof(double) * order * width, kWorkAlignment));
  if (alloc_check(panel, "DSYMM") != 0) {
    symm_unblocked(left, upper, m, n, alpha, a, lda, b, ldb, beta, c, ldc);
    return;
  }
  const level3::Dgemm gemm;
  for (int p0 = 0; p0 < order; p0 += kPanel) {
    const int pb = order - p0 < kPanel ? order - p0 : kPanel;
    // panel = columns p0..p0+pb of the full symmetric matrix (equal to its rows, transposed).
    for (Index j = 0; j < pb; ++j)
      for (Index i = 0; i < order; ++i) panel[i + j * order] = sym(upper, a, lda, i, p0 + j);
    const double b2 = p0 == 0 ? beta : 1.0;
    if (left)  // C += A(:, p) * B(p, :)
      gemm('N', 'N', m, n, pb, alpha, panel, order, b + p0, ldb, b2, c, ldc);
    else  // C += B(:, p) * A(p, :), and A(p, :) is the panel transposed
      gemm('N', 'T', m, n, pb, alpha, b + static_cast<Index>(p0) * ldb, ldb, panel, order, b2, c, ldc);
  }
  mm_free(panel);
}

}  // namespace ztr
