// A barrier for the column loops of the threaded factorizations and reductions: a counter and
// a generation number, waited on with SpinWait, so that on a machine with more runnable
// threads than cores a waiting thread yields to the one it waits for instead of spinning
// through its time slice (as the OpenMP runtime's barrier does for some milliseconds).
#pragma once

#include <omp.h>

#include <atomic>

#include "service/spin_wait.h"

namespace ztr {

class ColumnBarrier {
 public:
  explicit ColumnBarrier(int threads) : threads_(threads) {}
  // The team may be smaller than asked for (a nested region): set the count the team has,
  // from one thread, before anyone waits.
  void set_threads(int threads) { threads_ = threads; }
  // Returns when all threads have called wait; what each wrote before is visible after.
  void wait() {
    if (threads_ == 1) return;
    const int generation = generation_.load(std::memory_order_acquire);
    if (arrived_.fetch_add(1, std::memory_order_acq_rel) == threads_ - 1) {
      arrived_.store(0, std::memory_order_relaxed);
      generation_.fetch_add(1, std::memory_order_release);
      return;
    }
    SpinWait spin;
    while (generation_.load(std::memory_order_acquire) == generation) spin.wait();
  }

 private:
  int threads_;
  std::atomic<int> arrived_{0};
  std::atomic<int> generation_{0};
};

// Runs body(thread, team_size, barrier) on one parallel region of up to `threads` threads,
// with a barrier that counts the team the runtime actually gave (smaller in a nested region).
template <class Body>
void run_column_team(int threads, Body&& body) {
  ColumnBarrier barrier(threads);
#pragma omp parallel num_threads(threads)
  {
    const int size = omp_get_num_threads();
#pragma omp single
    barrier.set_threads(size);
    body(omp_get_thread_num(), size, barrier);
  }
}

}  // namespace ztr
