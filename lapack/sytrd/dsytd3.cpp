#include <cstddef>

#include "lapack/householder/householder.h"
#include "lapack/sytrd/sytrd.h"
#include "lapack/sytrd/team_symv.h"
#include "service/letters.h"

namespace ztr {

namespace {

// S := S - v*y' - y*v' on columns [c0, c1) of the stored triangle of the order-m s (lda).
void rank2_update(bool upper, int m, double* s, std::ptrdiff_t lda, const double* v,
                  const double* y, int c0, int c1) {
  for (int j = c0; j < c1; ++j) {
    double* col = s + j * lda;
    const int r_begin = upper ? 0 : j, r_end = upper ? j + 1 : m;
    const double vj = v[j], yj = y[j];
    for (int r = r_begin; r < r_end; ++r) col[r] -= v[r] * yj + y[r] * vj;
  }
}

// One column step on the order-m symmetric matrix s (lda) with reflector v (its unit entry
// in place, published to the team when the step is shared): y := tau*S*v,
// y := y - (tau/2)*(y'v)*v, S := S - v*y' - y*v'.  y: m doubles of the lead's.  A shared
// step ends with a barrier, so the lead may read any column of S for the next reflector.
void reflect(const SymvTeam& team, bool shared, bool upper, int m, double* s, std::ptrdiff_t lda,
             const double* v, double tau, double* y) {
  const bool lead = team.lead();
  team_symv(shared ? &team : nullptr, upper, m, s, lda, v, y);
  if (lead) {
    double dot = 0.0;
    for (int r = 0; r < m; ++r) {
      y[r] *= tau;
      dot += y[r] * v[r];
    }
    const double alpha = -0.5 * tau * dot;
    for (int r = 0; r < m; ++r) y[r] += alpha * v[r];
  }
  if (!shared) {
    rank2_update(upper, m, s, lda, v, y, 0, m);
    return;
  }
  team.barrier->wait();
  const int t = team.thread;
  rank2_update(upper, m, s, lda, v, y, triangle_cut(upper, m, t, team.size),
               triangle_cut(upper, m, t + 1, team.size));
  team.barrier->wait();
}

}  // namespace

void ztr_lapack_dsytd3(const char* uplo, int n, double* a, int lda, double* d, double* e,
                       double* tau, const SymvTeam& team) {
  if (n <= 0) return;
  const bool upper = same_letter(*uplo, 'U');
  const bool lead = team.lead();
  const std::ptrdiff_t ld = lda;
  auto at = [&](int i, int j) { return a + i + j * ld; };
  double* y = team.scratch + static_cast<std::ptrdiff_t>(team.size) * n;
  for (int k = 0; k < n - 1; ++k) {
    // Column i is reduced against the order-len matrix s with reflector v, which the lead
    // generates in place (upper: i = n-2 down to 0; lower: i = 0 up to n-2).
    const int i = upper ? n - 2 - k : k;
    const int len = upper ? i + 1 : n - i - 1;
    double* s = upper ? a : at(i + 1, i + 1);
    double* v = upper ? at(0, i + 1) : at(i + 1, i);
    double* beta = upper ? at(i, i + 1) : at(i + 1, i);
    const bool shared = team_shares(&team, len);
    if (!shared && !lead) continue;
    if (lead) {
      double* x = upper ? v : at(i + 2 < n ? i + 2 : n - 1, i);
      ztr_lapack_dlarfg(len, beta, x, 1, &tau[i]);
      e[i] = *beta;
      if (tau[i] != 0.0) *beta = 1.0;
    }
    // Publishes the reflector (and whether there is one) to the team.
    if (shared) team.barrier->wait();
    if (tau[i] != 0.0) reflect(team, shared, upper, len, s, ld, v, tau[i], y);
    if (lead) {
      *beta = e[i];
      d[upper ? i + 1 : i] = upper ? *at(i + 1, i + 1) : *at(i, i);
    }
  }
  if (lead) d[upper ? 0 : n - 1] = upper ? *at(0, 0) : *at(n - 1, n - 1);
}

}  // namespace ztr
