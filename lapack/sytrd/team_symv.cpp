#include "lapack/sytrd/team_symv.h"

#include <cmath>

#include "blas/level2/level2.h"

namespace ztr {

int triangle_cut(bool upper, int m, int t, int parts) {
  if (t <= 0) return 0;
  if (t >= parts) return m;
  const double f = static_cast<double>(t) / parts;
  const double c = upper ? m * std::sqrt(f) : m - m * std::sqrt(1.0 - f);
  const int ci = static_cast<int>(std::lround(c));
  return ci < 0 ? 0 : (ci > m ? m : ci);
}

namespace {

// The columns of share t and the rows they reach: below them (lower), above them (upper).
void share_rows(bool upper, int m, int t, int parts, int* c0, int* c1, int* r0, int* r1) {
  *c0 = triangle_cut(upper, m, t, parts);
  *c1 = triangle_cut(upper, m, t + 1, parts);
  *r0 = upper ? 0 : *c0;
  *r1 = *c0 >= *c1 ? *r0 : (upper ? *c1 : m);
}

}  // namespace

bool team_shares(const SymvTeam* team, int m) {
  return team != nullptr && team->size > 1 && m >= kMinTeamSymvOrder;
}

void symv_share(bool upper, int m, const double* a, std::ptrdiff_t lda, const double* x,
                double* y_t, int t, int parts, int* c0, int* c1, int* r0, int* r1) {
  share_rows(upper, m, t, parts, c0, c1, r0, r1);
  for (int r = *r0; r < *r1; ++r) y_t[r] = 0.0;
  blas_dsymv_columns(upper ? 'U' : 'L', m, *c0, *c1, 1.0, a, static_cast<int>(lda), x, y_t);
}

void team_symv(const SymvTeam* team, bool upper, int m, const double* a, std::ptrdiff_t lda,
               const double* x, double* y) {
  if (m <= 0) return;
  int c0, c1, r0, r1;
  if (!team_shares(team, m)) {
    symv_share(upper, m, a, lda, x, y, 0, 1, &c0, &c1, &r0, &r1);
    return;
  }
  const int t = team->thread, size = team->size;
  symv_share(upper, m, a, lda, x, t == 0 ? y : team->scratch + static_cast<std::ptrdiff_t>(t) * m,
             t, size, &c0, &c1, &r0, &r1);
  team->barrier->wait();
  if (t != 0) return;
  // y is the sum's base: rows the lead's columns do not reach start at zero.
  for (int r = 0; r < r0; ++r) y[r] = 0.0;
  for (int r = r1; r < m; ++r) y[r] = 0.0;
  for (int q = 1; q < size; ++q) {
    share_rows(upper, m, q, size, &c0, &c1, &r0, &r1);
    const double* p = team->scratch + static_cast<std::ptrdiff_t>(q) * m;
    for (int r = r0; r < r1; ++r) y[r] += p[r];
  }
}

}  // namespace ztr
