#include <algorithm>
#include <cstddef>

#include "lapack/householder/householder.h"
#include "lapack/ilaenv.h"
#include "service/threads.h"

namespace ztr {

namespace {
// Widest leaf of the recursion, whatever the tuning table says.
constexpr int kMaxLeafWidth = 256;
}  // namespace

// A panel of at most nbq columns is a leaf: the row-split factorization when its partial sums
// fit in twork and the panel is taller than wide, otherwise DGEQR2 and DLARFT.  Wider panels
// are factored leaf by leaf; each leaf's reflector updates the rest of the panel, and its T
// is coupled to the T of the leaves before it.  The strictly lower part of T is the scratch
// of every step (DGEQR2's vector, DLARFB's workspace, the leaves' partial sums).
void ztr_lapack_dlaqrf(int m, int n, double* a, int lda, double* tau, double* t, int ldt,
                       double* twork, int ltwork) {
  if (m <= 0 || n <= 0) return;
  auto A = [&](int i, int j) { return a + i + static_cast<std::ptrdiff_t>(j) * lda; };
  auto T = [&](int i, int j) { return t + i + static_cast<std::ptrdiff_t>(j) * ldt; };
  const int k = std::min(m, n);
  if (k < n) {
    // More columns than rows: the reflectors come from the first m columns; the others are
    // only updated (DLARFB's workspace in T's rows below k).
    ztr_lapack_dlaqrf(m, k, a, lda, tau, t, ldt, twork, ltwork);
    ztr_lapack_dlarfb("L", "T", "F", "C", m, n - k, k, a, lda, t, ldt, A(0, k), lda, T(k, 0), ldt);
    return;
  }
  const int nbq = std::min(kMaxLeafWidth, ilaenv(1, "DLAQRF", " ", m, n, -1, -1));
  if (n <= nbq) {
    const int threads = domain_max_threads(kDomainAll);
    if (static_cast<long long>(threads - 1) * n <= ltwork && n < m) {
      ztr_lapack_dgeqrf_pf(m, n, a, lda, tau, t, ldt, twork, ltwork);
    } else {
      ztr_lapack_dgeqr2(m, n, a, lda, tau, T(1 % ldt, 0));
      ztr_lapack_dlarft("F", "C", m, n, a, lda, tau, t, ldt);
    }
    return;
  }
  for (int i = 0; i < n; i += nbq) {
    const int ib = std::min(nbq, n - i);
    ztr_lapack_dlaqrf(m - i, ib, A(i, i), lda, tau + i, T(i, i), ldt, twork, ltwork);
    if (i + ib < n) {
      ztr_lapack_dlarfb("L", "T", "F", "C", m - i, n - i - ib, ib, A(i, i), lda, T(i, i), ldt,
                        A(i, i + ib), lda, T(i + ib, i), ldt);
    }
    householder_detail::couple_t(m, i, ib, a, lda, t, ldt);
  }
}

}  // namespace ztr
