// The dynamically scheduled LU.  The columns are cut into blocks of nb; block c needs the
// updates of panels 1..c-1 before it can be factored as panel c, and every later block needs
// the updates of all K panels.  Threads take tasks (bring some blocks up a few levels, or
// factor the next panel) from a scheduler whose state is one small int array; every decision
// is made under one named critical section and all arithmetic outside it.  The section's name,
// ztr_task_scheduler, is the one every task-scheduled factorization of the library uses.
//
// Two zones: the static zone (blocks 1..W) is dealt out round-robin in chunks of C blocks,
// each thread updating only its own blocks, which keeps a thread on the same columns (and
// cache) for the whole factorization; the tail zone (the last L blocks) is shared, brought up
// one level at a time by whoever is free, which evens out the end of the factorization where
// the static shares would leave threads idle.
//
// A thread with nothing ready in its own ranges or in the tail takes a ready block of another
// thread's ranges, one block at a time, with the owner's target level.  On a machine with
// more runnable threads than cores an owner can lose its core for a whole time slice; without
// this the next panel (or the update it waits for) would wait for it while a thread idles.
// Every block still receives each level's update as its own apply_panel call, in level order,
// so the factors do not depend on which thread did the work or which blocks shared a task.
#include <omp.h>

#include <algorithm>
#include <atomic>
#include <cstddef>

#include "lapack/getrf/getrf.h"
#include "lapack/ilaenv.h"
#include "service/memory.h"
#include "service/spin_wait.h"

namespace ztr {

using namespace getrf_detail;

namespace {

// lu_sched_state: seven scalars followed by status[1..nblk].  status[c] is the number of
// panels whose updates block c has received (c itself once it is factored); negative while a
// task works on it (minus the level it is being brought to, or minus c for its panel task).
enum StateField { kThreads, kBlocks, kPanels, kChunk, kTail, kTailLevel, kFactored, kStatus };

// lu_sched_task: what one thread does next, and after it is done, what it has done.
enum TaskKind { kFinished = -1, kNothing = 0, kUpdate = 1, kPanel = 2 };
struct lu_sched_task {
  int kind;
  int k1, k2;  // levels (panels) applied
  int c1, c2;  // blocks
};

struct Scheduler {
  int* s;
  int& status(int c) { return s[kStatus + c - 1]; }

  void record(const lu_sched_task& done) {
    if (done.kind == kUpdate) {
      for (int c = done.c1; c <= done.c2; ++c) status(c) = done.k2;
    } else if (done.kind == kPanel) {
      status(done.c1) = done.c1;
      s[kFactored] = done.c1;
    }
  }

  // Static zone: the ranges of thread t.  Returns a task of at most max_blocks blocks, or
  // kNothing with `pending` set when some block of those ranges still needs work later.
  lu_sched_task take_static(int t, bool* pending, int max_blocks) {
    const int T = s[kThreads], C = s[kChunk], K = s[kPanels], P = s[kFactored];
    const int W = std::max(0, s[kBlocks] - s[kTail]);
    *pending = false;
    if (P >= W) return {kNothing, 0, 0, 0, 0};
    for (int start = t * C + 1; start <= W; start += T * C) {
      const int end = std::min(start + C - 1, W);
      if (end <= P) continue;
      const int scan = std::max(start, P + 1);
      if (scan == P + 1 && P < K && status(P + 1) == P - 1) {
        status(P + 1) = -(P + 1);
        return {kPanel, P, P, P + 1, P + 1};
      }
      // The block about to be factored is brought only to P-1: its last update belongs to
      // its panel task.
      const int G = P == K ? P : std::clamp(scan - 2, 1, P);
      for (int c = scan; c <= end; ++c) {
        const int st = status(c);
        if (c <= K || st != K) *pending = true;
        if (st >= 0 && st < G) {
          int c2 = c;
          while (c2 < end && c2 - c + 1 < max_blocks && status(c2 + 1) == st) ++c2;
          for (int b = c; b <= c2; ++b) status(b) = -G;
          return {kUpdate, st + 1, G, c, c2};
        }
      }
    }
    return {kNothing, 0, 0, 0, 0};
  }

  // Tail zone: the lowest level first, one level per task.
  lu_sched_task take_tail() {
    const int K = s[kPanels], P = s[kFactored], nblk = s[kBlocks];
    const int first = std::max(nblk - s[kTail] + 1, P + 1);
    const int lo = std::max(first, 1);
    int& R = s[kTailLevel];
    for (; R < K; ++R) {
      bool busy_or_waiting = false;
      for (int c = lo; c <= nblk && !busy_or_waiting; ++c)
        busy_or_waiting = status(c) == R || status(c) == -R;
      if (busy_or_waiting) break;
    }
    for (int v = R; v < K && v < P; ++v) {
      for (int c = lo; c <= nblk; ++c) {
        if (status(c) != v) continue;
        if (c == P + 1 && P < K) {
          status(c) = -c;
          return {kPanel, v + 1, P, c, c};
        }
        status(c) = -(v + 1);
        return {kUpdate, v + 1, v + 1, c, c};
      }
    }
    return {R >= K ? kFinished : kNothing, 0, 0, 0, 0};
  }

  lu_sched_task next(int t, const lu_sched_task& done) {
    record(done);
    const int T = s[kThreads];
    bool pending = false;
    const lu_sched_task own = take_static(t, &pending, s[kBlocks]);
    if (own.kind != kNothing) return own;
    lu_sched_task shared = take_tail();
    if (shared.kind == kUpdate || shared.kind == kPanel) return shared;
    // A thread without a block of its own and no tail to share ends at once.
    const int C = s[kChunk];
    const int first_own = t > 0 ? t * C + 1 : (C == 1 ? T + 1 : 2);
    if (s[kTail] == 0 && first_own > s[kBlocks]) return {kFinished, 0, 0, 0, 0};
    // The other threads' ranges, the next thread's first: a ready block there is late.
    for (int i = 1; i < T; ++i) {
      bool theirs = false;
      const lu_sched_task late = take_static((t + i) % T, &theirs, 1);
      if (late.kind != kNothing) return late;
      pending = pending || theirs;
    }
    if (shared.kind == kFinished && pending) shared.kind = kNothing;
    return shared;
  }
};

}  // namespace

bool ztr_lapack_dgetrf_sched(int m, int n, double* a, int lda, int* ipiv, int* info, int nb,
                             int threads) {
  *info = 0;
  const int mn = std::min(m, n);
  const int K = (mn - 1) / nb;
  const int nblk = (n - 1) / nb + 1;
  int* state = static_cast<int*>(
      mm_malloc(sizeof(int) * static_cast<std::size_t>(kStatus + nblk), kWorkAlignment));
  // Without its state the scheduler cannot run; the look-ahead path needs no memory.
  if (state == nullptr) return ztr_lapack_dgetrf_ib(m, n, a, lda, ipiv, info);

  auto at = [&](int i, int j) { return a + i + static_cast<std::ptrdiff_t>(j) * lda; };
  auto merge = [&](int row0, int rows, int iinfo) {  // row0: zero-based first row of the panel
    if (*info == 0 && iinfo > 0) *info = iinfo + row0;
    for (int i = row0; i < std::min(m, row0 + rows); ++i) ipiv[i] += row0;
  };

  // Everything runs in one parallel region.  Between regions the runtime's idle threads spin
  // for a while before they sleep; on a machine with more runnable threads than cores that
  // spinning takes the time of the threads that work, and a region per step of the first panel
  // and of the last block (one per multiply and solve inside them) made a loaded machine
  // several times slower.  Inside the region the steps that only one thread can do (the first
  // panel, the last block) run on thread 0 with its products on one thread, while the others
  // wait with SpinWait.
  std::atomic<bool> abort{false};
  std::atomic<int> ready{0};       // 1: first panel factored, state set up
  std::atomic<int> loops_done{0};  // threads that have left the task loop
  std::atomic<bool> tail_done{false};
#pragma omp parallel num_threads(threads)
  {
    const int t = omp_get_thread_num(), nt = omp_get_num_threads();
    SpinWait idle;
    if (t == 0) {
      int iinfo = 0;
      if (ztr_lapack_dgetrf_rec(m, nb, a, lda, ipiv, &iinfo, 0, 0)) abort.store(true);
      merge(0, nb, iinfo);
      state[kThreads] = nt;
      state[kBlocks] = nblk;
      state[kPanels] = K;
      state[kChunk] = std::max(1, ilaenv(17, "DGETRF", " ", m, n, threads, -1));
      state[kTail] = std::max(0, ilaenv(18, "DGETRF", " ", m, n, threads, -1));
      state[kTailLevel] = 0;
      state[kFactored] = 1;
      state[kStatus] = 1;  // block 1 is panel 1, already factored
      for (int c = 2; c <= nblk; ++c) state[kStatus + c - 1] = 0;
      ready.store(1, std::memory_order_release);
    } else {
      while (ready.load(std::memory_order_acquire) == 0) idle.wait();
    }
    Scheduler sched{state};
    lu_sched_task task{kNothing, 0, 0, 0, 0};
    idle.reset();
    while (!abort.load(std::memory_order_relaxed)) {
#pragma omp critical(ztr_task_scheduler)
      task = sched.next(t, task);
      if (task.kind == kFinished) break;
      if (task.kind == kNothing) {
        // Nothing ready: the tasks it waits for are running elsewhere.  Back off, so that on
        // an oversubscribed machine this thread gives its core to them.
        idle.wait();
        continue;
      }
      idle.reset();
      const int c0 = (task.c1 - 1) * nb;
      const int last_block = task.kind == kPanel ? task.c1 : task.c2;
      const int cols = std::min(last_block * nb, n) - c0;
      // Block by block: a block's numbers must not depend on the group the scheduler put it
      // in (the triangular solve takes another path for a narrow last block than for the
      // same columns at the tail of a wider one).
      for (int c = task.c1; c <= last_block; ++c) {
        const int b0 = (c - 1) * nb;
        const int bcols = std::min(nb, n - b0);
        for (int k = task.k1; k <= task.k2; ++k) {
          apply_panel(m, a, lda, ipiv, (k - 1) * nb + 1, nb, b0, bcols);
        }
      }
      if (task.kind == kPanel) {
        int panel_info = 0;
        const bool stop =
            ztr_lapack_dgetrf_rec(m - c0, cols, at(c0, c0), lda, ipiv + c0, &panel_info, t, c0);
        merge(c0, cols, panel_info);
        if (stop) abort.store(true);
      }
    }
    loops_done.fetch_add(1, std::memory_order_acq_rel);
    idle.reset();
    if (t == 0) {
      // What is left: rows and columns K*nb+1.. , every panel's update received once every
      // thread has finished its last task.
      while (loops_done.load(std::memory_order_acquire) < nt) idle.wait();
      if (!abort.load()) {
        const int r0 = K * nb;
        int iinfo = 0;
        if (ztr_lapack_dgetrf_rec(m - r0, n - r0, at(r0, r0), lda, ipiv + r0, &iinfo, 0, r0))
          abort.store(true);
        merge(r0, mn - r0, iinfo);
      }
      tail_done.store(true, std::memory_order_release);
    } else {
      while (!tail_done.load(std::memory_order_acquire)) idle.wait();
    }
    // abort no longer changes: every thread takes the same branch.
    if (!abort.load()) {
      // Each factored panel still lacks the interchanges of the rows below it.
#pragma omp for schedule(dynamic, 1)
      for (int p = 1; p <= K; ++p) swap_rows(a, lda, (p - 1) * nb, nb, p * nb + 1, mn, ipiv);
    }
  }
  const bool stopped = abort.load();
  mm_free(state);
  return stopped;
}

}  // namespace ztr
