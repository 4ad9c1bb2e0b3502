// Row-split QR of a tall panel.  The rows are cut into one contiguous slice per thread; each
// column costs three barriers:
//   1. every thread forms the products of its rows of column j (below the diagonal) with the
//      columns of the panel (the earlier ones feed T, the later ones the update);
//   2. thread 0 sums them, generates the reflector as DLARFG does, updates row j and, with
//      T, forms column j of T from the sums (the recurrence of the forward columnwise T);
//   3. every thread scales its part of the vector and updates its rows of the later columns.
// Thread 0 keeps its products in column j of T (rows below j are scratch) and the others in
// twork (or, for a trailing matrix, in a buffer of the caller and an allocated one), n
// doubles each.  When the sum of squares leaves the range where it is accurate
// (tiny, zero, huge or NaN), thread 0 generates the reflector with DLARFG itself on the whole
// column, so the rescaling rules stay those of DLARFG.
#include <omp.h>

#include <algorithm>
#include <cmath>
#include <cstddef>

#include "blas/level1/level1.h"
#include "blas/level2/level2.h"
#include "lapack/householder/householder.h"
#include "service/column_barrier.h"
#include "service/memory.h"
#include "service/threads.h"

namespace ztr {

namespace {

constexpr int kBufferAlignment = 128;
// Range of a sum of squares in which sqrt(sum) is as accurate as the scaled norm: squares
// that underflow are negligible beside it, and nothing overflowed.
constexpr double kSafeSumLow = 0x1p-900;
constexpr double kSafeSumHigh = 0x1p+900;

struct Panel {
  int m, n;
  double* a;
  int lda;
  double* tau;
  double* t;  // null: no T (the trailing-matrix form)
  int ldt;
  double* sum0;    // thread 0's products (column j of T, or a buffer)
  double* others;  // the other threads' products, n each
  double* at(int i, int j) const { return a + i + static_cast<std::ptrdiff_t>(j) * lda; }
};

// What thread 0 hands to the others for one column.
struct Reflector {
  double tau, scale;
  const double* w;  // w(c) for the later columns c, indexed by c
};

void factor(const Panel& p, int thread, int nthreads, Reflector& shared, ColumnBarrier& barrier) {
  const int k = std::min(p.m, p.n);
  const int inc1 = 1;
  const double one = 1.0, zero = 0.0;
  const int r0 = static_cast<int>(static_cast<long long>(p.m) * thread / nthreads);
  const int r1 = static_cast<int>(static_cast<long long>(p.m) * (thread + 1) / nthreads);
  double* mine = thread == 0 ? nullptr : p.others + static_cast<std::ptrdiff_t>(thread - 1) * p.n;
  for (int j = 0; j < k; ++j) {
    double* sum = p.t != nullptr ? p.t + static_cast<std::ptrdiff_t>(j) * p.ldt : p.sum0;
    double* buf = thread == 0 ? sum : mine;
    const int c0 = p.t != nullptr ? 0 : j;  // first column whose product is wanted
    const int cols = p.n - c0;
    const int lo = std::max(r0, j + 1);
    const int rows = r1 - lo;
    // 1. Products of this thread's rows.
    if (rows > 0) {
      blas_dgemv("T", &rows, &cols, &one, p.at(lo, c0), &p.lda, p.at(lo, j), &inc1, &zero, buf + c0,
                 &inc1);
    } else {
      std::fill(buf + c0, buf + p.n, 0.0);
    }
    barrier.wait();
    // 2. The reflector.
    if (thread == 0) {
      for (int t = 1; t < nthreads; ++t) {
        const double* o = p.others + static_cast<std::ptrdiff_t>(t - 1) * p.n;
        for (int c = c0; c < p.n; ++c) sum[c] += o[c];
      }
      double alpha = *p.at(j, j);
      const double ss = sum[j];
      double tau = 0.0, scale = 1.0;
      if (j + 1 < p.m) {
        if (ss >= kSafeSumLow && ss <= kSafeSumHigh) {
          const double beta = -std::copysign(std::hypot(alpha, std::sqrt(ss)), alpha);
          tau = (beta - alpha) / beta;
          scale = 1.0 / (alpha - beta);
          alpha = beta;
        } else {
          // Outside the safe range: DLARFG on the whole column, then the products again
          // with the finished vector (the scaling below is then a multiply by one).  A sum
          // of exactly zero is no proof of a zero column: squares of entries below about
          // 1e-162 underflow, and only DLARFG's scaled norm tells them from zeros.
          const int len = p.m - j;
          ztr_lapack_dlarfg(len, &alpha, p.at(j + 1, j), 1, &tau);
          const int below = p.m - j - 1;
          blas_dgemv("T", &below, &cols, &one, p.at(j + 1, c0), &p.lda, p.at(j + 1, j), &inc1,
                     &zero, sum + c0, &inc1);
        }
      }
      *p.at(j, j) = alpha;
      p.tau[j] = tau;
      // w(c) = v'*A(:, c) with v(j) = 1; row j is updated here, the rows below in step 3.
      for (int c = j + 1; c < p.n; ++c) {
        sum[c] = *p.at(j, c) + scale * sum[c];
        *p.at(j, c) -= tau * sum[c];
      }
      if (p.t != nullptr && tau == 0.0) {
        std::fill(sum, sum + j + 1, 0.0);  // H(j) = I: its column of T is zero
      } else if (p.t != nullptr) {
        // T(0:j, j) = -tau * V(:, 0:j)' * v, with V(j, i) the stored entry of row j.
        for (int i = 0; i < j; ++i) sum[i] = -tau * (*p.at(j, i) + scale * sum[i]);
        sum[j] = tau;
      }
      shared = {tau, scale, sum};
    }
    barrier.wait();
    // 3. The update of this thread's rows.
    const Reflector r = shared;
    if (r.tau != 0.0 && rows > 0) {
      if (r.scale != 1.0) blas_dscal(&rows, &r.scale, p.at(lo, j), &inc1);
      const int later = p.n - j - 1;
      if (later > 0) {
        const double minus_tau = -r.tau;
        blas_dger(&rows, &later, &minus_tau, p.at(lo, j), &inc1, r.w + j + 1, &inc1,
                  p.at(lo, j + 1), &p.lda);
      }
    }
    if (thread == 0 && p.t != nullptr && j > 0) {
      blas_dtrmv("U", "N", "N", &j, p.t, &p.ldt, sum, &inc1);
    }
    barrier.wait();
  }
}

// Threads for a panel: each must own more rows than the panel has columns.
int panel_threads(int m, int n) {
  // Inside a parallel region (a task of the parallel QR) the panel stays on its thread.
  if (omp_in_parallel()) return 1;
  int threads = domain_max_threads(kDomainAll);
  const int k = std::min(m, n);
  if (k > 0 && m / threads <= k) threads = get_dynamic() != 0 ? std::clamp(m / k, 1, threads) : 1;
  return n <= m ? threads : 1;
}

void run(const Panel& p, int threads) {
  Reflector shared{0.0, 1.0, nullptr};
  if (threads <= 1) {
    ColumnBarrier none(1);
    factor(p, 0, 1, shared, none);
    return;
  }
  // The team may be smaller than asked for (a nested region): the barrier counts the team.
  run_column_team(threads, [&](int thread, int team, ColumnBarrier& barrier) {
    factor(p, thread, team, shared, barrier);
  });
}

}  // namespace

void ztr_lapack_dgeqrf_pf(int m, int n, double* a, int lda, double* tau, double* t, int ldt,
                          double* twork, int ltwork) {
  if (m <= 0 || n <= 0) return;
  int threads = panel_threads(m, n);
  if (static_cast<long long>(threads - 1) * n > ltwork) threads = 1;
  run(Panel{m, n, a, lda, tau, t, ldt, nullptr, twork}, threads);
}

void ztr_lapack_dgeqrf_pfnr(int m, int n, double* a, int lda, double* tau, double* work) {
  if (m <= 0 || n <= 0) return;
  int threads = panel_threads(m, n);
  double* others = nullptr;
  if (threads > 1) {
    others = static_cast<double*>(
        mm_malloc(sizeof(double) * static_cast<std::size_t>(threads - 1) * n, kBufferAlignment));
    // Without room for the other threads' products the same scheme runs on one thread.
    if (others == nullptr) threads = 1;
  }
  run(Panel{m, n, a, lda, tau, nullptr, 0, work, others}, threads);
  mm_free(others);
}

}  // namespace ztr
