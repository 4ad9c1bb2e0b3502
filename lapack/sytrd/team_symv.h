// The symmetric matrix-vector products of the threaded reduction, shared by the threads of
// one parallel region that spans the whole reduction.
#pragma once

#include <cstddef>

#include "service/column_barrier.h"

namespace ztr {

// Below this order one product is cheaper than two barriers.
constexpr int kMinTeamSymvOrder = 384;

// First column of share t of the stored triangle of an order-m matrix cut into `parts`
// shares of equal area (lower: column j holds m - j entries; upper: j + 1).
int triangle_cut(bool upper, int m, int t, int parts);

// One thread's view of the team.  Thread 0 (the lead) does the serial steps; the others
// join in the products.  scratch holds `size` vectors of the largest order the team is used
// for (vector t is thread t's partial product; the lead's is spare).
struct SymvTeam {
  int thread;
  int size;
  ColumnBarrier* barrier;
  double* scratch;
  bool lead() const { return thread == 0; }
};

// Whether a product of order m is shared by the team (then every thread of the team calls
// team_symv); otherwise the lead computes it alone.  team may be null (no team).
bool team_shares(const SymvTeam* team, int m);

// y := A*x for the order-m symmetric A (the uplo triangle, lda), unit strides.  Shared
// (team_shares): every thread of the team calls it after a barrier that published A and
// x; each takes an equal-area share of the stored columns into its vector, and after one
// more barrier the lead adds them into y, which only the lead may read on return.
// Otherwise the caller alone computes y.
void team_symv(const SymvTeam* team, bool upper, int m, const double* a, std::ptrdiff_t lda,
               const double* x, double* y);

// Thread t's share of A*x, written over the rows the share reaches (returned in
// [*r0, *r1)); the rank-2 update after the product takes the same columns, [*c0, *c1).
void symv_share(bool upper, int m, const double* a, std::ptrdiff_t lda, const double* x,
                double* y_t, int t, int parts, int* c0, int* c1, int* r0, int* r1);

}  // namespace ztr
