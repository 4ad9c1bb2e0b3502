// The generalized symmetric-definite eigenproblem, DSYGV and DSYGVD and their LAPACKE
// exports: for every itype, triangle and job, the residual of the problem, B-orthonormality
// of the vectors and the eigenvalues against a spectrum built in; the small cases, a B that
// is not positive definite, argument errors with their texts and LAPACKE codes, the
// workspace queries, and the row-major layout.
#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "blas/level3/level3.h"
#include "include/ztr.h"
#include "lapack/sygv/sygst.h"
#include "lapack/sygv/sygv.h"
#include "service/error.h"
#include "spd_matrices.h"
#include "testalloc.h"
#include "tests/support/child.h"

namespace ztr {
namespace {

using ::testing::internal::CaptureStdout;
using ::testing::internal::GetCapturedStdout;
using Matrix = std::vector<double>;  // dense n x n, column-major, leading dimension n
using test::at;
using test::max_abs;
using test::mul;

constexpr double kBound = 30.0;  // the usual LAPACK test threshold on scaled ratios

// A problem with a known spectrum: B = F*F' with F lower triangular, dense and well
// conditioned, G = inv(F) (by the library's triangular solve), and with C = Q*diag(lambda)*Q',
// A = F*C*F' (itype 1) or G'*C*G (itypes 2 and 3), so that lambda are the eigenvalues in
// every case.
struct Problem {
  int n;
  Matrix a, b, b_inverse;
  std::vector<double> lambda;  // ascending
};

Problem make_problem(int itype, int n, std::uint64_t seed) {
  Problem p{n, {}, {}, {}, {}};
  const Matrix c = test::known_spectrum(n, n, seed, &p.lambda);
  test::Rng r(static_cast<test::Rng::result_type>(seed + 1));
  Matrix f(static_cast<std::size_t>(n) * n, 0.0), g = f;
  for (int j = 0; j < n; ++j) {
    at(f, n, j, j) = 1.5 + 0.5 * test::uniform(r);
    at(g, n, j, j) = 1.0;
    for (int i = j + 1; i < n; ++i) at(f, n, i, j) = test::uniform(r) / n;
  }
  const double one = 1.0;
  ztr_blas_dtrsm("L", "L", "N", "N", &n, &n, &one, f.data(), &n, g.data(), &n);
  p.b = mul(n, f, false, f, true);
  p.b_inverse = mul(n, g, true, g, false);
  p.a = itype == 1 ? mul(n, mul(n, f, false, c, false), false, f, true)
                   : mul(n, mul(n, g, true, c, false), false, g, false);
  for (int j = 0; j < n; ++j)  // exactly symmetric
    for (int i = j + 1; i < n; ++i) at(p.a, n, j, i) = at(p.a, n, i, j);
  return p;
}

// The problem's residual for the computed pairs, and ||Z'*M*Z - I|| with M = B (itypes 1, 2)
// or inv(B) (itype 3), both scaled by n*eps and the sizes involved (B and inv(B) have norms
// of a few units, A's entries are a few units).
double problem_residual(int itype, const Problem& p, const Matrix& z,
                        const std::vector<double>& w) {
  const int n = p.n;
  Matrix lhs = itype == 1   ? mul(n, p.a, false, z, false)
               : itype == 2 ? mul(n, p.a, false, mul(n, p.b, false, z, false), false)
                            : mul(n, p.b, false, mul(n, p.a, false, z, false), false);
  const Matrix rhs = itype == 1 ? mul(n, p.b, false, z, false) : z;
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < n; ++i) at(lhs, n, i, j) -= rhs[i + static_cast<std::size_t>(j) * n] * w[j];
  return max_abs(lhs) / (max_abs(p.a) * max_abs(z) * n * n * DBL_EPSILON);
}

double orthonormality(int itype, const Problem& p, const Matrix& z) {
  const int n = p.n;
  Matrix g = mul(n, z, true, mul(n, itype == 3 ? p.b_inverse : p.b, false, z, false), false);
  for (int i = 0; i < n; ++i) at(g, n, i, i) -= 1.0;
  return max_abs(g) / (n * DBL_EPSILON * std::max(1.0, max_abs(z) * max_abs(z) * n));
}

enum class Driver { kSygv, kSygvd };

// Runs one driver through the Fortran-style entry with its queried workspace.
int solve(Driver d, int itype, char jobz, char uplo, int n, double* a, int lda, double* b, int ldb,
          double* w) {
  int info = 0, lwork = -1, liwork = -1, iq = 0;
  double wq = 0.0;
  if (d == Driver::kSygv) {
    dsygv(&itype, &jobz, &uplo, &n, a, &lda, b, &ldb, w, &wq, &lwork, &info);
  } else {
    dsygvd(&itype, &jobz, &uplo, &n, a, &lda, b, &ldb, w, &wq, &lwork, &iq, &liwork, &info);
  }
  if (info != 0) return info;
  lwork = static_cast<int>(wq);
  liwork = std::max(1, iq);
  std::vector<double> work(static_cast<std::size_t>(std::max(1, lwork)));
  std::vector<int> iwork(static_cast<std::size_t>(liwork));
  if (d == Driver::kSygv) {
    dsygv(&itype, &jobz, &uplo, &n, a, &lda, b, &ldb, w, work.data(), &lwork, &info);
  } else {
    dsygvd(&itype, &jobz, &uplo, &n, a, &lda, b, &ldb, w, work.data(), &lwork, iwork.data(),
           &liwork, &info);
  }
  return info;
}

TEST(Sygv, EveryItypeTriangleAndJobSolvesTheProblem) {
  for (Driver d : {Driver::kSygv, Driver::kSygvd})
    for (int itype : {1, 2, 3})
      for (int n : {5, 90}) {
        const Problem p = make_problem(itype, n, static_cast<std::uint64_t>(itype * 100 + n));
        for (char uplo : {'L', 'U'})
          for (char jobz : {'V', 'N'}) {
            const std::string what = std::string(d == Driver::kSygv ? "dsygv" : "dsygvd") +
                                     " itype " + std::to_string(itype) + " " + uplo + jobz + " n " +
                                     std::to_string(n);
            Matrix a = p.a, b = p.b;
            std::vector<double> w(n);
            ASSERT_EQ(solve(d, itype, jobz, uplo, n, a.data(), n, b.data(), n, w.data()), 0)
                << what;
            double wmax = 0.0;
            for (double v : p.lambda) wmax = std::max(wmax, std::fabs(v));
            for (int i = 0; i < n; ++i)
              EXPECT_LT(std::fabs(w[i] - p.lambda[i]) / (wmax * n * DBL_EPSILON), kBound)
                  << what << " eigenvalue " << i;
            if (jobz == 'N') continue;
            EXPECT_LT(problem_residual(itype, p, a, w), kBound) << what;
            EXPECT_LT(orthonormality(itype, p, a), kBound) << what;
          }
      }
}

TEST(Sygv, OrderZeroAndOneAndABNotPositiveDefinite) {
  for (Driver d : {Driver::kSygv, Driver::kSygvd}) {
    for (char jobz : {'N', 'V'}) {
      double a = 8.0, b = 4.0, w = 0.0;
      EXPECT_EQ(solve(d, 1, jobz, 'U', 1, &a, 1, &b, 1, &w), 0);
      EXPECT_EQ(w, 2.0);
      EXPECT_EQ(b, 2.0);  // the Cholesky factor
      if (jobz == 'V') {
        EXPECT_EQ(a, 0.5);
      }
    }
    // n = 0: nothing to do, and the reported workspace is 1.
    int itype = 1, n = 0, lda = 1, lwork = -1, liwork = -1, info = -5, iq = 0;
    double wq = 0.0, dummy = 0.0;
    if (d == Driver::kSygv) {
      dsygv(&itype, "V", "L", &n, &dummy, &lda, &dummy, &lda, &dummy, &wq, &lwork, &info);
    } else {
      dsygvd(&itype, "V", "L", &n, &dummy, &lda, &dummy, &lda, &dummy, &wq, &lwork, &iq, &liwork,
             &info);
      EXPECT_EQ(iq, 1);
    }
    EXPECT_EQ(info, 0);
    EXPECT_EQ(wq, 1.0);
    // B not positive definite at order 1 and at order 3: n + k, a untouched.
    for (int k : {1, 3}) {
      const Problem p = make_problem(1, 6, 7);
      Matrix a = p.a, b = p.b;
      at(b, 6, k - 1, k - 1) = -1.0;
      std::vector<double> w(6, -7.0);
      EXPECT_EQ(solve(d, 2, 'V', 'L', 6, a.data(), 6, b.data(), 6, w.data()), 6 + k);
      EXPECT_EQ(a, p.a);
    }
  }
}

TEST(Sygv, ArgumentErrorsAndQueries) {
  install_default_xerbla();
  const Problem p = make_problem(1, 4, 3);
  struct Case {
    int itype;
    char jobz, uplo;
    int n, lda, ldb, lwork, liwork, info;
  };
  const int big = 1000;
  for (Driver d : {Driver::kSygv, Driver::kSygvd}) {
    const std::string name = d == Driver::kSygv ? "DSYGV " : "DSYGVD";
    for (Case c :
         {Case{0, 'V', 'U', 4, 4, 4, big, big, -1}, Case{4, 'N', 'L', 4, 4, 4, big, big, -1},
          Case{1, 'X', 'U', 4, 4, 4, big, big, -2}, Case{2, 'V', 'X', 4, 4, 4, big, big, -3},
          Case{3, 'n', 'u', -1, 4, 4, big, big, -4}, Case{1, 'V', 'L', 4, 3, 4, big, big, -6},
          Case{1, 'V', 'L', 4, 4, 3, big, big, -8}, Case{1, 'V', 'L', 4, 4, 4, 1, big, -11},
          Case{1, 'V', 'L', 4, 4, 4, big, 1, d == Driver::kSygv ? 0 : -13}}) {
      if (c.info == 0) continue;
      Matrix a = p.a, b = p.b;
      std::vector<double> w(4, -7.0), work(big, 0.0);
      std::vector<int> iwork(big, 0);
      int info = 0;
      CaptureStdout();
      if (d == Driver::kSygv)
        dsygv(&c.itype, &c.jobz, &c.uplo, &c.n, a.data(), &c.lda, b.data(), &c.ldb, w.data(),
              work.data(), &c.lwork, &info);
      else
        dsygvd(&c.itype, &c.jobz, &c.uplo, &c.n, a.data(), &c.lda, b.data(), &c.ldb, w.data(),
               work.data(), &c.lwork, iwork.data(), &c.liwork, &info);
      EXPECT_EQ(GetCapturedStdout(), "\nZTR ERROR: Parameter " + std::to_string(-c.info) +
                                         " was incorrect on entry to " + name + ".\n");
      EXPECT_EQ(info, c.info);
      EXPECT_EQ(a, p.a);
      EXPECT_EQ(b, p.b);
      EXPECT_EQ(w[0], -7.0);
    }
  }
  // DSYGST and DSYGS2 check their own arguments (itype 1, uplo 2, n 3, lda 5, ldb 7).
  for (int bad : {1, 2, 3, 5, 7}) {
    int itype = bad == 1 ? 4 : 2, n = bad == 3 ? -1 : 4, lda = bad == 5 ? 3 : 4,
        ldb = bad == 7 ? 3 : 4, info = 0;
    const char uplo = bad == 2 ? 'X' : 'u';
    Matrix a = p.a;
    for (const char* name : {"DSYGST", "DSYGS2"}) {
      CaptureStdout();
      (name[5] == 'T' ? dsygst : dsygs2)(&itype, &uplo, &n, a.data(), &lda, p.b.data(), &ldb,
                                         &info);
      EXPECT_EQ(GetCapturedStdout(), "\nZTR ERROR: Parameter " + std::to_string(bad) +
                                         " was incorrect on entry to " + name + ".\n");
      EXPECT_EQ(info, -bad);
    }
    EXPECT_EQ(a, p.a);
  }
  // DSYGVD without vectors runs with the minimal workspace 2n + 1.
  {
    int itype = 1, n = 100, lda = 100, lwork = 201, liwork = 1, info = 0, iq = 0;
    Problem q = make_problem(1, n, 11);
    std::vector<double> w(n), work(201);
    dsygvd(&itype, "N", "U", &n, q.a.data(), &lda, q.b.data(), &lda, w.data(), work.data(), &lwork,
           &iq, &liwork, &info);
    EXPECT_EQ(info, 0);
    for (int i = 0; i < n; ++i) EXPECT_NEAR(w[i], q.lambda[i], 1e-10);
  }
}

TEST(LapackeSygv, CodesLayoutsAndResults) {
  const int n = 30;
  const Problem p = make_problem(2, n, 5);
  using Export = int (*)(int, int, char, char, int, double*, int, double*, int, double*);
  for (Export f : {&LAPACKE_dsygv, &LAPACKE_dsygvd}) {
    const std::string name = f == &LAPACKE_dsygv ? "LAPACKE_dsygv" : "LAPACKE_dsygvd";
    Matrix a = p.a, b = p.b;
    std::vector<double> w(n);
    CaptureStdout();
    EXPECT_EQ(f(100, 2, 'V', 'L', n, a.data(), n, b.data(), n, w.data()), -1);
    EXPECT_EQ(GetCapturedStdout(), "Wrong parameter 1 in " + name + "\n");
    // NaNs: in a, -6; in b, -8, in either triangle, nothing printed.
    a[n * (n - 1)] = std::numeric_limits<double>::quiet_NaN();
    CaptureStdout();
    EXPECT_EQ(f(ZTR_COL_MAJOR, 2, 'V', 'L', n, a.data(), n, b.data(), n, w.data()), -6);
    a = p.a;
    b[n - 1] = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(f(ZTR_ROW_MAJOR, 2, 'V', 'L', n, a.data(), n, b.data(), n, w.data()), -8);
    EXPECT_EQ(GetCapturedStdout(), "");
    b = p.b;
    // Row-major leading dimensions.
    CaptureStdout();
    EXPECT_EQ(f(ZTR_ROW_MAJOR, 2, 'V', 'L', n, a.data(), n - 1, b.data(), n, w.data()), -7);
    EXPECT_EQ(f(ZTR_ROW_MAJOR, 2, 'V', 'L', n, a.data(), n, b.data(), n - 1, w.data()), -9);
    EXPECT_EQ(GetCapturedStdout(),
              "Wrong parameter 7 in " + name + "_work\nWrong parameter 9 in " + name + "_work\n");
    // A bad itype is the driver's parameter 1, the export's 2.
    install_default_xerbla();
    CaptureStdout();
    EXPECT_EQ(f(ZTR_COL_MAJOR, 0, 'V', 'L', n, a.data(), n, b.data(), n, w.data()), -2);
    GetCapturedStdout();
    // Row-major input of the same symmetric matrices gives the transposed vectors.
    Matrix ar = p.a, br = p.b;
    std::vector<double> wr(n);
    ASSERT_EQ(f(ZTR_COL_MAJOR, 2, 'V', 'L', n, a.data(), n, b.data(), n, w.data()), 0);
    ASSERT_EQ(f(ZTR_ROW_MAJOR, 2, 'V', 'L', n, ar.data(), n, br.data(), n, wr.data()), 0);
    EXPECT_EQ(w, wr);
    for (int j = 0; j < n; ++j)
      for (int i = 0; i < n; ++i) EXPECT_EQ(at(a, n, i, j), at(ar, n, j, i)) << name;
    EXPECT_LT(problem_residual(2, p, a, w), kBound) << name;
    // B not positive definite: n + 1, positive, passed through.
    a = p.a;
    b = p.b;
    b[0] = -4.0;
    EXPECT_EQ(f(ZTR_COL_MAJOR, 1, 'N', 'U', n, a.data(), n, b.data(), n, w.data()), n + 1);
  }
}

TEST(LapackeSygv, AllocationFailuresAreReportedWithoutLeaks) {
  const int n = 6;
  const Problem p = make_problem(1, n, 13);
  std::vector<double> w(n);
  Matrix a = p.a, b = p.b;
  ASSERT_EQ(LAPACKE_dsygvd(ZTR_ROW_MAJOR, 1, 'V', 'L', n, a.data(), n, b.data(), n, w.data()), 0);
  const long live = ztr_testalloc_live();
  struct Case {
    bool divide;  // LAPACKE_dsygvd
    int nth;      // which allocation of the call fails
    int code;
    const char* message;
  };
  // dsygvd allocates iwork, work, then the copies of a and b; dsygv work and the copies.
  for (Case c :
       {Case{true, 1, -1010, "Not enough memory to allocate work array in LAPACKE_dsygvd\n"},
        Case{true, 2, -1010, "Not enough memory to allocate work array in LAPACKE_dsygvd\n"},
        Case{true, 4, -1011, "Not enough memory to transpose matrix in LAPACKE_dsygvd_work\n"},
        Case{false, 1, -1010, "Not enough memory to allocate work array in LAPACKE_dsygv\n"},
        Case{false, 2, -1011, "Not enough memory to transpose matrix in LAPACKE_dsygv_work\n"},
        Case{false, 3, -1011, "Not enough memory to transpose matrix in LAPACKE_dsygv_work\n"}}) {
    a = p.a;
    b = p.b;
    ztr_testalloc_fail_nth(c.nth, 0);
    CaptureStdout();
    const int info =
        c.divide ? LAPACKE_dsygvd(ZTR_ROW_MAJOR, 1, 'V', 'L', n, a.data(), n, b.data(), n, w.data())
                 : LAPACKE_dsygv(ZTR_ROW_MAJOR, 1, 'V', 'L', n, a.data(), n, b.data(), n, w.data());
    EXPECT_EQ(GetCapturedStdout(), c.message) << c.nth;
    ztr_testalloc_reset();
    EXPECT_EQ(info, c.code) << c.nth;
    EXPECT_EQ(a, p.a);
    EXPECT_EQ(b, p.b);
    EXPECT_EQ(ztr_testalloc_live(), live);
  }
}

// With the buffer pool off every block goes back to the allocator at once, so any block a
// call keeps is a leak: the copies, the workspace, and the buffers of the multiplies and of
// the tiled factorization inside.
ZTR_CHILD(lapacke_sygv_leaks) {
  const int n = 160;
  const Problem p = make_problem(3, n, 17);
  std::vector<double> w(n);
  const long live = ztr_testalloc_live();
  for (int layout : {ZTR_ROW_MAJOR, ZTR_COL_MAJOR}) {
    Matrix a = p.a, b = p.b;
    if (LAPACKE_dsygv(layout, 3, 'V', 'U', n, a.data(), n, b.data(), n, w.data()) != 0) return 1;
    a = p.a, b = p.b;
    if (LAPACKE_dsygvd(layout, 3, 'V', 'U', n, a.data(), n, b.data(), n, w.data()) != 0) return 2;
  }
  return ztr_testalloc_live() == live ? 0 : 3;
}

TEST(LapackeSygv, NothingIsLeaked) {
  const auto r = test::run_child(
      "lapacke_sygv_leaks", {"ZTR_NUM_THREADS=2", "ZTR_DYNAMIC=FALSE", "ZTR_DISABLE_FAST_MM=1"});
  EXPECT_EQ(r.exit_code, 0) << r.out;
}

}  // namespace
}  // namespace ztr
