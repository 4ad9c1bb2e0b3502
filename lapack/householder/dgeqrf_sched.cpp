// The task-parallel QR.  The columns are cut into blocks of nb; block c must receive the
// reflectors of panels 1, 2, ... in order, and once it has received those of panels
// 1..c-1 it is factored as panel c.  Threads take tasks (apply one panel to a group of
// blocks, and factor the next panel when the group starts with it) from a scheduler whose
// state is one small int array and three counters; every decision is made under the
// library-wide scheduler lock and all arithmetic outside it.
//
// qr_sched_state: status[c] = the next panel block c must receive, -1 while a task works on
// it, and a sentinel 0 after the last block.  P = panels factored, F = the lowest panel some
// idle block still needs (a finished task lowers it again), and an abort flag for a stop
// request of the progress hook.
#include <omp.h>

#include <algorithm>
#include <atomic>
#include <cstddef>

#include "lapack/householder/householder.h"
#include "lapack/householder/qr_common.h"
#include "service/memory.h"
#include "service/spin_wait.h"
#include "service/threads.h"

namespace ztr::qr_detail {

namespace {

constexpr int kBufferAlignment = 128;

struct qr_task {
  enum Kind { kNothing, kFinished, kApply } kind;
  int s;        // the panel applied
  int c1, c2;   // the blocks
  bool factor;  // panel s+1 is factored after the update (c1 = s+1)
};

struct qr_sched_state {
  int* status;  // status[1..npan+1]
  int npan, kpan, threads, b;
  int P = 1, F = 1;

  // A block with status F in [lo, hi] that `accept` admits, or 0.
  template <typename Accept>
  int find(int lo, int hi, Accept accept) const {
    for (int c = std::max(lo, F + 1); c <= std::min(hi, npan); ++c)
      if (status[c] == F && accept(c)) return c;
    return 0;
  }

  qr_task next(int t, const qr_task& done) {
    if (done.kind == qr_task::kApply) {
      for (int c = done.c1; c <= done.c2; ++c) status[c] = done.s + 1;
      if (done.factor) ++P;
      if (done.s + 1 < F) F = done.s + 1;
    }
    for (;;) {
      if (P < F) return {F > kpan ? qr_task::kFinished : qr_task::kNothing, 0, 0, 0, false};
      // Groups of b blocks while there is plenty left, smaller ones near the end.
      const int cmax = npan - F < b * threads ? std::max(1, (npan - F + 1) / threads) : b;
      int first = 0;
      // Block P+1 is the next panel only while panels remain: with more columns than rows the
      // blocks beyond the last panel are ordinary ones (and finished at status kpan+1).
      if (P < kpan && status[P + 1] > 0 && F < P + 1) {
        first = P + 1;
      } else if (F + 1 <= npan && status[F + 1] == F) {
        first = F + 1;
      } else {
        first = find(F + 1, F + cmax, [](int) { return true; });
        if (first == 0) {
          first = find(F + 1, npan,
                       [&](int c) { return c % cmax == 0 && (c / cmax) % threads == t % threads; });
        }
        if (first == 0) first = find(F + 1, npan, [&](int c) { return c % cmax == 0; });
        // Any block still waiting for panel F (one the groups above cannot reach).
        if (first == 0) first = find(F + 1, npan, [](int) { return true; });
        if (first == 0) {
          // No idle block needs panel F any more (a busy one that still needs it lowers F
          // again when its task is recorded).
          ++F;
          continue;
        }
      }
      const int s = status[first];
      int last = first;
      if (first % cmax == 0 && first != P + 1) {
        while (last + 1 <= npan && last + 1 < first + cmax && status[last + 1] == s) ++last;
      }
      for (int c = first; c <= last; ++c) status[c] = -1;
      return {qr_task::kApply, s, first, last, first == s + 1 && s < kpan};
    }
  }
};

}  // namespace

bool dgeqrf_tasks(int m, int n, double* a, int lda, double* tau, double* work, int lwork, int* info,
                  int nb, int b, int threads, int lwkopt) {
  *info = 0;
  auto A = [&](int i, int j) { return a + i + static_cast<std::ptrdiff_t>(j) * lda; };
  const int k = std::min(m, n);
  const int npan = (n + nb - 1) / nb;
  const int kpan = (k + nb - 1) / nb;
  // Each thread's slice of the panel buffer is the factoring panel's room for partial sums;
  // without the buffer the panels are factored without them.
  const std::size_t panel_per_thread = static_cast<std::size_t>(b) * nb;
  double* panel_buf = static_cast<double*>(
      mm_malloc(sizeof(double) * panel_per_thread * threads, kBufferAlignment));
  const int panel_len = panel_buf != nullptr ? static_cast<int>(panel_per_thread) : 0;
  double* w = work;
  double* own_work = nullptr;
  if (lwork < lwkopt) {
    own_work = static_cast<double*>(
        mm_malloc(sizeof(double) * static_cast<std::size_t>(lwkopt), kBufferAlignment));
    if (own_work == nullptr) {
      mm_free(panel_buf);
      return ztr_lapack_dgeqrf_blk(m, n, a, lda, tau, work, lwork, info);
    }
    w = own_work;
  }
  int* status = static_cast<int*>(
      mm_malloc(sizeof(int) * static_cast<std::size_t>(npan + 1), kBufferAlignment));
  if (status == nullptr) {
    mm_free(own_work);
    mm_free(panel_buf);
    return ztr_lapack_dgeqrf_blk(m, n, a, lda, tau, work, lwork, info);
  }
  // status is indexed from 1: status[c] lives at status_mem[c-1], the sentinel at [npan].
  for (int c = 0; c < npan; ++c) status[c] = 1;
  status[npan] = 0;
  if (npan <= threads && get_dynamic() != 0) threads = std::max(1, npan - 1);

  auto release = [&] {
    mm_free(status);
    mm_free(own_work);
    mm_free(panel_buf);
  };
  auto t_of = [&](int s) { return w + static_cast<std::ptrdiff_t>(s - 1) * nb * nb; };
  auto width = [&](int c) { return std::min(nb, n - (c - 1) * nb); };
  const int ldwork = b * nb;

  const int jb1 = std::min(k, nb);
  ztr_lapack_dlaqrf(m, jb1, a, lda, tau, t_of(1), nb, panel_buf,
                    panel_buf != nullptr ? panel_len * threads : 0);
  if (report_progress(jb1)) {
    release();
    return true;
  }

  qr_sched_state sched{status - 1, npan, kpan, threads, b};
  std::atomic<bool> abort{false};
#pragma omp parallel num_threads(threads)
  {
    const int t = omp_get_thread_num();
    double* priv =
        w + static_cast<std::ptrdiff_t>(k) * nb + static_cast<std::ptrdiff_t>(t) * ldwork * nb;
    double* my_panel_buf = panel_buf != nullptr ? panel_buf + panel_per_thread * t : nullptr;
    qr_task task{qr_task::kNothing, 0, 0, 0, false};
    SpinWait spin;
    while (!abort.load(std::memory_order_relaxed)) {
#pragma omp critical(ztr_task_scheduler)
      task = sched.next(t, task);
      if (task.kind == qr_task::kFinished) break;
      if (task.kind == qr_task::kNothing) {
        spin.wait();
        continue;
      }
      spin.reset();
      const int s = task.s;
      const int r0 = (s - 1) * nb;
      const int ks = std::min(nb, k - r0);
      // One block at a time: a block's numbers must not depend on the group the scheduler
      // happened to put it in (the multiply rounds a narrow last block differently when
      // it is the tail of a wider product), so every run gives the same bits.
      for (int c = task.c1; c <= task.c2; ++c) {
        const int c0 = (c - 1) * nb;
        ztr_lapack_dlarfb("L", "T", "F", "C", m - r0, width(c), ks, A(r0, r0), lda, t_of(s), nb,
                          A(r0, c0), lda, priv, ldwork);
      }
      if (task.factor) {
        const int q0 = s * nb;
        ztr_lapack_dlaqrf(m - q0, width(s + 1), A(q0, q0), lda, tau + q0, t_of(s + 1), nb,
                          my_panel_buf, panel_len);
        if (report_progress(std::min(q0 + width(s + 1), k))) abort.store(true);
      }
    }
  }
  release();
  if (abort.load()) return true;
  if (report_progress(k)) return true;
  work[0] = lwkopt;
  return false;
}

}  // namespace ztr::qr_detail
