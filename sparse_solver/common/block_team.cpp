#include "sparse_solver/common/block_team.h"

#include "service/spin_wait.h"

namespace ztr {

void BlockTeam::run(int blocks, Body body, const void* context) {
  if (blocks <= 0) return;
  if (blocks > kMaxBlocks) {
    for (int b = 0; b < blocks; ++b) body(context, 0, b);
    return;
  }
  // Every block of the step before has finished (run returns only then), so no member reads
  // these while they change.
  body_ = body;
  context_ = context;
  done_.store(0, std::memory_order_relaxed);
  ++step_;
  claim_.store((step_ << kStepShift) | static_cast<std::uint64_t>(blocks),
               std::memory_order_release);
  while (take(0)) {
  }
  SpinWait wait;
  while (done_.load(std::memory_order_acquire) < blocks) wait.wait();
}

bool BlockTeam::take(int member) {
  std::uint64_t word = claim_.load(std::memory_order_acquire);
  for (;;) {
    const std::uint64_t next = (word >> kNextShift) & kCountMask;
    if (next >= (word & kCountMask)) return false;
    if (claim_.compare_exchange_weak(word, word + (std::uint64_t{1} << kNextShift),
                                     std::memory_order_acq_rel, std::memory_order_acquire)) {
      body_(context_, member, static_cast<int>(next));
      done_.fetch_add(1, std::memory_order_release);
      return true;
    }
  }
}

void BlockTeam::serve(int member) {
  SpinWait wait;
  while (!stop_.load(std::memory_order_acquire)) {
    if (take(member)) {
      wait.reset();
    } else {
      wait.wait();
    }
  }
}

}  // namespace ztr
