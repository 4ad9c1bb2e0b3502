// The solver's interface: queries, defaults, the phase state machine, every input check with
// its error_num and exact text in both index bases, the diagonal shortcut, the thread count.
#include <gtest/gtest.h>

#include <numeric>
#include <string>

#include "tests/sparse_solver/korvine_support.h"
#include "tests/support/child.h"

namespace ztr::test {
namespace {

using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

Sparse small_spd() {
  return grid_operator(6, 5, 1, 4.0);
}

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
    const std::vector<int> got{d.iparm[0],  d.iparm[9],  d.iparm[10],
                               d.iparm[12], d.iparm[17], d.iparm[63]};
    EXPECT_EQ(got, (std::vector<int>{1,
                                     type == 11   ? 13
                                     : type == -2 ? 8
                                                  : 0,
                                     type == 11, type == 11, -1, 103911000}))
        << type;
  }
}

TEST(KorvineInterface, PhaseStateMachine) {
  const Sparse s = small_spd();
  Input<double> in = solver_input(s, false, 1);
  std::vector<double> b(s.n, 1.0), x(s.n);
  Korvine k(11);
  k.maxfct = 2;
  EXPECT_EQ(k.call(0, in, b.data(), x.data()), -1) << "release on a fresh handle";
  EXPECT_EQ(k.call(33, in, b.data(), x.data()), -1) << "solve without analysis";
  EXPECT_EQ(k.pt[0], nullptr) << "a rejected first call leaves the handle fresh";
  ASSERT_EQ(k.call(11, in, b.data(), x.data()), 0);
  EXPECT_NE(k.pt[0], nullptr);
  EXPECT_EQ(k.call(33, in, b.data(), x.data()), -1) << "solve before factorization";
  ASSERT_EQ(k.call(22, in, b.data(), x.data()), 0);
  k.mnum = 2;
  EXPECT_EQ(k.call(33, in, b.data(), x.data()), -1) << "matrix 2 was never factored";
  ASSERT_EQ(k.call(23, in, b.data(), x.data()), 0);
  EXPECT_LT(backward_ratio(s, x, b, 1), 30.0);
  ASSERT_EQ(k.call(0, in, b.data(), x.data()), 0);
  EXPECT_EQ(k.call(33, in, b.data(), x.data()), -1) << "matrix 2 was released";
  k.mnum = 1;
  ASSERT_EQ(k.call(33, in, b.data(), x.data()), 0) << "matrix 1 is still there";
  k.mnum = 3;
  EXPECT_EQ(k.call(0, in, b.data(), x.data()), -1);
  k.mnum = 1;
  // A new analysis may not raise maxfct; the type may change only within its family.
  k.maxfct = 3;
  EXPECT_EQ(k.call(11, in, b.data(), x.data()), -1);
  k.maxfct = 1;
  k.mtype = 1;
  EXPECT_EQ(k.call(11, in, b.data(), x.data()), -1);
  k.mtype = 11;
  ASSERT_EQ(k.call(13, in, b.data(), x.data()), 0) << "re-analysis with maxfct 1";
  const auto calls = reinterpret_cast<std::intptr_t>(k.pt[0]);
  EXPECT_GE(calls, 2);
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
      Korvine k(11);
      k.iparm[34] = base == 0;
      k.msglvl = 1;
      int phase = 13, nrhs = 1;
      c.spoil(k, in, phase, nrhs);
      std::vector<double> b(in.n, 1.0), x(in.n);
      CaptureStdout();
      const int* ja = in.ja.empty() ? nullptr : in.ja.data();
      KORVINE(k.pt, &k.maxfct, &k.mnum, &k.mtype, &phase, &in.n, in.a.data(), in.ia.data(), ja,
              nullptr, &nrhs, k.iparm, &k.msglvl, b.data(), x.data(), &k.error);
      const std::string out = GetCapturedStdout();
      EXPECT_EQ(k.error, -1);
      const char* category = c.expected_num >= 21 && c.expected_num <= 30
                                 ? "*** Error in KORVINE  (incorrect input matrix  ) error_num= "
                                 : "*** Error in KORVINE  ( sequence_ido,parameters) error_num= ";
      const std::string head = category + std::to_string(c.expected_num) + "\n";
      EXPECT_EQ(out.substr(0, head.size()), head) << out;
      const char* text = base == 0 && c.zero_based_text ? c.zero_based_text : c.one_based_text;
      EXPECT_NE(out.find(text), std::string::npos) << out;
      EXPECT_EQ(k.pt[0], nullptr);
    }
  }
}

TEST(KorvineInterface, InputBlockFollowsTheParameterChecks) {
  Input<double> in = solver_input(small_spd(), false, 0);
  Korvine k(11);
  k.iparm[34] = 1;
  k.msglvl = 1;
  std::vector<double> b(in.n), x(in.n);
  CaptureStdout();
  k.call(334, in, b.data(), x.data(), 2);
  const std::string out = GetCapturedStdout();
  const int nnz = in.ia.back();
  const std::string block =
      "*** Input parameters: inconsistent error= 1 max_fac_store_in: 1\n"
      "          matrix_number_in: 1 matrix_type_in: 11\n"
      "          ido_in          : 334 neqns_in      : 30\n"
      "          ia[neqns_in]-1  : " +
      std::to_string(nnz - 1) + " nb_in         : 2\n";
  EXPECT_NE(out.find(block), std::string::npos) << out;
}

// Matrices with one entry per row: only those holding just their diagonal take the
// shortcut; others with nnz = n are solved in full.
TEST(KorvineInterface, DiagonalShortcutAndItsMend) {
  Input<double> d{3, {1, 2, 3, 4}, {1, 2, 3}, {2.0, -1.0, 5.0}};
  std::vector<double> b{4, 3, 10}, x(3);
  Korvine k(-2);
  ASSERT_EQ(k.call(13, d, b.data(), x.data()), 0);
  EXPECT_EQ(k.iparm[21], 2);
  EXPECT_EQ(k.iparm[22], 1);
  EXPECT_EQ(x, (std::vector<double>{2, -3, 2}));
  EXPECT_EQ(k.pt[0], nullptr) << "no state is created";
  EXPECT_EQ(k.call(0, d, b.data(), x.data()), 0) << "release after the shortcut";
  d.a[1] = 0;
  k.msglvl = 1;
  CaptureStdout();
  EXPECT_EQ(k.call(13, d, b.data(), x.data()), -7);
  EXPECT_NE(GetCapturedStdout().find("*** something wrong with diagonal matrix row 2\n"),
            std::string::npos);
  // Unsymmetric, one entry per row, but off the diagonal: a permutation matrix times values.
  Input<double> p{3, {1, 2, 3, 4}, {2, 3, 1}, {2.0, 4.0, 5.0}};
  Korvine u(11);
  ASSERT_EQ(u.call(13, p, b.data(), x.data()), 0);
  EXPECT_NEAR(x[1], b[0] / 2.0, 1e-14);
  EXPECT_NEAR(x[2], b[1] / 4.0, 1e-14);
  EXPECT_NEAR(x[0], b[2] / 5.0, 1e-14);
  // Symmetric indefinite with nnz = n but an empty second row: [[1 2] [2 0]].
  Input<double> s{2, {1, 3, 3}, {1, 2}, {1.0, 2.0}};
  std::vector<double> c{5, 2}, y(2);
  Korvine sym(-2);
  ASSERT_EQ(sym.call(13, s, c.data(), y.data()), 0);
  EXPECT_NEAR(y[0], 1.0, 1e-14);
  EXPECT_NEAR(y[1], 2.0, 1e-14);
}

ZTR_CHILD(korvine_threads) {
  const Sparse s = grid_operator(60, 1, 1, 4.0);
  Input<double> in = solver_input(s, false, 1);
  std::vector<double> b(s.n, 1.0), x(s.n);
  Korvine k(11);
  k.call(11, in, b.data(), x.data());
  std::printf("threads=%d\n", k.iparm[2]);
  return k.error;
}

TEST(KorvineInterface, ThreadCountDropsForSmallProblemsInDynamicMode) {
  const ChildResult fixed =
      run_child("korvine_threads", {"ZTR_NUM_THREADS=4", "ZTR_DYNAMIC=false"});
  EXPECT_EQ(fixed.exit_code, 0);
  EXPECT_NE(fixed.out.find("threads=4"), std::string::npos) << fixed.out;
  const ChildResult dynamic =
      run_child("korvine_threads", {"ZTR_NUM_THREADS=4", "ZTR_DYNAMIC=true"});
  EXPECT_NE(dynamic.out.find("threads=1"), std::string::npos) << dynamic.out;
}

}  // namespace
}  // namespace ztr::test
