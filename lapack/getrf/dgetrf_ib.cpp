#include <omp.h>

#include <algorithm>
#include <atomic>
#include <cstddef>

#include "lapack/getrf/getrf.h"
#include "lapack/ilaenv.h"
#include "service/error.h"
#include "service/threads.h"

namespace ztr {

using namespace getrf_detail;

namespace {

// Column shares are multiples of this many columns, so that the multiply's column loops stay
// aligned with its register tiles.
constexpr int kShareGranule = 4;
int round_share(int columns) {
  return columns / kShareGranule * kShareGranule;
}

// The split of the trailing columns j..n (one-based) of one panel step among nt threads:
// thread 0 takes `first` columns starting at j, threads 1..nt-2 `other` each, the last thread
// the rest.  With look-ahead thread 0's share is small enough for it to finish its update
// early and factor the next panel (its first jb columns) while the others still update.
struct StepSplit {
  int first, other;
  bool look_ahead;
};

StepSplit split_step(int m, int n, int j, int jb, int nb, int nt) {
  const int trailing = n - j + 1;
  if (nt <= 1) return {trailing, 0, false};
  const int w = round_share(trailing / nt);
  if (n - j < jb) return {w, w, false};  // this panel is the last block: nothing to look ahead to
  const int q = ilaenv(12, "DGETRF", "P", m - j + 1, n - j + 1, -1, -1);
  const int d = nb * q / 32;
  int s0 = round_share(std::max(0, w - d));
  if (s0 < jb) {
    if (w < jb && jb > 8) return {w, w, false};
    s0 = jb;
  }
  return {s0, round_share((n - s0 - j + 1) / (nt - 1)), true};
}

bool check_arguments(int m, int n, int lda, int* info) {
  int bad = 0;
  if (m < 0) {
    bad = 1;
  } else if (n < 0) {
    bad = 2;
  } else if (lda < std::max(1, m)) {
    bad = 4;
  }
  if (bad == 0) return true;
  *info = -bad;
  xerbla_dispatch("DGETRF", &bad, 6);
  return false;
}

}  // namespace

bool ztr_lapack_dgetrf_ib(int m, int n, double* a, int lda, int* ipiv, int* info) {
  *info = 0;
  if (!check_arguments(m, n, lda, info)) return false;
  if (m == 0 || n == 0) return false;
  const int nx = ilaenv(3, "DGETRF", "P", m, n, -1, -1);
  const int threads = n <= nx ? 1 : domain_max_threads(kDomainAll);
  if (threads <= 1) return ztr_lapack_dgetrf_rec(m, n, a, lda, ipiv, info, 0, 0);

  const int mn = std::min(m, n);
  const int nb = ilaenv(1, "DGETRF", "P", m, n, -1, -1);
  if (nb <= 1 || nb >= mn) {
    ztr_lapack_dgetf2(m, n, a, lda, ipiv, info);
    return report_progress(0, n);
  }
  auto at = [&](int i, int j) { return a + i + static_cast<std::ptrdiff_t>(j) * lda; };
  // Merges panel j's (one-based first row/column) info and turns its pivots into global rows.
  auto merge = [&](int j, int jb, int iinfo) {
    if (*info == 0 && iinfo > 0) *info = iinfo + j - 1;
    for (int i = j; i <= std::min(m, j + jb - 1); ++i) ipiv[i - 1] += j - 1;
  };

  int iinfo = 0;
  if (ztr_lapack_dgetrf_ib(m, nb, a, lda, ipiv, &iinfo)) return true;
  merge(1, nb, iinfo);

  std::atomic<bool> abort{false};
  int last = 1, last_jb = nb;
  for (int j = nb + 1; j <= mn; j += nb) {
    const int jb = std::min(mn - j + 1, nb);
    StepSplit split{};
#pragma omp parallel num_threads(threads)
    {
      const int t = omp_get_thread_num(), nt = omp_get_num_threads();
#pragma omp single
      split = split_step(m, n, j, jb, nb, nt);  // implied barrier: everyone sees the split
      int c0 = j - 1, width = split.first;
      if (t > 0) {
        c0 += split.first + (t - 1) * split.other;
        width = t == nt - 1 ? n - c0 : split.other;
      } else if (nt == 1) {
        width = n - c0;
      }
      apply_panel(m, a, lda, ipiv, j - nb, nb, c0, width);
      if (split.look_ahead && t == 0) {
        int panel_info = 0;
        const bool stop = ztr_lapack_dgetrf_rec(m - j + 1, jb, at(j - 1, j - 1), lda,
                                                ipiv + (j - 1), &panel_info, 0, j - 1);
        merge(j, jb, panel_info);
        if (stop) abort.store(true);
      }
    }
    if (abort.load()) return true;
    if (!split.look_ahead) {
      if (ztr_lapack_dgetrf_ib(m - j + 1, jb, at(j - 1, j - 1), lda, ipiv + (j - 1), &iinfo))
        return true;
      merge(j, jb, iinfo);
    }
    last = j;
    last_jb = jb;
  }
  // A wide matrix: the columns right of the last panel have not seen it yet.
  if (m < n) apply_panel(m, a, lda, ipiv, last, last_jb, m, n - m);

  // Every panel's interchanges, applied to the columns of the panels to its left.
  const int blocks = (mn - 1) / nb + 1;
#pragma omp parallel num_threads(threads)
  {
    const int t = omp_get_thread_num(), nt = omp_get_num_threads();
    const int share = nb / nt;
    const int s = t * share;
    const int width = t == nt - 1 ? nb - s : share;
    for (int p = 1; p < blocks; ++p) {
      swap_rows(a, lda, (p - 1) * nb + s, width, p * nb + 1, mn, ipiv);
    }
  }
  return false;
}

}  // namespace ztr
