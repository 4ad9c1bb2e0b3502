// The transposing copy, compiled once per CpuType (the variants differ only in the
// instructions the compiler selects).
#include "service/kernel_variant.h"

namespace ztr::kernels::ZTR_VARIANT_NS {
namespace {

constexpr int kLeaf = 4;

// Column-major view: a is rows x cols with leading dimension lda.  transpose: b(j, i) = a(i, j),
// else b(i, j) = a(i, j).
void copy_rec(bool transpose, int r0, int r1, int c0, int c1, double alpha, const double* a,
              int lda, double* b, int ldb) {
  const int rows = r1 - r0, cols = c1 - c0;
  if (rows > kLeaf || cols > kLeaf) {
    if (rows > cols) {
      const int mid = r0 + rows / 2;
      copy_rec(transpose, r0, mid, c0, c1, alpha, a, lda, b, ldb);
      copy_rec(transpose, mid, r1, c0, c1, alpha, a, lda, b, ldb);
    } else {
      const int mid = c0 + cols / 2;
      copy_rec(transpose, r0, r1, c0, mid, alpha, a, lda, b, ldb);
      copy_rec(transpose, r0, r1, mid, c1, alpha, a, lda, b, ldb);
    }
    return;
  }
  const bool scale = alpha != 1.0;
  for (int j = c0; j < c1; ++j) {
    for (int i = r0; i < r1; ++i) {
      const double v = a[i + static_cast<long>(j) * lda];
      double* dst = transpose ? &b[j + static_cast<long>(i) * ldb] : &b[i + static_cast<long>(j) * ldb];
      *dst = scale ? alpha * v : v;
    }
  }
}

}  // namespace

void transpose_copy(char ordering, char operation, int rows, int cols, double alpha,
                    const double* a, int lda, double* b, int ldb) {
  // Row-major data is the column-major view of the transposed shape.
  const bool column_major = ordering == 'C' || ordering == 'c';
  const int r = column_major ? rows : cols;
  const int c = column_major ? cols : rows;
  const bool transpose = operation == 'T' || operation == 't' || operation == 'C' || operation == 'c';
  if (r <= 0 || c <= 0) return;
  copy_rec(transpose, 0, r, 0, c, alpha, a, lda, b, ldb);
}

}  // namespace ztr::kernels::ZTR_VARIANT_NS
