// Waiting for another thread without stealing its processor.
//
// The library's schedulers wait by polling shared state.  On a machine with a core per
// thread a tight poll is the fastest way to notice a change; on a shared machine (more
// runnable threads than cores) a tight poll burns the time slice that the awaited thread
// needs.  SpinWait polls with the processor's pause hint first, in growing bursts, and
// after that yields the processor at every poll, so a waiting thread costs little when the
// machine is oversubscribed and nothing measurable when it is not.
#pragma once

#include <sched.h>

namespace ztr {

class SpinWait {
 public:
  // One wait step; call it each time a poll found nothing to do.
  void wait() {
    if (rounds_ < kPauseRounds) {
      const int burst = 1 << (rounds_ < kMaxBurstLog ? rounds_ : kMaxBurstLog);
      for (int i = 0; i < burst; ++i) __builtin_ia32_pause();
      ++rounds_;
    } else {
      sched_yield();
    }
  }
  // Call after a poll found work, so the next wait starts with short pauses again.
  void reset() { rounds_ = 0; }

 private:
  // About 10 microseconds of pausing (16 rounds, bursts up to 64 pauses) before the first
  // yield: longer than a scheduler's critical section, shorter than a time slice.
  static constexpr int kPauseRounds = 16;
  static constexpr int kMaxBurstLog = 6;
  int rounds_ = 0;
};

}  // namespace ztr
