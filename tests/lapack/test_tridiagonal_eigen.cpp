// Bisection, inverse iteration and dqds on the tridiagonal matrices that stress them, checked
// against long-double bisection and by residuals and orthogonality.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "lapack/syevr/tridiagonal.h"
#include "tridiagonal_matrices.h"

namespace ztr {
namespace {

using test::Tridiagonal;

using test::kOrthoBound;
using test::kResidualBound;
using test::kValueBound;

struct Bisection {
  int m = 0, nsplit = 0, info = 0;
  std::vector<double> w;
  std::vector<int> iblock, isplit;
};

Bisection bisect(const Tridiagonal& t, char range, char order, double vl, double vu, int il, int iu,
                 double abstol = 0.0) {
  const int n = t.n();
  Bisection b;
  b.w.assign(n, 0.0);
  b.iblock.assign(n, 0);
  b.isplit.assign(n, 0);
  std::vector<double> work(4 * n);
  std::vector<int> iwork(3 * n);
  dstebz(&range, &order, &n, &vl, &vu, &il, &iu, &abstol, t.d.data(), t.e.data(), &b.m, &b.nsplit,
         b.w.data(), b.iblock.data(), b.isplit.data(), work.data(), iwork.data(), &b.info);
  return b;
}

double value_error(const Tridiagonal& t, const double* w, const long double* oracle, int m) {
  return test::value_error(std::max(test::tri_norm(t), 1e-300), t.n(), w, oracle, m);
}

// The half-open interval (vl, vu]: an eigenvalue at vl is left out, one at vu taken.
TEST(Dstebz, ValueIntervalIsOpenBelowAndClosedAbove) {
  Tridiagonal t{"diag", {1.0, 2.0, 3.0}, {0.0, 0.0, 0.0}};
  Bisection b = bisect(t, 'V', 'E', 1.0, 3.0, 0, 0);
  ASSERT_EQ(b.m, 2);
  EXPECT_EQ(b.w[0], 2.0);
  EXPECT_EQ(b.w[1], 3.0);
}

// Relative accuracy of dqds: every eigenvalue of graded and random qd arrays against
// long-double bisection on the factored form L D L^T (whose count, by the differential
// stationary qd transform, is itself relatively accurate).
TEST(Dlasq2, EigenvaluesToHighRelativeAccuracy) {
  struct Case {
    const char* name;
    int n;
    double grade;  // q(i) = grade^i * (1 + random/2)
  };
  for (const Case& c : {Case{"random", 50, 1.0}, Case{"graded_down", 40, 0.1},
                        Case{"graded_up", 40, 10.0}, Case{"steep", 20, 1e-8}}) {
    SCOPED_TRACE(c.name);
    test::Rng r(static_cast<test::Rng::result_type>(c.n));
    std::vector<double> q(c.n), e(c.n, 0.0), z(4 * c.n);
    for (int i = 0; i < c.n; ++i) {
      q[i] = std::pow(c.grade, i) * (1.0 + 0.5 * test::uniform(r));
      if (i + 1 < c.n) e[i] = std::pow(c.grade, i + 0.5) * (1.0 + 0.5 * test::uniform(r));
      z[2 * i] = q[i];
      z[2 * i + 1] = e[i];
    }
    int info = 0;
    dlasq2(&c.n, z.data(), &info);
    ASSERT_EQ(info, 0);
    auto count = [&](long double x) {
      int k = 0;
      long double s = -x;
      for (int i = 0; i < c.n; ++i) {
        long double dp = q[i] + s;
        if (dp == 0) dp = -1e-4900L;
        if (dp < 0) ++k;
        if (i + 1 < c.n) s = e[i] * s / dp - x;
      }
      return k;
    };
    for (int k = 0; k < c.n; ++k) {
      const long double w = z[c.n - 1 - k];  // z is decreasing
      // w is within the relative tolerance when the count brackets index k there.
      const long double tol = 8.0L * c.n * test::kUnitRoundoff;
      long double lo = w * (1 - tol), hi = w * (1 + tol);
      EXPECT_LE(count(lo), k) << k;
      EXPECT_GT(count(hi), k) << k;
      if (k > 0) {
        EXPECT_GE(z[c.n - 1 - k], z[c.n - k]) << "not decreasing at " << k;
      }
    }
    double sum = 0;
    for (int i = 0; i < c.n; ++i) sum += q[i] + e[i];
    EXPECT_NEAR(z[2 * c.n], sum, 1e-13 * sum);
  }
  // A negative entry is refused.
  int n = 2, info = 0;
  double z[8] = {1.0, -1.0, 1.0, 0.0};
  testing::internal::CaptureStdout();
  dlasq2(&n, z, &info);
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(info, -2);
}

}  // namespace
}  // namespace ztr

namespace ztr {
namespace {

struct Mrrr {
  int m = 0, info = 0, tryrac = 1;
  std::vector<double> w, z;
  std::vector<int> isuppz;
};

Mrrr mrrr(const Tridiagonal& t, char jobz, char range, double vl, double vu, int il, int iu,
          int tryrac = 1) {
  const int n = t.n();
  Mrrr r;
  r.tryrac = tryrac;
  std::vector<double> d = t.d, e = t.e;
  r.w.assign(n, 0.0);
  r.z.assign(static_cast<size_t>(n) * n, -7.0);
  r.isuppz.assign(2 * n, -1);
  const int ldz = n, nzc = n;
  int lwork = 18 * n, liwork = 10 * n;
  std::vector<double> work(lwork);
  std::vector<int> iwork(liwork);
  dstemr(&jobz, &range, &n, d.data(), e.data(), &vl, &vu, &il, &iu, &r.m, r.w.data(), r.z.data(),
         &ldz, &nzc, r.isuppz.data(), &r.tryrac, work.data(), &lwork, iwork.data(), &liwork,
         &r.info);
  return r;
}

// All eigenpairs, index and value ranges, eigenvalues only, with and without relative
// accuracy: values against the oracle, vectors by residual, orthogonality and support.
TEST(Dstemr, EigenpairsOfHardMatrices) {
  for (const Tridiagonal& t : test::hard_tridiagonals()) {
    SCOPED_TRACE(t.name);
    const int n = t.n();
    const std::vector<long double> oracle = test::oracle_eigenvalues(t);
    for (int tryrac : {1, 0}) {
      SCOPED_TRACE(tryrac);
      Mrrr all = mrrr(t, 'V', 'A', 0, 0, 0, 0, tryrac);
      ASSERT_EQ(all.info, 0);
      ASSERT_EQ(all.m, n);
      for (int i = 1; i < n; ++i) ASSERT_LE(all.w[i - 1], all.w[i]);
      EXPECT_LT(value_error(t, all.w.data(), oracle.data(), n), kValueBound);
      EXPECT_LT(test::tri_residual(t, n, all.w.data(), all.z.data(), n), kResidualBound);
      EXPECT_LT(test::orthogonality(n, n, all.z.data(), n), kOrthoBound);
      EXPECT_TRUE(test::supports_cover(n, all.m, all.z.data(), n, all.isuppz.data()));

      Mrrr values = mrrr(t, 'N', 'A', 0, 0, 0, 0, tryrac);
      ASSERT_EQ(values.info, 0);
      ASSERT_EQ(values.m, n);
      EXPECT_LT(value_error(t, values.w.data(), oracle.data(), n), kValueBound);
    }
    const int il = n / 3 + 1, iu = 2 * n / 3;
    Mrrr some = mrrr(t, 'V', 'I', 0, 0, il, iu);
    ASSERT_EQ(some.info, 0);
    ASSERT_EQ(some.m, iu - il + 1);
    EXPECT_LT(value_error(t, some.w.data(), oracle.data() + il - 1, some.m), kValueBound);
    EXPECT_LT(test::tri_residual(t, some.m, some.w.data(), some.z.data(), n), kResidualBound);
    EXPECT_LT(test::orthogonality(n, some.m, some.z.data(), n), kOrthoBound);
    EXPECT_TRUE(test::supports_cover(n, some.m, some.z.data(), n, some.isuppz.data()));

    int lo = n / 2;
    while (lo + 1 < n && oracle[lo + 1] - oracle[lo] < 1e-3L * test::tri_norm(t)) ++lo;
    const double vl = static_cast<double>(0.5L * (oracle[lo] + oracle[lo + 1]));
    Mrrr byval = mrrr(t, 'V', 'V', vl, static_cast<double>(oracle[n - 1]) + 1, 0, 0);
    ASSERT_EQ(byval.info, 0);
    ASSERT_EQ(byval.m, n - 1 - lo);
    EXPECT_LT(value_error(t, byval.w.data(), oracle.data() + lo + 1, byval.m), kValueBound);
    EXPECT_LT(test::tri_residual(t, byval.m, byval.w.data(), byval.z.data(), n), kResidualBound);
    EXPECT_LT(test::orthogonality(n, byval.m, byval.z.data(), n), kOrthoBound);
  }
}

}  // namespace
}  // namespace ztr

namespace ztr {
namespace {

// Orders 1 and 2 by their closed forms, every range; the half-open value interval.
TEST(Dstemr, OrdersOneAndTwo) {
  Tridiagonal one{"one", {1.0}, {0.0}};
  EXPECT_EQ(mrrr(one, 'V', 'V', 1.0, 2.0, 0, 0).m, 0);
  Tridiagonal two_at_vu{"one", {2.0}, {0.0}};
  Mrrr r1 = mrrr(two_at_vu, 'V', 'V', 1.0, 2.0, 0, 0);
  ASSERT_EQ(r1.m, 1);
  EXPECT_EQ(r1.w[0], 2.0);
  EXPECT_EQ(r1.z[0], 1.0);
  EXPECT_EQ(r1.isuppz[0], 1);
  EXPECT_EQ(r1.isuppz[1], 1);
  for (const Tridiagonal& t :
       {Tridiagonal{"pos", {3.0, 1.0}, {2.0, 0.0}}, Tridiagonal{"neg", {-3.0, 1.0}, {-2.0, 0.0}},
        Tridiagonal{"diag", {5.0, -1.0}, {0.0, 0.0}}}) {
    SCOPED_TRACE(t.name);
    const std::vector<long double> oracle = test::oracle_eigenvalues(t);
    Mrrr all = mrrr(t, 'V', 'A', 0, 0, 0, 0);
    ASSERT_EQ(all.m, 2);
    EXPECT_LT(all.w[0], all.w[1]);
    EXPECT_LT(value_error(t, all.w.data(), oracle.data(), 2), kValueBound);
    EXPECT_LT(test::tri_residual(t, 2, all.w.data(), all.z.data(), 2), kResidualBound);
    EXPECT_LT(test::orthogonality(2, 2, all.z.data(), 2), kOrthoBound);
    EXPECT_TRUE(test::supports_cover(2, all.m, all.z.data(), 2, all.isuppz.data()));
    Mrrr upper = mrrr(t, 'V', 'I', 0, 0, 2, 2);
    ASSERT_EQ(upper.m, 1);
    EXPECT_EQ(upper.w[0], all.w[1]);
    Mrrr lower = mrrr(t, 'N', 'V', all.w[0] - 1, all.w[0], 0, 0);
    ASSERT_EQ(lower.m, 1);
    EXPECT_EQ(lower.w[0], all.w[0]);
  }
}

// The workspace query and the query for the number of vectors, and the vector count that
// falls short of it.
TEST(Dstemr, Queries) {
  const int n = 5;
  std::vector<double> d(n, 1.0), e(n, 0.5), w(n), z(n * n), work(18 * n);
  std::vector<int> isuppz(2 * n), iwork(10 * n);
  auto call = [&](char range, double vl, int il, int iu, int nzc, int lwork) {
    const double vu = 3.0;
    int m = 0, info = 0, tryrac = 1, liwork = 10 * n;
    dstemr("V", &range, &n, d.data(), e.data(), &vl, &vu, &il, &iu, &m, w.data(), z.data(), &n,
           &nzc, isuppz.data(), &tryrac, work.data(), &lwork, iwork.data(), &liwork, &info);
    return info;
  };
  EXPECT_EQ(call('A', 0, 1, 1, n, -1), 0);
  EXPECT_EQ(work[0], 18 * n);
  EXPECT_EQ(iwork[0], 10 * n);
  // The eigenvalues 1 + cos(k pi / 6): (1.2, 3] holds two of them.
  EXPECT_EQ(call('V', 1.2, 1, 1, -1, 18 * n), 0);
  EXPECT_EQ(z[0], 2.0);
  EXPECT_EQ(call('I', 0, 2, 4, -1, 18 * n), 0);
  EXPECT_EQ(z[0], 3.0);
  testing::internal::CaptureStdout();
  EXPECT_EQ(call('I', 0, 2, 4, 2, 18 * n), -14);
  EXPECT_NE(testing::internal::GetCapturedStdout().find("DSTEMR"), std::string::npos);
}

}  // namespace
}  // namespace ztr
