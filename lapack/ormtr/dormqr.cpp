#include <algorithm>
#include <cstddef>

#include "lapack/householder/householder.h"
#include "lapack/ormtr/apply_reflectors.h"
#include "lapack/ormtr/ormtr.h"

namespace ztr {

namespace {

// Q = H(1)*...*H(k) in QR storage.  Q*C and C*Q' take the reflectors last to first, Q'*C
// and C*Q first to last.
void qr_kernel(const ReflectorJob& j, int nb, bool blocked, double* work, double* t) {
  const std::ptrdiff_t ld = j.lda;
  auto at = [&](int r, int c) { return j.a + r + c * ld; };
  const int nq = j.left ? j.m : j.n;
  const bool forward = (j.left && !j.notran) || (!j.left && j.notran);
  const char* side = j.left ? "L" : "R";
  const int step = blocked ? nb : 1;
  const int last = ((j.k - 1) / step) * step;
  for (int s = 0; s <= last; s += step) {
    const int i = forward ? s : last - s;
    const int ib = std::min(step, j.k - i);
    const int mi = j.left ? j.m - i : j.m;
    const int ni = j.left ? j.n : j.n - i;
    double* c = j.left ? j.c + i : j.c + static_cast<std::ptrdiff_t>(i) * j.ldc;
    if (blocked) {
      ztr_lapack_dlarft("F", "C", nq - i, ib, at(i, i), j.lda, j.tau + i, t, kReflectorLdt);
      ztr_lapack_dlarfb(side, j.notran ? "N" : "T", "F", "C", mi, ni, ib, at(i, i), j.lda, t,
                        kReflectorLdt, c, j.ldc, work, j.left ? ni : mi);
    } else {
      const double aii = *at(i, i);
      *at(i, i) = 1.0;
      ztr_lapack_dlarf(side, mi, ni, at(i, i), 1, j.tau[i], c, j.ldc, work);
      *at(i, i) = aii;
    }
  }
}

}  // namespace

void ztr_lapack_dormqr(const char* side, const char* trans, const int* m, const int* n,
                       const int* k, double* a, const int* lda, const double* tau, double* c,
                       const int* ldc, double* work, const int* lwork, int* info) {
  apply_reflectors("DORMQR", side, trans, m, n, k, a, lda, tau, c, ldc, work, lwork, info,
                   qr_kernel);
}

}  // namespace ztr
