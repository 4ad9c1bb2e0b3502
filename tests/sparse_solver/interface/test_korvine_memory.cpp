// Allocation failures: every allocation of an analysis, factorization and solve made to fail
// in turn; each gives error -2 with its stage's message (or, for the factorization's work
// memory, -4 with error_num -2), and nothing is leaked once the handle is released.
#include <gtest/gtest.h>

#include <array>
#include <set>
#include <string>

#include "testalloc.h"
#include "tests/sparse_solver/korvine_support.h"

namespace ztr::test {
namespace {

std::string stage_of(const std::string& out) {
  const std::size_t p = out.find("memory allocation: ");
  return p == std::string::npos ? "" : out.substr(p + 19, out.find(',', p) - p - 19);
}

// Runs {mtype, iparm entry, value}: the first two check the stages; the others add the paths
// of symmetric matching, the partial solve (its preparation included) and the Krylov iteration.
TEST(KorvineMemory, EveryAllocationFailureIsReportedAndNothingLeaks) {
  Disarm disarm;
  for (const auto& [mtype, entry, value] :
       {std::array{11, 7, 2}, std::array{-2, 7, 2}, std::array{-2, 12, 1}, std::array{11, 30, 1},
        std::array{2, 3, -61}}) {
    const bool partial = entry == 30;
    // The Cholesky runs on one thread, where the updates have packed panels of their own.
    ZTR_Set_Num_Threads(mtype == 2 ? 1 : 2);
    const Sparse s = mtype == -2 ? saddle_point(12, 30, 9)
                                 : grid_operator(7, 6, 5, 6.0, mtype == 11 ? 0.4 : 0.0);
    Input<double> in = solver_input(s, mtype != 11, 1);
    std::vector<double> b(s.n, 1.0), x(s.n);
    std::set<std::string> stages;
    bool factor_work_seen = false;
    // iparm[7] = 2: refinement, for its work vectors; perm: a partial solve of every other
    // component.  Run 0 warms up: the process-wide state and the kernels' per-thread buffer
    // pools stay.
    long live = 0;
    int k = 0;
    for (;; ++k) {
      Korvine solver(mtype, {{entry, value}}, 1);
      std::vector<int> perm(s.n);
      for (int i = 1; i < s.n; i += 2) perm[i] = 1;
      if (k == 0) {
        ASSERT_EQ(solver.call_captured(13, in, b.data(), x.data(), 1, perm.data()), 0);
        solver.release();
        live = ztr_testalloc_live();
        continue;
      }
      const long failures = ztr_testalloc_failures();
      ztr_testalloc_fail_nth(k, 0);
      const int err = solver.call_captured(13, in, b.data(), x.data(), 1, perm.data());
      const bool hit = ztr_testalloc_failures() > failures;
      ztr_testalloc_reset();
      solver.release();
      ASSERT_EQ(ztr_testalloc_live(), live) << "allocation " << k;
      if (!hit) {
        ASSERT_EQ(err, 0);
        EXPECT_TRUE(partial || backward_ratio(s, x, b, 1) < 30.0);
        break;
      }
      if (err == 0) continue;  // a kernel's buffer, replaced by a path without it
      if (err == -4) {
        EXPECT_TRUE(solver.printed("insufficient memory factorization")) << solver.out;
        factor_work_seen = true;
        continue;
      }
      ASSERT_EQ(err, -2) << "allocation " << k << "\n" << solver.out;
      EXPECT_TRUE(solver.printed("*** Error in KORVINE  (     insufficient_memory) error_num= "));
      EXPECT_TRUE(solver.printed("total memory wanted here: "));
      stages.insert(stage_of(solver.out));
    }
    SCOPED_TRACE(mtype);
    EXPECT_TRUE((entry != 12 && (entry != 7 || mtype != 11)) ||
                stages.count("MATCHING_REORDERING_DATA"));
    if (entry != 7) continue;
    EXPECT_GT(k, 20);
    EXPECT_TRUE(factor_work_seen);
    for (const char* st :
         {"ALLOCATE_GLOBAL_STRUCTURE", "BEFORE_REORDERING", "BEFORE_SYMBOLIC_FACTORIZATION",
          "AFTER_REORDERING", "FACTORIZE_SOLVING_LU_DATA", "FACTORIZE_SOLVING_WORK_DATA",
          "SOLVING_ITERREF_WORK_DATA"})
      EXPECT_TRUE(stages.count(st)) << st;
  }
}

}  // namespace
}  // namespace ztr::test
