// The statistics report: which blocks each phase prints, and the computed lines.
#include <gtest/gtest.h>

#include <string>

#include "tests/sparse_solver/korvine_support.h"

namespace ztr::test {
namespace {

using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

bool has(const std::string& out, const std::string& line) {
  return out.find(line + "\n") != std::string::npos;
}

// 1000 equations with 5000 entries: a 10 x 10 x 10 grid whose rows hold 5 entries on average
// (the 7-point stencil without the z coupling gives 5 inside a plane... but borders have
// fewer), so build a banded matrix instead: row i holds columns i-2 .. i+2 cyclically.
Sparse five_per_row() {
  std::map<std::pair<int, int>, double> m;
  const int n = 1000;
  for (int i = 0; i < n; ++i)
    for (int d = -2; d <= 2; ++d) m[{i, (i + d + n) % n}] = d == 0 ? 10.0 : -1.0 - 0.1 * d;
  return from_map(n, m);
}

TEST(KorvineReport, PhasesPrintTheirBlocks) {
  const Sparse s = five_per_row();
  Input<double> in = solver_input(s, false, 1);
  std::vector<double> b(s.n, 1.0), x(s.n);
  Korvine k(11);
  k.msglvl = 1;
  CaptureStdout();
  ASSERT_EQ(k.call(11, in, b.data(), x.data()), 0);
  std::string out = GetCapturedStdout();
  EXPECT_EQ(out.rfind("\n=== KORVINE: solving a real nonsymmetric system ===\n", 0), 0u) << out;
  EXPECT_TRUE(
      has(out, "The local (internal) KORVINE version is                          : 103911000"));
  EXPECT_TRUE(has(out, "1-based array indexing is turned ON"));
  EXPECT_TRUE(has(out, "METIS algorithm at reorder step is turned ON"));
  EXPECT_TRUE(has(out, "Scaling is turned ON"));
  EXPECT_TRUE(has(out, "Matching is turned ON"));
  EXPECT_TRUE(has(out, "Summary: ( reordering phase )"));
  EXPECT_TRUE(has(out, "             number of non-zeros in A (%): 0.500000"));
  EXPECT_TRUE(has(out, "             number of equations:           1000"));
  EXPECT_TRUE(has(out, "             number of right-hand sides:    1"));
  EXPECT_TRUE(has(out, "< Numerical Factorization with Level-3 BLAS performance >"));
  EXPECT_EQ(out.find("gflop"), std::string::npos) << "phase 11 has no factorization figures";
  EXPECT_EQ(out.find("Time spent in factorization step"), std::string::npos);
  EXPECT_EQ(out.find("Single-level factorization"), std::string::npos);
  // The additional-calculations line is the total minus the printed slots.
  EXPECT_NE(out.find("Time spent in additional calculations"), std::string::npos);

  CaptureStdout();
  ASSERT_EQ(k.call(23, in, b.data(), x.data()), 0);
  out = GetCapturedStdout();
  EXPECT_TRUE(has(out, "Percentage of computed non-zeros for LL^T factorization"));
  EXPECT_TRUE(has(out, " 100 %\n"));
  EXPECT_EQ(out.find("The local (internal)"), std::string::npos) << "no analysis, no features";
  EXPECT_TRUE(has(out, "Single-level factorization algorithm is turned ON"));
  EXPECT_TRUE(has(out, "Summary: ( starting phase is factorization, ending phase is solution )"));
  EXPECT_NE(out.find("             gflop   for the numerical factorization: "), std::string::npos);
  EXPECT_NE(out.find("             ||A||                                    10.000000"),
            std::string::npos);
  // Percentages never repeat, and 99 is the most before the end.
  int last = -1;
  for (std::size_t p = out.find(" %\n"); p != std::string::npos; p = out.find(" %\n", p + 1)) {
    const std::size_t start = out.rfind('\n', p) + 1;
    const int pct = std::stoi(out.substr(start, p - start));
    EXPECT_GT(pct, last);
    last = pct;
  }
  EXPECT_EQ(last, 100);

  CaptureStdout();
  ASSERT_EQ(k.call(0, in, b.data(), x.data()), 0);
  out = GetCapturedStdout();
  EXPECT_EQ(out,
            "\n=== KORVINE: solving a real nonsymmetric system ===\n\n\n"
            "Summary: ( cleaning phase )\n\nL&U for matrix number 1 deleted\n\n");
  CaptureStdout();
  k.release();
  EXPECT_EQ(GetCapturedStdout(), "");
}

TEST(KorvineReport, MessageLevelTwoAddsTheVersionLine) {
  const Sparse s = grid_operator(5, 5, 1, 4.0);
  Input<double> in = solver_input(s, true, 0);
  std::vector<double> b(s.n, 1.0), x(s.n);
  Korvine k(2);
  k.iparm[34] = 1;
  k.iparm[26] = 1;
  k.msglvl = 2;
  CaptureStdout();
  ASSERT_EQ(k.call(13, in, b.data(), x.data()), 0);
  const std::string out = GetCapturedStdout();
  EXPECT_TRUE(has(out, " local KORVINE version is 103911000"));
  EXPECT_TRUE(has(out, "=== KORVINE: solving a symmetric positive definite system ==="));
  EXPECT_TRUE(has(out, "0-based array is turned ON"));
  EXPECT_TRUE(has(out, "Matrix checker is turned ON"));
  EXPECT_EQ(k.iparm[26], 0) << "a passed check is not repeated";
  EXPECT_EQ(out.find("Scaling is turned ON"), std::string::npos);
}

}  // namespace
}  // namespace ztr::test
