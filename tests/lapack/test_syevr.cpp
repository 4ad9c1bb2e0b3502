// The symmetric eigensolver by relatively robust representations and its LAPACKE export:
// eigenvalues against Jacobi in long double, vectors by ||A Z - Z W|| and ||Z^T Z - I||, on
// the spectra that stress it, every range, both triangles, both tolerances and both paths;
// the order-one cases, workspace answers, scaling, argument checks with their texts, the
// LAPACKE codes, layouts and allocation failures.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "include/ztr.h"
#include "lapack/syevr/syevr.h"
#include "testalloc.h"
#include "tests/support/child.h"
#include "eigen_checks.h"
#include "tridiagonal_matrices.h"

namespace ztr {
namespace {

using ::testing::internal::CaptureStdout;
using ::testing::internal::GetCapturedStdout;

using test::kOrthoBound;
using test::kResidualBound;
using test::kValueBound;
constexpr double kGarbage = 1e30;  // fills the triangle that must not be read

struct Dense {
  std::string name;
  int n;
  std::vector<double> a;  // full symmetric, column-major, lda = n
};

// Q T Q^T in long double for a random orthogonal Q.
Dense dense_from(const test::Tridiagonal& t, std::uint64_t seed) {
  const int n = t.n();
  const std::vector<double> q = test::random_orthogonal(n, seed);
  Dense dn{t.name, n, std::vector<double>(static_cast<size_t>(n) * n)};
  for (int j = 0; j < n; ++j)
    for (int i = 0; i <= j; ++i) {
      long double s = 0;
      for (int k = 0; k < n; ++k) {
        long double tk = static_cast<long double>(t.d[k]) * q[j + k * n];
        if (k > 0) tk += static_cast<long double>(t.e[k - 1]) * q[j + (k - 1) * n];
        if (k + 1 < n) tk += static_cast<long double>(t.e[k]) * q[j + (k + 1) * n];
        s += q[i + k * n] * tk;
      }
      dn.a[i + j * n] = dn.a[j + i * n] = static_cast<double>(s);
    }
  return dn;
}

std::vector<Dense> hard_dense() {
  std::vector<Dense> out;
  std::uint64_t seed = 100;
  for (const test::Tridiagonal& t : test::hard_tridiagonals()) {
    if (t.n() > 70) continue;  // the oracle is cubic
    out.push_back(dense_from(t, ++seed));
  }
  test::Tridiagonal glued{"glued_wilkinson_small", {}, {}};
  for (int c = 0; c < 3; ++c) {
    for (int i = 0; i < 11; ++i) {
      glued.d.push_back(std::fabs(5.0 - i));
      glued.e.push_back(i == 10 ? 1e-9 : 1.0);
    }
  }
  out.push_back(dense_from(glued, 7));
  // Two blocks with interleaved spectra: the tridiagonal splits, and bisection returns the
  // eigenvalues block by block, which the driver must sort.
  Dense blocks{"block_diagonal", 30, std::vector<double>(900, 0.0)};
  const Dense b1 = out[0];
  for (int j = 0; j < 15; ++j)
    for (int i = 0; i < 15; ++i) {
      blocks.a[i + j * 30] = b1.a[i + j * b1.n];
      blocks.a[15 + i + (15 + j) * 30] = b1.a[20 + i + (20 + j) * b1.n] + (i == j ? 0.01 : 0.0);
    }
  out.push_back(blocks);
  return out;
}

double dense_norm(const Dense& dn) {
  return test::one_norm_diff(dn.n, dn.n, dn.a.data(), dn.n, nullptr, 0);
}

struct Result {
  int m = -1, info = 0;
  std::vector<double> w, z, work;
  std::vector<int> isuppz, iwork;
};

// Runs dsyevr on the uplo triangle (the other one holds garbage).
Result syevr(const Dense& dn, char jobz, char range, char uplo, double vl, double vu, int il,
             int iu, double abstol) {
  const int n = dn.n, lda = n + 1, ldz = n + 2;
  std::vector<double> a(static_cast<size_t>(lda) * n, kGarbage);
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < n; ++i)
      if (uplo == 'U' ? i <= j : i >= j) a[i + j * lda] = dn.a[i + j * n];
  Result r;
  r.w.assign(n, 0.0);
  r.z.assign(static_cast<size_t>(ldz) * n, -3.0);
  r.isuppz.assign(2 * n, -1);
  int lwork = -1, liwork = -1;
  double wq = 0;
  int iq = 0;
  dsyevr(&jobz, &range, &uplo, &n, a.data(), &lda, &vl, &vu, &il, &iu, &abstol, &r.m, r.w.data(),
         r.z.data(), &ldz, r.isuppz.data(), &wq, &lwork, &iq, &liwork, &r.info);
  lwork = static_cast<int>(wq);
  liwork = iq;
  r.work.assign(lwork, 0.0);
  r.iwork.assign(liwork, 0);
  dsyevr(&jobz, &range, &uplo, &n, a.data(), &lda, &vl, &vu, &il, &iu, &abstol, &r.m, r.w.data(),
         r.z.data(), &ldz, r.isuppz.data(), r.work.data(), &lwork, r.iwork.data(), &liwork,
         &r.info);
  // Compact z to leading dimension n for the measures.
  std::vector<double> z(static_cast<size_t>(n) * std::max(r.m, 0));
  for (int j = 0; j < r.m; ++j)
    for (int i = 0; i < n; ++i) z[i + j * n] = r.z[i + j * ldz];
  r.z = z;
  return r;
}

void check(const Dense& dn, const Result& r, const double* oracle, int expected_m, bool vectors,
           double abstol) {
  ASSERT_EQ(r.info, 0);
  ASSERT_EQ(r.m, expected_m);
  for (int i = 1; i < r.m; ++i) ASSERT_LE(r.w[i - 1], r.w[i]);
  const double slack = abstol / (dense_norm(dn) * dn.n * test::kUnitRoundoff);
  EXPECT_LT(test::value_error(dense_norm(dn), dn.n, r.w.data(), oracle, r.m), kValueBound + slack);
  if (!vectors) return;
  EXPECT_LT(test::eigen_residual(dn.n, dn.a, dn.n, r.w.data(), r.z.data(), dn.n, r.m),
            kResidualBound + slack);
  EXPECT_LT(test::orthogonality(dn.n, r.m, r.z.data(), dn.n), kOrthoBound);
  EXPECT_TRUE(test::supports_cover(dn.n, r.m, r.z.data(), dn.n, r.isuppz.data()));
}

// Every range, both triangles, both tolerances, with and without vectors, on the hard
// spectra; ranges that are not the whole spectrum take bisection and inverse iteration.
TEST(Dsyevr, AgainstJacobiOnHardSpectra) {
  for (const Dense& dn : hard_dense()) {
    SCOPED_TRACE(dn.name);
    const int n = dn.n;
    const std::vector<double> oracle = test::jacobi_eigenvalues(n, dn.a, n);
    // A value interval with ends well away from any eigenvalue.
    int lo = n / 3;
    const double sep = 1e-3 * dense_norm(dn);
    while (lo + 1 < n && oracle[lo + 1] - oracle[lo] < sep) ++lo;
    int hi = std::min(n - 1, lo + n / 3 + 1);
    while (hi + 1 < n && oracle[hi + 1] - oracle[hi] < sep) ++hi;
    const double vl = 0.5 * (oracle[lo] + oracle[lo + 1]);
    const double vu = hi + 1 < n ? 0.5 * (oracle[hi] + oracle[hi + 1]) : 1e10;
    for (char uplo : {'U', 'L'}) {
      for (char jobz : {'V', 'N'}) {
        // abstol above 2n eps: no relative accuracy is tried, bisection stops at abstol.
        for (double abstol : {0.0, 4 * n * test::kUnitRoundoff * std::max(1.0, dense_norm(dn))}) {
          SCOPED_TRACE(std::string(1, uplo) + jobz + (abstol > 0 ? " abstol" : ""));
          const bool vec = jobz == 'V';
          check(dn, syevr(dn, jobz, 'A', uplo, 0, 0, 0, 0, abstol), oracle.data(), n, vec, abstol);
          check(dn, syevr(dn, jobz, 'I', uplo, 0, 0, 2, n - 3, abstol), oracle.data() + 1, n - 4,
                vec, abstol);
          check(dn, syevr(dn, jobz, 'I', uplo, 0, 0, n / 2, n / 2, abstol),
                oracle.data() + n / 2 - 1, 1, vec, abstol);
          check(dn, syevr(dn, jobz, 'V', uplo, vl, vu, 0, 0, abstol), oracle.data() + lo + 1,
                hi - lo, vec, abstol);
        }
      }
    }
  }
}

// A matrix scaled by 2^-1020 or 2^1000 is scaled into range and back: the eigenvalues are
// those of the unscaled matrix times the factor, to rounding.
TEST(Dsyevr, ScaledMatricesGiveScaledEigenvalues) {
  const Dense dn = hard_dense()[0];
  const int n = dn.n;
  const Result ref = syevr(dn, 'V', 'A', 'U', 0, 0, 0, 0, 0.0);
  for (double f : {std::ldexp(1.0, -1020), std::ldexp(1.0, 1000)}) {
    Dense scaled = dn;
    for (double& x : scaled.a) x *= f;
    for (char range : {'A', 'I'}) {
      const Result r = syevr(scaled, 'V', range, 'U', 0, 0, 1, n - 1, 0.0);
      ASSERT_EQ(r.info, 0);
      double worst = 0;
      for (int i = 0; i < r.m; ++i) worst = std::max(worst, std::fabs(r.w[i] / f - ref.w[i]));
      EXPECT_LT(worst / (dense_norm(dn) * n * test::kUnitRoundoff), kValueBound);
      EXPECT_LT(test::orthogonality(n, r.m, r.z.data(), n), kOrthoBound);
    }
  }
}

TEST(Dsyevr, OrderOneAndWorkspaceAnswers) {
  struct Case {
    double a11;
    char range;
    int expected_m;
  };
  // (vl, vu] = (1, 2]: open at vl.
  for (const Case& c :
       {Case{1.0, 'V', 0}, Case{2.0, 'V', 1}, Case{5.0, 'A', 1}, Case{5.0, 'I', 1}}) {
    const int n = 1, lda = 1, ldz = 1, il = 1, iu = 1, lwork = 26, liwork = 10;
    double a = c.a11, vl = 1, vu = 2, abstol = 0, w = 0, z = 0, work[26];
    int m = -1, isuppz[2] = {0, 0}, iwork[10], info = 0;
    dsyevr("V", &c.range, "U", &n, &a, &lda, &vl, &vu, &il, &iu, &abstol, &m, &w, &z, &ldz, isuppz,
           work, &lwork, iwork, &liwork, &info);
    EXPECT_EQ(info, 0);
    EXPECT_EQ(m, c.expected_m);
    if (m == 1) {
      EXPECT_EQ(w, c.a11);
    }
    EXPECT_EQ(z, 1.0);
    EXPECT_EQ(work[0], 7.0);
    if (c.range != 'V') {
      EXPECT_EQ(isuppz[0], 1);
      EXPECT_EQ(isuppz[1], 1);
    }
  }
  // A query answers at least the minimum sizes; n = 0 returns at once with work(1) = 1.
  for (int n : {0, 50}) {
    const int lda = std::max(1, n), query = -1, one = 1, il = 1, iu = 1;
    double a = 0, vl = 0, vu = 0, abstol = 0, w = 0, z = 0, wq = 0;
    int m = -1, isuppz[2], iq = 0, info = 0;
    dsyevr("V", "A", "L", &n, &a, &lda, &vl, &vu, &il, &iu, &abstol, &m, &w, &z, &lda, isuppz, &wq,
           &query, &iq, &query, &info);
    EXPECT_GE(wq, std::max(1, 26 * n));
    EXPECT_EQ(iq, std::max(1, 10 * n));
    if (n > 0) continue;
    dsyevr("V", "A", "L", &n, &a, &lda, &vl, &vu, &il, &iu, &abstol, &m, &w, &z, &lda, isuppz, &wq,
           &one, &iq, &one, &info);
    EXPECT_EQ(info, 0);
    EXPECT_EQ(m, 0);
    EXPECT_EQ(wq, 1.0);
  }
}

// Checks in order, each reported with its position and the name "DSYEVR".
TEST(Dsyevr, ArgumentChecks) {
  struct Case {
    char jobz, range, uplo;
    int n, lda;
    double vl, vu;
    int il, iu, ldz, lwork, liwork, expected;
  };
  const int n = 5;
  const Case cases[] = {
      {'X', 'A', 'U', n, n, 0, 0, 1, 1, n, 26 * n, 10 * n, -1},
      {'V', 'X', 'U', n, n, 0, 0, 1, 1, n, 26 * n, 10 * n, -2},
      {'V', 'A', 'X', n, n, 0, 0, 1, 1, n, 26 * n, 10 * n, -3},
      {'V', 'A', 'U', -1, n, 0, 0, 1, 1, n, 26 * n, 10 * n, -4},
      {'V', 'A', 'U', n, n - 1, 0, 0, 1, 1, n, 26 * n, 10 * n, -6},
      {'V', 'V', 'U', n, n, 2, 2, 1, 1, n, 26 * n, 10 * n, -8},
      {'V', 'I', 'U', n, n, 0, 0, 0, 1, n, 26 * n, 10 * n, -9},
      {'V', 'I', 'U', n, n, 0, 0, 3, 2, n, 26 * n, 10 * n, -10},
      {'V', 'A', 'U', n, n, 0, 0, 1, 1, n - 1, 26 * n, 10 * n, -15},
      {'V', 'A', 'U', n, n, 0, 0, 1, 1, n, 26 * n - 1, 10 * n, -18},
      {'V', 'A', 'U', n, n, 0, 0, 1, 1, n, 26 * n, 10 * n - 1, -20},
  };
  for (const Case& c : cases) {
    std::vector<double> a(n * n, 1.0), w(n), z(n * n), work(26 * n);
    std::vector<int> isuppz(2 * n), iwork(10 * n);
    double abstol = 0;
    int m = -7, info = 0;
    CaptureStdout();
    dsyevr(&c.jobz, &c.range, &c.uplo, &c.n, a.data(), &c.lda, &c.vl, &c.vu, &c.il, &c.iu, &abstol,
           &m, w.data(), z.data(), &c.ldz, isuppz.data(), work.data(), &c.lwork, iwork.data(),
           &c.liwork, &info);
    const std::string out = GetCapturedStdout();
    EXPECT_EQ(info, c.expected);
    EXPECT_EQ(m, -7);
    EXPECT_NE(
        out.find("Parameter " + std::to_string(-c.expected) + " was incorrect on entry to DSYEVR"),
        std::string::npos)
        << out;
  }
  // il = 3, iu = 3 is a valid single index.
  std::vector<double> a(n * n, 1.0), w(n), z(n * n), work(26 * n);
  std::vector<int> isuppz(2 * n), iwork(10 * n);
  const int il = 3, iu = 3, lwork = 26 * n, liwork = 10 * n;
  double vl = 0, vu = 0, abstol = 0;
  int m = 0, info = 0;
  dsyevr("V", "I", "U", &n, a.data(), &n, &vl, &vu, &il, &iu, &abstol, &m, w.data(), z.data(), &n,
         isuppz.data(), work.data(), &lwork, iwork.data(), &liwork, &info);
  EXPECT_EQ(info, 0);
  EXPECT_EQ(m, 1);
}

// Row-major input gives the column-major results; the codes of the layer.
TEST(LapackeDsyevr, LayoutsAndCodes) {
  const Dense dn = hard_dense()[0];
  const int n = dn.n;
  const int il = 3, iu = 12, ncols = iu - il + 1;
  std::vector<double> wc(n), wr(n), zc(static_cast<size_t>(n) * ncols), zr(zc.size());
  std::vector<int> sc(2 * n), sr(2 * n);
  int mc = 0, mr = 0;
  std::vector<double> ac = dn.a, ar = test::to_rows(n, n, dn.a, n, n);
  ASSERT_EQ(LAPACKE_dsyevr(ZTR_COL_MAJOR, 'V', 'I', 'L', n, ac.data(), n, 0, 0, il, iu, 0.0, &mc,
                           wc.data(), zc.data(), n, sc.data()),
            0);
  ASSERT_EQ(LAPACKE_dsyevr(ZTR_ROW_MAJOR, 'v', 'i', 'l', n, ar.data(), n, 0, 0, il, iu, 0.0, &mr,
                           wr.data(), zr.data(), ncols, sr.data()),
            0);
  ASSERT_EQ(mc, ncols);
  ASSERT_EQ(mr, ncols);
  EXPECT_EQ(wc, wr);
  for (int j = 0; j < ncols; ++j)
    for (int i = 0; i < n; ++i) ASSERT_EQ(zc[i + j * n], zr[i * ncols + j]);

  std::vector<double> a = dn.a, w(n), z(static_cast<size_t>(n) * n);
  std::vector<int> isuppz(2 * n);
  int m = 0;
  auto call = [&](int layout, char jobz, char range, double vl, double vu, int il2, int iu2,
                  double abstol, int lda, int ldz) {
    a = dn.a;
    return LAPACKE_dsyevr(layout, jobz, range, 'U', n, a.data(), lda, vl, vu, il2, iu2, abstol, &m,
                          w.data(), z.data(), ldz, isuppz.data());
  };
  const double nan = std::nan("");
  CaptureStdout();
  EXPECT_EQ(call(103, 'V', 'A', 0, 0, 1, 1, 0, n, n), -1);
  EXPECT_EQ(GetCapturedStdout(), "Wrong parameter 1 in LAPACKE_dsyevr\n");
  a[n - 1] = nan;  // below the diagonal: not in the upper triangle
  EXPECT_EQ(LAPACKE_dsyevr(ZTR_COL_MAJOR, 'V', 'A', 'U', n, a.data(), n, 0, 0, 1, 1, 0, &m,
                           w.data(), z.data(), n, isuppz.data()),
            0);
  a = dn.a;
  a[n * (n - 1)] = nan;  // in the upper triangle
  EXPECT_EQ(LAPACKE_dsyevr(ZTR_COL_MAJOR, 'V', 'A', 'U', n, a.data(), n, 0, 0, 1, 1, 0, &m,
                           w.data(), z.data(), n, isuppz.data()),
            -6);
  EXPECT_EQ(call(ZTR_COL_MAJOR, 'V', 'A', 0, 0, 1, 1, nan, n, n), -12);
  EXPECT_EQ(call(ZTR_COL_MAJOR, 'V', 'A', nan, nan, 1, 1, 0, n, n), 0);
  EXPECT_EQ(call(ZTR_COL_MAJOR, 'V', 'V', nan, 1, 1, 1, 0, n, n), -8);
  EXPECT_EQ(call(ZTR_COL_MAJOR, 'V', 'V', 0, nan, 1, 1, 0, n, n), -9);
  // Driver codes move up by one: il = 3, iu = 2 is the driver's -10.
  CaptureStdout();
  EXPECT_EQ(call(ZTR_COL_MAJOR, 'V', 'I', 0, 0, 3, 2, 0, n, n), -11);
  EXPECT_NE(GetCapturedStdout().find("Parameter 10 was incorrect on entry to DSYEVR"),
            std::string::npos);
  CaptureStdout();
  EXPECT_EQ(call(ZTR_ROW_MAJOR, 'V', 'A', 0, 0, 1, 1, 0, n - 1, n), -7);
  EXPECT_EQ(GetCapturedStdout(), "Wrong parameter 7 in LAPACKE_dsyevr_work\n");
  // ldz is checked against the columns of z whatever jobz is.
  CaptureStdout();
  EXPECT_EQ(call(ZTR_ROW_MAJOR, 'N', 'I', 0, 0, 2, 6, 0, n, 4), -16);
  EXPECT_EQ(GetCapturedStdout(), "Wrong parameter 16 in LAPACKE_dsyevr_work\n");
  EXPECT_EQ(call(ZTR_ROW_MAJOR, 'N', 'I', 0, 0, 2, 6, 0, n, 5), 0);
  EXPECT_EQ(m, 5);
}

TEST(LapackeDsyevr, AllocationFailuresAreReportedWithoutLeaks) {
  const Dense dn = hard_dense()[0];
  const int n = dn.n;
  std::vector<double> a = dn.a, w(n), z(static_cast<size_t>(n) * n);
  std::vector<int> isuppz(2 * n);
  int m = 0;
  // A first call settles the one-time state (thread counts, processor type).
  ASSERT_EQ(LAPACKE_dsyevr(ZTR_ROW_MAJOR, 'V', 'A', 'U', n, a.data(), n, 0, 0, 1, 1, 0, &m,
                           w.data(), z.data(), n, isuppz.data()),
            0);
  const long live = ztr_testalloc_live();
  struct Case {
    long nth;
    int layout, expected;
    const char* message;
  };
  for (const Case& c : {Case{1, ZTR_COL_MAJOR, -1010,
                             "Not enough memory to allocate work array in LAPACKE_dsyevr\n"},
                        Case{2, ZTR_COL_MAJOR, -1010,
                             "Not enough memory to allocate work array in LAPACKE_dsyevr\n"},
                        Case{3, ZTR_ROW_MAJOR, -1011,
                             "Not enough memory to transpose matrix in LAPACKE_dsyevr_work\n"},
                        Case{4, ZTR_ROW_MAJOR, -1011,
                             "Not enough memory to transpose matrix in LAPACKE_dsyevr_work\n"}}) {
    a = dn.a;
    ztr_testalloc_fail_nth(c.nth, 0);
    CaptureStdout();
    EXPECT_EQ(LAPACKE_dsyevr(c.layout, 'V', 'A', 'U', n, a.data(), n, 0, 0, 1, 1, 0, &m, w.data(),
                             z.data(), n, isuppz.data()),
              c.expected);
    EXPECT_EQ(GetCapturedStdout(), c.message);
    ztr_testalloc_reset();
    EXPECT_EQ(a, dn.a);
  }
  EXPECT_EQ(ztr_testalloc_live(), live);
}

// With the buffer pool off any block a call keeps is a leak.
ZTR_CHILD(lapacke_dsyevr_leaks) {
  const Dense dn = hard_dense()[0];
  const int n = dn.n;
  std::vector<double> w(n), z(static_cast<size_t>(n) * n);
  std::vector<int> isuppz(2 * n);
  int m = 0;
  const long live = ztr_testalloc_live();
  for (int layout : {ZTR_ROW_MAJOR, ZTR_COL_MAJOR}) {
    for (char range : {'A', 'I'}) {
      std::vector<double> a = dn.a;
      if (LAPACKE_dsyevr(layout, 'V', range, 'U', n, a.data(), n, 0, 0, 2, n - 1, 0, &m, w.data(),
                         z.data(), n, isuppz.data()) != 0)
        return 1;
    }
  }
  return ztr_testalloc_live() == live ? 0 : 3;
}

TEST(LapackeDsyevr, NothingIsLeaked) {
  const auto r = test::run_child(
      "lapacke_dsyevr_leaks", {"ZTR_NUM_THREADS=2", "ZTR_DYNAMIC=FALSE", "ZTR_DISABLE_FAST_MM=1"});
  EXPECT_EQ(r.exit_code, 0) << r.out;
}

}  // namespace
}  // namespace ztr
