// Every allocation of every export made to fail in turn (see sweep.h), on one and two
// threads, with the buffer pool off (every block must come back) and on.
//
// The inputs are chosen so that correct results are known exactly whatever path a fallback
// takes: small integers for the products (every sum is exact in any order), matrices with
// known LU factors; the inverse, whose rounding depends on the path, is judged by its
// residual.
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "include/ztr.h"
#include "tests/lapack/lu_matrices.h"
#include "tests/reliability/sweep.h"
#include "tests/reliability/workload.h"
#include "tests/support/child.h"

namespace ztr::test {
namespace {

// Large enough for the threaded paths on two threads (the multiply's large route, the LU's
// scheduler, the inverse's blocked path, the split dot and CSR products).
constexpr int kLu = 160, kInverse = 150;

std::vector<double> small_integers(std::size_t count, std::uint64_t seed) {
  Rng r(static_cast<Rng::result_type>(seed));
  std::vector<double> v(count);
  for (double& x : v) x = below(r, 9) - 4;
  return v;
}

// A call on small integers, whose outputs are exact whatever path computes them: every run
// must give the bits of the first, fault-free one (whose values the exports' own tests check).
SweepCall exact(std::function<std::vector<double>()> run) {
  auto first = std::make_shared<std::vector<double>>();
  return [=] {
    const std::vector<double> got = run();
    if (first->empty()) *first = got;
    return got == *first ? correct() : wrong("differs from the run without faults");
  };
}

// C := 2*op(A)*op(B) - C/2: DGEMM square, tall and thin for the shared-panel routes of the
// threaded driver; cblas_dgemm row-major with both operands transposed.
SweepCall dgemm_call(int m, int n, int k, bool cblas) {
  const auto a = small_integers(m * k, 1), b = small_integers(n * k, 2),
             c = small_integers(m * n, 3);
  return exact([=] {
    std::vector<double> got = c;
    const double alpha = 2, beta = -0.5;
    if (cblas)
      cblas_dgemm(ZTR_ROW_MAJOR, ZTR_TRANS, ZTR_TRANS, m, n, k, 2, a.data(), m, b.data(), k, -0.5,
                  got.data(), n);
    else
      DGEMM("N", "T", &m, &n, &k, &alpha, a.data(), &m, b.data(), &n, &beta, got.data(), &m);
    return got;
  });
}

// The transposed copy is the only allocation LAPACKE_dgetrf makes itself; the driver's own
// allocations fall back silently.  A failed call leaves the matrix as it was.
SweepCall getrf_call(int layout) {
  const int n = kLu;
  const KnownLu k = make_known_lu(n, n, 0, 7, {1, 65});
  const bool row = layout == ZTR_ROW_MAJOR;
  const std::vector<double> a = row ? to_rows(n, n, k.a, n, n) : k.a;
  const std::vector<double> lu = row ? to_rows(n, n, k.lu, n, n) : k.lu;
  return [=] {
    std::vector<double> got = a;
    std::vector<int> ipiv(n);
    const int info = LAPACKE_dgetrf(layout, n, n, got.data(), n, ipiv.data());
    if (info == -1011) {
      if (got != a) return wrong("a failed call changed the matrix");
      return documented_failure("Not enough memory to transpose matrix in LAPACKE_dgetrf_work");
    }
    if (info != 0) return wrong("code " + std::to_string(info));
    return got == lu && ipiv == k.ipiv ? correct() : wrong("wrong factors");
  };
}

SweepCall getri_call(int layout) {
  const int n = kInverse;
  std::vector<double> a = random_matrix(n, n, n, 8);
  for (int i = 0; i < n; ++i) a[i * (n + 1)] += n;  // well conditioned
  std::vector<double> lu = a;
  std::vector<int> ipiv(n);
  LAPACKE_dgetrf(layout, n, n, lu.data(), n, ipiv.data());
  const std::size_t rs = layout == ZTR_COL_MAJOR ? 1 : n, cs = layout == ZTR_COL_MAJOR ? n : 1;
  return [=] {
    std::vector<double> x = lu;
    const int info = LAPACKE_dgetri(layout, n, x.data(), n, ipiv.data());
    if (info == -1010 || info == -1011) {
      if (x != lu) return wrong("a failed call changed the factors");
      return documented_failure(
          info == -1010 ? "Not enough memory to allocate work array in LAPACKE_dgetri"
                        : "Not enough memory to transpose matrix in LAPACKE_dgetri_work");
    }
    if (info != 0) return wrong("code " + std::to_string(info));
    const double r = inverse_residual(n, a.data(), rs, cs, x.data(), rs, cs);
    return r < 30 ? correct() : wrong("inverse residual " + std::to_string(r));
  };
}

SweepCall ddot_call() {
  const auto x = small_integers(kDot, 9), y = small_integers(kDot, 10);
  return exact([=] { return std::vector<double>{cblas_ddot(kDot, x.data(), 1, y.data(), 1)}; });
}

SweepCall csrsymv_call() {
  const int m = kCsrRows;
  std::vector<int> ia, ja;
  lower_pattern(11, &ia, &ja);
  const auto v = small_integers(ja.size(), 13), x = small_integers(m, 12);
  return exact([=] {
    std::vector<double> y(m, -1.0);
    ztr_cspblas_dcsrsymv("L", &m, v.data(), ia.data(), ja.data(), x.data(), y.data());
    return y;
  });
}

std::vector<SweepCase> sweep_cases() {
  return {
      {"DGEMM square", dgemm_call(kGemm, kGemm, kGemm, false)},
      {"DGEMM tall", dgemm_call(4 * kGemm, kGemm / 4, kGemm / 2, false)},
      {"cblas_dgemm", dgemm_call(kGemm, kGemm, kGemm, true)},
      {"LAPACKE_dgetrf column-major", getrf_call(ZTR_COL_MAJOR)},
      {"LAPACKE_dgetrf row-major", getrf_call(ZTR_ROW_MAJOR)},
      {"LAPACKE_dgetri column-major", getri_call(ZTR_COL_MAJOR)},
      {"LAPACKE_dgetri row-major", getri_call(ZTR_ROW_MAJOR)},
      {"cblas_ddot", ddot_call()},
      {"ztr_cspblas_dcsrsymv", csrsymv_call()},
  };
}

// The pool is on unless ZTR_DISABLE_FAST_MM is set; the thread count is ZTR_NUM_THREADS.
ZTR_CHILD(sweep) {
  return sweep_allocations(sweep_cases(), std::getenv("ZTR_DISABLE_FAST_MM") == nullptr,
                           std::atoi(std::getenv("ZTR_NUM_THREADS")));
}

// On two threads the waits are passive: the sweep opens hundreds of short regions, and
// spinning workers only slow it down when the machine is shared.
TEST(AllocationSweep, OneAndTwoThreadsPoolOffAndOn) {
  const std::vector<std::vector<std::string>> environments = {
      {"ZTR_NUM_THREADS=1", "ZTR_DYNAMIC=FALSE", "ZTR_DISABLE_FAST_MM=1"},
      {"ZTR_NUM_THREADS=2", "ZTR_DYNAMIC=FALSE", "ZTR_DISABLE_FAST_MM=1",
       "OMP_WAIT_POLICY=PASSIVE"},
      {"ZTR_NUM_THREADS=2", "ZTR_DYNAMIC=FALSE", "OMP_WAIT_POLICY=PASSIVE"}};
  for (const auto& env : environments) {
    const auto r = run_child("sweep", env);
    EXPECT_EQ(r.exit_code, 0) << env[0] << " " << env.size() << "\n" << r.out;
  }
}

}  // namespace
}  // namespace ztr::test
