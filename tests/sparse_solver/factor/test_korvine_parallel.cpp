// The solver on several threads, end to end through KORVINE: every matrix type in both
// precisions on 2, 3, 4 and 8 threads (more than this machine's cores) gives the one-thread
// solution to rounding; reproducible mode gives the same bits on any thread count, on every
// run and on every processor variant of one reproducibility branch; the plan of a tree with
// one dominant subtree among many small ones is balanced by work; allocation failures of the
// parallel paths fall back or fail cleanly with nothing leaked.  The size from which a
// problem is given several threads is lowered to 0, so that small problems take the parallel
// paths.
#include <gtest/gtest.h>

#include <algorithm>
#include <complex>
#include <limits>
#include <map>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <type_traits>
#include <vector>

#include "include/ztr.h"
#include "service/cpu.h"
#include "sparse_solver/common/subtree_plan.h"
#include "sparse_solver/common/value_types.h"
#include "sparse_solver/factor/update_crew.h"
#include "sparse_solver/interface/handle.h"
#include "testalloc.h"
#include "tests/sparse_solver/korvine_support.h"
#include "tests/support/child.h"
#include "tests/support/fake_machine.h"

namespace ztr::test {
namespace {

using C = std::complex<double>;
using CF = std::complex<float>;

template <typename T>
constexpr bool kComplex = !std::is_floating_point_v<T>;

constexpr int kEveryType[] = {1, 2, -2, 11, 3, 4, -4, 6, 13};

bool complex_type(int mtype) {
  return mtype == 3 || mtype == 4 || mtype == -4 || mtype == 6 || mtype == 13;
}

// While it lives, every problem is large enough for several threads; the thread count is
// restored at the end.
class AllThreads {
 public:
  AllThreads() : saved_(team_work_min()), threads_(ZTR_Get_Max_Threads()) { team_work_min() = 0; }
  ~AllThreads() {
    team_work_min() = saved_;
    ZTR_Set_Num_Threads(threads_);
  }

 private:
  double saved_;
  int threads_;
};

template <typename T>
int precision_flag() {
  return std::is_same_v<T, float> || std::is_same_v<T, CF> ? 1 : 0;
}

template <typename T>
std::vector<T> rhs(int n, int nrhs) {
  std::vector<T> b(static_cast<std::size_t>(n) * nrhs);
  for (std::size_t i = 0; i < b.size(); ++i) b[i] = T(static_cast<float>(1 + (i * 7) % 11));
  return b;
}

struct Outcome {
  int error = 0;
  int units = 0;  // the plan's units
  int team = 0;   // threads the factorization ran on
};

// Analysis, factorization and solve of `in` with `nrhs` right-hand sides on `threads` (0: the
// count set before).
template <typename T>
Outcome solve_on(int threads, int mtype, Input<T>& in, std::vector<T>* x, int nrhs,
                 std::initializer_list<std::pair<int, int>> settings = {}) {
  if (threads > 0) ZTR_Set_Num_Threads(threads);  // 0: as set
  Korvine k(mtype, settings);
  k.iparm[27] = precision_flag<T>();
  std::vector<T> b = rhs<T>(in.n, nrhs);
  x->assign(b.size(), T(0));
  Outcome r;
  r.error = k.call(13, in, b.data(), x->data(), nrhs);
  const ControlRecord* c = handle_control(k.pt);
  if (c != nullptr) {
    r.units = c->plan.units;
    r.team = c->factors != nullptr ? c->factors[0].team : 0;
  }
  return r;
}

template <typename T>
double largest_difference(const std::vector<T>& a, const std::vector<T>& b) {
  double diff = 0, big = 0;
  for (std::size_t i = 0; i < a.size(); ++i) {
    diff = std::max(diff, static_cast<double>(std::abs(a[i] - b[i])));
    big = std::max(big, static_cast<double>(std::abs(b[i])));
  }
  return big > 0 ? diff / big : diff;
}

template <typename T>
void every_type_matches_one_thread() {
  AllThreads all;
  // Grid and pivoting differ with the panel width (which follows the thread count), so the
  // factors are not the same: agreement is to rounding times the growth of these
  // well-conditioned problems.
  const double bound = 1e4 * std::numeric_limits<RealOf<T>>::epsilon();
  for (const int mtype : kEveryType) {
    if (complex_type(mtype) != kComplex<T>) continue;
    SCOPED_TRACE("type " + std::to_string(mtype));
    Input<T> in = typed_grid_problem<T>(mtype, 12);
    std::vector<T> one, many;
    ASSERT_EQ(solve_on(1, mtype, in, &one, 3).error, 0);
    for (const int threads : {2, 3, 4, 8}) {
      SCOPED_TRACE(std::to_string(threads) + " threads");
      const Outcome r = solve_on(threads, mtype, in, &many, 3);
      ASSERT_EQ(r.error, 0);
      EXPECT_GT(r.units, 1);
      EXPECT_GT(r.team, 1);
      EXPECT_LT(largest_difference(many, one), bound);
    }
  }
}

TEST(KorvineParallel, EveryTypeMatchesOneThreadInDouble) {
  every_type_matches_one_thread<double>();
}
TEST(KorvineParallel, EveryTypeMatchesOneThreadInSingle) {
  every_type_matches_one_thread<float>();
}
TEST(KorvineParallel, EveryComplexTypeMatchesOneThreadInDouble) {
  every_type_matches_one_thread<C>();
}
TEST(KorvineParallel, EveryComplexTypeMatchesOneThreadInSingle) {
  every_type_matches_one_thread<CF>();
}

template <typename T>
bool same_bits(const std::vector<T>& a, const std::vector<T>& b) {
  return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(T)) == 0;
}

// Reproducible mode (iparm[33] = 4): the same bits on 1, 2, 3, 4 and 8 threads and on a second
// run, with refinement and three right-hand sides, for every type and precision.
template <typename T>
void reproducible_bits() {
  AllThreads all;
  for (const int mtype : kEveryType) {
    if (complex_type(mtype) != kComplex<T>) continue;
    SCOPED_TRACE("type " + std::to_string(mtype));
    Input<T> in = typed_grid_problem<T>(mtype, 11);
    std::vector<T> first, again;
    ASSERT_EQ(solve_on(1, mtype, in, &first, 3, {{33, 4}, {7, 2}}).error, 0);
    for (const int threads : {1, 2, 3, 4, 8}) {
      SCOPED_TRACE(std::to_string(threads) + " threads");
      const Outcome r = solve_on(threads, mtype, in, &again, 3, {{33, 4}, {7, 2}});
      ASSERT_EQ(r.error, 0);
      EXPECT_GT(r.units, 1);
      EXPECT_TRUE(same_bits(again, first));
    }
  }
}

TEST(KorvineParallel, ReproducibleBitsOnAnyThreadCount) {
  reproducible_bits<double>();
  reproducible_bits<float>();
}
TEST(KorvineParallel, ReproducibleBitsOnAnyThreadCountComplex) {
  reproducible_bits<C>();
  reproducible_bits<CF>();
}

// In a child with a reproducibility branch on a presented processor (TEST_CPU, through the
// processor seam): a checksum of the bits of reproducible solutions of four types.
ZTR_CHILD(korvine_reproducible_variant) {
  if (std::getenv("TEST_CPU") != nullptr) install_fake_cpu();
  AllThreads all;
  unsigned long long sum = 1469598103934665603ULL;
  for (const int mtype : {2, -2, 11, -4}) {
    std::vector<double> x;
    std::vector<C> z;
    int error = 0;
    const unsigned char* bytes;
    std::size_t count;
    if (complex_type(mtype)) {
      Input<C> in = typed_grid_problem<C>(mtype, 11);
      error = solve_on(3, mtype, in, &z, 2, {{33, 4}}).error;
      bytes = reinterpret_cast<const unsigned char*>(z.data());
      count = z.size() * sizeof(C);
    } else {
      Input<double> in = typed_grid_problem<double>(mtype, 11);
      error = solve_on(3, mtype, in, &x, 2, {{33, 4}}).error;
      bytes = reinterpret_cast<const unsigned char*>(x.data());
      count = x.size() * sizeof(double);
    }
    if (error != 0) return 1;
    for (std::size_t i = 0; i < count; ++i) sum = (sum ^ bytes[i]) * 1099511628211ULL;
  }
  std::printf("bits %llx\n", sum);
  return 0;
}

// Processors of every level from the branch's up, with their own cache sizes, and on 2 and 3
// threads: one branch, the same bits.
TEST(KorvineParallel, ReproducibleBitsOnEveryProcessorOfABranch) {
  std::string first;
  for (const char* cpu : {"sse41", "sse42", "avx", "avx2"})
    for (const char* threads : {"ZTR_NUM_THREADS=2", "ZTR_NUM_THREADS=3"})
      for (const char* caches : {"TEST_CACHES=", "TEST_CACHES=large_l2"}) {
        const ChildResult r = run_child("korvine_reproducible_variant",
                                        {"ZTR_CBWR=SSSE3", std::string("TEST_CPU=") + cpu, threads,
                                         caches, "ZTR_DYNAMIC=FALSE"});
        ASSERT_EQ(r.exit_code, 0) << r.out;
        const std::string bits = r.out.substr(r.out.find("bits "));
        if (first.empty()) first = bits;
        EXPECT_EQ(bits, first) << cpu << " " << threads << " " << caches;
      }
}

// The parallel nested dissection (iparm[1] = 3) orders the top levels on several threads
// and returns the separator tree of as many parts as the factorization plans: the permutation
// is the same on 1, 2 and 4 threads, and the same as the one-thread nested dissection's.
TEST(KorvineParallel, ParallelOrderingIsTheSameOnAnyThreadCount) {
  AllThreads all;
  const Sparse s = grid_operator(12, 11, 10, 7.0);
  Input<double> in = solver_input(s, true, 1);
  std::vector<double> b(s.n, 1.0), x(s.n);
  std::vector<std::vector<int>> perms;
  for (const auto& [method, threads] : {std::pair{2, 1}, {3, 1}, {3, 2}, {3, 4}}) {
    ZTR_Set_Num_Threads(threads);
    Korvine k(2, {{1, method}, {4, 2}});
    perms.emplace_back(s.n);
    ASSERT_EQ(k.call(11, in, b.data(), x.data(), 1, perms.back().data()), 0);
    EXPECT_TRUE(one_based_permutation(perms.back()));
    EXPECT_EQ(perms.back(), perms.front()) << "method " << method << ", " << threads << " threads";
    const ControlRecord* c = handle_control(k.pt);
    // The tree's leaf parts and separators are ranges of positions inside the matrix.
    EXPECT_EQ(c->separator_parts, c->subgraphs);
    for (int p = 0; p < 2 * c->separator_parts - 1; ++p) {
      const int first = c->separator_tree[2 * p], last = c->separator_tree[2 * p + 1];
      EXPECT_TRUE(first >= 0 && first <= s.n && last >= first - 1 && last < s.n)
          << "slot " << p << ": " << first << " " << last;
    }
  }
}

// With matching on, a symmetric indefinite matrix is ordered on its graph with each 2x2 pair
// merged, and the number of independent subgraphs is bounded by that graph's vertices: 18
// unknowns in 9 pairs allow 8 subgraphs where 18 single ones allow 16 (the reproducible count
// 16 asks for them).  The report prints the count, and both solve.
TEST(KorvineParallel, MatchedPairsBoundTheSubgraphs) {
  AllThreads all;
  const int n = 18;
  const Sparse s = tiny_pairs(n);
  Input<double> in = solver_input(s, true, 1);
  for (const auto& [matching, subgraphs] : {std::pair{1, 8}, {0, 16}}) {
    Korvine k(-2, {{12, matching}, {33, 16}}, 1);
    std::vector<double> b(n, 1.0), x(n);
    ASSERT_EQ(k.call_captured(13, in, b.data(), x.data()), 0);
    EXPECT_EQ(handle_control(k.pt)->subgraphs, subgraphs) << "matching " << matching;
    EXPECT_TRUE(k.printed("number of independent subgraphs:  " + std::to_string(subgraphs) + "\n"))
        << k.out;
    EXPECT_LT(backward_ratio(s, x, b, 1), 30);
  }
}

// Two callers at once on distinct handles, each with two threads inside the solver (run
// under ThreadSanitizer in CI): each gets the solution a lone call gets, to the bit.
TEST(KorvineParallel, TwoCallersWithTwoThreadsEach) {
  AllThreads all;
  ZTR_Set_Num_Threads(2);
  Input<double> in_a = typed_grid_problem<double>(2, 9), in_b = typed_grid_problem<double>(11, 9);
  std::vector<double> lone_a, lone_b, xa, xb;
  ASSERT_EQ(solve_on(2, 2, in_a, &lone_a, 2).error, 0);
  ASSERT_EQ(solve_on(2, 11, in_b, &lone_b, 2).error, 0);
  Outcome ra, rb;
  std::thread ta([&] { ra = solve_on(0, 2, in_a, &xa, 2); });
  std::thread tb([&] { rb = solve_on(0, 11, in_b, &xb, 2); });
  ta.join();
  tb.join();
  EXPECT_EQ(ra.error, 0);
  EXPECT_EQ(rb.error, 0);
  EXPECT_GT(ra.team, 1);
  EXPECT_TRUE(same_bits(xa, lone_a));
  EXPECT_TRUE(same_bits(xb, lone_b));
}

// Many small independent blocks beside one grid that holds most of the work: a split by the
// number of subtrees would give one thread the grid; the plan splits the grid instead, so
// that two threads taking the units largest first finish within 10 % of each other.
TEST(KorvineParallel, OneDominantSubtreeAmongManySmallOnesIsSplitByWork) {
  AllThreads all;
  const Sparse grid = grid_operator(14, 13, 12, 7.0);
  std::map<std::pair<int, int>, double> e;
  for (int i = 0; i < grid.n; ++i)
    for (int k = grid.ia[i]; k < grid.ia[i + 1]; ++k) e[{i, grid.ja[k]}] = grid.a[k];
  int n = grid.n;
  for (int b = 0; b < 300; ++b, n += 3)
    for (int i = 0; i < 3; ++i)
      for (int j = 0; j < 3; ++j) e[{n + i, n + j}] = i == j ? 4.0 : -1.0;
  const Sparse s = from_map(n, e);
  Input<double> in = solver_input(s, true, 1);
  ZTR_Set_Num_Threads(2);
  Korvine k(2);
  std::vector<double> b(n, 1.0), x(n);
  ASSERT_EQ(k.call(13, in, b.data(), x.data()), 0);
  EXPECT_LT(backward_ratio(s, x, b, 1), 30.0);
  const ControlRecord* c = handle_control(k.pt);
  const SubtreePlan& plan = c->plan;
  ASSERT_GT(plan.units, 2);
  std::vector<double> works;
  double total = 0;
  for (int u = 0; u < plan.wave_start[1]; ++u) {
    double w = 0;
    for (int i = 0; i < plan.unit_size(u); ++i) w += supernode_work(c->sn, plan.unit_nodes(u)[i]);
    works.push_back(w);
    total += w;
  }
  std::sort(works.rbegin(), works.rend());
  double load[2] = {0, 0};
  for (double w : works) *std::min_element(load, load + 2) += w;
  EXPECT_LE(std::max(load[0], load[1]), 1.1 * total / 2);
  // The grid was split: no unit holds half of the units' work.
  EXPECT_LT(works[0], 0.5 * total);
}

// Every allocation of a two-thread factorization and solve made to fail in turn: the call
// fails with -2 (or -4, "insufficient memory factorization"), or goes on without the parallel
// buffer that failed and still solves; nothing leaks and the handle is released.  Returns the
// number of faults found (printed).  In a child: a failed allocation can switch a kernel to a
// path without its buffer for the rest of the process.
template <typename T>
int allocation_sweep(int mtype) {
  AllThreads all;
  ZTR_Set_Num_Threads(2);
  Input<T> in = typed_grid_problem<T>(mtype, 9);
  std::vector<T> b = rhs<T>(in.n, 2), x(b.size());
  long live = 0;
  int faults = 0, fell_back = 0;
  // One call with the k-th allocation failing (none for k = 0): its error, whether the
  // failure was hit.
  auto attempt = [&](int k, bool* hit) {
    Korvine solver(mtype, {}, 1);
    solver.iparm[27] = precision_flag<T>();
    const long failures = ztr_testalloc_failures();
    if (k > 0) ztr_testalloc_fail_nth(k, 0);
    const int err = solver.call_captured(13, in, b.data(), x.data(), 2);
    *hit = ztr_testalloc_failures() > failures;
    ztr_testalloc_reset();
    if (err == -4 && !solver.printed("insufficient memory factorization")) {
      std::printf("type %d allocation %d: -4 without its message:\n%s\n", mtype, k,
                  solver.out.c_str());
      ++faults;
    }
    return err;
  };
  bool hit = false;
  if (attempt(0, &hit) != 0) return 1;
  live = ztr_testalloc_live();
  for (int k = 1;; ++k) {
    const int err = attempt(k, &hit);
    if (ztr_testalloc_live() != live) {
      // A kernel's per-thread buffer made on a path the calls before had not taken stays for
      // the thread's life; a leak grows again when the same failure comes again.
      const long after = ztr_testalloc_live();
      attempt(k, &hit);
      if (ztr_testalloc_live() != after) {
        std::printf("type %d allocation %d: %ld blocks leaked\n", mtype, k,
                    ztr_testalloc_live() - after);
        return faults + 1;
      }
      live = after;
    }
    if (!hit) {
      // The other threads' kernels and the solve's unit buffers have fall-backs: some
      // failures must have been taken without an error.
      if (fell_back == 0) std::printf("type %d: no failure fell back\n", mtype);
      return faults + (err != 0) + (fell_back == 0);
    }
    if (err == 0) ++fell_back;
    if (err != 0 && err != -2 && err != -4) {
      std::printf("type %d allocation %d: error %d\n", mtype, k, err);
      ++faults;
    }
  }
}

ZTR_CHILD(korvine_parallel_allocations) {
  return allocation_sweep<double>(11) + allocation_sweep<CF>(-4);
}

TEST(KorvineParallel, AllocationFailuresFallBackOrFailCleanly) {
  // The per-thread buffer pool off: which thread takes a unit changes from run to run.
  const ChildResult r =
      run_child("korvine_parallel_allocations", {"ZTR_DYNAMIC=FALSE", "ZTR_DISABLE_FAST_MM=1"});
  EXPECT_EQ(r.exit_code, 0) << r.out;
}

}  // namespace
}  // namespace ztr::test
