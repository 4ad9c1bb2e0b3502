// The scheduled LU when a thread's own blocks are taken by another: both threads on one
// processor, so that each regularly loses it in the middle of its work and the other finds
// the first one's blocks ready.  Whoever updates or factors a block, the factors and pivots
// are the known ones, bit for bit.
#include <gtest/gtest.h>
#include <sched.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "lapack/getrf/getrf.h"
#include "lu_matrices.h"
#include "service/threads.h"
#include "tests/support/child.h"

namespace ztr {
namespace {

ZTR_CHILD(lu_late_owner) {
  cpu_set_t one;
  CPU_ZERO(&one);
  CPU_SET(sched_getcpu(), &one);
  if (sched_setaffinity(0, sizeof one, &one) != 0) return 100;
  int failures = 0;
  // 1000 columns of 32: a static zone of chunks beside a short tail; 330 x 700 is wide, with
  // rows left over below the last panel.  A zero pivot in a later panel.
  struct Shape {
    int m, n, zero;
  };
  for (Shape s : {Shape{200, 1000, 0}, Shape{330, 700, 0}, Shape{400, 1000, 150}})
    for (std::uint64_t seed : {11, 12, 13}) {
      const std::set<int> zeros = s.zero != 0 ? std::set<int>{s.zero} : std::set<int>{};
      test::KnownLu k = test::make_known_lu(s.m, s.n, 1, seed, {1, 33, 97}, zeros);
      std::vector<int> ipiv(std::min(s.m, s.n));
      int info = -1;
      ztr_lapack_dgetrf_sched(s.m, s.n, k.a.data(), k.lda, ipiv.data(), &info, 32,
                              domain_max_threads(kDomainAll));
      if (info != s.zero || ipiv != k.ipiv || k.a != k.lu) {
        std::printf("%dx%d seed %d: info %d\n", s.m, s.n, static_cast<int>(seed), info);
        ++failures;
      }
    }
  return failures;
}

TEST(Dgetrf, ThreadsSharingOneProcessorFindTheKnownFactors) {
  for (const char* threads : {"2", "3"}) {
    const auto r = test::run_child(
        "lu_late_owner", {std::string("ZTR_NUM_THREADS=") + threads, "ZTR_DYNAMIC=FALSE"});
    EXPECT_EQ(r.exit_code, 0) << threads << " threads:\n" << r.out;
  }
}

}  // namespace
}  // namespace ztr
