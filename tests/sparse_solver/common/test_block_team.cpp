// The team that shares the factorization's large steps: every block of every step runs
// exactly once, and a step returns only when all of its blocks have finished, whichever
// thread took them and however the threads are delayed.
#include <omp.h>

#include <atomic>
#include <vector>

#include <gtest/gtest.h>

#include "sparse_solver/common/block_team.h"

namespace ztr {
namespace {

struct Step {
  std::vector<std::atomic<int>>* runs;
  std::atomic<int>* finished;  // blocks finished
  int delay;
};

void body(const void* context, int member, int b) {
  const Step& s = *static_cast<const Step*>(context);
  // Blocks take a while, so that members find work, and a member's blocks linger, so that
  // the leader runs out of blocks to take while some are still running.
  const int pauses = (member != 0 ? 800 : 200) * s.delay;
  for (int i = 0; i < pauses; ++i) __builtin_ia32_pause();
  (*s.runs)[b].fetch_add(1);
  s.finished->fetch_add(1);
}

TEST(BlockTeam, EveryBlockRunsOnceAndEachStepWaitsForAllOfItsBlocks) {
  constexpr int kSteps = 200, kMostBlocks = 40;
  // More threads than this machine's cores: members are descheduled in mid-block.
  for (int threads : {2, 4}) {
    BlockTeam team;
    std::vector<std::atomic<int>> runs(kMostBlocks);
    std::atomic<int> finished{0};
    int wrong = 0, unfinished = 0;
#pragma omp parallel num_threads(threads)
    {
      if (omp_get_thread_num() == 0) {
        for (int step = 0; step < kSteps; ++step) {
          const int blocks = 1 + step % kMostBlocks;
          for (auto& r : runs) r.store(0);
          finished.store(0);
          const Step s{&runs, &finished, 1 + step % 7};
          team.run(blocks, &body, &s);
          unfinished += finished.load() != blocks;
          for (int b = 0; b < kMostBlocks; ++b) wrong += runs[b].load() != (b < blocks ? 1 : 0);
        }
        team.stop();
      } else {
        team.serve(omp_get_thread_num());
      }
    }
    EXPECT_EQ(wrong, 0) << threads << " threads";
    EXPECT_EQ(unfinished, 0) << threads << " threads";
  }
}

}  // namespace
}  // namespace ztr
