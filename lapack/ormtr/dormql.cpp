#include <algorithm>
#include <cstddef>

#include "lapack/householder/householder.h"
#include "lapack/ormtr/apply_reflectors.h"
#include "lapack/ormtr/ormtr.h"

namespace ztr {

namespace {

// Q = H(k)*...*H(1) in QL storage: reflector i has its unit at row nq-k+i and touches only
// rows (columns) 0..nq-k+i of C.  Q*C and C*Q' take the reflectors first to last.
void ql_kernel(const ReflectorJob& j, int nb, bool blocked, double* work, double* t) {
  const std::ptrdiff_t ld = j.lda;
  auto at = [&](int r, int c) { return j.a + r + c * ld; };
  const int nq = j.left ? j.m : j.n;
  const bool forward = (j.left && j.notran) || (!j.left && !j.notran);
  const char* side = j.left ? "L" : "R";
  const int step = blocked ? nb : 1;
  const int last = ((j.k - 1) / step) * step;
  for (int s = 0; s <= last; s += step) {
    const int i = forward ? s : last - s;
    const int ib = std::min(step, j.k - i);
    const int reach = nq - j.k + i + ib;  // rows (columns) of C the block touches
    const int mi = j.left ? reach : j.m;
    const int ni = j.left ? j.n : reach;
    if (blocked) {
      ztr_lapack_dlarft("B", "C", reach, ib, at(0, i), j.lda, j.tau + i, t, kReflectorLdt);
      ztr_lapack_dlarfb(side, j.notran ? "N" : "T", "B", "C", mi, ni, ib, at(0, i), j.lda, t,
                        kReflectorLdt, j.c, j.ldc, work, j.left ? ni : mi);
    } else {
      double* unit = at(nq - j.k + i, i);
      const double aii = *unit;
      *unit = 1.0;
      ztr_lapack_dlarf(side, mi, ni, at(0, i), 1, j.tau[i], j.c, j.ldc, work);
      *unit = aii;
    }
  }
}

}  // namespace

void ztr_lapack_dormql(const char* side, const char* trans, const int* m, const int* n,
                       const int* k, double* a, const int* lda, const double* tau, double* c,
                       const int* ldc, double* work, const int* lwork, int* info) {
  apply_reflectors("DORMQL", side, trans, m, n, k, a, lda, tau, c, ldc, work, lwork, info,
                   ql_kernel);
}

}  // namespace ztr
