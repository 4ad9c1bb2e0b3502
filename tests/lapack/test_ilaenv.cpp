// Block-size tuning.  The tables themselves are tuning data and are not restated here; what
// the factorizations rely on is: names decoded case-insensitively with their lengths, the
// fixed answers of the query kinds, and every answer inside the range its user can take.
// Answers that depend on the CpuType are checked in child processes with the type forced.
#include <gtest/gtest.h>

#include <string>

#include "lapack/ilaenv.h"
#include "service/cpu.h"
#include "service/threads.h"
#include "tests/support/child.h"

namespace ztr {
namespace {

int q(int ispec, const char* name, const char* opts, int n1, int n2, int n3 = -1, int n4 = -1) {
  return ilaenv(ispec, name, opts, n1, n2, n3, n4);
}

TEST(Ilaenv, NamesQueryKindsAndUnknownRoutines) {
  for (int n : {20, 300, 5000}) {
    EXPECT_EQ(q(1, "dgetrf", "s", 100, n), q(1, "DGETRF", "S", 100, n));
    EXPECT_EQ(q(1, "dGeQrF", " ", n, n, 4), q(1, "DGEQRF", " ", n, n, 4));
    EXPECT_EQ(q(1, "dpotrf", "l", n, 1), q(1, "DPOTRF", "L", n, 1));
  }
  // Only the given lengths count: "DGETRFX" with length 6 is DGETRF, an empty option
  // string is a blank.
  const int ispec = 1, m = 100, n = 300, none = -1;
  EXPECT_EQ(ilaenv(&ispec, "DGETRFX", "SX", &m, &n, &none, &none, 6, 1),
            q(1, "DGETRF", "S", 100, 300));
  EXPECT_EQ(ilaenv(&ispec, "DGEQRF", "B", &m, &n, &none, &none, 6, 0),
            q(1, "DGEQRF", " ", 100, 300));
  // A name that is not a LAPACK routine gets unblocked code; an unknown query kind -1.
  EXPECT_EQ(q(1, "XGETRF", " ", 1000, 1000), 1);
  EXPECT_EQ(q(2, "XGETRF", " ", 1000, 1000), 2);
  EXPECT_EQ(q(20, "DGETRF", " ", 100, 100), -1);
  EXPECT_EQ(q(0, "DGETRF", " ", 100, 100), -1);
  EXPECT_EQ(q(19, "DGETRF", " ", 100, 100), detect_cpu_type());
  // The QR-iteration parameters: even shift counts, window at least the shift count.
  for (int nh : {40, 100, 400, 1000, 5000}) {
    const int ns = q(15, "DHSEQR", " ", nh, 1, nh), win = q(13, "DHSEQR", " ", nh, 1, nh);
    EXPECT_EQ(ns % 2, 0);
    EXPECT_GE(win, ns);
  }
  // QR block sizes never exceed the matrix; the recursive LU's split is below n.
  for (int n2 : {5, 40, 300, 5000}) {
    EXPECT_LE(q(1, "DGEQRF", " ", 5, n2, 2), 5);
    EXPECT_LT(q(1, "DGETRF", "S", 100, n2), n2);
  }
}

// Every processor class and thread count answers inside the ranges the LU scheduler takes:
// block 16..480, chunk 1..4, tail 0, 4, 8, 16, the thread count or "never".
ZTR_CHILD(lu_answers_in_range) {
  int bad = 0;
  for (int t = 1; t <= 64; ++t)
    for (int n = 100; n <= 40000; n += 700) {
      const int b = q(1, "DGETRF", " ", n, n, t), c = q(17, "DGETRF", " ", n, n, t);
      const int l = q(18, "DGETRF", " ", n, n, t);
      bad += b < 16 || b > 480 || c < 1 || c > 4;
      bad += !(l == 0 || l == 4 || l == 8 || l == 16 || l == t || l == 1000000);
    }
  return bad;
}

TEST(Ilaenv, LuAnswersInRangeForEveryProcessorClass) {
  for (int type = kCpuTypeMin; type <= kCpuTypeMax; ++type) {
    const auto r =
        test::run_child("lu_answers_in_range", {"ZTR_DEBUG_CPU_TYPE=" + std::to_string(type)});
    EXPECT_EQ(r.exit_code, 0) << "CpuType " << type << r.out;
  }
}

}  // namespace
}  // namespace ztr
