// A barrier for the threads of one parallel region that waits by SpinWait (pause, then
// yield), so that a machine shared with busy processes does not lose a time slice per wait
// to a spinning thread.  Every thread of the region calls wait with the region's size.
#pragma once

#include <atomic>

#include "service/spin_wait.h"

namespace ztr {

class WaveBarrier {
 public:
  void wait(int threads) {
    if (threads <= 1) return;
    const int phase = phase_.load(std::memory_order_acquire);
    if (arrived_.fetch_add(1, std::memory_order_acq_rel) + 1 == threads) {
      arrived_.store(0, std::memory_order_relaxed);
      phase_.store(phase + 1, std::memory_order_release);
      return;
    }
    SpinWait spin;
    while (phase_.load(std::memory_order_acquire) == phase) spin.wait();
  }

 private:
  std::atomic<int> arrived_{0};
  std::atomic<int> phase_{0};
};

}  // namespace ztr
