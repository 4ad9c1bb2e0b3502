// Threads of one parallel region sharing the large steps of a sequential loop.
//
// The supernodal factorization is a sequence of steps of very different sizes: most updates
// are a few thousand multiply-adds, a few are millions.  Opening a parallel region for each
// large one means thousands of forks and joins per factorization, and on a machine where
// other processes hold the cores the runtime's threads spin at every join for a partner
// that waits for a core (seconds lost instead of milliseconds).  A team instead opens one
// region for the whole loop: its leader (thread 0) walks the loop and publishes a large
// step as a set of independent blocks; the other members take blocks as they come, and the
// leader takes the rest itself, so it never waits for a member that has not started.  It
// waits only for blocks a member has begun, and every wait polls with SpinWait (pause, then
// yield).  Which thread runs a block never changes its result.
#pragma once

#include <atomic>
#include <cstdint>

namespace ztr {

class BlockTeam {
 public:
  using Body = void (*)(const void* context, int member, int block);

  // The leader, in the region: runs body(context, member, b) once for every b in
  // [0, blocks), on itself and whichever members come; returns when all have finished.
  // Blocks above kMaxBlocks run on the leader alone.
  void run(int blocks, Body body, const void* context);
  // A member other than the leader, in the region: takes blocks until the leader stops the
  // team.
  void serve(int member);
  // The leader, after its last step: lets the members leave the region.
  void stop() { stop_.store(true, std::memory_order_release); }

  // One word holds the step's number, the next block to take and the number of blocks, so
  // that taking a block (one compare-and-swap) also proves the step is still the current
  // one: the leader changes the step only after every block taken has finished.
  static constexpr int kCountBits = 20;
  static constexpr int kMaxBlocks = (1 << kCountBits) - 1;

 private:
  static constexpr std::uint64_t kCountMask = kMaxBlocks;
  static constexpr int kNextShift = kCountBits;
  static constexpr int kStepShift = 2 * kCountBits;

  // Takes one block of the current step and runs it; false when there was none to take.
  bool take(int member);

  std::atomic<std::uint64_t> claim_{0};
  std::atomic<int> done_{0};
  std::atomic<bool> stop_{false};
  Body body_ = nullptr;
  const void* context_ = nullptr;
  std::uint64_t step_ = 0;
};

}  // namespace ztr
