// The solver's interface: queries, defaults, the phase state machine, every input check with
// its error_num and exact text in both index bases, the diagonal shortcut, the thread count,
// and the statistics report.
#include <gtest/gtest.h>

#include <numeric>
#include <sstream>
#include <string>
#include <utility>

#include "tests/sparse_solver/korvine_support.h"

namespace ztr::test {
namespace {

const auto small_spd = [] { return grid_operator(6, 5, 1, 4.0); };

TEST(KorvineInterface, QueriesTouchOnlyTheirOutputsAndDefaultsFollowTheType) {
  Korvine k(11);
  std::iota(k.iparm, k.iparm + 64, 1000);
  Input<double> in = solver_input(small_spd(), false, 1);
  EXPECT_EQ(k.call<double>(-2, in, nullptr, nullptr), 16);
  EXPECT_EQ(k.call<double>(-3, in, nullptr, nullptr), 300000);
  EXPECT_EQ(k.iparm[0], 23);
  for (int i = 1; i < 64; ++i) EXPECT_EQ(k.iparm[i], 1000 + i) << i;
  EXPECT_EQ(k.pt[0], nullptr);
  // iparm[0] = 0 asks for the defaults of mtype before anything else.
  for (int type : {11, 2, -2}) {
    Korvine d(type);
    std::fill(d.iparm, d.iparm + 64, 77);
    d.iparm[0] = 0;
    std::vector<double> b(in.n, 1.0), x(in.n);
    Input<double> m = solver_input(small_spd(), type % 2 == 0, 1);
    ASSERT_EQ(d.call(11, m, b.data(), x.data()), 0);
    const int pivot_exponent = type == 11 ? 13 : (type == -2 ? 8 : 0);
    EXPECT_EQ(std::vector<int>({d.iparm[0], d.iparm[9], d.iparm[10], d.iparm[12], d.iparm[17]}),
              std::vector<int>({1, pivot_exponent, type == 11, type == 11, -1}))
        << type;
    EXPECT_EQ(d.iparm[63], 103911000);
  }
}

TEST(KorvineInterface, PhaseStateMachine) {
  const Sparse s = small_spd();
  Input<double> in = solver_input(s, false, 1);
  std::vector<double> b(s.n, 1.0), x(s.n);
  struct Step {
    int maxfct, mnum, mtype, phase, error;
    const char* why;
  };
  const Step steps[] = {{2, 1, 11, 33, -1, "solve without analysis"},
                        {2, 1, 11, 11, 0, "analysis"},
                        {2, 1, 11, 33, -1, "solve before factorization"},
                        {2, 1, 11, 22, 0, "factorization of matrix 1"},
                        {2, 2, 11, 33, -1, "matrix 2 was never factored"},
                        {2, 2, 11, 23, 0, "matrix 2 factored and solved"},
                        {2, 2, 11, 0, 0, "matrix 2 released"},
                        {2, 2, 11, 33, -1, "matrix 2 was released"},
                        {2, 1, 11, 33, 0, "matrix 1 is still there"},
                        {2, 3, 11, 0, -1, "no matrix 3"},
                        {3, 1, 11, 11, -1, "a new analysis may not raise maxfct"},
                        {1, 1, 1, 11, -1, "the type may change only within its family"},
                        {1, 1, 11, 13, 0, "re-analysis with maxfct 1"}};
  Korvine k(11);
  for (const Step& st : steps) {
    k.maxfct = st.maxfct, k.mnum = st.mnum, k.mtype = st.mtype;
    EXPECT_EQ(k.call(st.phase, in, b.data(), x.data()), st.error) << st.why;
    // Rejected first calls leave the handle fresh.
    EXPECT_EQ(k.pt[0] == nullptr, &st == steps) << st.why;
    EXPECT_TRUE(st.phase != 23 || backward_ratio(s, x, b, 1) < 30.0);
  }
  EXPECT_GE(reinterpret_cast<std::intptr_t>(k.pt[0]), 2);
  k.release();
  EXPECT_EQ(k.pt[0], nullptr);
  k.release();
  EXPECT_EQ(k.error, 0);
  // 2 -> -2 is a change within the symmetric family.
  Input<double> up = solver_input(s, true, 1);
  Korvine sym(2);
  ASSERT_EQ(sym.call(13, up, b.data(), x.data()), 0);
  sym.mtype = -2;
  EXPECT_EQ(sym.call(13, up, b.data(), x.data()), 0);
}

struct CheckCase {
  const char* name;
  int expected_num;
  const char* one_based_text;
  const char* zero_based_text;  // null: the same as one-based
  void (*spoil)(Korvine&, Input<double>&, int& phase, int& nrhs);
};

using K = Korvine&;
using I = Input<double>&;
const CheckCase kChecks[] = {
    {"phase below -1", 10000, "*** Error in KORVINE: ido<-1\n", nullptr,
     [](K, I, int& p, int&) { p = -5; }},
    {"release on fresh handle", 1000,
     "*** Error in KORVINE: ido<1 and initialization\n - contradiction (set ido>0) 0\n", nullptr,
     [](K, I, int& p, int&) { p = 0; }},
    {"phase out of bounds", 1, "*** Input check: ido_new 334 (out of bounds)\n", nullptr,
     [](K, I, int& p, int&) { p = 334; }},
    {"unknown phase", 20, "*** wrong control step parameter ido 21\n", nullptr,
     [](K, I, int& p, int&) { p = 21; }},
    {"matrix number above maxfct", 3, "*** Input check: max_fac_store_in 1 matrix_number_in 2\n",
     nullptr, [](K k, I, int&, int&) { k.mnum = 2; }},
    {"matrix number 0 with a factorization", 4,
     "*** Input check: matrix_number_new 0 ido 13 are incompatible\n", nullptr,
     [](K k, I, int&, int&) { k.mnum = 0; }},
    {"matrix type", 15, "*** Input check: matrix_type_new 7 (out of bounds)\n", nullptr,
     [](K k, I, int&, int&) { k.mtype = 7; }},
    {"no right-hand side", 9, "*** Input check: nb_new 0 ido 13 are incompatible\n", nullptr,
     [](K, I, int&, int& nrhs) { nrhs = 0; }},
    {"solution place", 10, "*** Input check: iparam(6) 2 (out of bounds)\n",
     "*** Input check: iparam[5] 2 (out of bounds)\n", [](K k, I, int&, int&) { k.iparm[5] = 2; }},
    {"reordering", 11, "*** Input check: preprocessing 4 (out of bounds)\n", nullptr,
     [](K k, I, int&, int&) { k.iparm[1] = 4; }},
    {"empty arrays", 16, "*** Input check: empty input arrays ia and/or ja\n", nullptr,
     [](K, I in, int&, int&) { in.ja.clear(); }},
    {"too few entries", 8, "*** Input check: ia(neqns+1)_new 4 _old 0 are incompatible\n",
     "*** Input check: ia[neqns]_new 3 _old 0 are incompatible\n",
     [](K, I in, int&, int&) { in.ia.back() = in.ia[0] + 3; }},
    {"checker: column 0", 22, "*** Input check: i=2, ja(i)=0, neqns=30 are incompatible\n",
     "*** Input check: i=1, ja[i]=-1, neqns=30 are incompatible\n",
     [](K k, I in, int&, int&) { k.iparm[26] = 1, in.ja[1] = in.ia[0] - 1; }},
    {"checker: descending columns", 24,
     "*** Input check: j=1, ja(j)=2, ja(j+1)=1 are incompatible\n",
     "*** Input check: j=0, ja[j]=1, ja[j+1]=0 are incompatible\n",
     [](K k, I in, int&, int&) { k.iparm[26] = 1, std::swap(in.ja[0], in.ja[1]); }},
    {"checker: row start", 21, "*** Input check: i=1, ia(i)=2, ia(i+1)=4 are incompatible\n",
     "*** Input check: i=0, ia[i]=1, ia[i+1]=3 are incompatible\n",
     [](K k, I in, int&, int&) { k.iparm[26] = 1, in.ia[0] += 1; }},
    {"decreasing row starts, checker off", 21,
     "*** Input check: i=3, ia(i)=8, ia(i+1)=6 are incompatible\n",
     "*** Input check: i=2, ia[i]=7, ia[i+1]=5 are incompatible\n",
     [](K, I in, int&, int&) { in.ia[3] = in.ia[0] + 5; }},
    {"two-level out of core", 31,
     "*** Input check: Two-level factorization algorithm does not work in OOC mode.\n", nullptr,
     [](K k, I, int&, int&) { k.iparm[23] = 1, k.iparm[59] = 1; }},
};

TEST(KorvineInterface, EveryInputCheckReportsItsNumberAndText) {
  for (int base : {1, 0}) {
    for (const CheckCase& c : kChecks) {
      SCOPED_TRACE(std::string(c.name) + (base == 1 ? " one-based" : " zero-based"));
      Input<double> in = solver_input(small_spd(), false, base);
      Korvine k(11, {{34, base == 0}}, 1);
      int phase = 13, nrhs = 1;
      c.spoil(k, in, phase, nrhs);
      std::vector<double> b(in.n, 1.0), x(in.n);
      EXPECT_EQ(k.call_captured(phase, in, b.data(), x.data(), nrhs), -1);
      const char* category = c.expected_num >= 21 && c.expected_num <= 30
                                 ? "*** Error in KORVINE  (incorrect input matrix  ) error_num= "
                                 : "*** Error in KORVINE  ( sequence_ido,parameters) error_num= ";
      const std::string head = category + std::to_string(c.expected_num) + "\n";
      EXPECT_EQ(k.out.substr(0, head.size()), head) << k.out;
      EXPECT_TRUE(k.printed(base == 0 && c.zero_based_text ? c.zero_based_text : c.one_based_text));
      EXPECT_EQ(k.pt[0], nullptr);
      // The block of input parameters follows the parameter checks.
      const std::string block =
          "*** Input parameters: inconsistent error= 1 max_fac_store_in: 1\n"
          "          matrix_number_in: 1 matrix_type_in: 11\n"
          "          ido_in          : 334 neqns_in      : 30\n"
          "          ia[neqns_in]-1  : " +
          std::to_string(in.ia.back() - 1) + " nb_in         : 1\n";
      EXPECT_TRUE(phase != 334 || base != 0 || k.printed(block)) << k.out;
    }
  }
}

// Matrices with one entry per row: only those holding just their diagonal take the
// shortcut; others with nnz = n are solved in full.
TEST(KorvineInterface, DiagonalShortcutAndItsMend) {
  Input<double> d{3, {1, 2, 3, 4}, {1, 2, 3}, {2.0, -1.0, 5.0}};
  std::vector<double> b{4, 3, 10}, x(3);
  Korvine k(-2);
  ASSERT_EQ(k.call(13, d, b.data(), x.data()), 0);
  EXPECT_TRUE(k.iparm[21] == 2 && k.iparm[22] == 1) << "inertia";
  EXPECT_EQ(x, (std::vector<double>{2, -3, 2}));
  EXPECT_EQ(k.pt[0], nullptr) << "no state is created";
  // Step by step: the forward and diagonal steps hand b on, the backward step divides.
  std::vector<double> forward(3, 7.0), middle(3, 7.0);
  ASSERT_EQ(k.call(331, d, b.data(), forward.data()), 0);
  ASSERT_EQ(k.call(332, d, forward.data(), middle.data()), 0);
  ASSERT_EQ(k.call(333, d, middle.data(), x.data()), 0);
  EXPECT_EQ(x, (std::vector<double>{2, -3, 2}));
  EXPECT_EQ(k.call(0, d, b.data(), x.data()), 0) << "release after the shortcut";
  d.a[1] = 0;
  k.msglvl = 1;
  EXPECT_EQ(k.call_captured(13, d, b.data(), x.data()), -7);
  EXPECT_TRUE(k.printed("*** something wrong with diagonal matrix row 2\n"));
  // Unsymmetric, one entry per row, but off the diagonal: a permutation matrix times values.
  Input<double> p{3, {1, 2, 3, 4}, {2, 3, 1}, {2.0, 4.0, 5.0}};
  Korvine u(11);
  ASSERT_EQ(u.call(13, p, b.data(), x.data()), 0);
  for (int i = 0; i < 3; ++i) EXPECT_NEAR(x[(i + 1) % 3], b[i] / p.a[i], 1e-14) << i;
  // Symmetric indefinite with nnz = n but an empty second row: [[1 2] [2 0]].
  Input<double> s{2, {1, 3, 3}, {1, 2}, {1.0, 2.0}};
  std::vector<double> c{5, 2}, y(2);
  Korvine sym(-2);
  ASSERT_EQ(sym.call(13, s, c.data(), y.data()), 0);
  EXPECT_LT(std::abs(y[0] - 1) + std::abs(y[1] - 2), 1e-14);
}

ZTR_CHILD(korvine_threads) {
  Input<double> in = solver_input(grid_operator(60, 1, 1, 4.0), false, 1);
  std::vector<double> b(in.n, 1.0), x(in.n);
  Korvine k(11);
  k.call(11, in, b.data(), x.data());
  std::printf("threads=%d\n", k.iparm[2]);
  return k.error;
}

TEST(KorvineInterface, ThreadCountDropsForSmallProblemsInDynamicMode) {
  for (auto [dynamic, want] : {std::pair{"false", "threads=4\n"}, {"true", "threads=1\n"}}) {
    const ChildResult r =
        run_child("korvine_threads", {"ZTR_NUM_THREADS=4", std::string("ZTR_DYNAMIC=") + dynamic});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.out, want);
  }
}

// The statistics report: which blocks each phase prints, and the computed lines.
TEST(KorvineReport, PhasesPrintTheirBlocks) {
  const Sparse s = grid_operator(1000, 1, 1, 10.0);  // 2998 entries, the largest 10
  Input<double> in = solver_input(s, false, 1);
  std::vector<double> b(s.n, 1.0), x(s.n);
  Korvine k(11, {}, 1);
  ASSERT_EQ(k.call_captured(11, in, b.data(), x.data()), 0);
  EXPECT_EQ(k.out.rfind("\n=== KORVINE: solving a real nonsymmetric system ===\n", 0), 0u) << k.out;
  // Phase 11 prints the features and the analysis, no factorization figures; the
  // additional-calculations line is the total minus the printed slots.
  for (const char* line :
       {"The local (internal) KORVINE version is                          : 103911000\n",
        "1-based array indexing is turned ON\n", "METIS algorithm at reorder step is turned ON\n",
        "Scaling is turned ON\n", "Matching is turned ON\n", "Summary: ( reordering phase )\n",
        "             number of non-zeros in A (%): 0.299800\n",
        "             number of equations:           1000\n",
        "             number of right-hand sides:    1\n",
        "< Numerical Factorization with Level-3 BLAS performance >\n",
        "Time spent in additional calculations"})
    EXPECT_TRUE(k.printed(line)) << line;
  for (const char* text :
       {"gflop", "Time spent in factorization step", "Single-level factorization"})
    EXPECT_FALSE(k.printed(text)) << text;
  ASSERT_EQ(k.call_captured(23, in, b.data(), x.data()), 0);
  for (const char* line :
       {"Percentage of computed non-zeros for LL^T factorization\n", " 100 %\n",
        "Single-level factorization algorithm is turned ON\n",
        "Summary: ( starting phase is factorization, ending phase is solution )\n",
        "             gflop   for the numerical factorization: ",
        "             ||A||                                    10.000000"})
    EXPECT_TRUE(k.printed(line)) << line;
  EXPECT_FALSE(k.printed("The local (internal)")) << "no analysis, no features";
  // Percentages never repeat, and 99 is the most before the end.
  int last = -1;
  std::istringstream lines(k.out);
  for (std::string l; std::getline(lines, l);)
    if (l.ends_with(" %")) {
      EXPECT_GT(std::stoi(l), std::exchange(last, std::stoi(l)));
    }
  EXPECT_EQ(last, 100);
  ASSERT_EQ(k.call_captured(0, in, b.data(), x.data()), 0);
  EXPECT_EQ(k.out,
            "\n=== KORVINE: solving a real nonsymmetric system ===\n\n\n"
            "Summary: ( cleaning phase )\n\nL&U for matrix number 1 deleted\n\n");
  EXPECT_EQ(captured([&] { k.release(); }), "");
  // Message level 2 adds the version line.
  Input<double> up = solver_input(grid_operator(5, 5, 1, 4.0), true, 0);
  Korvine p(2, {{34, 1}, {26, 1}, {12, 1}}, 2);  // matching is not done for this type
  ASSERT_EQ(p.call_captured(13, up, b.data(), x.data()), 0);
  for (const char* line : {" local KORVINE version is 103911000\n",
                           "=== KORVINE: solving a symmetric positive definite system ===\n",
                           "0-based array is turned ON\n", "Matrix checker is turned ON\n"})
    EXPECT_TRUE(p.printed(line)) << line;
  EXPECT_EQ(p.iparm[26], 0) << "a passed check is not repeated";
  EXPECT_FALSE(p.printed("Scaling is turned ON") || p.printed("Matching is turned ON"));
}

// The statistics name the parallel factorization only when a team shared its steps: a
// dense positive definite block of 1500 unknowns (1.1e9 operations, above the size from
// which a factorization takes a team) on two threads, in either precision; on one thread the
// one-thread line.
TEST(KorvineReport, TeamLineOnlyWhenATeamFactored) {
  constexpr int n = 1500;
  Input<double> in;
  in.n = n;
  in.ia.push_back(1);
  for (int i = 0; i < n; ++i) {
    for (int j = i; j < n; ++j) {
      in.ja.push_back(j + 1);
      in.a.push_back(i == j ? 2.0 * n : 1.0 / (1 + j - i));
    }
    in.ia.push_back(static_cast<int>(in.ja.size()) + 1);
  }
  Input<float> in_single{n, in.ia, in.ja, std::vector<float>(in.a.begin(), in.a.end())};
  const std::string team = "< Numerical Factorization with BLAS3 and O(n) synchronization >\n";
  const std::string one = "< Numerical Factorization with Level-3 BLAS performance >\n";
  const int given = ZTR_Get_Max_Threads();
  for (const auto& [threads, single] : {std::pair{2, false}, {1, false}, {2, true}}) {
    ZTR_Set_Num_Threads(threads);
    Korvine k(2, {{27, single ? 1 : 0}}, 1);
    if (single) {
      std::vector<float> b(n, 1.0f), x(n);
      ASSERT_EQ(k.call_captured(13, in_single, b.data(), x.data()), 0);
    } else {
      std::vector<double> b(n, 1.0), x(n);
      ASSERT_EQ(k.call_captured(13, in, b.data(), x.data()), 0);
    }
    SCOPED_TRACE(threads);
    SCOPED_TRACE(single);
    const bool shared = threads > 1;
    EXPECT_EQ(k.printed(team), shared) << k.out;
    EXPECT_EQ(k.printed(one), !shared);
  }
  ZTR_Set_Num_Threads(given);
}

// A partial solve asked for together with the matrix check: the check runs before the
// preparation (a matrix it refuses is refused before anything is ordered) and again in the
// analysis that follows, which reports it, and the wanted unknowns are still solved.
TEST(KorvineInterface, PartialSolveKeepsTheMatrixCheck) {
  const Sparse s = grid_operator(6, 5, 2, 6.0);
  Input<double> in = solver_input(s, true, 1);
  std::vector<double> b(s.n, 1.0), x(s.n), full(s.n);
  {
    Korvine k(2);
    ASSERT_EQ(k.call(13, in, b.data(), full.data()), 0);
  }
  std::vector<int> perm(s.n);
  for (int i = 0; i < s.n; i += 3) perm[i] = 1;
  Korvine k(2, {{26, 1}, {30, 1}}, 1);
  ASSERT_EQ(k.call_captured(13, in, b.data(), x.data(), 1, perm.data()), 0) << k.out;
  EXPECT_TRUE(k.printed("Matrix checker is turned ON\n")) << k.out;
  EXPECT_EQ(k.iparm[26], 0) << "the passed check clears the request";
  EXPECT_EQ(k.iparm[47], (s.n + 2) / 3);
  EXPECT_EQ(k.iparm[4], 1);
  EXPECT_TRUE(one_based_permutation(perm));
  for (int i = 0; i < s.n; i += 3) EXPECT_NEAR(x[i], full[i], 1e-12 * std::abs(full[i])) << i;
  // The preparation orders the same graph whatever the index base (it once dropped the edges
  // between consecutive columns of one-based input).
  {
    Input<double> zero = in;
    for (int& v : zero.ia) --v;
    for (int& v : zero.ja) --v;
    std::vector<int> zperm(s.n);
    for (int i = 0; i < s.n; i += 3) zperm[i] = 1;
    Korvine z(2, {{30, 1}, {34, 1}});
    ASSERT_EQ(z.call(13, zero, b.data(), x.data(), 1, zperm.data()), 0);
    for (int& v : zperm) ++v;
    EXPECT_EQ(zperm, perm);
  }
  // An unsorted row is refused by the check, with the preparation never run: perm keeps its
  // marks.
  std::swap(in.ja[1], in.ja[2]);
  std::vector<int> marks(s.n, 1);
  Korvine bad(2, {{26, 1}, {30, 1}});
  EXPECT_EQ(bad.call(13, in, b.data(), x.data(), 1, marks.data()), -1);
  EXPECT_EQ(marks, std::vector<int>(s.n, 1));
}

}  // namespace
}  // namespace ztr::test
