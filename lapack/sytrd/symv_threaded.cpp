#include "lapack/sytrd/symv_threaded.h"

#include <omp.h>

#include <cmath>
#include <cstddef>

#include "blas/level2/level2.h"

namespace ztr {

namespace {

// Below this order one thread reads the triangle faster than a team can be woken.
constexpr int kMinParallelOrder = 160;

}  // namespace

int triangle_cut(bool upper, int m, int t, int parts) {
  if (t <= 0) return 0;
  if (t >= parts) return m;
  const double f = static_cast<double>(t) / parts;
  const double c = upper ? m * std::sqrt(f) : m - m * std::sqrt(1.0 - f);
  const long ci = std::lround(c);
  return ci < 0 ? 0 : (ci > m ? m : static_cast<int>(ci));
}

void symv_threaded(bool upper, int m, double alpha, const double* s, int lda, const double* x,
                   double* y, int threads, double* partial) {
  if (m <= 0) return;
  if (threads < 2 || m < kMinParallelOrder || partial == nullptr) {
    const int inc1 = 1;
    const double zero = 0.0;
    blas_dsymv(upper ? "U" : "L", &m, &alpha, s, &lda, x, &inc1, &zero, y, &inc1);
    return;
  }
  const std::ptrdiff_t ld = lda;
#pragma omp parallel num_threads(threads)
  {
    const int t = omp_get_thread_num();
    const int team = omp_get_num_threads();
    const int c0 = triangle_cut(upper, m, t, team), c1 = triangle_cut(upper, m, t + 1, team);
    double* p = partial + static_cast<std::ptrdiff_t>(t) * m;
    for (int r = 0; r < m; ++r) p[r] = 0.0;
    // A stored column j gives S(:, j)*x(j) and, mirrored, the dot S(j, :)*x.
    for (int j = c0; j < c1; ++j) {
      const double* col = s + j * ld;
      const int r_begin = upper ? 0 : j + 1, r_end = upper ? j : m;
      const double xj = x[j];
      double sum = col[j] * xj;
      for (int r = r_begin; r < r_end; ++r) {
        sum += col[r] * x[r];
        p[r] += col[r] * xj;
      }
      p[j] += sum;
    }
#pragma omp barrier
    const int r0 = static_cast<int>(static_cast<long long>(m) * t / team);
    const int r1 = static_cast<int>(static_cast<long long>(m) * (t + 1) / team);
    for (int r = r0; r < r1; ++r) {
      double sum = 0.0;
      for (int q = 0; q < team; ++q) sum += partial[static_cast<std::ptrdiff_t>(q) * m + r];
      y[r] = alpha * sum;
    }
  }
}

}  // namespace ztr
