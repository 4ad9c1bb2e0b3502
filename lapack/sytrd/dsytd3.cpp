#include <omp.h>

#include <cmath>
#include <cstddef>

#include "lapack/householder/householder.h"
#include "lapack/sytrd/sytrd.h"
#include "service/letters.h"

namespace ztr {

namespace {

// Below this order a column's product and update are cheaper than waking the team.
constexpr int kMinParallelOrder = 160;

// First column of thread t's share of a triangle of order m, cut into `parts` pieces of
// equal area.  Lower: column j holds m - j entries; upper: j + 1.
int triangle_cut(bool upper, int m, int t, int parts) {
  if (t <= 0) return 0;
  if (t >= parts) return m;
  const double f = static_cast<double>(t) / parts;
  const double c = upper ? m * std::sqrt(f) : m - m * std::sqrt(1.0 - f);
  const int ci = static_cast<int>(std::lround(c));
  return ci < 0 ? 0 : (ci > m ? m : ci);
}

// One column step on the order-m symmetric matrix s (lda) with reflector v (v's unit entry
// already in place): y := tau*S*v, y := y - (tau/2)*(y'v)*v, S := S - v*y' - y*v'.
// partial holds `threads` vectors of m, y one more; dots `threads` doubles.
void reflect(bool upper, int m, double* s, std::ptrdiff_t lda, const double* v, double tau,
             int threads, double* partial, double* y, double* dots) {
  if (m < kMinParallelOrder) threads = 1;
#pragma omp parallel num_threads(threads) if (threads > 1)
  {
    const int t = omp_get_thread_num();
    const int team = omp_get_num_threads();
    const int c0 = triangle_cut(upper, m, t, team), c1 = triangle_cut(upper, m, t + 1, team);
    double* p = partial + static_cast<std::ptrdiff_t>(t) * m;
    for (int r = 0; r < m; ++r) p[r] = 0.0;
    // Each stored column j contributes S(:, j)*v(j) and, mirrored, S(j, :)*v.
    for (int j = c0; j < c1; ++j) {
      const double* col = s + j * lda;
      const int r_begin = upper ? 0 : j + 1, r_end = upper ? j : m;
      double sum = col[j] * v[j];
      const double vj = v[j];
      for (int r = r_begin; r < r_end; ++r) {
        sum += col[r] * v[r];
        p[r] += col[r] * vj;
      }
      p[j] += sum;
    }
#pragma omp barrier
    const int r0 = static_cast<int>(static_cast<long long>(m) * t / team);
    const int r1 = static_cast<int>(static_cast<long long>(m) * (t + 1) / team);
    double dot = 0.0;
    for (int r = r0; r < r1; ++r) {
      double sum = 0.0;
      for (int q = 0; q < team; ++q) sum += partial[static_cast<std::ptrdiff_t>(q) * m + r];
      y[r] = tau * sum;
      dot += y[r] * v[r];
    }
    dots[t] = dot;
#pragma omp barrier
    double total = 0.0;
    for (int q = 0; q < team; ++q) total += dots[q];
    const double alpha = -0.5 * tau * total;
    for (int r = r0; r < r1; ++r) y[r] += alpha * v[r];
#pragma omp barrier
    for (int j = c0; j < c1; ++j) {
      double* col = s + j * lda;
      const int r_begin = upper ? 0 : j, r_end = upper ? j + 1 : m;
      const double vj = v[j], yj = y[j];
      for (int r = r_begin; r < r_end; ++r) col[r] -= v[r] * yj + y[r] * vj;
    }
  }
}

}  // namespace

void ztr_lapack_dsytd3(const char* uplo, int n, double* a, int lda, double* d, double* e,
                       double* tau, int threads, double* scratch) {
  if (n <= 0) return;
  const bool upper = same_letter(*uplo, 'U');
  const std::ptrdiff_t ld = lda;
  auto at = [&](int i, int j) { return a + i + j * ld; };
  double* partial = scratch;
  double* y = scratch + static_cast<std::ptrdiff_t>(threads) * n;
  constexpr int kMaxTeam = 256;  // more threads than this would not pay on one column
  double dots[kMaxTeam];
  const int team = threads < kMaxTeam ? threads : kMaxTeam;
  if (upper) {
    for (int i = n - 2; i >= 0; --i) {
      const int len = i + 1;
      double taui = 0.0;
      ztr_lapack_dlarfg(len, at(i, i + 1), at(0, i + 1), 1, &taui);
      e[i] = *at(i, i + 1);
      if (taui != 0.0) {
        *at(i, i + 1) = 1.0;
        reflect(true, len, a, ld, at(0, i + 1), taui, team, partial, y, dots);
        *at(i, i + 1) = e[i];
      }
      d[i + 1] = *at(i + 1, i + 1);
      tau[i] = taui;
    }
    d[0] = *at(0, 0);
  } else {
    for (int i = 0; i < n - 1; ++i) {
      const int len = n - i - 1;
      double taui = 0.0;
      ztr_lapack_dlarfg(len, at(i + 1, i), at(i + 2 < n ? i + 2 : n - 1, i), 1, &taui);
      e[i] = *at(i + 1, i);
      if (taui != 0.0) {
        *at(i + 1, i) = 1.0;
        reflect(false, len, at(i + 1, i + 1), ld, at(i + 1, i), taui, team, partial, y, dots);
        *at(i + 1, i) = e[i];
      }
      d[i] = *at(i, i);
      tau[i] = taui;
    }
    d[n - 1] = *at(n - 1, n - 1);
  }
}

}  // namespace ztr
